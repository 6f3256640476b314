// The highest record rate Vornel's receive path takes without losing a byte.
//
// For each rate in turn, vornel-sim sends records "[12.3,45,6]" CR LF on a pseudo-terminal at
// that many records a second, with no line pacing (--baud 0), for about two seconds, and keeps a
// copy of every byte it sent (--record). Vornel's receive path (QtSerialService and CommLink on a
// Qt event loop) reads them. When the simulator has sent its count, it waits until the
// pseudo-terminal is empty and closes it; then the frames, less the "[" each frame after the
// first begins with, and what is left in the buffer, are compared with the copy byte for byte.
//
// The rates rise until the simulator no longer keeps up with the rate asked (it sends less
// than 90% of it: the writer and the pseudo-terminal path are saturated) or a byte is lost.
// The last step asks for no rate at all (--rate 0): as fast as the simulator can write.
//
//   rate_figures --sim PATH [--seconds S]
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "bench/link_on_path.h"
#include "bench/pty_writer.h"
#include "tests/kit/literal_assembler.h"

namespace vornel::perf {
namespace {

struct Step {
    long long askedRate = 0;  // records/s; 0: as fast as the simulator can write
    long long records = 0;
    long long bytesSent = 0;
    double sendSeconds = 0;  // the simulator's own count, from its summary
    double readSeconds = 0;  // from the first byte read to the last
    double readerCpu = 0;    // CPU seconds of this process in that time
    long long bytesRead = 0;
    bool complete = false;  // every byte sent was read, in order
    bool saturated = false;

    double sentRate() const { return sendSeconds > 0 ? records / sendSeconds : 0; }
};

std::string readFile(const QString& path) {
    std::ifstream in(path.toStdString(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

using testing::FrameStream;

Step runStep(const QString& sim, long long rate, long long records, const QString& dir) {
    Step step;
    step.askedRate = rate;
    const QString copy = dir + QStringLiteral("/sent-%1.bin").arg(rate);
    QProcess simulator;
    simulator.setProgram(sim);
    simulator.setArguments({"--wait-reader", "--baud", "0", "--rate", QString::number(rate),
                            "--count", QString::number(records), "--seed", "5", "--record", copy});
    simulator.start();
    if (!simulator.waitForReadyRead(10000)) {
        throw std::runtime_error("vornel-sim printed no device path");
    }
    const std::string path = simulator.readLine().trimmed().toStdString();

    QEventLoop loop;
    FrameStream stream;
    QElapsedTimer sinceFirst;
    double cpuAtFirst = 0;
    double lastReadAt = 0;
    double cpuAtLast = 0;
    LinkOnPath link([&](bool framed) {
        if (!sinceFirst.isValid()) {
            sinceFirst.start();
            cpuAtFirst = bench::processCpuSeconds();
        }
        lastReadAt = static_cast<double>(sinceFirst.nsecsElapsed()) / 1e9;
        cpuAtLast = bench::processCpuSeconds();
        if (framed) {
            stream.frame(link.lastFrame());
        }
    });
    // The simulator closes the pseudo-terminal once it has sent its count and the reader has
    // taken it all.
    link.onLinkLost = [&] { loop.quit(); };
    link.open(path);
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    loop.exec();
    link.close();
    if (simulator.state() != QProcess::NotRunning && !simulator.waitForFinished(30000)) {
        simulator.kill();
        simulator.waitForFinished();
        throw std::runtime_error("vornel-sim did not finish");
    }

    const std::string summary = simulator.readAllStandardError().toStdString();
    std::smatch m;
    if (!std::regex_search(summary, m, std::regex(R"((\d+) records, (\d+) bytes, ([0-9.]+) s)"))) {
        throw std::runtime_error("no summary from vornel-sim: " + summary);
    }
    step.records = std::stoll(m[1]);
    step.bytesSent = std::stoll(m[2]);
    step.sendSeconds = std::stod(m[3]);
    step.readSeconds = lastReadAt;
    step.readerCpu = cpuAtLast - cpuAtFirst;

    const std::string sent = readFile(copy);
    const std::string received = stream.withBuffer(link.buffer());
    step.bytesRead = static_cast<long long>(received.size());
    step.complete = !stream.wrongStart() && static_cast<long long>(sent.size()) == step.bytesSent &&
                    received == sent;
    step.saturated = rate == 0 || step.sentRate() < 0.9 * static_cast<double>(rate);
    QFile::remove(copy);
    return step;
}

// The comparison must notice one byte lost on the way, or its "yes" means nothing.
bool comparisonSeesALostByte() {
    const std::string sent = "[1.0,2,3]\r\n[1.1,2,4]\r\n[1.2,3,5]\r\n";
    FrameStream whole;
    whole.frame("[1.0,2,3]\r\n[");
    whole.frame("[1.1,2,4]\r\n");
    FrameStream lost;
    lost.frame("[1.0,2,3]\r\n[");
    lost.frame("[1.1,24]\r\n");
    return whole.withBuffer("[[1.2,3,5]\r\n") == sent && lost.withBuffer("[[1.2,3,5]\r\n") != sent;
}

int run(const QString& sim, double seconds) {
    if (!comparisonSeesALostByte()) {
        std::fprintf(stderr, "the comparison does not notice a lost byte\n");
        return 1;
    }
    QTemporaryDir dir;
    const std::vector<long long> rates = {1000,  2000,   5000,   10000,  20000,
                                          50000, 100000, 200000, 500000, 1000000};
    std::printf(
        "Records \"[12.3,45,6]\\r\\n\" (13-15 bytes) from vornel-sim --baud 0 over a "
        "pseudo-terminal, about %.0f s a step\n",
        seconds);
    std::printf("%12s %12s %12s %10s %12s %8s  %s\n", "asked rec/s", "sent rec/s", "records",
                "MB/s", "bytes", "CPU", "all read");
    bool allComplete = true;
    long long highestKept = 0;
    const auto show = [&](const Step& s) {
        const double cpuShare = s.readSeconds > 0 ? 100.0 * s.readerCpu / s.readSeconds : 0;
        std::printf("%12s %12.0f %12lld %10.2f %12lld %7.0f%%  %s\n",
                    s.askedRate == 0 ? "max" : std::to_string(s.askedRate).c_str(), s.sentRate(),
                    s.records, static_cast<double>(s.bytesSent) / 1e6 / s.sendSeconds, s.bytesSent,
                    cpuShare, s.complete ? "yes" : "NO");
        std::fflush(stdout);
    };
    for (const long long rate : rates) {
        const Step s = runStep(sim, rate, static_cast<long long>(rate * seconds), dir.path());
        show(s);
        allComplete = allComplete && s.complete;
        if (!s.complete) {
            break;
        }
        if (s.saturated) {
            break;
        }
        highestKept = rate;
    }
    if (allComplete) {
        // As fast as the simulator writes: the ceiling of the writer and the pseudo-terminal.
        const Step s = runStep(sim, 0, static_cast<long long>(400000 * seconds), dir.path());
        show(s);
        allComplete = s.complete;
    }
    std::printf(
        "highest rate asked that the simulator kept up with: %lld records/s; "
        "every byte read at every step: %s\n",
        highestKept, allComplete ? "yes" : "NO");
    std::printf(
        "CPU: this process (the reader) as a share of the time from its first read to "
        "its last\n");
    return allComplete ? 0 : 1;
}

}  // namespace
}  // namespace vornel::perf

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QString sim;
    double seconds = 2;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--sim") == 0 && i + 1 < argc) {
            sim = QString::fromLocal8Bit(argv[++i]);
        } else if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            seconds = std::atof(argv[++i]);
        }
    }
    if (sim.isEmpty() || !(seconds > 0)) {
        std::fprintf(stderr, "usage: %s --sim PATH [--seconds S]\n", argv[0]);
        return 2;
    }
    try {
        return vornel::perf::run(sim, seconds);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "rate_figures: %s\n", failure.what());
        return 1;
    }
}
