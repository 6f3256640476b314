// The receive path on real pseudo-terminals, through Qt Serial Port.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <thread>

#include "app/startup.h"
#include "capture/comm_link.h"
#include "serial/device_access.h"
#include "serial/device_lock.h"
#include "serial/qt_serial_service.h"
#include "static_port_table.h"
#include "tests/kit/literal_assembler.h"
#include "tests/kit/pseudo_terminal.h"
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
        // As the main window does: the receive notification handled here, the rest by the link.
        comm.onComm = [this] {
            link.onComm();
            if (std::exchange(flashed, false)) {
                frames.push_back(lastFrame);
            }
        };
    }

    // "set Hardware" with the dialog left at `choice`.
    void setHardware(const CommChoice& choice) {
        link.close();
        link.apply(choice);
    }

    // The stream as the device sent it.
    std::string received() const { return testing::streamOf(frames, link.assembler().RxBuffer()); }

    void openAs(int portNumber, std::int32_t baud = 115200) {
        setHardware(CommChoice{std::uint8_t(portNumber), baud, ""});
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
    // Other names of the same device are the same device, even as root.
    const QString alias = QDir::tempPath() + "/vornel-test-link-" + QString::number(::getpid());
    QFile::remove(alias);
    ASSERT_TRUE(QFile::link(QString::fromStdString(pty.path()), alias));
    for (const std::string& name : {alias.toStdString(), "/dev//" + pty.path().substr(5)}) {
        QtSerialService other{ports};
        other.setPortDevice(name);
        EXPECT_THROW(other.openPort(), SerialFailure) << name;
        EXPECT_FALSE(deviceCanBeOpened(name)) << name;
    }
    QFile::remove(alias);

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
    EXPECT_EQ(link.status().detail, "the device was removed");
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

// Windows reports a device that went away as its driver pleases, Wine as a broken pipe: Qt
// passes some of these on as errors of no particular kind. Reported by the open port itself, any
// of them closes it, and the device is opened again once it answers.
TEST_F(PtyLinkTest, AnErrorOfAnyKindThatTheOpenPortReportsClosesItUntilTheDeviceAnswers) {
    openAs(2);
    auto* port = comm.findChild<QSerialPort*>();
    ASSERT_NE(port, nullptr);
    emit port->errorOccurred(QSerialPort::UnknownError);
    EXPECT_FALSE(comm.isPortOpen());
    EXPECT_EQ(link.status().reason, LinkFault::DeviceGone);
    EXPECT_EQ(link.status().detail.rfind("the device stopped answering (", 0), 0)
        << link.status().detail;
    EXPECT_TRUE(link.status().waiting);
    ASSERT_TRUE(waitUntil([&] { return comm.isPortOpen(); }, 5000));
    pty.write("[2]\r\n");
    EXPECT_TRUE(waitUntil([&] { return frames.size() == 1; }, 5000));
}

// A kernel driver hangs a device up before its node goes (a USB adapter pulled out): the port may
// fail while the device is still there, and it is then said to have stopped answering. The first
// look after that finds it gone says it was removed, and the waiting goes on.
TEST_F(PtyLinkTest, ADeviceThatFailedBeforeItsNodeWentIsThenSaidToHaveBeenRemoved) {
    openAs(2);
    auto* port = comm.findChild<QSerialPort*>();
    ASSERT_NE(port, nullptr);
    emit port->errorOccurred(QSerialPort::ResourceError);
    ASSERT_EQ(link.status().detail.rfind("the device stopped answering (", 0), 0)
        << link.status().detail;
    pty.closeFarEnd();
    EXPECT_TRUE(waitUntil([&] { return link.status().detail == "the device was removed"; }, 5000))
        << link.status().detail;
    EXPECT_EQ(link.status().reason, LinkFault::DeviceGone);
    EXPECT_TRUE(link.status().waiting);
    EXPECT_FALSE(comm.isPortOpen());
}

// A terminal with the kernel's settings echoes what it receives back to the device, and turns its
// CRs into LFs, until it is made raw. A real port's device sends whenever it likes, so the port is
// raw from the moment it is taken, before Qt opens it; a probe gives the settings back.
TEST(DeviceLockSettings, AKernelDefaultTerminalEchoesNothingOnceTaken) {
    PseudoTerminal pty;
    const int device = ::open(pty.path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(device, 0);
    termios cooked{};
    ASSERT_EQ(::tcgetattr(device, &cooked), 0);
    cooked.c_lflag |= ECHO | ICANON | ISIG | IEXTEN;
    cooked.c_iflag |= ICRNL;
    cooked.c_oflag |= OPOST | ONLCR;
    ASSERT_EQ(::tcsetattr(device, TCSANOW, &cooked), 0);
    auto echoes = [&] {
        termios now{};
        ::tcgetattr(device, &now);
        return (now.c_lflag & ECHO) != 0;
    };

    EXPECT_TRUE(deviceCanBeOpened(pty.path()));
    EXPECT_TRUE(echoes()) << "a probe changed the settings";
    {
        DeviceLock lock;
        ASSERT_EQ(lock.acquire(pty.path()), DeviceAccess::Granted);
        EXPECT_FALSE(echoes());
        pty.write("[1]\r\n");
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        char back[64];
        EXPECT_LE(::read(pty.farEnd(), back, sizeof back), 0) << "bytes went back to the device";
    }
    EXPECT_FALSE(echoes()) << "a port that was taken is left raw for the next open";
    ::close(device);
}

// What the tooltip says names the real cause, whatever the path names.
TEST_F(PtyLinkTest, ReasonsNameTheRealCause) {
    const QString dir = QDir::tempPath() + "/vornel-test-reasons-" + QString::number(::getpid());
    QDir().mkpath(dir);
    QFile regular(dir + "/file");
    ASSERT_TRUE(regular.open(QIODevice::WriteOnly));
    regular.close();
    ASSERT_EQ(::mkfifo((dir + "/fifo").toLocal8Bit().constData(), 0600), 0);
    const struct {
        std::string path;
        LinkFault reason;
        const char* says;
    } cases[] = {
        {"/dev/null", LinkFault::NotSerial, "is not a serial device"},
        {(dir + "/file").toStdString(), LinkFault::NotSerial, "is not a serial device"},
        {(dir + "/fifo").toStdString(), LinkFault::NotSerial, "is not a serial device"},
        {dir.toStdString(), LinkFault::NotSerial, "is not a serial device"},
        {"/dev/vornel-" + std::string(300, 'x'), LinkFault::NoSuchPort, "does not exist"},
        {"/dev/vornel-none/ttyUSB0", LinkFault::NoSuchPort, "does not exist"},
    };
    for (const auto& c : cases) {
        setHardware(CommChoice{0, 9600, c.path});
        EXPECT_FALSE(comm.isPortOpen());
        EXPECT_EQ(link.status().reason, c.reason) << c.path;
        EXPECT_NE(describeLinkStatus(link.status()).find(c.says), std::string::npos)
            << describeLinkStatus(link.status());
        EXPECT_FALSE(deviceCanBeOpened(c.path)) << c.path;
    }
    QDir(dir).removeRecursively();

    // A lock file that no running program holds holds nothing, fresh as it may be: one whose
    // process has ended, an empty one, one without a number. The probe lists the port, and SET
    // (this user may remove the file) opens it. One whose process runs holds it for both.
    const std::string lock = "/var/lock/LCK.." + pty.path().substr(5).replace(3, 1, "_");
    for (const char* content : {"999999999\n", "", "garbage\n", "0\n", "-1\n"}) {
        std::ofstream(lock) << content;
        EXPECT_TRUE(deviceCanBeOpened(pty.path())) << content;
        setHardware(CommChoice{2, 9600, ""});
        EXPECT_TRUE(comm.isPortOpen()) << content << ": " << describeLinkStatus(link.status());
        comm.closePort();
    }
    std::ofstream(lock) << "1\n";  // init, which always runs
    EXPECT_FALSE(deviceCanBeOpened(pty.path()));
    setHardware(CommChoice{2, 9600, ""});
    EXPECT_EQ(link.status().reason, LinkFault::InUse) << describeLinkStatus(link.status());
    std::remove(lock.c_str());
}

// The hint for a refused permission is true to the device's mode: a group is named only when its
// members may read the device, a device that only its owner may read says so, and nobody is told
// to become what they are already.
TEST(DevicePermissions, AGroupIsNamedOnlyWhereItsMembersMayRead) {
    if (::getuid() != 0) {
        GTEST_SKIP() << "needs root to give the file away";
    }
    const group* dialout = ::getgrnam("dialout");
    ASSERT_NE(dialout, nullptr);
    QTemporaryDir dir;
    const std::string path = (dir.path() + "/device").toStdString();
    std::ofstream{path};
    ASSERT_EQ(::chown(path.c_str(), 65534, dialout->gr_gid), 0);
    const std::string ownerOnly = "the device's permissions allow only its owner (nobody)";
    const struct {
        mode_t mode;
        std::string group;
        std::string detail;
    } cases[] = {
        {0660, "dialout", "Permission denied"},
        {0640, "dialout", "Permission denied"},
        {0620, "", ownerOnly},
        {0600, "", ownerOnly},
        {0604, "", "Permission denied"},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(::chmod(path.c_str(), c.mode), 0);
        EXPECT_EQ(deviceOwnerGroup(path), c.group) << std::oct << c.mode;
        EXPECT_EQ(permissionDetail(path, "Permission denied"), c.detail) << std::oct << c.mode;
    }
    LinkStatus status{false, 1, "/dev/ttyUSB0", "", LinkFault::PermissionDenied, ownerOnly, ""};
    EXPECT_EQ(describeLinkStatus(status),
              "No port open: permission denied on port 1 (/dev/ttyUSB0): " + ownerOnly + ".");
    // Root owns it and belongs to its group.
    ASSERT_EQ(::chown(path.c_str(), 0, 0), 0);
    EXPECT_EQ(deviceOwnerGroup(path), "");
    EXPECT_EQ(permissionDetail(path, "Permission denied"), "Permission denied");
}

// Starts the tests `filter` of this program again in a child process, as `nobody` when asked.
void startTests(QProcess& child, const QString& filter, const QProcessEnvironment& env,
                bool asNobody) {
    child.setProcessEnvironment(env);
    const QStringList program{QCoreApplication::applicationFilePath(), "--gtest_filter=" + filter};
    if (asNobody) {
        child.start(
            "setpriv",
            QStringList{"--reuid=nobody", "--regid=nogroup", "--clear-groups", "--"} + program);
    } else {
        child.start(program[0], program.mid(1));
    }
}

// Runs the tests `filter` of this program again in a child process as `nobody`: its exit status
// and what it printed.
std::pair<int, std::string> runAsNobody(const QString& filter, const QProcessEnvironment& env) {
    QProcess child;
    child.setProcessChannelMode(QProcess::MergedChannels);
    startTests(child, filter, env, true);
    const bool finished = child.waitForFinished(60000);
    const std::string output = child.readAll().toStdString();
    return {finished ? child.exitCode() : -1, output};
}

// An ordinary user's Vornel, facing what it may not clear away (a lock file that no running
// program holds but that root made, the exclusive flag a killed holder left): not "in use", but
// what is in the way, and the probe agrees. Run as `nobody` by the tests below, on a device they
// give it, with the words they expect.
TEST(StaleLockAsUser, IsNotInUseButTheLockFileInTheWay) {
    const QByteArray device = qgetenv("VORNEL_TEST_STALE_DEVICE");
    if (device.isEmpty() || ::getuid() == 0) {
        GTEST_SKIP() << "run by the tests that give it a device";
    }
    EXPECT_FALSE(deviceCanBeOpened(device.toStdString())) << "listed, then refused by SET";
    StaticPortTable none;
    QtSerialService comm{none};
    comm.setPortDevice(device.toStdString());
    try {
        comm.openPort();
        FAIL() << "opened despite a lock file it cannot remove";
    } catch (const SerialFailure& failure) {
        EXPECT_EQ(failure.fault(), LinkFault::StaleLock) << failure.what();
        EXPECT_NE(std::string(failure.what()).find(qgetenv("VORNEL_TEST_STALE_SAYS")),
                  std::string::npos)
            << failure.what();
    }
}

TEST(StaleLockAsUser, SeenFromRoot) {
    if (::getuid() != 0) {
        GTEST_SKIP() << "needs root to leave the lock file";
    }
    PseudoTerminal pty;
    const std::string lock = "/var/lock/LCK.." + pty.path().substr(5).replace(3, 1, "_");
    ASSERT_EQ(::chown(pty.path().c_str(), 65534, 65534), 0);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VORNEL_TEST_STALE_DEVICE", QString::fromStdString(pty.path()));
    env.insert("VORNEL_TEST_STALE_SAYS", ", and your user may not remove it");
    for (const char* content : {"999999999\n", "", "garbage\n"}) {
        std::ofstream(lock) << content;
        const auto [status, output] = runAsNobody("StaleLockAsUser.IsNotInUse*", env);
        EXPECT_EQ(status, 0) << content << output;
        EXPECT_NE(output.find("[  PASSED  ] 1 test."), std::string::npos) << output;
    }
    std::remove(lock.c_str());
}

// Vornel with a port open, in a child process that the tests below start: the serial service on
// the device they name, ended by a signal the way the program ends.
TEST(EndedHolder, HoldsThePortUntilASignalEndsIt) {
    const QByteArray device = qgetenv("VORNEL_TEST_HOLD_DEVICE");
    if (device.isEmpty()) {
        GTEST_SKIP() << "run by EndedHolder.LeavesThePortFreeWhateverEndedIt";
    }
    // What the test's own parents left ignored would stay ignored.
    for (int signal = 1; signal < NSIG; ++signal) {
        struct sigaction now {};
        if (::sigaction(signal, nullptr, &now) == 0 && now.sa_handler == SIG_IGN) {
            std::signal(signal, SIG_DFL);
        }
    }
    StaticPortTable none;
    QtSerialService comm{none};
    comm.setPortDevice(device.toStdString());
    ASSERT_NO_THROW(comm.openPort());
    quitOnTerminationSignals();
    std::printf("holding\n");
    std::fflush(stdout);
    QCoreApplication::exec();
    EXPECT_TRUE(terminationRequested());
}

// Starts a holder of `device` (the test above) and waits until it holds it.
void startHolder(QProcess& holder, const std::string& device, bool asNobody = false) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VORNEL_TEST_HOLD_DEVICE", QString::fromStdString(device));
    startTests(holder, "EndedHolder.HoldsThePort*", env, asNobody);
    QByteArray said;
    ASSERT_TRUE(waitUntil(
        [&] {
            said += holder.readAllStandardOutput();
            return said.contains("holding\n") || holder.state() == QProcess::NotRunning;
        },
        30000));
    ASSERT_TRUE(said.contains("holding\n")) << said.toStdString();
}

// Whatever ends Vornel while a peer (the simulator) keeps the device open, the next opener gets
// the port: the signals that can be caught end it cleanly, and what SIGKILL leaves (the exclusive
// flag, a lock file naming a process that has ended) is cleared away. A holder that runs is never
// taken.
TEST(EndedHolder, LeavesThePortFreeWhateverEndedIt) {
    const struct {
        int signal;
        const char* name;
    } endings[] = {
        {SIGTERM, "TERM"},     {SIGINT, "INT"},     {SIGHUP, "HUP"},     {SIGQUIT, "QUIT"},
        {SIGPIPE, "PIPE"},     {SIGUSR1, "USR1"},   {SIGUSR2, "USR2"},   {SIGALRM, "ALRM"},
        {SIGVTALRM, "VTALRM"}, {SIGXCPU, "XCPU"},   {SIGXFSZ, "XFSZ"},   {SIGIO, "IO"},
        {SIGPWR, "PWR"},       {SIGRTMIN, "RTMIN"}, {SIGRTMAX, "RTMAX"}, {SIGKILL, "KILL"},
    };
    StaticPortTable none;
    for (const auto& ending : endings) {
        const std::string name = std::string("SIG") + ending.name;
        QProcess sim;
        sim.start(VORNEL_SIM_PROGRAM, {"--rate", "20", "--seed", "5"});
        ASSERT_TRUE(waitUntil([&] { return sim.canReadLine(); }, 10000));
        const std::string device = QString::fromLocal8Bit(sim.readLine()).trimmed().toStdString();
        QProcess holder;
        ASSERT_NO_FATAL_FAILURE(startHolder(holder, device)) << name;
        QtSerialService next{none};
        next.setPortDevice(device);
        try {
            next.openPort();
            ADD_FAILURE() << "took the port of a running holder";
        } catch (const SerialFailure& failure) {
            EXPECT_EQ(failure.fault(), LinkFault::InUse) << failure.what();
        }
        EXPECT_FALSE(deviceCanBeOpened(device));

        ASSERT_GT(holder.processId(), 0);
        ::kill(static_cast<pid_t>(holder.processId()), ending.signal);
        ASSERT_TRUE(holder.waitForFinished(20000)) << name;
        if (ending.signal == SIGKILL) {
            EXPECT_EQ(holder.exitStatus(), QProcess::CrashExit);
        } else {
            EXPECT_EQ(holder.exitStatus(), QProcess::NormalExit) << name;
            EXPECT_EQ(holder.exitCode(), 0) << name;
        }
        EXPECT_TRUE(deviceCanBeOpened(device)) << "after " << name;
        try {
            next.openPort();
        } catch (const SerialFailure& failure) {
            ADD_FAILURE() << "after " << name << ": " << failure.what();
        }
        next.closePort();
        sim.terminate();
        EXPECT_TRUE(sim.waitForFinished(10000));
    }
}

// An ordinary user whose earlier Vornel was killed, while a peer keeps the device open: that user
// cannot clear the flag, and the probe and the tooltip both say what holds the port.
TEST(EndedHolderAsUser, SeenFromRoot) {
    if (::getuid() != 0) {
        GTEST_SKIP() << "needs root to give the device to nobody";
    }
    QProcess sim;
    sim.start(VORNEL_SIM_PROGRAM, {"--rate", "20"});
    ASSERT_TRUE(waitUntil([&] { return sim.canReadLine(); }, 10000));
    const std::string device = QString::fromLocal8Bit(sim.readLine()).trimmed().toStdString();
    ASSERT_EQ(::chown(device.c_str(), 65534, 65534), 0);
    QProcess holder;
    ASSERT_NO_FATAL_FAILURE(startHolder(holder, device, true));
    ASSERT_GT(holder.processId(), 0);
    ::kill(static_cast<pid_t>(holder.processId()), SIGKILL);
    ASSERT_TRUE(holder.waitForFinished(20000));

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VORNEL_TEST_STALE_DEVICE", QString::fromStdString(device));
    env.insert("VORNEL_TEST_STALE_SAYS", " ended and left it marked for exclusive use");
    const auto [status, output] = runAsNobody("StaleLockAsUser.IsNotInUse*", env);
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("[  PASSED  ] 1 test."), std::string::npos) << output;
    // Root may clear it.
    StaticPortTable none;
    QtSerialService comm{none};
    comm.setPortDevice(device);
    EXPECT_NO_THROW(comm.openPort());
    comm.closePort();
    sim.terminate();
    EXPECT_TRUE(sim.waitForFinished(10000));
}

// A device behind a link (as /dev/serial/by-id/...) goes away and comes back as another
// pseudo-terminal: the link is followed anew, but a device another program holds is not taken.
TEST_F(PtyLinkTest, ADeviceThatComesBackBehindItsLinkIsOpenedAgainWhenFree) {
    const QString alias = QDir::tempPath() + "/vornel-test-back-" + QString::number(::getpid());
    QFile::remove(alias);
    ASSERT_TRUE(QFile::link(QString::fromStdString(pty.path()), alias));
    setHardware(CommChoice{0, 115200, alias.toStdString()});
    ASSERT_TRUE(comm.isPortOpen()) << describeLinkStatus(link.status());
    pty.write("[1]\r\n");
    ASSERT_TRUE(waitUntil([&] { return frames.size() == 1; }, 5000));
    pty.write("[2,");
    ASSERT_TRUE(waitUntil([&] { return link.assembler().RxBuffer() == "[[2,"; }, 5000));
    pty.closeFarEnd();
    ASSERT_TRUE(waitUntil([&] { return !comm.isPortOpen(); }, 5000));
    EXPECT_TRUE(link.status().waiting);
    EXPECT_NE(describeLinkStatus(link.status()).find("Waiting for the device to come back"),
              std::string::npos)
        << describeLinkStatus(link.status());

    PseudoTerminal next;
    const int held = ::open(next.path().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    QFile::remove(alias);
    ASSERT_TRUE(QFile::link(QString::fromStdString(next.path()), alias));
    QTest::qWait(2500);
    EXPECT_FALSE(comm.isPortOpen()) << "took a device another program holds";
    EXPECT_EQ(link.status().reason, LinkFault::InUse);
    EXPECT_TRUE(link.status().waiting);

    ::close(held);
    ASSERT_TRUE(waitUntil([&] { return comm.isPortOpen(); }, 3000));
    EXPECT_EQ(link.status().device, next.path());
    EXPECT_EQ(next.speed(), 115200);
    next.write("3]\r\n");
    ASSERT_TRUE(waitUntil([&] { return frames.size() == 2; }, 5000));
    EXPECT_EQ(frames[1], "[[2,3]\r\n") << "the partial record before the drop is kept";

    // Exit closes the port: no more waiting.
    next.closeFarEnd();
    ASSERT_TRUE(waitUntil([&] { return !comm.isPortOpen(); }, 5000));
    comm.closePort();
    PseudoTerminal third;
    QFile::remove(alias);
    ASSERT_TRUE(QFile::link(QString::fromStdString(third.path()), alias));
    QTest::qWait(1500);
    EXPECT_FALSE(comm.isPortOpen());
    QFile::remove(alias);
}

// The simulator drops its device every 2 s and makes a new one. The device is named through a
// link that follows it, as a /dev/serial/by-id/... link follows an adapter plugged in again (the
// new pseudo-terminal's number depends on what else holds pseudo-terminals meanwhile): records
// resume on that path without "set Hardware". What was lost is counted from the simulator's copy
// of what it sent.
TEST_F(PtyLinkTest, RecordsResumeAfterTheSimulatorsDropsWithoutSetHardware) {
    QTemporaryDir dir;
    const QString copy = dir.path() + "/sent.bin";
    const std::string alias = (dir.path() + "/meter").toStdString();
    const auto pointTo = [&](const std::string& device) {
        const std::string next = alias + ".new";
        return ::symlink(device.c_str(), next.c_str()) == 0 &&
               ::rename(next.c_str(), alias.c_str()) == 0;
    };
    QProcess sim;
    sim.start(VORNEL_SIM_PROGRAM, {"--wait-reader", "--rate", "50", "--drop-every", "2", "--seed",
                                   "11", "--record", copy});
    ASSERT_TRUE(waitUntil([&] { return sim.canReadLine(); }, 10000));
    ASSERT_TRUE(pointTo(QString::fromLocal8Bit(sim.readLine()).trimmed().toStdString()));
    setHardware(CommChoice{0, 115200, alias});
    ASSERT_TRUE(comm.isPortOpen()) << describeLinkStatus(link.status());

    int drops = 0;
    int resumed = 0;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 9000) {
        if (!waitUntil([&] { return sim.canReadLine(); }, 500)) {
            continue;
        }
        ++drops;
        ASSERT_TRUE(pointTo(QString::fromLocal8Bit(sim.readLine()).trimmed().toStdString()));
        const std::size_t framesBefore = frames.size();
        if (waitUntil([&] { return frames.size() > framesBefore + 2; }, 3000)) {
            ++resumed;
        }
    }
    sim.terminate();
    ASSERT_TRUE(sim.waitForFinished(10000));
    QFile sentFile(copy);
    ASSERT_TRUE(sentFile.open(QIODevice::ReadOnly));
    const std::string sent = sentFile.readAll().toStdString();
    const std::string got = received();
    const auto records = [](const std::string& text) {
        return std::count(text.begin(), text.end(), ']');
    };
    std::printf("  drops %d, resumed %d; records sent %ld, received %ld\n", drops, resumed,
                static_cast<long>(records(sent)), static_cast<long>(records(got)));
    EXPECT_GE(drops, 3);
    EXPECT_EQ(resumed, drops) << "records did not resume after every drop";
    // The simulator pauses while nobody reads; what the kernel threw away at a drop is at most
    // what was in flight, a record or two.
    EXPECT_LE(records(sent) - records(got), 2 * drops);
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
    const std::string stream = received();
    ASSERT_EQ(stream.size(), sent.size());
    EXPECT_TRUE(stream == sent);
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

// Another serial program on the same device: picocom, or a pyserial script that opens it with
// exclusive=True. Both lock it with flock() only; neither takes a lock file.
struct Peer {
    const char* name;
    QStringList holdCommand;  // holds the device until its input closes; %1 is the device
    QStringList tryCommand;   // opens the device and ends: status 0 when it could
};

const char kPyserial[] =
    "import serial, sys\n"
    "s = serial.Serial(sys.argv[1], 9600, exclusive=True)\n"
    "print('open', flush=True)\n"
    "sys.stdin.read()\n";

const Peer kPeers[] = {
    {"picocom",
     {"picocom", "--quiet", "--noreset", "--baud", "9600", "%1"},
     {"picocom", "--quiet", "--noreset", "--exit", "--baud", "9600", "%1"}},
    {"pyserial",
     {"/usr/bin/python3", "-c", kPyserial, "%1"},
     {"/usr/bin/python3", "-c", kPyserial, "%1"}},
};

void PrintTo(const Peer& peer, std::ostream* out) {
    *out << peer.name;
}

class BesideOtherPrograms : public PtyLinkTest, public ::testing::WithParamInterface<Peer> {
protected:
    static void start(QProcess& process, const QStringList& command, const std::string& device) {
        QStringList args = command.mid(1);
        args.replaceInStrings("%1", QString::fromStdString(device));
        // picocom ends its whole process group on SIGTERM: a group of its own.
        process.setChildProcessModifier([] { ::setsid(); });
        process.start(command[0], args);
        ASSERT_TRUE(process.waitForStarted(5000)) << command[0].toStdString();
    }
    // Runs the peer's try command to its end; its exit status.
    int peerTries(const std::string& device) {
        QProcess process;
        start(process, GetParam().tryCommand, device);
        process.closeWriteChannel();
        EXPECT_TRUE(process.waitForFinished(10000));
        return process.exitCode();
    }
};

TEST_P(BesideOtherPrograms, APortTheyHoldIsNotListedAndSetNeverTouchesIt) {
    QProcess peer;
    start(peer, GetParam().holdCommand, pty.path());
    // Held once it has locked the device and then set its speed; looking for the lock only
    // after that keeps the probe from racing the peer for it.
    ASSERT_TRUE(waitUntil(
        [&] {
            return (pty.speed() == 9600 && !deviceCanBeOpened(pty.path())) ||
                   peer.state() != QProcess::Running;
        },
        10000));
    ASSERT_EQ(peer.state(), QProcess::Running) << peer.readAllStandardError().toStdString();

    setHardware(CommChoice{2, 115200, ""});
    EXPECT_FALSE(comm.isPortOpen());
    EXPECT_EQ(link.status().reason, LinkFault::InUse);
    EXPECT_NE(describeLinkStatus(link.status()).find("in use by another program"),
              std::string::npos);
    EXPECT_EQ(pty.speed(), 9600) << "the line settings of a port in use were changed";

    peer.closeWriteChannel();
    peer.terminate();
    ASSERT_TRUE(peer.waitForFinished(10000));
    ASSERT_TRUE(waitUntil([&] { return deviceCanBeOpened(pty.path()); }, 5000));
    openAs(2);
}

TEST_P(BesideOtherPrograms, TheyRefuseAPortVornelHolds) {
    openAs(2, 115200);
    EXPECT_NE(peerTries(pty.path()), 0) << GetParam().name << " took a port Vornel holds";
    EXPECT_EQ(pty.speed(), 115200);
    pty.write("[1]\r\n");
    EXPECT_TRUE(waitUntil([&] { return frames.size() == 1; }, 5000)) << "Vornel lost its port";
    comm.closePort();
    EXPECT_EQ(peerTries(pty.path()), 0) << "the port is still held after it was closed";
}

INSTANTIATE_TEST_SUITE_P(Peers, BesideOtherPrograms, ::testing::ValuesIn(kPeers),
                         [](const auto& peer) { return std::string(peer.param.name); });

// The same as an ordinary user, for whom the kernel's exclusive flag also counts: the tests
// above run again in a child process as `nobody`, on pseudo-terminals that user opens.
TEST(BesideOtherProgramsAsUser, HoldBothWaysForAnOrdinaryUser) {
    if (::getuid() != 0) {
        GTEST_SKIP() << "runs the user's side from root";
    }
    const auto [status, output] = runAsNobody("Peers/BesideOtherPrograms.*:PtyLinkTest.APortHeld*",
                                              QProcessEnvironment::systemEnvironment());
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("[  PASSED  ] 5 tests."), std::string::npos) << output;
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
    qputenv("VORNEL_SERIAL_PORTS", "/dev/pts/9:/dev/ttyUSB3::/dev/pts/9:/dev/pts/2:/dev/ttyUSB3");
    const SystemPortTable table;
    const std::vector<SerialDevice> devices = table.devices();
    ASSERT_EQ(devices.size(), 3U) << "each path once";
    EXPECT_EQ(devices[0].path, "/dev/pts/9");
    EXPECT_EQ(devices[1].path, "/dev/ttyUSB3");
    EXPECT_EQ(devices[2].path, "/dev/pts/2");
    // Set but empty: no ports, never the machine's own (its console among them).
    for (const char* empty : {"", ":", "::"}) {
        qputenv("VORNEL_SERIAL_PORTS", empty);
        EXPECT_TRUE(table.devices().empty()) << '"' << empty << '"';
    }
#ifndef Q_OS_WIN
    EXPECT_FALSE(table.port(1).has_value());
    qputenv("VORNEL_SERIAL_PORTS", "/dev/pts/9:/dev/ttyUSB3");
    EXPECT_EQ(table.port(2)->path, "/dev/ttyUSB3");
    EXPECT_FALSE(table.port(3).has_value());
#endif
    qunsetenv("VORNEL_SERIAL_PORTS");
}

}  // namespace
}  // namespace vornel
