// The time from the last byte of a record leaving the writer to LastFrame holding it, over
// Vornel's real receive path (QtSerialService and CommLink on a Qt event loop) on a
// pseudo-terminal.
//
// A writer thread sends records one at a time, 5 to 10 ms apart, so that each is a frame of its
// own. Each record goes in one write(); the writer reads the monotonic clock just before that
// write. The receive handler reads the same clock as soon as the notification that completed
// the frame has been handled, that is when LastFrame holds the record.
//
//   latency_figures [--records N]     N timed records, 1000 by default
//
// Prints the median, 90th and 99th percentile and the worst. Exits 1 when a record did not
// arrive as a frame of its own, byte for byte.
#include <poll.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench/link_on_path.h"
#include "bench/pty_writer.h"
#include "bench/records.h"
#include "tests/kit/pseudo_terminal.h"

namespace vornel::perf {
namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::string> splitRecords(const std::string& text) {
    std::vector<std::string> records;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find("\r\n", at) + 2;
        records.push_back(text.substr(at, end - at));
        at = end;
    }
    return records;
}

void writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            throw std::runtime_error("write to the pseudo-terminal failed");
        } else {
            pollfd out{fd, POLLOUT, 0};
            ::poll(&out, 1, 100);
        }
    }
}

double percentile(std::vector<double> sorted, double p) {
    const std::size_t at = std::min(
        sorted.size() - 1, static_cast<std::size_t>(p * static_cast<double>(sorted.size())));
    return sorted[at];
}

int run(int timed) {
    // A few records first, not timed: the first frame differs (no "[" in front), and the first
    // wake-ups of a fresh process are slower.
    constexpr int kWarmUp = 20;
    const int total = kWarmUp + timed;
    std::vector<std::string> records = splitRecords(bench::makeRecords(64, 7));
    while (static_cast<int>(records.size()) < total) {
        const std::vector<std::string> more =
            splitRecords(bench::makeRecords(static_cast<std::size_t>(total) * 16, 11));
        records.insert(records.end(), more.begin(), more.end());
    }
    records.resize(static_cast<std::size_t>(total));

    testing::PseudoTerminal pty;
    std::vector<std::atomic<Clock::rep>> sentAt(static_cast<std::size_t>(total));
    std::vector<double> latencies;  // microseconds
    latencies.reserve(static_cast<std::size_t>(timed));
    int frames = 0;
    int wrongFrames = 0;
    QEventLoop loop;

    LinkOnPath link([&](bool framed) {
        if (!framed) {
            return;
        }
        const auto now = Clock::now().time_since_epoch().count();
        const std::size_t index = static_cast<std::size_t>(frames++);
        if (index >= records.size()) {
            ++wrongFrames;
            return;
        }
        const std::string expected = (index == 0 ? "" : "[") + records[index];
        if (link.lastFrame() != expected) {
            ++wrongFrames;
        } else if (static_cast<int>(index) >= kWarmUp) {
            latencies.push_back(static_cast<double>(now - sentAt[index].load()) / 1e3);
        }
        if (frames == total) {
            loop.quit();
        }
    });
    link.open(pty.path());

    std::thread writer([&] {
        std::mt19937 random(2026);
        std::uniform_int_distribution<int> gapMicros(5000, 10000);
        for (int i = 0; i < total; ++i) {
            std::this_thread::sleep_for(std::chrono::microseconds(gapMicros(random)));
            sentAt[static_cast<std::size_t>(i)].store(Clock::now().time_since_epoch().count());
            writeAll(pty.farEnd(), records[static_cast<std::size_t>(i)]);
        }
        // Whatever has not arrived 5 s after the last write is taken as lost.
        QMetaObject::invokeMethod(
            &loop, [&] { QTimer::singleShot(5000, &loop, &QEventLoop::quit); },
            Qt::QueuedConnection);
    });
    loop.exec();
    writer.join();
    link.close();

    std::printf(
        "Latency, last byte written to LastFrame holding the record: %d records, 5-10 ms "
        "apart, one write each\n",
        timed);
    if (wrongFrames > 0 || static_cast<int>(latencies.size()) != timed) {
        std::printf("FAILED: %d frames of %d, %d not a record of its own\n", frames, total,
                    wrongFrames);
        return 1;
    }
    std::sort(latencies.begin(), latencies.end());
    double sum = 0;
    for (double l : latencies) {
        sum += l;
    }
    std::printf(
        "median %.0f us, mean %.0f us, 90%% %.0f us, 99%% %.0f us, worst %.0f us, best %.0f us\n",
        percentile(latencies, 0.5), sum / static_cast<double>(latencies.size()),
        percentile(latencies, 0.9), percentile(latencies, 0.99), latencies.back(),
        latencies.front());
    std::printf("every record arrived as a frame of its own, byte for byte: yes\n");
    return 0;
}

}  // namespace
}  // namespace vornel::perf

int main(int argc, char** argv) {
    int records = 1000;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--records") == 0 && i + 1 < argc) {
            records = std::atoi(argv[++i]);
        }
    }
    if (records <= 0) {
        std::fprintf(stderr, "usage: %s [--records N]   (N > 0)\n", argv[0]);
        return 2;
    }
    QCoreApplication app(argc, argv);
    try {
        return vornel::perf::run(records);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "latency_figures: %s\n", failure.what());
        return 1;
    }
}
