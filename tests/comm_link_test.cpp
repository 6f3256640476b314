#include "capture/comm_link.h"

#include <gtest/gtest.h>

#include "fake_serial_service.h"

namespace vornel {
namespace {

using testing::FakeSerialService;
using Calls = std::vector<std::string>;

class CommLinkTest : public ::testing::Test {
protected:
    FakeSerialService comm;
    std::string lastFrame;
    int flashes = 0;
    CommLink link{comm, lastFrame, [this] { ++flashes; }};
    CommChoice choice;  // what the setup dialog leaves behind
    int dialogsShown = 0;

    void receive(const std::string& chunk) {
        comm.waiting += chunk;
        comm.onComm();  // the link is subscribed to the service
    }
    // "set Hardware": the link closes, the dialog shows (and SET, when pressed, leaves its
    // choice), the link applies the choice.
    void setHardware(std::optional<CommChoice> pressedSet = std::nullopt) {
        link.close();
        ++dialogsShown;
        EXPECT_FALSE(comm.open) << "the port must be closed while the dialog shows";
        if (pressedSet) {
            choice = *pressedSet;
        }
        link.apply(choice);
    }
};

TEST_F(CommLinkTest, EachFrameLightsTheIndicatorAndBecomesLastFrame) {
    receive("[12.3,4");
    EXPECT_EQ(flashes, 0);
    EXPECT_EQ(lastFrame, "");
    receive("5,6]\r\n");
    EXPECT_EQ(flashes, 1);
    EXPECT_EQ(lastFrame, "[12.3,45,6]\r\n");
    receive("[7,8]\r\n");
    EXPECT_EQ(flashes, 2);
    EXPECT_EQ(lastFrame, "[[7,8]\r\n");
    receive("");  // a notification with nothing waiting
    EXPECT_EQ(flashes, 2);
    EXPECT_EQ(lastFrame, "[[7,8]\r\n");
}

TEST_F(CommLinkTest, BytesArrivingDuringTheHandlerAreNotLost) {
    comm.waiting = "[1,2";
    comm.arrivesAfterRead = "]\r\n[3,";
    link.onComm();
    EXPECT_EQ(lastFrame, "");
    link.onComm();  // the notification raised for the late bytes
    EXPECT_EQ(lastFrame, "[1,2]\r\n[3,");
}

TEST_F(CommLinkTest, FirstSetHardwareLeftWithoutSetStaysClosedSilently) {
    setHardware();
    EXPECT_EQ(dialogsShown, 1);
    EXPECT_FALSE(comm.open);
    EXPECT_EQ(comm.calls, (Calls{"setCommPort 0"}));
    EXPECT_EQ(link.status().reason, LinkFault::NoPortChosen);
    EXPECT_FALSE(link.status().open);
}

TEST_F(CommLinkTest, SetOpensThePortWithTheChosenNumberAndSpeed) {
    setHardware(CommChoice{3, 115200, ""});
    EXPECT_TRUE(comm.open);
    EXPECT_EQ(comm.calls,
              (Calls{"setCommPort 3", "setSettings 115200,N,8,1", "setInputLen 0", "openPort"}));
    EXPECT_TRUE(link.status().open);
    EXPECT_EQ(link.status().portNumber, 3);
    EXPECT_EQ(link.status().device, "/dev/fake3");
    EXPECT_EQ(link.status().settings, "115200,N,8,1");
    EXPECT_EQ(describeLinkStatus(link.status()),
              "Receiving on port 3 (/dev/fake3) at 115200,N,8,1.");
}

TEST_F(CommLinkTest, ClosingTheDialogWithoutSetReopensTheEarlierChoice) {
    setHardware(CommChoice{5, 9600, ""});
    comm.calls.clear();
    setHardware();
    EXPECT_TRUE(comm.open);
    EXPECT_EQ(comm.calls, (Calls{"closePort", "setCommPort 5", "setSettings 9600,N,8,1",
                                 "setInputLen 0", "openPort"}));
}

TEST_F(CommLinkTest, ATypedDevicePathIsOpenedInsteadOfANumber) {
    setHardware(CommChoice{7, 4800, "/dev/pts/7"});
    EXPECT_TRUE(comm.open);
    EXPECT_EQ(comm.calls.front(), "setPortDevice /dev/pts/7");
    EXPECT_EQ(link.status().portNumber, 0);
    EXPECT_EQ(describeLinkStatus(link.status()), "Receiving on /dev/pts/7 at 4800,N,8,1.");
}

TEST_F(CommLinkTest, APortInUseLeavesItClosedAndSaysWhy) {
    setHardware(CommChoice{2, 4800, ""});
    comm.failOpen = SerialFailure(LinkFault::InUse, "Permission error while locking the device");
    setHardware(CommChoice{4, 4800, ""});
    EXPECT_FALSE(comm.open);
    EXPECT_EQ(comm.calls.back(), "openPort");
    EXPECT_EQ(comm.device, "/dev/fake4") << "port, settings and input length stay configured";
    EXPECT_EQ(link.status().reason, LinkFault::InUse);
    EXPECT_EQ(describeLinkStatus(link.status()),
              "No port open: port 4 (/dev/fake4) is in use by another program: Permission error "
              "while locking the device.");
}

TEST_F(CommLinkTest, ARefusedPortNumberKeepsTheEarlierConfiguration) {
    setHardware(CommChoice{2, 1200, ""});
    comm.failSetCommPort = SerialFailure(LinkFault::NoSuchPort, "this machine has 2 serial ports");
    setHardware(CommChoice{9, 57600, ""});
    EXPECT_FALSE(comm.open);
    EXPECT_EQ(comm.commPort, 2);
    EXPECT_EQ(comm.settings, "1200,N,8,1");
    EXPECT_EQ(comm.calls.back(), "setCommPort 9");
    EXPECT_EQ(link.status().reason, LinkFault::NoSuchPort);
    EXPECT_EQ(link.status().portNumber, 9);
}

TEST_F(CommLinkTest, RefusedSettingsLeaveTheNewPortNumberSetAndThePortClosed) {
    comm.failSetSettings = SerialFailure(LinkFault::SettingsRefused, "not valid");
    setHardware(CommChoice{6, -5, ""});
    EXPECT_FALSE(comm.open);
    EXPECT_EQ(comm.commPort, 6);
    EXPECT_EQ(comm.calls, (Calls{"setCommPort 6", "setSettings -5,N,8,1"}));
    EXPECT_EQ(link.status().reason, LinkFault::SettingsRefused);
}

TEST_F(CommLinkTest, APermissionRefusalNamesTheGroupToJoin) {
    comm.failOpen = SerialFailure(LinkFault::PermissionDenied, "Permission denied", "dialout");
    setHardware(CommChoice{1, 9600, ""});
    EXPECT_FALSE(comm.open);
    const std::string text = describeLinkStatus(link.status());
    EXPECT_NE(text.find("permission denied on port 1 (/dev/fake1)"), std::string::npos) << text;
    EXPECT_NE(text.find("must belong to the group that owns the device (dialout)"),
              std::string::npos)
        << text;
}

TEST_F(CommLinkTest, AnyOtherFailureAfterTheDialogIsCaughtToo) {
    comm.failSetInputLen = SerialFailure(LinkFault::OpenFailed, "input length");
    EXPECT_NO_THROW(setHardware(CommChoice{1, 9600, ""}));
    EXPECT_FALSE(comm.open);
    EXPECT_EQ(link.status().reason, LinkFault::OpenFailed);
}

TEST_F(CommLinkTest, SetHardwareKeepsThePartialRecordAndLastFrame) {
    setHardware(CommChoice{1, 9600, ""});
    receive("[1]\r\n");
    receive("[2,");
    setHardware();
    receive("3]");
    EXPECT_EQ(lastFrame, "[[2,3]");
}

TEST_F(CommLinkTest, ALostDeviceClosesTheLinkButKeepsLastFrame) {
    int statusChanges = 0;
    link.onStatusChanged = [&] { ++statusChanges; };
    setHardware(CommChoice{1, 9600, ""});
    receive("[1]");
    comm.open = false;
    comm.onLinkLost(SerialFailure(LinkFault::DeviceGone, "Input/output error"));
    EXPECT_EQ(statusChanges, 2);
    EXPECT_EQ(lastFrame, "[1]");
    EXPECT_FALSE(link.status().open);
    EXPECT_EQ(describeLinkStatus(link.status()),
              "Port closed: port 1 (/dev/fake1) went away: Input/output error. Waiting for the "
              "device to come back.");
    EXPECT_TRUE(comm.watching);

    // Windows ends its texts with a full stop; the sentence still ends with one.
    comm.onLinkLost(SerialFailure(LinkFault::DeviceGone, "The pipe has been ended."));
    EXPECT_EQ(describeLinkStatus(link.status()),
              "Port closed: port 1 (/dev/fake1) went away: The pipe has been ended. Waiting for "
              "the device to come back.");
}

TEST_F(CommLinkTest, ADeviceThatComesBackIsOpenedAgainWithTheSameChoice) {
    setHardware(CommChoice{0, 57600, "/dev/serial/by-id/meter"});
    receive("[1,");
    comm.open = false;
    comm.onLinkLost(SerialFailure(LinkFault::DeviceGone, "the device was removed"));
    comm.settings.clear();
    comm.calls.clear();

    // Still missing: nothing changes. Back but held by another program: said, and waited on.
    comm.failOpen = SerialFailure(LinkFault::NoSuchPort, "No such file or directory");
    comm.onDeviceMayBeBack();
    EXPECT_EQ(link.status().reason, LinkFault::DeviceGone);
    comm.failOpen = SerialFailure(LinkFault::InUse, "another program holds a lock on it");
    comm.onDeviceMayBeBack();
    EXPECT_FALSE(comm.open);
    EXPECT_EQ(link.status().reason, LinkFault::InUse);
    EXPECT_TRUE(link.status().waiting);
    EXPECT_TRUE(comm.watching);

    comm.failOpen.reset();
    comm.onDeviceMayBeBack();
    EXPECT_TRUE(comm.open);
    EXPECT_FALSE(link.status().waiting);
    EXPECT_FALSE(comm.watching);
    EXPECT_EQ(comm.settings, "57600,N,8,1");
    EXPECT_EQ(comm.calls.back(), "openPort");
    EXPECT_EQ(comm.calls.front(), "setPortDevice /dev/serial/by-id/meter") << "named as chosen";
    EXPECT_EQ(dialogsShown, 1) << "silently";
    receive("2]");
    EXPECT_EQ(lastFrame, "[1,2]") << "frames resume where they were";

    // "set Hardware" ends the waiting: a later call does nothing.
    comm.open = false;
    comm.onLinkLost(SerialFailure(LinkFault::DeviceGone, "the device was removed"));
    setHardware(CommChoice{});
    EXPECT_FALSE(comm.watching);
    EXPECT_FALSE(link.status().waiting);
    comm.calls.clear();
    comm.onDeviceMayBeBack();
    EXPECT_TRUE(comm.calls.empty());
}

}  // namespace
}  // namespace vornel
