// The receive path over a pseudo-terminal: a writer thread sends records as fast as they are
// taken, for a few seconds, and Vornel's own receive path (QtSerialService and CommLink on the
// Qt event loop) reads them. picocom then reads the same stream from another pseudo-terminal.
// Prints MB/s and CPU seconds per MB for each, their ratios, and whether Vornel received every
// byte written, in order.
//
//   receive_path_bench [--seconds S]     S seconds of writing per reader, 3 by default
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bench/picocom_reader.h"
#include "bench/pty_writer.h"
#include "bench/records.h"
#include "bench/stream_check.h"
#include "capture/comm_link.h"
#include "serial/qt_serial_service.h"
#include "tests/kit/pseudo_terminal.h"

namespace vornel::bench {
namespace {

using Clock = std::chrono::steady_clock;

// The port is named by its path; no port number leads to a device of this machine.
class NoPorts : public PortTable {
public:
    std::vector<SerialDevice> devices() const override { return {}; }
};

struct ReaderFigures {
    const char* reader = "";
    std::uint64_t written = 0;
    std::uint64_t received = 0;
    double seconds = 0;  // from the first write until the last byte written had been read
    double cpu = 0;      // CPU seconds the reader used in that time
    bool complete = false;

    double megabytes() const { return static_cast<double>(received) / 1e6; }
};

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

ReaderFigures runVornel(std::string_view stream, double seconds) {
    testing::PseudoTerminal pty;
    NoPorts ports;
    QtSerialService comm{ports};
    std::string lastFrame;
    bool flashed = false;
    CommLink link{comm, lastFrame, [&flashed] { flashed = true; }};
    link.apply(CommChoice{0, 115200, pty.path()});
    if (!comm.isPortOpen()) {
        throw std::runtime_error(describeLinkStatus(link.status()));
    }

    ReaderFigures figures{"Vornel"};
    StreamCheck check{stream};
    QEventLoop loop;
    std::atomic<bool> writerDone{false};
    WriteResult written;
    bool drained = false;
    // The reader's CPU time is the process's, less what the writer thread used.
    const auto finishIfDrained = [&] {
        if (drained || !writerDone || check.received(link.assembler().RxBuffer()) < written.bytes) {
            return;
        }
        drained = true;
        figures.seconds = secondsSince(written.start);
        figures.cpu = processCpuSeconds() - written.processCpuAtStart - written.threadCpu;
        loop.quit();
    };
    comm.onComm = [&] {
        link.onComm();
        if (std::exchange(flashed, false)) {
            check.frame(lastFrame);
        }
        finishIfDrained();
    };
    link.onStatusChanged = [&] {
        if (link.status().reason == LinkFault::DeviceGone) {
            loop.quit();
        }
    };

    std::thread writer([&] {
        written = writeFor(pty.farEnd(), stream, seconds);
        writerDone = true;
        // Whatever has not arrived 5 s after the last write is taken as lost.
        QMetaObject::invokeMethod(
            &loop,
            [&] {
                finishIfDrained();
                QTimer::singleShot(5000, &loop, &QEventLoop::quit);
            },
            Qt::QueuedConnection);
    });
    loop.exec();
    writer.join();
    comm.closePort();

    const std::string& buffer = link.assembler().RxBuffer();
    figures.written = written.bytes;
    figures.received = check.received(buffer);
    figures.complete =
        drained && !written.stalled && figures.received == written.bytes && check.matches(buffer);
    return figures;
}

ReaderFigures runPicocom(std::string_view stream, double seconds) {
    testing::PseudoTerminal pty;
    PicocomReader picocom{pty.path()};
    const std::uint64_t readBefore = picocom.bytesRead();
    const double cpuBefore = picocom.cpuSeconds();

    const WriteResult written = writeFor(pty.farEnd(), stream, seconds);
    ReaderFigures figures{"picocom"};
    figures.written = written.bytes;
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while (picocom.bytesRead() - readBefore < written.bytes && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    figures.seconds = secondsSince(written.start);
    figures.cpu = picocom.cpuSeconds() - cpuBefore;
    figures.received = picocom.bytesRead() - readBefore;
    figures.complete = !written.stalled && figures.received == written.bytes;
    return figures;
}

// The byte-for-byte check must notice a byte lost on the way, or its "yes" means nothing.
bool checkSeesALostByte(std::string_view stream) {
    const auto follow = [&](std::string_view received) {
        StreamCheck check{stream};
        FrameAssembler assembler;
        std::mt19937 random(5);
        std::uniform_int_distribution<std::size_t> size(1, 300);
        while (!received.empty()) {
            const std::size_t n = std::min(size(random), received.size());
            assembler.Append(received.substr(0, n));
            received.remove_prefix(n);
            TakenFrame frame = assembler.TakeFrame();
            if (frame.completed) {
                check.frame(frame.text);
            }
        }
        return check.matches(assembler.RxBuffer());
    };
    const std::string whole = std::string(stream) + std::string(stream.substr(0, 1000));
    std::string lost = whole;
    lost.erase(lost.size() / 2, 1);
    return follow(whole) && !follow(lost);
}

// A reader that did not get every byte has no meaningful rate: its figures are left out.
void printFigures(const ReaderFigures& r) {
    std::printf("%-9s ", r.reader);
    if (r.complete) {
        std::printf("%9.1f %12.5f %6.0f%%", r.megabytes() / r.seconds, r.cpu / r.megabytes(),
                    100.0 * r.cpu / r.seconds);
    } else {
        std::printf("%9s %12s %7s", "-", "-", "-");
    }
    std::printf(" %14llu %14llu  %s\n", static_cast<unsigned long long>(r.written),
                static_cast<unsigned long long>(r.received), r.complete ? "yes" : "NO");
}

}  // namespace
}  // namespace vornel::bench

int main(int argc, char** argv) {
    using namespace vornel::bench;
    double seconds = 3.0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            seconds = std::atof(argv[++i]);
        }
    }
    if (!(seconds > 0)) {
        std::fprintf(stderr, "usage: %s [--seconds S]   (S > 0)\n", argv[0]);
        return 2;
    }
    QCoreApplication app(argc, argv);

    const std::string stream = makeRecords(1 << 20, 2024);
    if (!checkSeesALostByte(stream)) {
        std::fprintf(stderr, "the stream check does not notice a lost byte\n");
        return 1;
    }
    try {
        const ReaderFigures vornel = runVornel(stream, seconds);
        const ReaderFigures picocom = runPicocom(stream, seconds);

        std::printf(
            "Receive path over a pseudo-terminal: %.1f s of records per reader, "
            "MB = 10^6 bytes\n",
            seconds);
        std::printf("%-9s %9s %12s %7s %14s %14s  %s\n", "reader", "MB/s", "CPU s/MB", "CPU",
                    "bytes written", "bytes read", "all read");
        printFigures(vornel);
        printFigures(picocom);
        if (vornel.complete && picocom.complete) {
            std::printf(
                "Vornel/picocom: MB/s %.2fx, CPU s per MB %.2fx\n",
                (vornel.megabytes() / vornel.seconds) / (picocom.megabytes() / picocom.seconds),
                (vornel.cpu / vornel.megabytes()) / (picocom.cpu / picocom.megabytes()));
        }
        std::printf("Vornel received every byte written, in order: %s (%llu of %llu bytes)\n",
                    vornel.complete ? "yes" : "NO",
                    static_cast<unsigned long long>(vornel.received),
                    static_cast<unsigned long long>(vornel.written));
        return vornel.complete && picocom.complete ? 0 : 1;
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "receive_path_bench: %s\n", failure.what());
        return 1;
    }
}
