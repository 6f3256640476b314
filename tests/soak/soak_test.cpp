// The soak: the real main window, headless, with the raw data viewer open, fed by the device
// simulator in its noise modes for a minute (--seconds, VORNEL_SOAK_SECONDS), while the device is
// unplugged and plugged in again every few seconds and "set Hardware" is given the new path
// after each drop, as a user would. At the end the program must still be running with nothing
// reported, its memory must not have risen once start-up was over, and every byte the simulator
// sent must be accounted for in the frames (see StreamAccount).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPixmapCache>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "forms/frmmain.h"
#include "forms/globals.h"
#include "forms/kit/failure_guard.h"
#include "memory_watch.h"
#include "modal.h"
#include "soak_settings.h"
#include "stream_account.h"
#include "wait_until.h"

namespace vornel::soak {
namespace {

using Clock = StreamAccount::Clock;
using testing::waitUntil;

// The line: 115200 bit/s at 10 bits a character. Bytes a device may lose at a drop beyond what
// the line carried since the last read: the simulator catches up by up to 100 ms of line time
// after it was held up, and writes 20 ms slices; 2048 bytes cover both.
constexpr double kLineBytesPerSecond = 11520;
constexpr std::size_t kDropSlackBytes = 2048;

// Memory may rise this much after start-up. A leak of a few dozen bytes a frame over the
// thousands of frames of a full run goes past the heap bound. Qt 6.4 keeps 1 to 2 KB for each
// setup dialog, which has a palette of its own, and never returns it: allowed for each
// "set Hardware" after start-up.
constexpr std::uint64_t kHeapRiseBound = 256 * 1024;
constexpr std::uint64_t kHeapRisePerSetHardware = 4 * 1024;
constexpr std::uint64_t kResidentRiseBound = 2 * 1024 * 1024;

struct Stage {
    const char* name;
    int recordsPerSecond;
    std::uint64_t seed;
    QStringList options;
};

const Stage kStages[] = {
    {"csv: split, garbage, start mid-record, 3000 bytes without \"]\"",
     200,
     101,
     {"--format", "csv", "--split", "--garbage", "--start-mid", "--no-close", "3000"}},
    {"xml: split, garbage", 150, 202, {"--format", "xml", "--split", "--garbage"}},
    {"mixed: split, garbage, start mid-record, 5000 bytes without \"]\"",
     200,
     303,
     {"--format", "mixed", "--split", "--garbage", "--start-mid", "--no-close", "5000"}},
};

// The simulator's copy of what it sent, read as it grows.
class SentCopy {
public:
    explicit SentCopy(const QString& path) : fd_(::open(path.toLocal8Bit().constData(), O_RDONLY)) {
        buffer_.resize(1 << 16);
    }
    ~SentCopy() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    SentCopy(const SentCopy&) = delete;
    SentCopy& operator=(const SentCopy&) = delete;

    bool isOpen() const { return fd_ >= 0; }

    // Gives everything written since the last call to `account`.
    void feed(StreamAccount& account) {
        for (;;) {
            const ssize_t n = ::read(fd_, buffer_.data(), buffer_.size());
            if (n <= 0) {
                return;
            }
            account.sent(std::string_view(buffer_.data(), static_cast<std::size_t>(n)));
        }
    }

private:
    int fd_;
    std::vector<char> buffer_;
};

class Soak : public ::testing::Test {
protected:
    testing::FakePlatform machine;  // no serial device of this machine is listed or probed
    PlatformServices services = machine.services();
    std::unique_ptr<frmMain> window;
    StreamAccount account{kLineBytesPerSecond, kDropSlackBytes};
    std::vector<std::string> reported;
    int setHardwareRefused = 0;
    int dropsSeenFirst = 0;  // drops the program noticed before "set Hardware" was given
    QElapsedTimer runClock;
    std::vector<double> setHardwareAt;  // seconds into the run

    void SetUp() override {
        failure_guard::setReporter([this](const std::string& what) { reported.push_back(what); });
        LastFrame.clear();
        CommPortNumber = 0;
        CommBaudRate = 0;
        CommPortPath.clear();
        window = std::make_unique<frmMain>(services);
        window->show();
    }

    void TearDown() override {
        settings().afterSocketEvent = nullptr;
        window->close();
        window.reset();
        failure_guard::reset();
    }

    // "set Hardware": the device path typed into the port field, 115200, SET.
    void setHardware(const QString& path) {
        const auto dialog = testing::onNextModal(
            [&](QWidget* setup) {
                setup->findChild<QComboBox*>("PortNumber")->setEditText(path);
                setup->findChild<QComboBox*>("BaudSelect")->setEditText("115200");
                QTest::mouseClick(setup->findChild<QLabel*>("Exit_no_save"), Qt::LeftButton);
            },
            window.get());
        window->findChild<QAction*>("SetupHardware")->trigger();
        setHardwareAt.push_back(static_cast<double>(runClock.elapsed()) / 1000);
        if (window->commLink().status().open) {
            account.sessionStarted(Clock::now());
        } else {
            ++setHardwareRefused;
            ADD_FAILURE() << "set Hardware did not open " << path.toStdString() << ": "
                          << describeLinkStatus(window->commLink().status());
        }
    }

    void noteIfTheProgramSawTheDrop() {
        const LinkStatus& status = window->commLink().status();
        if (!status.open && status.reason == LinkFault::DeviceGone) {
            ++dropsSeenFirst;
        }
    }

    // One simulator run: its noise, for `seconds`, with a drop every `dropEvery` seconds.
    void runStage(const Stage& stage, double seconds, double dropEvery, const QString& dir) {
        const QString copyPath = dir + "/sent-" + QString::number(stage.seed) + ".bin";
        QProcess sim;
        sim.setProgram(QString::fromStdString(settings().simulator));
        sim.setArguments(QStringList{"--wait-reader", "--baud", "115200", "--rate",
                                     QString::number(stage.recordsPerSecond), "--drop-every",
                                     QString::number(dropEvery), "--seed",
                                     QString::number(stage.seed), "--record", copyPath} +
                         stage.options);
        sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        sim.start();
        ASSERT_TRUE(sim.waitForStarted(10000)) << sim.errorString().toStdString();
        ASSERT_TRUE(waitUntil([&] { return sim.canReadLine(); }, 10000)) << "no device path";
        SentCopy copy(copyPath);
        ASSERT_TRUE(copy.isOpen());
        QTimer feeder;
        QObject::connect(&feeder, &QTimer::timeout, [&] { copy.feed(account); });
        feeder.start(50);

        setHardware(QString::fromLocal8Bit(sim.readLine()).trimmed());
        QElapsedTimer clock;
        clock.start();
        const qint64 length = static_cast<qint64>(seconds * 1000);
        while (clock.elapsed() < length) {
            waitUntil([&] { return sim.canReadLine() || sim.state() == QProcess::NotRunning; },
                      static_cast<int>(std::max<qint64>(1, length - clock.elapsed())));
            ASSERT_EQ(sim.state(), QProcess::Running) << "vornel-sim ended early";
            if (!sim.canReadLine()) {
                continue;
            }
            // Unplugged and plugged in again: the copy now holds all the old device was sent,
            // and nothing goes to the new one until it is opened. Two drops before this one was
            // handled leave only the newest device.
            QString path;
            while (sim.canReadLine()) {
                path = QString::fromLocal8Bit(sim.readLine()).trimmed();
            }
            copy.feed(account);
            account.deviceGone(Clock::now());
            noteIfTheProgramSawTheDrop();
            setHardware(path);
        }

        // The simulator stops; its device goes with it, and the port closes on its own.
        sim.terminate();
        EXPECT_TRUE(waitUntil([&] { return sim.state() == QProcess::NotRunning; }, 10000));
        EXPECT_EQ(sim.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(sim.exitCode(), 0);
        EXPECT_TRUE(waitUntil([&] { return !window->commLink().status().open; }, 5000))
            << "the port stays open after its device went away";
        feeder.stop();
        copy.feed(account);
        account.deviceGone(Clock::now());
        noteIfTheProgramSawTheDrop();
    }
};

void printGrowth(const char* what, const Growth& g, bool checked) {
    std::printf(
        "  %-14s settled %8.1f KiB, highest after %8.1f KiB (+%.1f KiB), at the end %8.1f KiB%s\n",
        what, static_cast<double>(g.settled) / 1024, static_cast<double>(g.highest) / 1024,
        static_cast<double>(g.rise()) / 1024, static_cast<double>(g.last) / 1024,
        checked ? "" : "  (not checked: AddressSanitizer's quarantine)");
}

TEST_F(Soak, NoiseAndDropsWithSetHardwareAfterEach) {
    const double total = settings().seconds;
    ASSERT_FALSE(settings().simulator.empty()) << "vornel-sim not given (--sim PATH)";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());

    // The raw data viewer stays open all along, refreshing every second.
    window->findChild<QAction*>("RAWdataMENU")->trigger();
    settings().afterSocketEvent = [this] {
        account.observe(LastFrame, window->commLink().assembler().RxBuffer(), Clock::now());
    };

    std::vector<MemorySample> memory;
    memory.reserve(static_cast<std::size_t>(total * 4) + 200);
    setHardwareAt.reserve(1000);
    runClock.start();
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        // Qt's pixmap cache holds style pixmaps drawn for each setup dialog's own palette, about
        // 20 KB a dialog, up to Qt's limit of 10 MB; emptied before each sample, it is left out.
        QPixmapCache::clear();
        memory.push_back(sampleMemory(static_cast<double>(runClock.elapsed()) / 1000));
    });
    sampler.start(250);

    const double stageSeconds = total / std::size(kStages);
    const double dropEvery = std::clamp(stageSeconds / 6, 1.0, 3.0);
    double recordsAsked = 0;
    for (const Stage& stage : kStages) {
        runStage(stage, stageSeconds, dropEvery, dir.path());
        recordsAsked += stage.recordsPerSecond * stageSeconds;
        if (HasFatalFailure()) {
            return;
        }
    }
    sampler.stop();
    QPixmapCache::clear();
    memory.push_back(sampleMemory(static_cast<double>(runClock.elapsed()) / 1000));
    settings().afterSocketEvent = nullptr;

    if (!settings().memoryLog.empty()) {
        if (std::FILE* log = std::fopen(settings().memoryLog.c_str(), "w")) {
            for (const MemorySample& m : memory) {
                std::fprintf(log, "%.2f %llu %llu\n", m.seconds,
                             static_cast<unsigned long long>(m.resident),
                             static_cast<unsigned long long>(m.heap));
            }
            std::fclose(log);
        }
    }
    const double settle = std::max(5.0, total / 4);
    const Growth heap = growthAfter(memory, settle, &MemorySample::heap);
    const Growth resident = growthAfter(memory, settle, &MemorySample::resident);
    std::printf("Soak: %.0f s in %zu stages, a drop every %.1f s, %.1f s in all\n", total,
                std::size(kStages), dropEvery, static_cast<double>(runClock.elapsed()) / 1000);
    std::printf("  devices opened %d (drops the program saw before set Hardware: %d)\n",
                account.sessions(), dropsSeenFirst);
    std::printf("  bytes sent %llu, read %llu, lost by the kernel at drops %llu (largest %llu)\n",
                static_cast<unsigned long long>(account.bytesSent()),
                static_cast<unsigned long long>(account.bytesRead()),
                static_cast<unsigned long long>(account.bytesLostAtDrops()),
                static_cast<unsigned long long>(account.largestLossAtADrop()));
    std::printf("  frames %llu, of which began with a partial record from before a drop: %d\n",
                static_cast<unsigned long long>(account.frames()),
                account.framesCarriedAcrossADrop());
    std::printf("  memory over %zu samples, start-up taken as the first %.0f s:\n", memory.size(),
                settle);
    printGrowth("heap in use", heap, true);
    printGrowth("resident set", resident, residentSetIsMeaningful());

    // The program kept running, and nothing escaped a handler.
    EXPECT_TRUE(reported.empty()) << reported.front();
    EXPECT_FALSE(failure_guard::ending());
    EXPECT_TRUE(window->isVisible());
    const QWidget* viewer = window->findChild<QWidget*>("raw");
    EXPECT_TRUE(viewer != nullptr && viewer->isVisible()) << "the raw data viewer is gone";
    EXPECT_EQ(setHardwareRefused, 0);

    // Every byte accounted for.
    for (const std::string& failure : account.failures()) {
        ADD_FAILURE() << failure;
    }
    // The run did what it set out to: devices came and went, and records flowed between.
    EXPECT_GE(account.sessions(), 2 * static_cast<int>(std::size(kStages)));
    EXPECT_GE(static_cast<double>(account.frames()), recordsAsked / 2);

    const auto laterSetHardware = std::count_if(setHardwareAt.begin(), setHardwareAt.end(),
                                                [&](double at) { return at >= settle; });
    EXPECT_LE(heap.rise(), kHeapRiseBound + kHeapRisePerSetHardware *
                                                static_cast<std::uint64_t>(laterSetHardware))
        << "the heap in use rose after start-up (" << laterSetHardware << " set Hardware since)";
    if (residentSetIsMeaningful()) {
        EXPECT_LE(resident.rise(), kResidentRiseBound) << "the resident set rose after start-up";
    }
}

}  // namespace
}  // namespace vornel::soak
