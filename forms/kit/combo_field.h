#pragma once

#include <QComboBox>
#include <QString>

class QFocusEvent;
class QFontMetrics;

namespace vornel {

// A drop-down combo box: an editable text field with a drop-down list. Its text shows whole
// where it can, and reads from its start where it cannot:
// - fitFontToItems() shrinks a stand-in font until every item shows whole;
// - a text too long for the field (a typed device path) shows its start once the focus has left
//   the field, and the whole text in the field's tooltip.
// Assistive tools name it by its accessible name (the label in front of it), and read its text
// as its value.
class ComboField : public QComboBox {
    Q_OBJECT

public:
    explicit ComboField(QWidget* parent);

    // Gives the field and its list the definition's font, or where the machine lacks its family a
    // stand-in made smaller until the widest of the items and the text shows whole.
    void fitFontToItems();

    // The width the text field leaves a text: inside the style's frame and drop-down button, less
    // the text field's own margins.
    int textRoom() const;

    // Whether `text` shows whole in the field, first character to last, drawn with `metrics`.
    bool showsWhole(const QString& text, const QFontMetrics& metrics) const;

protected:
    void focusOutEvent(QFocusEvent* event) override;

private:
    void showWholeTextInToolTip(const QString& text);
};

}  // namespace vornel
