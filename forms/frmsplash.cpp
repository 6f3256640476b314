#include "forms/frmsplash.h"

#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QScreen>

#include "forms/kit/clickable.h"
#include "forms/kit/failure_guard.h"
#include "forms/kit/window_def.h"
#include "resources/pictures.h"

namespace vornel {

namespace {

// The window: no title bar (no caption, no control box), no minimize or maximize button, a
// fixed border; client area 7530 x 5250 twips, centred on the screen; black, which shows only as
// the margin around Frame1.
const WindowDef kWindow{
    .name = "frmSplash", .clientWidth = 7530, .clientHeight = 5250, .backColour = 0x00000000};

// Frame1, a frame without caption in the toolkit's default colours; every other control lies
// inside it, placed relative to its top-left corner.
constexpr int kFrame1Left = 120;
constexpr int kFrame1Top = 120;
constexpr int kFrame1Width = 7305;
constexpr int kFrame1Height = 4995;

const LabelDef kLabel5{.name = "Label5",
                       .caption = "Tessaly",
                       .left = 480,
                       .top = 240,
                       .width = 4455,
                       .height = 615,
                       .foreColour = 0x000080FF,
                       .font = FontDef{"Arial", 27.75, true}};

const LabelDef kLblCompanyProduct{.name = "lblCompanyProduct",
                                  .caption = "Quillfield Labs",
                                  .left = 480,
                                  .top = 960,
                                  .width = 2460,
                                  .height = 360,
                                  .font = FontDef{"Arial", 15.75, true}};

const LabelDef kLblNotice{.name = "lblNotice",
                          .caption = "Copyright \u00A9 2026",
                          .left = 3120,
                          .top = 960,
                          .width = 1815,
                          .height = 255,
                          .backStyle = BackStyle::Opaque,
                          .font = FontDef{"Arial", 8.25}};

const LabelDef kLblCompany{.name = "lblCompany",
                           .caption = "Quillfield Labs",
                           .left = 3120,
                           .top = 1200,
                           .width = 1815,
                           .height = 255,
                           .backStyle = BackStyle::Opaque,
                           .font = FontDef{"Arial", 8.25}};

const LabelDef kLabel2{.name = "Label2",
                       .caption = "Ask Edda Marrow",
                       .left = 5040,
                       .top = 600,
                       .width = 1455,
                       .height = 255,
                       .foreColour = 0x00FF0000,
                       .backStyle = BackStyle::Opaque,
                       .wordWrap = true};

const LabelDef kLabel3{.name = "Label3",
                       .caption = "More help on the Vornel forum of our web site",
                       .left = 5040,
                       .top = 840,
                       .width = 2055,
                       .height = 495,
                       .foreColour = 0x00FF0000,
                       .backStyle = BackStyle::Opaque,
                       .wordWrap = true};

// imgLogo: the picture, stretched to fill the control.
const LabelDef kImgLogo{.name = "imgLogo", .left = 120, .top = 1440, .width = 7095, .height = 3465};

// Over the middle of imgLogo, drawn above it.
const LabelDef kLabel6{.name = "Label6",
                       .caption = "Click to RUN",
                       .left = 1680,
                       .top = 2160,
                       .width = 3735,
                       .height = 615,
                       .foreColour = 0x0000FF00,
                       .font = FontDef{"MS Sans Serif", 18},
                       .alignment = Qt::AlignHCenter | Qt::AlignTop};

// A label that does nothing with a click: the click must not reach the frame behind it.
QLabel* createInertLabel(QWidget* parent, const LabelDef& def) {
    QLabel* label = createLabel(parent, def);
    label->setAttribute(Qt::WA_NoMousePropagation);
    return label;
}

}  // namespace

frmSplash::frmSplash(QWidget* owner) : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint) {
    applyWindowDef(this, kWindow);

    auto* frame = new ClickableFrame(this);
    frame->setObjectName(QStringLiteral("Frame1"));
    frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
    frame->setAutoFillBackground(true);
    frame->setGeometry(twipsRect(kFrame1Left, kFrame1Top, kFrame1Width, kFrame1Height));
    Frame1_ = frame;
    frame->onClick(guarded([this] { Frame1_Click(); }));

    Label5_ = createLabel<ClickableLabel>(Frame1_, kLabel5);
    lblCompanyProduct_ = createLabel<ClickableLabel>(Frame1_, kLblCompanyProduct);
    lblNotice_ = createInertLabel(Frame1_, kLblNotice);
    lblCompany_ = createInertLabel(Frame1_, kLblCompany);
    Label2_ = createInertLabel(Frame1_, kLabel2);
    Label3_ = createInertLabel(Frame1_, kLabel3);

    imgLogo_ = createLabel<ClickableLabel>(Frame1_, kImgLogo);
    imgLogo_->setPixmap(pictures::picture(pictures::kSplash));
    imgLogo_->setScaledContents(true);

    Label6_ = createLabel<ClickableLabel>(Frame1_, kLabel6);
    Label6_->raise();

    Label5_->onClick(guarded([this] { Label5_Click(); }));
    lblCompanyProduct_->onClick(guarded([this] { lblCompanyProduct_Click(); }));
    imgLogo_->onClick(guarded([this] { imgLogo_Click(); }));
    Label6_->onClick(guarded([this] { Label6_Click(); }));

    // Centred on the screen.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
}

void frmSplash::Form_KeyPress(int /*KeyAscii*/) {
    unload();
}

void frmSplash::Frame1_Click() {
    unload();
}

void frmSplash::imgLogo_Click() {
    unload();
}

void frmSplash::Label5_Click() {
    unload();
}

void frmSplash::Label6_Click() {
    unload();
}

void frmSplash::lblCompanyProduct_Click() {
    unload();
}

void frmSplash::unload() {
    // The rest of a double click may still arrive; the splash is gone by then.
    if (unloaded_) {
        return;
    }
    unloaded_ = true;
    done(QDialog::Accepted);
}

void frmSplash::keyPressEvent(QKeyEvent* event) {
    // Keys that type a character (Enter, Esc, Space, letters, digits...) close the splash;
    // arrows, function keys, Delete and modifiers on their own type nothing.
    const QString text = event->text();
    if (!text.isEmpty() && event->key() != Qt::Key_Delete) {
        event->accept();
        Form_KeyPress(text.at(0).unicode());
        return;
    }
    event->ignore();
}

void frmSplash::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), bgr(kWindow.backColour));
}

}  // namespace vornel
