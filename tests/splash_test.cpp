#include <gtest/gtest.h>

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFrame>
#include <QImage>
#include <QImageReader>
#include <QKeySequence>
#include <QLabel>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>

#include "forms/frmsplash.h"
#include "forms/kit/window_def.h"
#include "resources/pictures.h"

namespace vornel {
namespace {

QWidget* control(QWidget& window, const char* name) {
    auto* widget = window.findChild<QWidget*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

// A click where the user would click: on whatever control lies at `pos` in the window (the
// topmost one), or on the window itself.
void clickAt(QWidget& window, QPoint pos, Qt::MouseButton button = Qt::LeftButton) {
    QWidget* target = window.childAt(pos);
    if (target == nullptr) {
        target = &window;
    }
    QTest::mouseClick(target, button, Qt::NoModifier, target->mapFrom(&window, pos));
}

QPoint centreOf(QWidget& window, const char* name) {
    QWidget* widget = control(window, name);
    return widget->mapTo(&window, widget->rect().center());
}

// A point of Frame1, inside its border, that no control covers.
QPoint bareFramePoint(QWidget& window) {
    auto* frame = qobject_cast<QFrame*>(control(window, "Frame1"));
    const QRect inside = frame->contentsRect().adjusted(2, 2, -2, -2);
    for (int y = inside.top(); y <= inside.bottom(); y += 3) {
        for (int x = inside.left(); x <= inside.right(); x += 3) {
            if (frame->childAt(x, y) == nullptr) {
                return frame->mapTo(&window, QPoint(x, y));
            }
        }
    }
    ADD_FAILURE() << "every point of Frame1 is covered";
    return {};
}

// Shows the splash modally, as the main window's load does, performs `act` once it is up and
// tells whether that closed it. A splash still open afterwards is closed by the test.
bool closesSplash(const std::function<void(frmSplash&)>& act) {
    frmSplash splash(nullptr);
    bool closed = false;
    QTimer::singleShot(0, &splash, [&] {
        act(splash);
        closed = !splash.isVisible();
        if (!closed) {
            splash.done(QDialog::Rejected);
        }
    });
    splash.exec();
    return closed;
}

// Keys go where the system sends them: to the control with the focus, else to the window.
void press(frmSplash& splash, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* target = splash.focusWidget() != nullptr ? splash.focusWidget() : &splash;
    QTest::keyClick(target, key, modifiers);
}

TEST(Splash, KeysThatTypeACharacterCloseIt) {
    for (const Qt::Key key :
         {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape, Qt::Key_Space, Qt::Key_A, Qt::Key_7}) {
        SCOPED_TRACE(QKeySequence(key).toString().toStdString());
        EXPECT_TRUE(closesSplash([key](frmSplash& splash) { press(splash, key); }));
    }
    EXPECT_TRUE(
        closesSplash([](frmSplash& splash) { press(splash, Qt::Key_Z, Qt::ShiftModifier); }));
}

TEST(Splash, KeysThatTypeNothingLeaveItOpen) {
    for (const Qt::Key key :
         {Qt::Key_Left, Qt::Key_Down, Qt::Key_Shift, Qt::Key_Control, Qt::Key_F1, Qt::Key_Delete}) {
        SCOPED_TRACE(QKeySequence(key).toString().toStdString());
        EXPECT_FALSE(closesSplash([key](frmSplash& splash) { press(splash, key); }));
    }
}

TEST(Splash, AClickOnEachOfTheFivePlacesClosesIt) {
    EXPECT_TRUE(closesSplash([](frmSplash& s) { clickAt(s, bareFramePoint(s)); })) << "Frame1";
    EXPECT_TRUE(closesSplash([](frmSplash& s) {
        QWidget* picture = control(s, "imgLogo");
        const QPoint corner = picture->mapTo(&s, QPoint(6, 6));
        ASSERT_EQ(s.childAt(corner), picture);
        clickAt(s, corner);
    })) << "imgLogo";
    for (const char* name : {"Label5", "Label6", "lblCompanyProduct"}) {
        EXPECT_TRUE(closesSplash([name](frmSplash& s) { clickAt(s, centreOf(s, name)); })) << name;
    }
}

TEST(Splash, ClicksElsewhereLeaveItOpen) {
    // The small labels are not closing places, and their clicks must not reach the frame.
    for (const char* name : {"lblNotice", "lblCompany", "Label2", "Label3"}) {
        EXPECT_FALSE(closesSplash([name](frmSplash& s) { clickAt(s, centreOf(s, name)); })) << name;
    }
    EXPECT_FALSE(closesSplash([](frmSplash& s) {
        ASSERT_EQ(s.childAt(3, 3), nullptr);
        clickAt(s, QPoint(3, 3));
    })) << "black margin";
    EXPECT_FALSE(closesSplash([](frmSplash& s) {
        clickAt(s, centreOf(s, "Label6"), Qt::RightButton);
    })) << "right button";
}

TEST(Splash, ClosesOnceOnADoubleClickAndOnTheSystemCloseCommand) {
    int finished = 0;
    EXPECT_TRUE(closesSplash([&finished](frmSplash& s) {
        QObject::connect(&s, &QDialog::finished, [&finished] { ++finished; });
        // As the system delivers a double click: press, release, double click, release.
        QWidget* caption = control(s, "Label5");
        const QPoint pos = caption->rect().center();
        QTest::mousePress(caption, Qt::LeftButton, Qt::NoModifier, pos);
        QTest::mouseRelease(caption, Qt::LeftButton, Qt::NoModifier, pos);
        QTest::mouseDClick(caption, Qt::LeftButton, Qt::NoModifier, pos);
        QTest::mouseRelease(caption, Qt::LeftButton, Qt::NoModifier, pos);
    }));
    EXPECT_EQ(finished, 1);

    EXPECT_TRUE(closesSplash([](frmSplash& s) { s.close(); }));
}

TEST(Splash, LooksAsDefined) {
    frmSplash splash(nullptr);
    splash.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&splash));

    EXPECT_TRUE(splash.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(splash.size(), twipsSize(7530, 5250));
    EXPECT_EQ(splash.minimumSize(), splash.maximumSize());
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE((splash.geometry().center() - screen.center()).manhattanLength(), 2);

    // No control takes the focus, so keys reach the window itself.
    for (QWidget* child : splash.findChildren<QWidget*>()) {
        EXPECT_EQ(child->focusPolicy(), Qt::NoFocus) << child->objectName().toStdString();
    }

    // "Click to RUN" lies over the middle of the picture and is drawn above it.
    EXPECT_EQ(splash.childAt(centreOf(splash, "Label6")), control(splash, "Label6"));
    EXPECT_TRUE(
        control(splash, "imgLogo")->geometry().contains(control(splash, "Label6")->geometry()));

    // The picture fills imgLogo, stretched.
    auto* picture = qobject_cast<QLabel*>(control(splash, "imgLogo"));
    EXPECT_EQ(picture->pixmap().size(), QSize(563, 511));
    EXPECT_TRUE(picture->hasScaledContents());

    // Black margin; the frame in the default colours; the picture shows through Label6.
    const QImage shot = splash.grab().toImage();
    EXPECT_EQ(QColor(shot.pixel(2, 2)), QColor(Qt::black));
    EXPECT_EQ(QColor(shot.pixel(bareFramePoint(splash))),
              QApplication::palette().color(QPalette::Window));
    const QPoint underCaption = control(splash, "Label6")->mapTo(&splash, QPoint(2, 2));
    EXPECT_NE(QColor(shot.pixel(underCaption)), QApplication::palette().color(QPalette::Window));
}

// A definition's font is asked for from the first of its families this machine has, and draws
// the face that all of them together give.
TEST(DefinitionFonts, StartWithTheFirstInstalledFamilyAndDrawTheSameFace) {
    const FontDef defs[] = {{"Arial", 27.75, true},
                            {"Palatino Linotype", 18, true, true},
                            kDefaultFont,
                            {"No Such Family Anywhere", 10}};
    for (const FontDef& def : defs) {
        SCOPED_TRACE(def.family);
        const QStringList all = definitionFamilies(def.family);
        const QFont font = definitionFont(def);
        const auto installed = std::find_if(all.begin(), all.end(), QFontDatabase::hasFamily);
        const QStringList expected =
            installed == all.end() ? all : all.mid(std::distance(all.begin(), installed));
        EXPECT_EQ(font.families(), expected);
        QFont asDefined = font;
        asDefined.setFamilies(all);
        EXPECT_EQ(QFontInfo(font).family(), QFontInfo(asDefined).family());
        EXPECT_EQ(QFontInfo(font).styleName(), QFontInfo(asDefined).styleName());
    }
}

TEST(Pictures, AreInTheResourcesAtTheirSizes) {
    struct Expected {
        const char* path;
        QSize size;
        QByteArray format;
    };
    for (const Expected& e : {Expected{pictures::kSplash, {563, 511}, "jpeg"},
                              Expected{pictures::kAboutBack, {489, 368}, "jpeg"},
                              Expected{pictures::kMainIcon32, {32, 32}, "png"},
                              Expected{pictures::kMainIcon16, {16, 16}, "png"},
                              Expected{pictures::kSetupIcon, {32, 32}, "png"},
                              Expected{pictures::kRawIcon, {32, 32}, "png"},
                              Expected{pictures::kAboutIcon, {32, 32}, "png"}}) {
        SCOPED_TRACE(e.path);
        QImageReader reader(QString::fromLatin1(e.path));
        EXPECT_EQ(reader.format(), e.format);
        const QImage image = reader.read();
        ASSERT_FALSE(image.isNull()) << reader.errorString().toStdString();
        EXPECT_EQ(image.size(), e.size);
    }

    // The About box's icon has 16 colours at most.
    const QImage icon(QString::fromLatin1(pictures::kAboutIcon));
    ASSERT_EQ(icon.format(), QImage::Format_Indexed8);
    EXPECT_LE(icon.colorCount(), 16);

    const QList<QSize> sizes = pictures::mainIcon().availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(32, 32)) && sizes.contains(QSize(16, 16)));
}

}  // namespace
}  // namespace vornel
