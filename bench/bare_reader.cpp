// The yardstick for Vornel's receive path: the least a Qt Widgets program does to read a serial
// port and show that data comes. One small window on the screen; Qt Serial Port's readyRead
// answered with readAll, and a small square lit green on every read and darkened 250 ms after
// the last, so that it pays for the same repaints as Vornel's indicator.
//   bare_reader DEVICE
#include <QApplication>
#include <QLabel>
#include <QSerialPort>
#include <QTimer>
#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: bare_reader DEVICE\n");
        return 2;
    }
    QLabel window(QStringLiteral("A bare Qt Serial Port reader"));
    window.setIndent(24);
    window.show();
    QWidget light(&window);
    light.setGeometry(8, 8, 9, 9);
    QPalette green = light.palette();
    green.setColor(QPalette::Window, Qt::green);
    light.setPalette(green);
    QTimer dark;
    dark.setSingleShot(true);
    dark.setInterval(250);
    QObject::connect(&dark, &QTimer::timeout, [&] { light.setAutoFillBackground(false); });

    QSerialPort port(QString::fromLocal8Bit(argv[1]));
    port.setBaudRate(115200);
    if (!port.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "bare_reader: %s\n", qPrintable(port.errorString()));
        return 1;
    }
    QByteArray last;
    QObject::connect(&port, &QSerialPort::readyRead, [&] {
        last = port.readAll();
        dark.start();
        if (!light.autoFillBackground()) {
            light.setAutoFillBackground(true);  // repaints it
        }
    });
    return app.exec();
}
