#include "forms/raw.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMenuBar>
#include <QTimer>
#include <algorithm>
#include <string_view>

#include "forms/globals.h"
#include "forms/kit/failure_guard.h"
#include "forms/kit/list_view.h"
#include "forms/kit/menu_bar_def.h"
#include "forms/kit/window_def.h"
#include "resources/pictures.h"

namespace vornel {

namespace {

// The window: caption "RAW data string", sizable border with the control box and the minimize
// and maximize buttons. Client area 8415 x 975 twips with its top-left corner at 3540, 2850 on
// the screen; silver where the list does not cover it.
const WindowDef kWindow{.name = "raw",
                        .caption = "RAW data string",
                        .clientWidth = 8415,
                        .clientHeight = 975,
                        .left = 3540,
                        .top = 2850,
                        .backColour = 0x00C0C0C0};

// The menu bar: two top-level commands, left to right.
const MenuCommandDef<raw> kMenu[] = {
    {"exit", "EXIT", &raw::exit_Click},
    {"pause", "Pause", &raw::pause_Click},
};
constexpr const char* kPauseCaption = "Pause";
constexpr const char* kResumeCaption = "Resume";

// The list: taller than the client area, it keeps its place and size when the window is resized,
// so enlarging the window uncovers more of it. Text in the system's colours.
const ListViewDef kListView1{"ListView1", 0, 0, 8415, 6225, FontDef{"MS Sans Serif", 12}};

// Its columns: an empty, practically invisible first column, then the frame's text.
const ColumnDef kColumns[] = {
    {"", 1},
    {"RAW DATA", 8000},
};
constexpr int kTextColumn = 1;

// Full rows that must show whole in the text column, each with its CR LF: digits, letters and
// XML, as devices send them. A stand-in font for the list's is sized so that they do.
const char* const kFullRows[] = {
    "012345678901234567890123456789012345678901234567890123456789\r\n",
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZabcdefgh\r\n",
    "[<rec><t>-12.3</t><h>45</h><n>6</n></rec>]\r\n[<rec><t>-12.4</\r\n",
};

constexpr int kTimer1Interval = 1000;  // ms; enabled at load

// How the frame is cut: rows of 60 characters, at most 20 of them, each followed by CR LF.
constexpr std::size_t kRowWidth = 60;
constexpr int kMaxRows = 20;
constexpr std::string_view kRowEnd = "\r\n";

QString rowText(std::string_view part) {
    // One character per byte, as LastFrame holds them.
    QString text = QString::fromLatin1(part.data(), static_cast<qsizetype>(part.size()));
    text += QLatin1StringView(kRowEnd.data(), static_cast<qsizetype>(kRowEnd.size()));
    return text;
}

}  // namespace

raw::raw(QWidget* owner)
    : QMainWindow(owner, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                             Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                             Qt::WindowCloseButtonHint) {
    setWindowIcon(pictures::rawIcon());
    // Closing the window unloads it.
    setAttribute(Qt::WA_DeleteOnClose);

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);

    ListView1_ = new ListView(client);
    ListView1_->setObjectName(QString::fromLatin1(kListView1.name));
    ListView1_->setGeometry(
        twipsRect(kListView1.left, kListView1.top, kListView1.width, kListView1.height));
    const int textRoom = twips(kColumns[kTextColumn].width) - ListView1_->itemTextMargins();
    ListView1_->setFont(fittingFont(kListView1.font, [&](const QFontMetrics& metrics) {
        return std::all_of(std::begin(kFullRows), std::end(kFullRows), [&](const char* row) {
            return metrics.horizontalAdvance(withControlPictures(QString::fromLatin1(row))) <=
                   textRoom;
        });
    }));
    ListView1_->setSelectionMode(QAbstractItemView::ExtendedSelection);

    // Copy: Ctrl+C in the list, and in its context menu.
    auto* copy = new QAction(QStringLiteral("Copy"), ListView1_);
    copy->setObjectName(QStringLiteral("copy"));
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(copy, &QAction::triggered, this, guarded([this] { copyRows(); }));
    ListView1_->addAction(copy);
    ListView1_->setContextMenuPolicy(Qt::ActionsContextMenu);

    Timer1_ = new QTimer(this);
    Timer1_->setObjectName(QStringLiteral("Timer1"));
    Timer1_->setInterval(kTimer1Interval);
    connect(Timer1_, &QTimer::timeout, this, guarded([this] { Timer1_Timer(); }));

    buildMenu();

    placeClientUnderMenuBar(this, client, kWindow, Sizing::Resizable);

    Form_Load();
}

void raw::buildMenu() {
    buildMenuBar<raw>(this, kMenu);
    pause_ = menuBar()->findChild<QAction*>(QStringLiteral("pause"));
}

void raw::Form_Load() {
    Timer1_->start();
    ListView1_->clearColumnHeaders();
    ListView1_->clearRows();
    for (const ColumnDef& column : kColumns) {
        ListView1_->addColumnHeader(QString::fromLatin1(column.header), column.width);
    }
    ListView1_->setReportView();
}

void raw::Timer1_Timer() {
    // Only the first kMaxRows * kRowWidth characters can be shown, so the frame is read in place
    // rather than copied whole.
    std::string_view remaining = LastFrame;
    QStringList rows;
    for (int row = 1; row <= kMaxRows; ++row) {
        if (remaining.size() <= kRowWidth) {
            rows << rowText(remaining);
            break;
        }
        rows << rowText(remaining.substr(0, kRowWidth));
        remaining.remove_prefix(kRowWidth);
    }
    // Only what differs from the rows shown changes: an unchanged row stays the same row, so a
    // selection, the scrolled position and what a screen reader holds of the list survive the
    // refresh, and an unchanged frame costs no repaint.
    ListView1_->showRows(kTextColumn, rows);
}

void raw::copyRows() {
    const bool all = ListView1_->selectedItems().isEmpty();
    const QLatin1StringView rowEnd(kRowEnd.data(), static_cast<qsizetype>(kRowEnd.size()));
    QString text;
    for (int row = 0; row < ListView1_->topLevelItemCount(); ++row) {
        const QTreeWidgetItem* item = ListView1_->topLevelItem(row);
        if (all || item->isSelected()) {
            QString part = item->text(kTextColumn);
            if (part.endsWith(rowEnd)) {
                part.chop(rowEnd.size());
            }
            text += part;
        }
    }
    QGuiApplication::clipboard()->setText(text);
}

void raw::pause_Click() {
    if (Timer1_->isActive()) {
        Timer1_->stop();
        pause_->setText(QString::fromLatin1(kResumeCaption));
    } else {
        Timer1_->start();
        pause_->setText(QString::fromLatin1(kPauseCaption));
    }
}

void raw::exit_Click() {
    Timer1_->stop();
    close();
}

}  // namespace vornel
