#include "forms/kit/combo_field.h"

#include <QFocusEvent>
#include <QFontMetrics>
#include <QLineEdit>
#include <QStringList>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QStyleOptionFrame>
#include <algorithm>

#include "forms/kit/window_def.h"

#if QT_CONFIG(accessibility)
#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#endif

namespace vornel {

namespace {

// A text field draws its text this far inside its contents on either side (Qt's QLineEdit keeps
// it to itself).
constexpr int kLineEditMargin = 2;

// A text field scrolls a text unless the text and one pixel for the cursor after it fit.
bool fits(const QString& text, const QFontMetrics& metrics, int room) {
    return metrics.horizontalAdvance(text) + 1 <= room;
}

#if QT_CONFIG(accessibility)
// What assistive tools see of a ComboField: a combo box named by its accessible name (on Linux
// Qt's own combo boxes give their text as their name as well), its text as its value, its list
// and its text field as its children, and the actions that drop the list down.
class ComboFieldAccessible : public QAccessibleWidget {
public:
    explicit ComboFieldAccessible(ComboField* field)
        : QAccessibleWidget(field, QAccessible::ComboBox) {}

    int childCount() const override { return 2; }

    QAccessibleInterface* child(int index) const override {
        switch (index) {
            case 0:
                return QAccessible::queryAccessibleInterface(field()->view());
            case 1:
                return QAccessible::queryAccessibleInterface(field()->lineEdit());
            default:
                return nullptr;
        }
    }

    int indexOfChild(const QAccessibleInterface* child) const override {
        if (child->object() == field()->view()) {
            return 0;
        }
        return child->object() == field()->lineEdit() ? 1 : -1;
    }

    QAccessibleInterface* childAt(int x, int y) const override {
        const QLineEdit* edit = field()->lineEdit();
        return edit->rect().contains(edit->mapFromGlobal(QPoint(x, y))) ? child(1) : nullptr;
    }

    // The field, not the combo box, holds the text cursor.
    QAccessibleInterface* focusChild() const override { return child(1); }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && !field()->accessibleName().isEmpty()) {
            return field()->accessibleName();
        }
        if (t == QAccessible::Name || t == QAccessible::Value) {
            return field()->currentText();
        }
        return QAccessibleWidget::text(t);
    }

    QStringList actionNames() const override { return {showMenuAction(), pressAction()}; }

    void doAction(const QString& action) override {
        if (action != showMenuAction() && action != pressAction()) {
            return;
        }
        if (field()->view()->isVisible()) {
            field()->hidePopup();
        } else {
            field()->showPopup();
        }
    }

    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    ComboField* field() const { return static_cast<ComboField*>(object()); }
};

QAccessibleInterface* comboFieldAccessible(const QString& className, QObject* object) {
    if (className == QLatin1StringView(ComboField::staticMetaObject.className())) {
        return new ComboFieldAccessible(static_cast<ComboField*>(object));
    }
    return nullptr;
}
#endif

}  // namespace

ComboField::ComboField(QWidget* parent) : QComboBox(parent) {
#if QT_CONFIG(accessibility)
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(comboFieldAccessible);
        return true;
    }();
    (void)factoryInstalled;
#endif
    setEditable(true);
    connect(this, &QComboBox::editTextChanged, this, &ComboField::showWholeTextInToolTip);
}

void ComboField::fitFontToItems() {
    QStringList texts{currentText()};
    for (int i = 0; i < count(); ++i) {
        texts << itemText(i);
    }
    const int room = textRoom();
    setFont(fittingFont(kDefaultFont, [&](const QFontMetrics& metrics) {
        return std::all_of(texts.cbegin(), texts.cend(),
                           [&](const QString& text) { return fits(text, metrics, room); });
    }));
    showWholeTextInToolTip(currentText());
}

int ComboField::textRoom() const {
    QStyleOptionComboBox combo;
    initStyleOption(&combo);
    const QRect field =
        style()->subControlRect(QStyle::CC_ComboBox, &combo, QStyle::SC_ComboBoxEditField, this);
    const QLineEdit* edit = lineEdit();
    QStyleOptionFrame frame;
    frame.initFrom(edit);
    frame.rect = QRect(QPoint(0, 0), field.size());
    frame.lineWidth = edit->hasFrame()
                          ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &frame, edit)
                          : 0;
    const QRect contents = edit->style()
                               ->subElementRect(QStyle::SE_LineEditContents, &frame, edit)
                               .marginsRemoved(edit->textMargins());
    return contents.width() - 2 * kLineEditMargin;
}

bool ComboField::showsWhole(const QString& text, const QFontMetrics& metrics) const {
    return fits(text, metrics, textRoom());
}

void ComboField::focusOutEvent(QFocusEvent* event) {
    QComboBox::focusOutEvent(event);
    // Left for another control (not for its own list, nor with its whole window): a text too long
    // for the field shows its start.
    if (event->reason() != Qt::PopupFocusReason && event->reason() != Qt::ActiveWindowFocusReason) {
        lineEdit()->setCursorPosition(0);
    }
}

void ComboField::showWholeTextInToolTip(const QString& text) {
    setToolTip(showsWhole(text, fontMetrics()) ? QString() : text);
}

}  // namespace vornel
