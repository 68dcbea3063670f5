// The start-up windows of the engine on Windows: the splash and the start-up progress window.
#pragma once

#include <memory>

#include "platform/startup_ui.h"

namespace corvane::platform {

std::unique_ptr<StartupWindows> CreateWin32StartupWindows();

}  // namespace corvane::platform
