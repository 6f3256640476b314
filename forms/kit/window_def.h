#pragma once

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QRect>
#include <cstdint>
#include <functional>
#include <optional>

#include <QLabel>

class QWidget;

// Window definitions as data: positions and sizes in twips (1/1440 inch), colours as 0x00BBGGRR
// values, fonts by family and point size. These helpers turn them into Qt's pixels, colours and
// fonts.
namespace vornel {

// Twips to pixels through the screen's logical DPI: 15 twips a pixel at 96 DPI.
int twips(int value);
QRect twipsRect(int left, int top, int width, int height);
QSize twipsSize(int width, int height);

// A 24-bit colour written 0x00BBGGRR (so 0x00FF00 is pure green).
inline QColor bgr(std::uint32_t value) {
    return QColor::fromRgb(static_cast<int>(value & 0xFFU), static_cast<int>((value >> 8) & 0xFFU),
                           static_cast<int>((value >> 16) & 0xFFU));
}

struct FontDef {
    const char* family;  // as named in the definition; a close installed family stands in
    double points;
    bool bold = false;
    bool italic = false;
};

// The font of a definition, with fallbacks for families this machine may not have:
// Arial -> Liberation Sans, Palatino Linotype -> TeX Gyre Pagella or P052,
// MS Sans Serif -> a plain sans.
QFont definitionFont(const FontDef& def);

// The font of a definition for text that must fit the room the definition gives it. Where the
// machine has the defined family, that font as defined. Otherwise its stand-in, which is drawn
// wider or taller than the font the definition was made for: made a quarter point smaller at a
// time until `fits` accepts it (at most down to half the defined size).
QFont fittingFont(const FontDef& def, const std::function<bool(const QFontMetrics&)>& fits);

// The font our windows use where a definition names none.
inline constexpr FontDef kDefaultFont{"MS Sans Serif", 8.25};

// A label: transparent lets the window show through, opaque fills it with its back colour.
enum class BackStyle { Transparent, Opaque };

struct LabelDef {
    const char* name;
    const char* caption = "";
    int left = 0, top = 0, width = 0, height = 0;
    std::optional<std::uint32_t> foreColour = std::nullopt;  // none: the default text colour
    std::optional<std::uint32_t> backColour = std::nullopt;  // none: the default back colour
    BackStyle backStyle = BackStyle::Transparent;
    std::optional<FontDef> font = std::nullopt;  // none: kDefaultFont
    Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignTop;
    bool wordWrap = false;
};

// Gives a label everything its definition says (object name = the definition's name). Its
// caption fits its box: on one line within the box's width, or wrapped within the whole box.
void applyLabelDef(QLabel* label, const LabelDef& def);

// Creates the label of a definition on `parent`; `Label` may be any QLabel, such as a
// ClickableLabel.
template <typename Label = QLabel>
Label* createLabel(QWidget* parent, const LabelDef& def) {
    auto* label = new Label(parent);
    applyLabelDef(label, def);
    return label;
}

// Sets a label's (or any widget's) back colour and back style.
void setBackColour(QWidget* widget, QColor colour);
void setBackStyle(QWidget* widget, BackStyle style);
BackStyle backStyle(const QWidget* widget);

// The flags of a window without a close button that must still obey the system's close
// command. X11 window managers offer the close command (Alt+F4, the window menu's Close) only to
// a window whose Motif hints allow closing, and Qt allows it only together with the close
// button: there the close button is added, and it closes the window the same way.
Qt::WindowFlags withCloseCommand(Qt::WindowFlags flags);

// The flags of a window without a title bar. On Wayland Qt draws a title bar of its own on
// every window that is not frameless, whatever else the flags say: there it is frameless.
Qt::WindowFlags withoutTitleBar(Qt::WindowFlags flags);

// Gives a window its back colour.
void setWindowColour(QWidget* window, std::uint32_t bgrValue);

}  // namespace vornel
