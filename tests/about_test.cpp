#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <optional>

#include "fake_platform.h"
#include "forms/frmabout.h"
#include "platform/program_launcher.h"
#include "platform/registry.h"
#include "platform/system_info_stand_in.h"
#include "wait_until.h"

namespace vornel {
namespace {

using testing::FakePlatform;
using testing::FakeRegistry;

const std::string kFirstKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
const std::string kSecondKey = "SOFTWARE\\Microsoft\\Shared Tools Location";

std::string withZero(std::string text) {
    text.push_back('\0');
    return text;
}

// A message box as the user saw it.
struct Message {
    QString title;
    QString text;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
};

// Runs `action`, noting every message box it shows and dismissing each with its first button.
std::vector<Message> messagesShownBy(const std::function<void()>& action) {
    std::vector<Message> seen;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) {
            return;
        }
        seen.push_back({box->windowTitle(), box->text(), box->icon(), box->standardButtons()});
        box->buttons().value(0)->click();
    });
    poll.start(5);
    action();
    return seen;
}

// What "&System Info..." did.
struct SysInfoRun {
    std::vector<std::string> attempts;  // programs the launcher was asked to start
    std::vector<std::string> opened;    // keys opened, in order
    bool messageShown = false;
};

SysInfoRun runStartSysInfo(FakePlatform& platform) {
    frmAbout about(platform.services(), nullptr);
    const std::vector<Message> messages = messagesShownBy([&about] { about.StartSysInfo(); });
    EXPECT_LE(messages.size(), 1U);
    SysInfoRun run;
    run.attempts = platform.launcher.attempts;
    for (const auto& call : platform.registry.opens) {
        run.opened.push_back(call.path);
        EXPECT_EQ(call.root, kHKeyLocalMachine);
        EXPECT_EQ(call.options, 0U);
        EXPECT_EQ(call.access, registry::kRead);
    }
    EXPECT_TRUE(platform.registry.openKeys.empty()) << "a key was left open";
    EXPECT_TRUE(platform.registry.misuse.empty()) << platform.registry.misuse.front();
    if (!messages.empty()) {
        run.messageShown = true;
        const Message& m = messages.front();
        EXPECT_EQ(m.text, QStringLiteral("System Information Is Unavailable At This Time"));
        EXPECT_EQ(m.title, QStringLiteral("Vornel"));
        EXPECT_EQ(m.icon, QMessageBox::NoIcon);
        EXPECT_EQ(m.buttons, QMessageBox::Ok);
    }
    return run;
}

// --- The dialog --------------------------------------------------------------------------------

TEST(AboutBox, ShowsTitleVersionAndDescription) {
    FakePlatform platform;
    frmAbout about(platform.services(), nullptr);
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));

    EXPECT_EQ(about.windowTitle(), QStringLiteral("About Vornel"));
    EXPECT_EQ(about.findChild<QLabel*>("lblTitle")->text(), QStringLiteral("Vornel"));
    EXPECT_EQ(about.findChild<QLabel*>("lblVersion")->text(), QStringLiteral("Version 1.0.4"));
    EXPECT_EQ(
        about.findChild<QLabel*>("lblDescription")->text(),
        QStringLiteral("This Program is designed as a tool for viewing the COMM data stream.  The "
                       "program has user selectable settings to allow a wide range of COMMS to be "
                       "viewed.  The program is designed to be used with logging hardware and is "
                       "designed to assist decoding of  hardware outputs srtrings supporting XML "
                       "type encoded COMM outputs."));
    EXPECT_TRUE(about.findChild<QLabel*>("lblDisclaimer")->text().contains("Quillfield Labs"));

    // Fixed border with a close button, no minimize or maximize button.
    EXPECT_EQ(about.minimumSize(), about.maximumSize());
    EXPECT_TRUE(about.windowFlags().testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(about.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(about.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));

    auto* ok = about.findChild<QPushButton*>("cmdOK");
    EXPECT_TRUE(ok->isDefault());
    EXPECT_EQ(about.focusWidget(), ok);
    // Tab moves between the two buttons only.
    QTest::keyClick(ok, Qt::Key_Tab);
    EXPECT_EQ(about.focusWidget(), about.findChild<QPushButton*>("cmdSysInfo"));
    QTest::keyClick(about.focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(about.focusWidget(), ok);
    EXPECT_EQ(about.findChild<QLabel*>("picIcon")->pixmap().size(), QSize(32, 32));

    // The back picture covers the client area from its top-left corner.
    const QImage shot = about.grab().toImage();
    EXPECT_NE(QColor(shot.pixel(shot.width() - 2, shot.height() - 2)), QColor(Qt::black));
}

// Opens the dialog modally, does `act` once it is up and tells whether the dialog closed.
bool closesAbout(const std::function<void(frmAbout&)>& act) {
    FakePlatform platform;
    frmAbout about(platform.services(), nullptr);
    bool closed = false;
    QTimer::singleShot(0, &about, [&] {
        act(about);
        closed = !about.isVisible();
        if (!closed) {
            about.done(QDialog::Rejected);
        }
    });
    about.exec();
    return closed;
}

TEST(AboutBox, OkEnterEscAndTheCloseButtonCloseIt) {
    EXPECT_TRUE(closesAbout([](frmAbout& a) { a.findChild<QPushButton*>("cmdOK")->click(); }));
    EXPECT_TRUE(closesAbout([](frmAbout& a) { QTest::keyClick(a.focusWidget(), Qt::Key_Return); }));
    EXPECT_TRUE(closesAbout([](frmAbout& a) { QTest::keyClick(a.focusWidget(), Qt::Key_Escape); }));
    EXPECT_TRUE(closesAbout([](frmAbout& a) { a.close(); }));
    // Other keys do not.
    EXPECT_FALSE(closesAbout([](frmAbout& a) { QTest::keyClick(a.focusWidget(), Qt::Key_X); }));
}

TEST(AboutBox, SystemInfoButtonStartsTheProgramAndTheBoxStaysOpen) {
    FakePlatform platform;
    platform.registry.key(kFirstKey).values["PATH"] = {registry::kSz, withZero("C:\\si.exe")};
    platform.launcher.files = {"C:\\si.exe"};
    bool stillOpen = false;
    std::vector<Message> messages;
    frmAbout about(platform.services(), nullptr);
    QTimer::singleShot(0, &about, [&] {
        auto* button = about.findChild<QPushButton*>("cmdSysInfo");
        for (int i = 0; i < 2; ++i) {
            for (const Message& m : messagesShownBy([button] { button->click(); })) {
                messages.push_back(m);
            }
        }
        stillOpen = about.isVisible();
        about.done(QDialog::Accepted);
    });
    about.exec();
    EXPECT_TRUE(stillOpen);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(platform.launcher.started, (std::vector<std::string>{"C:\\si.exe", "C:\\si.exe"}));
}

// --- GetKeyValue -------------------------------------------------------------------------------

struct Read {
    bool found;
    std::string value;
};

Read readValue(FakePlatform& platform, const std::string& key, const std::string& name,
               std::string callerText = "caller's text") {
    frmAbout about(platform.services(), nullptr);
    const bool found = about.GetKeyValue(kHKeyLocalMachine, key, name, callerText);
    EXPECT_TRUE(platform.registry.openKeys.empty()) << "a key was left open";
    EXPECT_TRUE(platform.registry.misuse.empty()) << platform.registry.misuse.front();
    for (const auto& call : platform.registry.opens) {
        EXPECT_EQ(call.access, registry::kRead);
        EXPECT_EQ(call.options, 0U);
    }
    return {found, callerText};
}

TEST(GetKeyValue, TextComesBackWithoutItsTerminatingZero) {
    FakePlatform platform;
    auto& values = platform.registry.key("K").values;
    values["with"] = {registry::kSz, withZero("C:\\Tools\\si.exe")};
    values["without"] = {registry::kSz, "C:\\Tools\\si.exe"};
    values["just zero"] = {registry::kSz, withZero("")};
    values["full buffer"] = {registry::kSz, std::string(1024, 'p')};

    for (const char* name : {"with", "without"}) {
        const Read read = readValue(platform, "K", name);
        EXPECT_TRUE(read.found) << name;
        EXPECT_EQ(read.value, "C:\\Tools\\si.exe") << name;
    }
    const Read empty = readValue(platform, "K", "just zero");
    EXPECT_TRUE(empty.found);
    EXPECT_EQ(empty.value, "");
    const Read full = readValue(platform, "K", "full buffer");
    EXPECT_TRUE(full.found);
    EXPECT_EQ(full.value, std::string(1024, 'p'));
}

TEST(GetKeyValue, DwordComesBackAsHexFromTheLastByte) {
    FakePlatform platform;
    auto& values = platform.registry.key("K").values;
    values["small"] = {registry::kDword, std::string("\x05\x2A\x01\x00", 4)};
    values["large"] = {registry::kDword, std::string("\x78\x56\xBC\xFA", 4)};

    EXPECT_EQ(readValue(platform, "K", "small").value, "&h012A05");
    const Read large = readValue(platform, "K", "large");
    EXPECT_TRUE(large.found);
    EXPECT_EQ(large.value, "&hFABC5678");
}

TEST(GetKeyValue, OtherTypesLeaveTheCallersText) {
    FakePlatform platform;
    auto& values = platform.registry.key("K").values;
    values["expandable"] = {testing::reg::kExpandSz, withZero("%SystemRoot%\\si.exe")};
    values["binary"] = {testing::reg::kBinary, std::string("\x01\x02", 2)};
    for (const char* name : {"expandable", "binary"}) {
        const Read read = readValue(platform, "K", name);
        EXPECT_TRUE(read.found) << name;
        EXPECT_EQ(read.value, "caller's text") << name;
    }
}

TEST(GetKeyValue, AbsentUnopenableOrOversizedValuesReadAsNothing) {
    FakePlatform platform;
    platform.registry.key("K").values["big"] = {registry::kSz, std::string(1025, 'x')};
    platform.registry.key("not for this user").grantable = 0;
    platform.registry.key("not for this user").values["PATH"] = {registry::kSz,
                                                                 withZero("C:\\x.exe")};

    for (const auto& [key, name] : {std::pair{"no such key", "PATH"},
                                    {"K", "no such value"},
                                    {"K", "big"},
                                    {"not for this user", "PATH"}}) {
        SCOPED_TRACE(std::string(key) + " / " + name);
        const Read read = readValue(platform, key, name);
        EXPECT_FALSE(read.found);
        EXPECT_EQ(read.value, "");
    }
}

TEST(GetKeyValue, AValueOfNoBytesIsAnErrorRaisedAfterTheKeyIsClosed) {
    FakePlatform platform;
    platform.registry.key("K").values["empty"] = {registry::kSz, ""};
    frmAbout about(platform.services(), nullptr);
    std::string value;
    EXPECT_THROW(about.GetKeyValue(kHKeyLocalMachine, "K", "empty", value), RegistryValueError);
    EXPECT_TRUE(platform.registry.openKeys.empty());
    EXPECT_TRUE(platform.registry.misuse.empty());
}

// --- StartSysInfo ------------------------------------------------------------------------------

TEST(StartSysInfo, ThePathUnderTheFirstKeyIsStartedWithoutLookingForTheFile) {
    FakePlatform platform;
    platform.registry.key(kFirstKey).values["PATH"] = {registry::kSz, withZero("C:\\MS\\si.exe")};
    platform.registry.key(kSecondKey).values["MSINFO"] = {registry::kSz, withZero("C:\\Other")};
    platform.launcher.files = {"C:\\MS\\si.exe", "C:\\Other\\MSINFO32.EXE"};

    const SysInfoRun run = runStartSysInfo(platform);
    EXPECT_EQ(run.attempts, std::vector<std::string>{"C:\\MS\\si.exe"});
    EXPECT_FALSE(run.messageShown);
    EXPECT_EQ(run.opened, std::vector<std::string>{kFirstKey});
    EXPECT_TRUE(platform.launcher.lookedFor.empty());
}

TEST(StartSysInfo, AFirstKeyThatCannotBeUsedEndsInTheMessageWithoutTheSecond) {
    // Each of these comes from the first lookup; the second location would have worked.
    const std::vector<std::pair<const char*, FakeRegistry::Value>> cases{
        {"program file missing", {registry::kSz, withZero("C:\\Gone\\si.exe")}},
        {"expandable text leaves the path empty",
         {testing::reg::kExpandSz, withZero("%ProgramFiles%\\si.exe")}},
        {"value of no bytes", {registry::kSz, ""}},
    };
    for (const auto& [what, value] : cases) {
        SCOPED_TRACE(what);
        FakePlatform platform;
        platform.registry.key(kFirstKey).values["PATH"] = value;
        platform.registry.key(kSecondKey).values["MSINFO"] = {registry::kSz, withZero("C:\\W")};
        platform.launcher.files = {"C:\\W\\MSINFO32.EXE"};

        const SysInfoRun run = runStartSysInfo(platform);
        EXPECT_TRUE(run.messageShown);
        EXPECT_TRUE(platform.launcher.started.empty());
        EXPECT_EQ(run.opened, std::vector<std::string>{kFirstKey});
    }
}

TEST(StartSysInfo, WithoutTheFirstKeyTheProgramIsStartedFromTheSecondFolder) {
    // The first key absent, its value absent, or the key not to be opened with the rights asked.
    const std::vector<std::pair<const char*, std::function<void(FakeRegistry&)>>> firstKey{
        {"absent", [](FakeRegistry&) {}},
        {"value absent", [](FakeRegistry& r) { r.key(kFirstKey).values["Other"] = {}; }},
        {"not for this user",
         [](FakeRegistry& r) {
             r.key(kFirstKey).grantable = 0;
             r.key(kFirstKey).values["PATH"] = {registry::kSz, withZero("C:\\MS\\si.exe")};
         }},
    };
    for (const auto& [what, prepare] : firstKey) {
        SCOPED_TRACE(what);
        FakePlatform platform;
        prepare(platform.registry);
        platform.registry.key(kSecondKey).values["MSINFO"] = {registry::kSz,
                                                              withZero("C:\\Win\\Sys")};
        platform.launcher.files = {"C:\\MS\\si.exe", "C:\\Win\\Sys\\MSINFO32.EXE"};

        const SysInfoRun run = runStartSysInfo(platform);
        EXPECT_FALSE(run.messageShown);
        EXPECT_EQ(run.attempts, std::vector<std::string>{"C:\\Win\\Sys\\MSINFO32.EXE"});
        EXPECT_EQ(run.opened, (std::vector<std::string>{kFirstKey, kSecondKey}));
    }
}

TEST(StartSysInfo, AStandardUserReachesTheProgramThroughEitherKey) {
    // Under UAC a standard user's program may read HKEY_LOCAL_MACHINE\SOFTWARE but not write
    // there: asking for any write right, as a mask of 0x2003F does, is refused.
    for (const bool standardUser : {true, false}) {
        SCOPED_TRACE(standardUser ? "standard user" : "administrator");
        FakePlatform first;
        first.registry.standardUser = standardUser;
        first.registry.key(kFirstKey).values["PATH"] = {registry::kSz, withZero("C:\\W\\si.exe")};
        first.launcher.files = {"C:\\W\\si.exe"};
        RegistryKey key = 0;
        const std::int32_t asked =
            first.registry.openKey(kHKeyLocalMachine, kFirstKey, 0, 0x2003F, key);
        EXPECT_EQ(asked, standardUser ? testing::reg::kAccessDenied : registry::kSuccess);
        if (asked == registry::kSuccess) {
            first.registry.closeKey(key);
        }
        first.registry.opens.clear();
        const SysInfoRun run = runStartSysInfo(first);
        EXPECT_FALSE(run.messageShown);
        EXPECT_EQ(first.launcher.started, std::vector<std::string>{"C:\\W\\si.exe"});

        FakePlatform second;
        second.registry.standardUser = standardUser;
        second.registry.key(kSecondKey).values["MSINFO"] = {registry::kSz, withZero("C:\\W")};
        second.launcher.files = {"C:\\W\\MSINFO32.EXE"};
        EXPECT_FALSE(runStartSysInfo(second).messageShown);
        EXPECT_EQ(second.launcher.started, std::vector<std::string>{"C:\\W\\MSINFO32.EXE"});
    }
}

TEST(StartSysInfo, NoProgramInTheSecondFolderOrNoKeysAtAllShowTheMessage) {
    FakePlatform lacking;
    lacking.registry.key(kSecondKey).values["MSINFO"] = {registry::kSz, withZero("C:\\Win")};
    lacking.launcher.files = {"C:\\Win\\other.exe"};
    const SysInfoRun run = runStartSysInfo(lacking);
    EXPECT_TRUE(run.messageShown);
    EXPECT_TRUE(run.attempts.empty());
    EXPECT_EQ(lacking.launcher.lookedFor, std::vector<std::string>{"C:\\Win\\MSINFO32.EXE"});

    FakePlatform bare;
    const SysInfoRun none = runStartSysInfo(bare);
    EXPECT_TRUE(none.messageShown);
    EXPECT_TRUE(none.attempts.empty());
    EXPECT_EQ(none.opened, (std::vector<std::string>{kFirstKey, kSecondKey}));
}

// --- This machine's stand-ins ------------------------------------------------------------------

// Makes `name` in `dir` a shell script that leaves a file "<name>.ran" next to itself.
QString makeProgram(const QTemporaryDir& dir, const QString& name) {
    const QString path = dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\ntouch \"$0.ran\"\n");
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

TEST(SystemInfoStandIn, AnswersTheFirstKeyWithTheBestProgramOnThePath) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    makeProgram(dir, "gnome-system-monitor");
    const QString hardinfo = makeProgram(dir, "hardinfo");
    SystemInfoStandIn standIn(QStringList{dir.path()});

    RegistryKey key = 0;
    ASSERT_EQ(standIn.openKey(kHKeyLocalMachine, kFirstKey, 0, 0x2003F, key), registry::kSuccess);
    std::uint8_t small[4] = {};
    std::uint32_t type = 0;
    std::uint32_t count = sizeof small;
    EXPECT_EQ(standIn.queryValue(key, "PATH", type, small, count), registry::kMoreData);
    EXPECT_EQ(count, static_cast<std::uint32_t>(QFile::encodeName(hardinfo).size() + 1));
    EXPECT_EQ(standIn.closeKey(key), registry::kSuccess);
    EXPECT_EQ(standIn.closeKey(key), registry::kInvalidHandle);

    EXPECT_EQ(standIn.openKey(kHKeyLocalMachine, kSecondKey, 0, 0x2003F, key),
              registry::kFileNotFound);

    // Read the way the About box reads it.
    testing::FakeProbe probe;
    testing::StaticPortTable ports;
    testing::FakeLauncher launcher;
    frmAbout about(PlatformServices{ports, probe, standIn, launcher}, nullptr);
    std::string path;
    EXPECT_TRUE(about.GetKeyValue(kHKeyLocalMachine, kFirstKey, "PATH", path));
    EXPECT_EQ(QString::fromStdString(path), hardinfo);
    EXPECT_FALSE(about.GetKeyValue(kHKeyLocalMachine, kSecondKey, "MSINFO", path));

    // Without any of the programs the value is absent, and the user is told.
    QTemporaryDir empty;
    SystemInfoStandIn bare(QStringList{empty.path()});
    frmAbout aboutBare(PlatformServices{ports, probe, bare, launcher}, nullptr);
    EXPECT_FALSE(aboutBare.GetKeyValue(kHKeyLocalMachine, kFirstKey, "PATH", path));
    EXPECT_EQ(messagesShownBy([&aboutBare] { aboutBare.StartSysInfo(); }).size(), 1U);
    EXPECT_TRUE(launcher.attempts.empty());
}

TEST(SystemProgramLauncher, StartsProgramsOnTheirOwnAndReportsWhatCannotBeStarted) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string program = makeProgram(dir, "tool").toStdString();
    SystemProgramLauncher launcher;

    EXPECT_TRUE(launcher.fileExists(program));
    EXPECT_FALSE(launcher.fileExists(dir.path().toStdString()));
    EXPECT_FALSE(launcher.fileExists(program + ".missing"));
    EXPECT_FALSE(launcher.fileExists(""));

    EXPECT_TRUE(launcher.startProgram(program));
    EXPECT_TRUE(testing::waitUntil([&] { return QFile::exists(dir.filePath("tool.ran")); }, 5000));

    EXPECT_FALSE(launcher.startProgram(""));
    EXPECT_FALSE(launcher.startProgram(program + ".missing"));
    EXPECT_FALSE(launcher.startProgram(dir.path().toStdString()));
    EXPECT_FALSE(launcher.startProgram(program + std::string(1, '\0') + "x"));
}

TEST(AboutBox, SystemInfoStartsTheProgramTheStandInFinds) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    makeProgram(dir, "hardinfo2");
    SystemInfoStandIn standIn(QStringList{dir.path()});
    SystemProgramLauncher launcher;
    testing::FakeProbe probe;
    testing::StaticPortTable ports;
    frmAbout about(PlatformServices{ports, probe, standIn, launcher}, nullptr);

    EXPECT_TRUE(messagesShownBy([&about] { about.cmdSysInfo_Click(); }).empty());
    EXPECT_TRUE(
        testing::waitUntil([&] { return QFile::exists(dir.filePath("hardinfo2.ran")); }, 5000));
}

}  // namespace
}  // namespace vornel
