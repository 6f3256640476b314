#pragma once

#include <QDialog>
#include <functional>

#include "forms/kit/clickable.h"

class QFrame;
class QLabel;

namespace vornel {

// The splash screen: a black window without a title bar showing the product caption, the maker,
// a picture and "Click to RUN". A key that types a character, or a click on the frame, the
// picture, the caption, "Click to RUN" or the large maker's name, closes it; nothing else does
// (bar the system's close command). It has no timer and takes no focus.
class frmSplash : public QDialog {
    Q_OBJECT

public:
    explicit frmSplash(QWidget* owner);

    // Runs `then` once, as soon as the splash has been drawn for the first time.
    void afterFirstPaint(std::function<void()> then);

    // Each closes the splash.
    void Form_KeyPress(int KeyAscii);
    void Frame1_Click();
    void imgLogo_Click();
    void Label5_Click();
    void Label6_Click();
    void lblCompanyProduct_Click();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void unload();

    QFrame* Frame1_ = nullptr;
    ClickableLabel* Label5_ = nullptr;
    ClickableLabel* lblCompanyProduct_ = nullptr;
    QLabel* lblNotice_ = nullptr;
    QLabel* lblCompany_ = nullptr;
    QLabel* Label2_ = nullptr;
    QLabel* Label3_ = nullptr;
    ClickableLabel* imgLogo_ = nullptr;
    ClickableLabel* Label6_ = nullptr;
    bool unloaded_ = false;
    std::function<void()> afterFirstPaint_;
};

}  // namespace vornel
