#pragma once

// The Windows API, without the min/max macros that clash with the standard library and without
// the rarely used parts. Windows only.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
