#include "platform/startup_ui.h"

namespace corvane::platform {

WindowPlacement PlaceProgressWindow(bool has_splash, int splash_left, int splash_top,
                                    int splash_width, int splash_height, int window_width,
                                    int window_height, int screen_width, int screen_height) {
  WindowPlacement p;
  if (!has_splash) {
    p.left = (screen_width - window_width) / 2;
    p.top = (screen_height - window_height) / 2;
    return p;
  }
  p.left = splash_left + splash_width / 2 + 50;
  p.top = splash_top + splash_height + 25;
  if (p.top > screen_height - window_height - 45) p.top = screen_height - window_height - 45;
  if (p.left > screen_width - window_width - 25) p.left = screen_width - window_width - 25;
  return p;
}

}  // namespace corvane::platform
