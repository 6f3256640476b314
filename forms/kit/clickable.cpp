#include "forms/kit/clickable.h"

#include <QMouseEvent>

#if QT_CONFIG(accessibility)
#include <QAccessible>
#include <QAccessibleWidget>
#endif

namespace vornel {

namespace {

#if QT_CONFIG(accessibility)
class LabelButtonAccessible : public QAccessibleWidget {
public:
    explicit LabelButtonAccessible(LabelButton* button)
        : QAccessibleWidget(button, QAccessible::Button) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && button()->accessibleName().isEmpty()) {
            return button()->text();
        }
        return QAccessibleWidget::text(t);
    }

    QStringList actionNames() const override { return {pressAction()}; }

    void doAction(const QString& action) override {
        if (action != pressAction()) {
            return;
        }
        // From the event loop, as a click comes: the tool waits for this call to return, and the
        // click may open a message box of its own.
        QMetaObject::invokeMethod(
            button(), [pressed = button()] { pressed->click(); }, Qt::QueuedConnection);
    }

    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    LabelButton* button() const { return static_cast<LabelButton*>(object()); }
};

QAccessibleInterface* labelButtonAccessible(const QString& className, QObject* object) {
    if (className == QLatin1StringView(LabelButton::staticMetaObject.className())) {
        return new LabelButtonAccessible(static_cast<LabelButton*>(object));
    }
    return nullptr;
}
#endif

}  // namespace

LabelButton::LabelButton(QWidget* parent) : ClickableLabel(parent) {
#if QT_CONFIG(accessibility)
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(labelButtonAccessible);
        return true;
    }();
    (void)factoryInstalled;
#endif
    setFocusPolicy(Qt::NoFocus);
}

void ClickTracker::press(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    event->accept();
}

bool ClickTracker::release(QMouseEvent* event, const QRect& area) {
    const bool click =
        pressed_ && event->button() == Qt::LeftButton && area.contains(event->position().toPoint());
    pressed_ = false;
    event->accept();
    return click;
}

}  // namespace vornel
