// The program as it starts, through its real start-up code: the splash first, then the main
// window, and the text of every window it opens.
#include <gtest/gtest.h>

#include <unistd.h>
#include <QFile>
#include <QLabel>
#include <QMenuBar>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>
#include <QTreeWidget>
#include <csignal>
#include <map>

#include "app/command_line.h"
#include "app/startup.h"
#include "fake_platform.h"
#include "forms/globals.h"
#include "forms/kit/failure_guard.h"
#include "modal.h"
#include "qt_printers.h"
#include "wait_until.h"

namespace vornel {
namespace {

using testing::FakePlatform;
using testing::onNextModal;

QString textOf(const QWidget* window, const char* name) {
    const auto* label = window->findChild<QLabel*>(name);
    return label != nullptr ? label->text() : QStringLiteral("<no %1>").arg(name);
}

// The labels whose text does not fit their box in the font they are drawn with: on one line
// within the width, or wrapped within the whole box.
QStringList labelsCutShort(const QWidget* window) {
    QStringList cut;
    for (const QLabel* label : window->findChildren<QLabel*>()) {
        const QFontMetrics metrics(label->font());
        const bool fits =
            label->wordWrap()
                ? metrics.boundingRect(label->contentsRect(), Qt::TextWordWrap, label->text())
                          .height() <= label->contentsRect().height()
                : metrics.horizontalAdvance(label->text()) <= label->contentsRect().width();
        if (!fits) {
            cut << label->objectName() + "=" + label->text();
        }
    }
    return cut;
}

QStringList menuOf(const QMainWindow* window) {
    QStringList captions;
    for (const QAction* action : window->menuBar()->actions()) {
        captions << action->text();
    }
    return captions;
}

TEST(StartUp, ShowsTheSplashThenTheMainWindowAndEveryWindowWithItsTexts) {
    FakePlatform machine;
    LastFrame.clear();
    bool mainWindowHiddenDuringSplash = false;
    QStringList cutShort;
    QString splashTitle;
    const auto splashWatch = onNextModal([&](QWidget* splash) {
        splashTitle = textOf(splash, "Label5") + "|" + textOf(splash, "Label6");
        cutShort << labelsCutShort(splash);
        mainWindowHiddenDuringSplash = true;
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (top->objectName() == "frmMain" && top->isVisible()) {
                mainWindowHiddenDuringSplash = false;
            }
        }
        QTest::keyClick(splash, Qt::Key_Return);
    });
    const std::unique_ptr<frmMain> window = startVornel(machine.services());
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(splashTitle, "Tessaly|Click to RUN");
    EXPECT_TRUE(mainWindowHiddenDuringSplash);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(textOf(window.get(), "Label11"), "Tessaly");
    EXPECT_FALSE(textOf(window.get(), "Label4").isEmpty());
    // Its labels' fonts, loaded after the splash was drawn, are the definition's by now.
    const QFont title = window->findChild<QLabel*>("Label11")->font();
    EXPECT_TRUE(title.bold() && title.italic());
    EXPECT_TRUE(window->findChild<QLabel*>("DataOK")->autoFillBackground()) << "lit at start";
    EXPECT_EQ(menuOf(window.get()),
              QStringList({"COMMS", "set Hardware", "raw DAta", "About", "Exit"}));

    QString about;
    {
        const auto watch = onNextModal(
            [&](QWidget* box) {
                cutShort << labelsCutShort(box);
                about = box->windowTitle() + "|" + textOf(box, "lblTitle") + "|" +
                        textOf(box, "lblVersion");
                QTest::keyClick(box, Qt::Key_Escape);
            },
            window.get());
        window->findChild<QAction*>("about")->trigger();
    }
    EXPECT_EQ(about, "About Vornel|Vornel|Version 1.0.4");

    QString setup;
    {
        const auto watch = onNextModal(
            [&](QWidget* dialog) {
                cutShort << labelsCutShort(dialog);
                setup = dialog->windowTitle() + "|" + textOf(dialog, "Label1") + "|" +
                        textOf(dialog, "Label2") + "|" + textOf(dialog, "Exit_no_save");
                dialog->close();
            },
            window.get());
        window->findChild<QAction*>("SetupHardware")->trigger();
    }
    EXPECT_EQ(setup, "Basic COMM Setup|Manual assigned COMM #|Baud Rate Select|SET");
    cutShort << labelsCutShort(window.get());
    EXPECT_EQ(cutShort, QStringList()) << "every label's text fits its box";

    window->findChild<QAction*>("RAWdataMENU")->trigger();
    auto* viewer = window->findChild<QMainWindow*>("raw");
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_EQ(viewer->windowTitle(), "RAW data string");
    EXPECT_EQ(menuOf(viewer), QStringList({"EXIT", "Pause"}));
    auto* list = viewer->findChild<QTreeWidget*>("ListView1");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->headerItem()->text(1), "RAW DATA");
    ASSERT_TRUE(testing::waitUntil([&] { return list->topLevelItemCount() == 1; }, 3000));
    EXPECT_EQ(list->topLevelItem(0)->text(1), "\r\n") << "no frame yet: one row of CR LF";
}

TEST(StartUp, AFailureWhileTheMainWindowIsBuiltIsReportedAndEndsTheProgram) {
    std::vector<std::string> reported;
    failure_guard::setReporter([&](const std::string& what) { reported.push_back(what); });
    const auto restore = qScopeGuard([] { failure_guard::reset(); });
    const std::unique_ptr<frmMain> window = startMainWindow(
        []() -> std::unique_ptr<frmMain> { throw std::runtime_error("no window today"); });
    EXPECT_EQ(window, nullptr);
    EXPECT_EQ(reported, std::vector<std::string>{"no window today"});
    EXPECT_TRUE(failure_guard::ending());
}

// The displays a start would try, read from the command line and the environment as Qt reads
// them; "-" when Qt is asked for a platform that needs none.
TEST(CommandLine, TheDisplaysAStartWouldTry) {
    const struct {
        std::vector<std::string> args;
        std::map<std::string, std::string> environment;
        const char* tried;
    } cases[] = {
        {{}, {{"QT_QPA_PLATFORM", ""}, {"DISPLAY", ":0"}, {"WAYLAND_DISPLAY", "w"}}, ":0 w"},
        {{}, {{"XDG_SESSION_TYPE", "wayland"}}, " wayland-0"},
        {{}, {{"QT_QPA_PLATFORM", "xcb;minimal"}}, "-"},
        {{}, {{"QT_QPA_PLATFORM", "xcb"}, {"WAYLAND_DISPLAY", "w"}}, ""},
        {{"-platform", "offscreen"}, {{"QT_QPA_PLATFORM", "xcb"}}, "-"},
        {{"--platform", "wayland-egl:x", "-display", ":5"},
         {{"QT_QPA_PLATFORM", "vnc"}},
         " wayland-0"},
        {{"-display", ":5", "-platform"}, {{"DISPLAY", ":0"}}, ":5"},
    };
    for (const auto& c : cases) {
        const std::optional<DisplayNeed> need =
            displayNeed(c.args, [&](const char* name) -> std::optional<std::string> {
                const auto found = c.environment.find(name);
                return found != c.environment.end() ? std::optional(found->second) : std::nullopt;
            });
        const std::string tried =
            !need ? "-" : need->x11.value_or("") + (need->wayland ? " " + *need->wayland : "");
        EXPECT_EQ(tried, c.tried) << ::testing::PrintToString(c.args)
                                  << ::testing::PrintToString(c.environment);
    }
}

#ifndef Q_OS_WIN
// The program as a user starts it from a shell: --help and --version answer without a display,
// any other argument starts it as usual, and without a display it says so in one line and ends
// with status 1, never with a signal.
TEST(CommandLine, TheProgramAnswersWithoutADisplayAndEndsWithOneLineWhenItNeedsOne) {
    const QString none = ":" + QString::number(9797);
    ASSERT_FALSE(QFile::exists("/tmp/.X11-unix/X9797")) << "an X server runs on " << none;
    const struct {
        QStringList args;
        QStringList environment;
        int status;
        QString out;
        QString err;  // "*": whatever Qt says
    } cases[] = {
        {{"-platform", "xcb", "--version"}, {}, 0, "Vornel 1.0.4\nFile version 1.0.0.4\n", ""},
        {{"--help"}, {}, 0, QString::fromStdString(usageText()), ""},
        {{},
         {},
         1,
         "",
         "vornel: no display to show the windows on: neither DISPLAY nor "
         "WAYLAND_DISPLAY is set\n"},
        {{"--frobnicate"},
         {"DISPLAY=" + none},
         1,
         "",
         "vornel: no display to show the windows on: cannot connect to the X display \"" + none +
             "\"\n"},
        {{},
         {"QT_QPA_PLATFORM=wayland", "WAYLAND_DISPLAY=vornel-none"},
         1,
         "",
         "vornel: no display to show the windows on: cannot connect to the Wayland display "
         "\"vornel-none\"\n"},
        {{}, {"QT_QPA_PLATFORM=none-such"}, 1, "", "*"},
    };
    for (const auto& c : cases) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "WAYLAND_SOCKET", "QT_QPA_PLATFORM",
                                 "XDG_SESSION_TYPE"}) {
            environment.remove(name);
        }
        for (const QString& setting : c.environment) {
            environment.insert(setting.section('=', 0, 0), setting.section('=', 1));
        }
        QProcess vornel;
        vornel.setProcessEnvironment(environment);
        vornel.start(VORNEL_PROGRAM, c.args);
        ASSERT_TRUE(vornel.waitForFinished(20000)) << c.args.join(' ').toStdString();
        const std::string what = (c.environment + c.args).join(' ').toStdString();
        EXPECT_EQ(vornel.exitStatus(), QProcess::NormalExit) << what;
        EXPECT_EQ(vornel.exitCode(), c.status) << what;
        EXPECT_EQ(QString::fromLocal8Bit(vornel.readAllStandardOutput()), c.out) << what;
        const QString err = QString::fromLocal8Bit(vornel.readAllStandardError());
        if (c.err != "*") {
            EXPECT_EQ(err, c.err) << what;
        }
    }

    // Headless, with an argument of no meaning: the normal start, ended by a signal as usual.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("VORNEL_SERIAL_PORTS", "");
    QProcess vornel;
    vornel.setProcessEnvironment(environment);
    vornel.start(VORNEL_PROGRAM, {"--frobnicate"});
    EXPECT_FALSE(vornel.waitForFinished(1500)) << vornel.readAllStandardError().toStdString();
    vornel.terminate();
    ASSERT_TRUE(vornel.waitForFinished(10000));
    EXPECT_EQ(vornel.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(vornel.exitCode(), 0);
}

// A burst of signals faster than the event loop takes them fills the pipe from the handler; the
// handler must go on returning, and the run still ends as asked. Run in a child process, since
// it ends the application; a handler that blocked would be ended by the alarm instead.
TEST(StartUpDeathTest, ABurstOfTerminationSignalsNeverBlocksTheHandler) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            quitOnTerminationSignals();
            std::signal(SIGALRM, SIG_DFL);  // caught too: the watchdog must end the child
            ::alarm(20);
            for (int i = 0; i < 100'000; ++i) {
                std::raise(SIGTERM);
            }
            ::alarm(0);
            testing::waitUntil([] { return terminationRequested(); }, 5000);
            std::_Exit(terminationRequested() ? 0 : 3);
        },
        ::testing::ExitedWithCode(0), "");
}
#endif

}  // namespace
}  // namespace vornel
