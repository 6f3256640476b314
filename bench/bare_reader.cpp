// The yardstick for Vornel's receive path: the least a Qt Widgets program does to read a serial
// port. One small window on the screen, and Qt Serial Port's readyRead answered with readAll.
//   bare_reader DEVICE
#include <QApplication>
#include <QLabel>
#include <QSerialPort>
#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: bare_reader DEVICE\n");
        return 2;
    }
    QLabel window(QStringLiteral("A bare Qt Serial Port reader"));
    window.show();
    QSerialPort port(QString::fromLocal8Bit(argv[1]));
    port.setBaudRate(115200);
    if (!port.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "bare_reader: %s\n", qPrintable(port.errorString()));
        return 1;
    }
    QByteArray last;
    QObject::connect(&port, &QSerialPort::readyRead, [&] { last = port.readAll(); });
    return app.exec();
}
