// The receive path on real pseudo-terminals, through Qt Serial Port.
#include <gtest/gtest.h>

#include <QSerialPort>
#include <QTest>
#include <atomic>
#include <ctime>
#include <thread>

#include "capture/comm_link.h"
#include "platform/device_access.h"
#include "platform/qt_serial_service.h"
#include "pseudo_terminal.h"
#include "static_port_table.h"
#include "wait_until.h"

namespace vornel {
namespace {

using testing::PseudoTerminal;
using testing::StaticPortTable;
using testing::waitUntil;

double processCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// A serial link on a pseudo-terminal: the service and the receive logic of the main window,
// with every frame recorded.
class PtyLinkTest : public ::testing::Test {
protected:
    PseudoTerminal pty;
    StaticPortTable ports{{{"/dev/vornel-test-none", "not a device"}, {pty.path(), "pty"}}};
    QtSerialService comm{ports};
    std::string lastFrame;
    bool flashed = false;
    std::vector<std::string> frames;
    CommLink link{comm, lastFrame, [this] { flashed = true; }};

    void SetUp() override {
        comm.onComm = [this] {
            link.onComm();
            if (std::exchange(flashed, false)) {
                frames.push_back(lastFrame);
            }
        };
        comm.onLinkLost = [this](const SerialFailure& f) { link.linkLost(f); };
    }

    void openAs(int portNumber, std::int32_t baud = 115200) {
        link.setupHardware([] {}, [&] { return CommChoice{std::uint8_t(portNumber), baud, ""}; });
        ASSERT_TRUE(comm.isPortOpen()) << describeLinkStatus(link.status());
    }
};

TEST_F(PtyLinkTest, RecordsWrittenInPiecesArriveAsFrames) {
    openAs(2);
    EXPECT_EQ(link.status().device, pty.path());
    pty.write("[12.3,4");
    ASSERT_TRUE(waitUntil([&] { return link.assembler().RxBuffer() == "[12.3,4"; }, 5000));
    EXPECT_TRUE(frames.empty());
    pty.write("5,6]\r\n");
    ASSERT_TRUE(waitUntil([&] { return frames.size() == 1; }, 5000));
    EXPECT_EQ(frames[0], "[12.3,45,6]\r\n");
    pty.write("[7,8]\r\n");
    ASSERT_TRUE(waitUntil([&] { return frames.size() == 2; }, 5000));
    EXPECT_EQ(frames[1], "[[7,8]\r\n");
    EXPECT_EQ(lastFrame, "[[7,8]\r\n");
}

TEST_F(PtyLinkTest, APortHeldOpenIsRefusedToASecondOpener) {
    openAs(2);
    EXPECT_FALSE(deviceCanBeOpened(pty.path())) << "the probe must see the port as held";

    QtSerialService second{ports};
    second.setPortDevice(pty.path());
    try {
        second.openPort();
        FAIL() << "a second opener got the port";
    } catch (const SerialFailure& failure) {
        EXPECT_EQ(failure.fault(), LinkFault::InUse) << failure.what();
    }
    QSerialPort plain(QString::fromStdString(pty.path()));
    EXPECT_FALSE(plain.open(QIODevice::ReadOnly));

    comm.closePort();
    EXPECT_TRUE(deviceCanBeOpened(pty.path()));
    EXPECT_NO_THROW(second.openPort());
    EXPECT_TRUE(second.isPortOpen());
}

TEST_F(PtyLinkTest, ClosingTheFarEndClosesThePortAndLeavesTheProgramIdle) {
    openAs(2);
    pty.write("[1]\r\n");
    ASSERT_TRUE(waitUntil([&] { return frames.size() == 1; }, 5000));
    pty.closeFarEnd();
    ASSERT_TRUE(waitUntil([&] { return !comm.isPortOpen(); }, 5000));
    EXPECT_EQ(link.status().reason, LinkFault::DeviceGone);
    EXPECT_EQ(lastFrame, "[1]\r\n");

    // A spinning error loop would burn a whole core; an idle one almost nothing.
    const double cpuBefore = processCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QTest::qWait(1000);
    const double cpuShare = (processCpuSeconds() - cpuBefore) / (wall.elapsed() / 1000.0);
    EXPECT_LT(cpuShare, 0.3);
    EXPECT_FALSE(comm.isPortOpen());
}

TEST_F(PtyLinkTest, ATenMegabyteBurstArrivesWholeAndInOrder) {
    openAs(2);
    std::string sent;
    for (int i = 0; sent.size() < 10'000'000; ++i) {
        sent += "[" + std::to_string(i) + "," + std::to_string(i % 97) + ".5,<v>" +
                std::to_string(i * 7 % 1000) + "</v>]\r\n";
    }
    std::atomic<bool> written{false};
    std::thread writer([&] {
        pty.write(sent);
        written = true;
    });
    const bool complete = waitUntil(
        [&] {
            if (!written) {
                return false;
            }
            std::size_t received = link.assembler().RxBuffer().size() - (frames.empty() ? 0 : 1);
            for (std::size_t i = 0; i < frames.size(); ++i) {
                received += frames[i].size() - (i == 0 ? 0 : 1);
            }
            return received >= sent.size();
        },
        120000);
    writer.join();
    ASSERT_TRUE(complete);
    // Each frame after the first starts with the "[" the buffer was reset to; the stream is
    // everything else, in order.
    std::string received = frames.empty() ? std::string() : frames[0];
    for (std::size_t i = 1; i < frames.size(); ++i) {
        ASSERT_EQ(frames[i][0], '[');
        received.append(frames[i], 1);
    }
    received.append(link.assembler().RxBuffer(), 1);
    ASSERT_EQ(received.size(), sent.size());
    EXPECT_TRUE(received == sent);
}

TEST_F(PtyLinkTest, PortNumbersComeFromThePortTable) {
    EXPECT_NO_THROW(comm.setCommPort(2));
    EXPECT_EQ(comm.deviceName(), pty.path());
    try {
        comm.setCommPort(3);
        FAIL();
    } catch (const SerialFailure& failure) {
        EXPECT_EQ(failure.fault(), LinkFault::NoSuchPort);
    }
    EXPECT_EQ(comm.deviceName(), pty.path()) << "a refused number keeps the previous port";
    try {
        comm.setCommPort(0);
        FAIL();
    } catch (const SerialFailure& failure) {
        EXPECT_EQ(failure.fault(), LinkFault::NoPortChosen);
    }
    comm.setCommPort(1);  // listed, but no such device
    try {
        comm.openPort();
        FAIL();
    } catch (const SerialFailure& failure) {
        EXPECT_EQ(failure.fault(), LinkFault::NoSuchPort) << failure.what();
    }
    EXPECT_FALSE(comm.isPortOpen());
}

TEST_F(PtyLinkTest, SettingsAreAppliedOrRefused) {
    comm.setPortDevice(pty.path());
    EXPECT_THROW(comm.setSettings("0,N,8,1"), SerialFailure);
    EXPECT_THROW(comm.setSettings(" 4800,N,8,1"), SerialFailure);
    EXPECT_EQ(comm.lineSettings().baudRate, 9600) << "a refused string changes nothing";
    comm.setSettings("250000,N,8,1");
    comm.openPort();
    EXPECT_EQ(comm.lineSettings().baudRate, 250000);
    comm.setSettings("57600,N,8,2");
    EXPECT_EQ(comm.lineSettings(), (LineSettings{57600, Parity::None, 8, StopBits::Two}));
    // A pseudo-terminal has no parity: the string is valid but cannot be applied, and the port
    // keeps what it had.
    EXPECT_THROW(comm.setSettings("57600,E,7,1"), SerialFailure);
    EXPECT_EQ(comm.lineSettings(), (LineSettings{57600, Parity::None, 8, StopBits::Two}));
    EXPECT_TRUE(comm.isPortOpen());
}

TEST(PortOrder, SerialDevicesAreNumberedByKindThenNumber) {
    const std::vector<SerialDevice> ordered = inPortOrder({{"/dev/ttyACM0", ""},
                                                           {"/dev/ttyUSB10", ""},
                                                           {"/dev/rfcomm0", ""},
                                                           {"/dev/ttyS10", ""},
                                                           {"/dev/ttyUSB2", ""},
                                                           {"/dev/ttyS2", ""},
                                                           {"/dev/ttySAC0", ""},
                                                           {"/dev/ttyS0", ""}});
    std::vector<std::string> paths;
    for (const SerialDevice& d : ordered) {
        paths.push_back(d.path);
    }
    EXPECT_EQ(paths, (std::vector<std::string>{"/dev/ttyS0", "/dev/ttyS2", "/dev/ttyS10",
                                               "/dev/ttyUSB2", "/dev/ttyUSB10", "/dev/ttyACM0",
                                               "/dev/rfcomm0", "/dev/ttySAC0"}));
}

TEST(PortOrder, AListInTheEnvironmentReplacesTheMachinesDevices) {
    qputenv("VORNEL_SERIAL_PORTS", "/dev/pts/9:/dev/ttyUSB3::/dev/pts/2");
    const SystemPortTable table;
    const std::vector<SerialDevice> devices = table.devices();
    qunsetenv("VORNEL_SERIAL_PORTS");
    ASSERT_EQ(devices.size(), 3U);
    EXPECT_EQ(devices[0].path, "/dev/pts/9");
    EXPECT_EQ(devices[2].path, "/dev/pts/2");
#ifndef Q_OS_WIN
    qputenv("VORNEL_SERIAL_PORTS", "/dev/pts/9:/dev/ttyUSB3");
    EXPECT_EQ(table.port(2)->path, "/dev/ttyUSB3");
    EXPECT_FALSE(table.port(3).has_value());
    qunsetenv("VORNEL_SERIAL_PORTS");
#endif
}

}  // namespace
}  // namespace vornel
