// Counts what a real serial device delivers through Vornel's own serial service and frame
// assembler, and accounts for it against what the device was sent, as the soak does. Run in the
// guest of tools/guest-check.sh on a kernel driver's device while the simulator feeds it.
//
//   frame_count --device PATH --baud N [--idle SECONDS]
//
// Prints "open" once the port is open (or why it is not, and ends with 1). A line on standard
// input names the file holding what was sent (the simulator's --record copy), complete; the
// program then waits until it has read as much, or until nothing more arrived for SECONDS
// (default 5), and prints its findings as one line of JSON. Exit status 0 when every byte sent
// was read, in order, in frames that follow the frame rule.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "capture/comm_link.h"
#include "serial/port_table.h"
#include "serial/qt_serial_service.h"
#include "stream_account.h"

namespace {

using vornel::soak::StreamAccount;

std::string jsonText(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        out += (static_cast<unsigned char>(c) < 0x20) ? ' ' : c;
    }
    return out + "\"";
}

QString argument(const QStringList& args, const QString& name, const QString& otherwise) {
    const qsizetype at = args.indexOf(name);
    return at >= 0 && at + 1 < args.size() ? args[at + 1] : otherwise;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const std::string device = argument(args, "--device", "").toStdString();
    const int baud = argument(args, "--baud", "115200").toInt();
    const int idleMs = static_cast<int>(argument(args, "--idle", "5").toDouble() * 1000);

    vornel::SystemPortTable ports;
    vornel::QtSerialService comm(ports);
    std::string lastFrame;
    vornel::CommLink link(comm, lastFrame, [] {});
    // Nothing is lost to the bound: the line carries nothing after the last read.
    StreamAccount account(baud / 10.0, 0);
    std::uint64_t records = 0;
    std::uint64_t mostInAFrame = 0;
    QElapsedTimer sinceRead;
    sinceRead.start();
    comm.onComm = [&] {
        const std::uint64_t framesBefore = account.frames();
        link.onComm();
        account.observe(lastFrame, link.assembler().RxBuffer(), StreamAccount::Clock::now());
        if (account.frames() > framesBefore) {
            const auto n =
                static_cast<std::uint64_t>(std::count(lastFrame.begin(), lastFrame.end(), ']'));
            records += n;
            mostInAFrame = std::max(mostInAFrame, n);
        }
        sinceRead.start();
    };
    link.apply(vornel::CommChoice{0, baud, device});
    if (!link.status().open) {
        std::cout << vornel::describeLinkStatus(link.status()) << std::endl;
        return 1;
    }
    account.sessionStarted(StreamAccount::Clock::now());
    std::cout << "open" << std::endl;

    std::string sent;
    QSocketNotifier input(0, QSocketNotifier::Read);
    QTimer finish;
    finish.setInterval(50);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        input.setEnabled(false);
        std::string path;
        std::getline(std::cin, path);
        std::ifstream file(path, std::ios::binary);
        sent.assign(std::istreambuf_iterator<char>(file), {});
        finish.start();
    });
    QObject::connect(&finish, &QTimer::timeout, [&] {
        if (account.bytesRead() >= sent.size() || sinceRead.elapsed() > idleMs) {
            app.quit();
        }
    });
    app.exec();

    account.sent(sent);
    account.deviceGone(StreamAccount::Clock::now());
    const bool whole = account.ok() && account.bytesLostAtDrops() == 0;
    std::string failures;
    for (const std::string& f : account.failures()) {
        failures += (failures.empty() ? "" : ",") + jsonText(f);
    }
    std::printf(
        "{\"device\": %s, \"baud\": %d, \"bytes_sent\": %zu, \"bytes_read\": %llu, "
        "\"records_sent\": %lld, \"records_found\": %llu, \"frames\": %llu, "
        "\"most_records_in_a_frame\": %llu, \"ok\": %s, \"failures\": [%s]}\n",
        jsonText(device).c_str(), baud, sent.size(),
        static_cast<unsigned long long>(account.bytesRead()),
        static_cast<long long>(std::count(sent.begin(), sent.end(), ']')),
        static_cast<unsigned long long>(records), static_cast<unsigned long long>(account.frames()),
        static_cast<unsigned long long>(mostInAFrame), whole ? "true" : "false", failures.c_str());
    return whole ? 0 : 1;
}
