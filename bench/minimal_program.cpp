// The yardstick for Vornel's memory with the raw data viewer open: the least a Qt Widgets program
// needs to show what Vornel then shows. Two windows, each with its menu bar: a strip with a title,
// a line of text and a small green square, and a list window whose two-column list shows the
// latest data read, in rows of 60 characters, once a second. Qt Serial Port is linked and, given
// a device, reads it. The fonts Vornel's windows are defined with are asked for once each, from
// the families that stand in for them on these machines.
//   minimal_program [DEVICE]
#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QSerialPort>
#include <QTimer>
#include <QTreeWidget>
#include <cstdio>
#include <vector>

namespace {

QFont font(const QStringList& families, double points, bool bold = false, bool italic = false) {
    QFont f;
    f.setFamilies(families);
    f.setPointSizeF(points);
    f.setBold(bold);
    f.setItalic(italic);
    QFontMetrics(f).height();  // asked for, and so loaded, once
    return f;
}

void menu(QMainWindow& window, const std::vector<const char*>& captions) {
    window.menuBar()->setNativeMenuBar(false);
    for (const char* caption : captions) {
        window.menuBar()->addAction(QString::fromLatin1(caption));
    }
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList arial{"Arial", "Liberation Sans", "Arimo", "sans-serif"};
    const QStringList palatino{"Palatino Linotype", "TeX Gyre Pagella", "P052", "serif"};
    const QStringList sans{"MS Sans Serif", "Microsoft Sans Serif", "Liberation Sans",
                           "DejaVu Sans", "sans-serif"};
    app.setFont(font(sans, 8.25));
    const QFont title = font(palatino, 18, true, true);
    const QFont line = font(sans, 9.75);
    const QFont rows = font(sans, 12);
    // The splash's, which Vornel asks for before the other windows' and keeps loaded.
    font(arial, 27.75, true);
    font(arial, 15.75, true);
    font(arial, 8.25);
    font(sans, 18);

    QMainWindow strip(nullptr, Qt::Window | Qt::CustomizeWindowHint);
    menu(strip, {"COMMS", "set Hardware", "raw DAta", "About", "Exit"});
    auto* client = new QWidget(&strip);
    strip.setCentralWidget(client);
    client->setFixedSize(390, 44);
    auto* caption = new QLabel(QStringLiteral("Tessaly"), client);
    caption->setFont(title);
    caption->setGeometry(24, 0, 319, 33);
    auto* maker = new QLabel(QStringLiteral("Quillfield Labs 2026"), client);
    maker->setFont(line);
    maker->setGeometry(256, 24, 129, 17);
    auto* light = new QWidget(client);
    light->setGeometry(8, 16, 9, 9);
    QPalette green = light->palette();
    green.setColor(QPalette::Window, Qt::green);
    light->setPalette(green);
    light->setAutoFillBackground(true);
    strip.move(322, 250);
    strip.show();

    QMainWindow viewer(&strip, Qt::Window);
    menu(viewer, {"EXIT", "Pause"});
    auto* list = new QTreeWidget(&viewer);
    viewer.setCentralWidget(list);
    list->setFont(rows);
    list->setRootIsDecorated(false);
    list->setColumnCount(2);
    list->setHeaderLabels({QString(), QStringLiteral("RAW DATA")});
    list->setColumnWidth(0, 0);
    list->setColumnWidth(1, 533);
    viewer.setGeometry(236, 190, 561, 65);
    viewer.show();

    QSerialPort port;
    QByteArray last;
    if (argc > 1) {
        port.setPortName(QString::fromLocal8Bit(argv[1]));
        if (!port.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "minimal_program: %s\n", qPrintable(port.errorString()));
            return 1;
        }
        QObject::connect(&port, &QSerialPort::readyRead, [&] { last += port.readAll(); });
    }
    QTimer refresh;
    QObject::connect(&refresh, &QTimer::timeout, [&] {
        list->clear();
        for (qsizetype at = 0; at == 0 || (at < last.size() && at < 1200); at += 60) {
            auto* row = new QTreeWidgetItem(list);
            row->setText(1, QString::fromLatin1(last.mid(at, 60)) + QStringLiteral("\r\n"));
        }
        last = last.right(60);
    });
    refresh.start(1000);
    return app.exec();
}
