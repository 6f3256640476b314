#pragma once

#include <QIcon>
#include <QPixmap>

// The program's pictures, in its resources.
namespace vornel::pictures {

// The splash screen's picture (563 x 511, stretched over imgLogo).
inline constexpr const char* kSplash = ":/pictures/splash.jpg";
// The About box's back picture (489 x 368, drawn unscaled from the top-left corner).
inline constexpr const char* kAboutBack = ":/pictures/about_back.jpg";
// The About box's picIcon (32 x 32, 16 colours).
inline constexpr const char* kAboutIcon = ":/icons/about.png";
// Window icons, 32 x 32 (the main window's also 16 x 16).
inline constexpr const char* kMainIcon32 = ":/icons/vornel_32.png";
inline constexpr const char* kMainIcon16 = ":/icons/vornel_16.png";
inline constexpr const char* kSetupIcon = ":/icons/setup.png";
inline constexpr const char* kRawIcon = ":/icons/raw.png";

// A picture as a window shows it. On a scaled screen (150 %, 200 % ...) its drawing at twice the
// size where there is one ("name@2x.png" beside "name.png"), which Qt draws in the room of the
// plain one, so that it is not blurred by scaling up; the plain picture otherwise. It is decoded
// for the window that shows it and let go with it: a QPixmap made from a file name would stay in
// Qt's pixmap cache for the rest of the run (1.1 MiB for the splash's).
QPixmap picture(const char* path);

QIcon mainIcon();
QIcon setupIcon();
QIcon rawIcon();

}  // namespace vornel::pictures
