// Photographs of windows: what a window shows on the screen, frame and all, as a picture.
#pragma once

#include <windows.h>

#include <optional>

#include "platform/pictures.h"

namespace corvane::ui::win32 {

// What the window shows, frame and child windows included, once it has painted; nullopt when
// the window is not visible or its pixels cannot be read.
std::optional<platform::Picture> CaptureWindow(HWND window);

}  // namespace corvane::ui::win32
