// The yardstick for Vornel's start-up: a minimal Qt Widgets program with one window, a solid
// colour and one line of text, centred on the screen. first_paint measures both the same way.
#include <QApplication>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window(nullptr, Qt::Window | Qt::FramelessWindowHint);
    window.setFixedSize(400, 300);
    QPalette palette = window.palette();
    palette.setColor(QPalette::Window, QColor(0x33, 0x66, 0xcc));
    window.setPalette(palette);
    window.setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(new QLabel(QStringLiteral("A minimal Qt Widgets window"), &window), 0,
                      Qt::AlignCenter);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    window.move(screen.center() - window.rect().center());
    window.show();
    return app.exec();
}
