#include "forms/kit/window_def.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHash>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStringList>
#include <cmath>
#include <cstring>

#include "forms/kit/combo_field.h"

namespace vornel {

namespace {

double pixelsPerTwip() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen != nullptr ? screen->logicalDotsPerInch() : 96.0;
    return dpi / 1440.0;
}

// Paints a widget's back colour before the widget paints itself.
class BackColourPainter : public QObject {
public:
    static constexpr const char* kName = "backColourPainter";

    BackColourPainter(QWidget* widget, QColor colour) : QObject(widget), colour_(colour) {
        setObjectName(QString::fromLatin1(kName));
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            QPainter painter(static_cast<QWidget*>(watched));
            painter.fillRect(static_cast<QPaintEvent*>(event)->rect(), colour_);
        }
        return false;
    }

private:
    QColor colour_;
};

// Whether this machine has a family, asked of Qt once for each family in the run. Qt resolves
// the name through fontconfig's substitutions on every call, about a million instructions each
// time here, and a window asks for the same few families again and again.
bool installed(const QString& family) {
    static QHash<QString, bool> known;
    if (const auto found = known.constFind(family); found != known.cend()) {
        return found.value();
    }
    const bool has = QFontDatabase::hasFamily(family);
    known.insert(family, has);
    return has;
}

// The families from the first one this machine has on, or all of them where it has none (Qt's
// own substitutes then choose). Qt would pass over the others anyway, but it looks for a family
// it cannot find again for every new size and style of a font: under Wine about 13 ms each
// time, where making the font of an installed family takes under 1 ms.
QStringList fromFirstInstalled(const QStringList& families) {
    for (qsizetype i = 0; i < families.size(); ++i) {
        if (installed(families.at(i))) {
            return families.mid(i);
        }
    }
    return families;
}

}  // namespace

int twips(int value) {
    return static_cast<int>(std::lround(value * pixelsPerTwip()));
}

QRect twipsRect(int left, int top, int width, int height) {
    return {twips(left), twips(top), twips(width), twips(height)};
}

QSize twipsSize(int width, int height) {
    return {twips(width), twips(height)};
}

QStringList definitionFamilies(const char* family) {
    QStringList families{QString::fromLatin1(family)};
    if (std::strcmp(family, "Arial") == 0) {
        families << QStringLiteral("Liberation Sans") << QStringLiteral("Arimo");
    } else if (std::strcmp(family, "Palatino Linotype") == 0) {
        families << QStringLiteral("TeX Gyre Pagella") << QStringLiteral("P052")
                 << QStringLiteral("URW Palladio L") << QStringLiteral("serif");
    } else if (std::strcmp(family, "MS Sans Serif") == 0) {
        families << QStringLiteral("Microsoft Sans Serif") << QStringLiteral("Liberation Sans")
                 << QStringLiteral("DejaVu Sans");
    }
    families << QStringLiteral("sans-serif");
    return families;
}

QFont definitionFont(const FontDef& def) {
    QFont font;
    font.setFamilies(fromFirstInstalled(definitionFamilies(def.family)));
    font.setPointSizeF(def.points);
    font.setBold(def.bold);
    font.setItalic(def.italic);
    return font;
}

QFont fittingFont(const FontDef& def, const std::function<bool(const QFontMetrics&)>& fits) {
    QFont font = definitionFont(def);
    if (installed(QString::fromLatin1(def.family))) {
        return font;
    }
    constexpr double kStep = 0.25;
    for (double points = def.points; points > def.points / 2; points -= kStep) {
        font.setPointSizeF(points);
        if (fits(QFontMetrics(font))) {
            break;
        }
    }
    return font;
}

void fitLabelFont(QLabel* label, const LabelDef& def) {
    const QString caption = QString::fromUtf8(def.caption);
    const QRect box = twipsRect(def.left, def.top, def.width, def.height);
    label->setFont(fittingFont(def.font.value_or(kDefaultFont), [&](const QFontMetrics& metrics) {
        if (def.wordWrap) {
            return metrics
                       .boundingRect(QRect(0, 0, box.width(), QWIDGETSIZE_MAX), Qt::TextWordWrap,
                                     caption)
                       .height() <= box.height();
        }
        return metrics.horizontalAdvance(caption) <= box.width();
    }));
}

void applyLabelDef(QLabel* label, const LabelDef& def, FontLoading fonts) {
    label->setText(QString::fromUtf8(def.caption));
    label->setObjectName(QString::fromLatin1(def.name));
    label->setGeometry(twipsRect(def.left, def.top, def.width, def.height));
    if (fonts == FontLoading::Now) {
        fitLabelFont(label, def);
    }
    label->setAlignment(def.alignment);
    label->setWordWrap(def.wordWrap);
    label->setTextFormat(Qt::PlainText);
    label->setFocusPolicy(Qt::NoFocus);
    QPalette palette = label->palette();
    if (def.foreColour) {
        palette.setColor(QPalette::WindowText, bgr(*def.foreColour));
    }
    if (def.backColour) {
        palette.setColor(QPalette::Window, bgr(*def.backColour));
    }
    label->setPalette(palette);
    setBackStyle(label, def.backStyle);
}

ComboField* createComboBox(QWidget* parent, const ComboDef& def) {
    auto* combo = new ComboField(parent);
    combo->setObjectName(QString::fromLatin1(def.name));
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setCompleter(nullptr);
    combo->setFont(definitionFont(kDefaultFont));
    combo->setGeometry(twipsRect(def.left, def.top, def.width, def.height));
    combo->setEditText(QString::fromLatin1(def.text));
    return combo;
}

QPushButton* createButton(QWidget* parent, const ButtonDef& def) {
    auto* button = new QPushButton(QString::fromLatin1(def.caption), parent);
    button->setObjectName(QString::fromLatin1(def.name));
    button->setFont(definitionFont(kDefaultFont));
    button->setGeometry(twipsRect(def.left, def.top, def.width, def.height));
    return button;
}

void drawLine(QPainter& painter, const LineDef& def) {
    painter.fillRect(QRect(QPoint(twips(def.x1), twips(def.y1)),
                           QPoint(twips(def.x2), twips(def.y2) + def.width - 1)),
                     bgr(def.colour));
}

void applyWindowDef(QWidget* window, const WindowDef& def) {
    window->setObjectName(QString::fromLatin1(def.name));
    window->setWindowTitle(QString::fromUtf8(def.caption));
    window->setFixedSize(twipsSize(def.clientWidth, def.clientHeight));
    if (def.left && def.top) {
        window->setGeometry(QRect(QPoint(twips(*def.left), twips(*def.top)), window->size()));
    }
}

void placeClientUnderMenuBar(QMainWindow* window, QWidget* client, const WindowDef& def,
                             Sizing sizing) {
    window->setObjectName(QString::fromLatin1(def.name));
    window->setWindowTitle(QString::fromUtf8(def.caption));
    setWindowColour(client, def.backColour);
    const QSize clientSize = twipsSize(def.clientWidth, def.clientHeight);
    // The height the window's layout gives the bar at this width, which under some styles (the
    // Windows 11 style among them) is not the bar's own size hint.
    const int barHeight = window->menuBar()->heightForWidth(clientSize.width());
    const int menuHeight = barHeight >= 0 ? barHeight : window->menuBar()->sizeHint().height();
    const QSize size(clientSize.width(), clientSize.height() + menuHeight);
    if (sizing == Sizing::Fixed) {
        client->setFixedSize(clientSize);
        window->setFixedSize(size);
    }
    if (def.left && def.top) {
        window->setGeometry(QRect(QPoint(twips(*def.left), twips(*def.top) - menuHeight), size));
    } else {
        window->resize(size);
    }
}

void setBackColour(QWidget* widget, QColor colour) {
    QPalette palette = widget->palette();
    if (palette.color(QPalette::Window) != colour) {
        palette.setColor(QPalette::Window, colour);
        widget->setPalette(palette);
    }
}

void setBackStyle(QWidget* widget, BackStyle style) {
    widget->setAutoFillBackground(style == BackStyle::Opaque);
}

BackStyle backStyle(const QWidget* widget) {
    return widget->autoFillBackground() ? BackStyle::Opaque : BackStyle::Transparent;
}

Qt::WindowFlags withCloseCommand(Qt::WindowFlags flags) {
    if (QGuiApplication::platformName() == QLatin1StringView("xcb")) {
        flags |= Qt::WindowCloseButtonHint;
    }
    return flags;
}

Qt::WindowFlags withoutTitleBar(Qt::WindowFlags flags) {
    flags |= Qt::CustomizeWindowHint;
    flags &= ~Qt::WindowTitleHint;
    if (QGuiApplication::platformName().startsWith(QLatin1StringView("wayland"))) {
        flags |= Qt::FramelessWindowHint;
    }
    return flags;
}

void setWindowColour(QWidget* window, std::uint32_t bgrValue) {
    delete window->findChild<QObject*>(QString::fromLatin1(BackColourPainter::kName),
                                       Qt::FindDirectChildrenOnly);
    window->installEventFilter(new BackColourPainter(window, bgr(bgrValue)));
}

}  // namespace vornel
