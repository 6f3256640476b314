#pragma once

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QRect>
#include <cstdint>
#include <functional>
#include <optional>

#include <QLabel>

class QMainWindow;
class QPainter;
class QPushButton;
class QWidget;

// Window definitions as data: positions and sizes in twips (1/1440 inch), colours as 0x00BBGGRR
// values, fonts by family and point size. These helpers turn them into Qt's pixels, colours and
// fonts.
namespace vornel {

class ComboField;

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

// A defined family and, after it, the families that stand in for it where this machine lacks it:
// Arial -> Liberation Sans, Palatino Linotype -> TeX Gyre Pagella or P052,
// MS Sans Serif -> a plain sans.
QStringList definitionFamilies(const char* family);

// The font of a definition. Its families are those of definitionFamilies() from the first one
// this machine has on (all of them where it has none).
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
// With FontLoading::Later the label keeps the application's font until fitLabelFont() gives it
// its own: a window that is not shown yet need not load its fonts.
enum class FontLoading { Now, Later };
void applyLabelDef(QLabel* label, const LabelDef& def, FontLoading fonts = FontLoading::Now);
void fitLabelFont(QLabel* label, const LabelDef& def);

// Creates the label of a definition on `parent`; `Label` may be any QLabel, such as a
// ClickableLabel.
template <typename Label = QLabel>
Label* createLabel(QWidget* parent, const LabelDef& def, FontLoading fonts = FontLoading::Now) {
    auto* label = new Label(parent);
    applyLabelDef(label, def, fonts);
    return label;
}

// A drop-down combo box: an editable text field with a drop-down list.
struct ComboDef {
    const char* name;
    const char* text;  // the text it shows when it is created
    int left, top, width, height;
};

// Creates the combo box of a definition on `parent`, in kDefaultFont (its items, once added, may
// make a stand-in smaller: ComboField::fitFontToItems). What is typed stays as typed: nothing is
// added to the list, and no item completes it ("1" stays 1, not 1200).
ComboField* createComboBox(QWidget* parent, const ComboDef& def);

// A command button.
struct ButtonDef {
    const char* name;
    const char* caption;  // "&" marks the access key
    int left, top, width, height;
};

// Creates the command button of a definition on `parent`, in kDefaultFont.
QPushButton* createButton(QWidget* parent, const ButtonDef& def);

// A straight line drawn on a window, `width` pixels wide, inside its width: it grows down from
// the line it is defined on.
struct LineDef {
    int x1, y1, x2, y2;  // twips
    std::uint32_t colour;
    int width;
};
void drawLine(QPainter& painter, const LineDef& def);

// A list view, and one of its columns.
struct ListViewDef {
    const char* name;
    int left, top, width, height;
    FontDef font;
};
struct ColumnDef {
    const char* header;
    int width;  // twips
};

// A window's own definition: its name, caption, client area and back colour. `left` and `top`
// place the client area's top-left corner on the screen; a window without them is placed by
// its own code (centred) or by the system.
struct WindowDef {
    const char* name;
    const char* caption = "";
    int clientWidth = 0, clientHeight = 0;
    std::optional<int> left = std::nullopt, top = std::nullopt;
    std::uint32_t backColour = 0x00000000;
};

// Gives a window without a menu bar its name, caption and the size of its client area, which it
// keeps, and places the client area where the definition says. The back colour is the window's
// own business: some draw it themselves.
void applyWindowDef(QWidget* window, const WindowDef& def);

// Gives a window with a menu bar its name and caption, and places it so that `client` (its
// central widget, given the definition's back colour) has the defined size and position with the
// menu bar just above it. A fixed window keeps that size.
enum class Sizing { Fixed, Resizable };
void placeClientUnderMenuBar(QMainWindow* window, QWidget* client, const WindowDef& def,
                             Sizing sizing);

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

// Gives a window its back colour, painted under whatever it draws, not put in its palette: the
// controls on it keep the application's palette. (The style keeps what it draws in Qt's pixmap
// cache under the palette's key, and a palette set on a window is a new one each time, as are
// those its controls inherit from it: every window opened would leave pictures there that are
// never used again, up to the cache's limit.)
void setWindowColour(QWidget* window, std::uint32_t bgrValue);

}  // namespace vornel
