// The windows shown while the engine starts: a splash holding the setup picture, and a small
// progress window with a caption, a text and a progress bar. Main thread only.
#pragma once

#include <cstdint>
#include <string>

namespace corvane::platform {

class StartupWindows {
 public:
  virtual ~StartupWindows() = default;
  // Creates and shows the windows. `picture` is the path of the splash picture (a bitmap), or
  // empty for no splash; the progress window then stands in the middle of the screen.
  virtual void Show(const std::string& picture, const std::string& caption,
                    const std::string& text) = 0;
  virtual void SetProgress(int minimum, int maximum, int position) = 0;
  // Advances the progress bar by one and paints both windows.
  virtual void Step() = 0;
  // Hides and frees both windows.
  virtual void Close() = 0;
  // The progress window's handle, for message boxes shown while it is up (0 when none).
  virtual uintptr_t OwnerWindow() = 0;
};

// Where the left and top of the start-up progress window go, given the splash rectangle (or
// none) and the screen: right of the splash centre and below it, pulled back on screen.
struct WindowPlacement {
  int left = 0, top = 0;
};
WindowPlacement PlaceProgressWindow(bool has_splash, int splash_left, int splash_top,
                                    int splash_width, int splash_height, int window_width,
                                    int window_height, int screen_width, int screen_height);

}  // namespace corvane::platform
