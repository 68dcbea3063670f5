// The real Windows platform.
#pragma once

#include <memory>

#include "platform/platform.h"

namespace corvane::platform {

std::unique_ptr<Platform> CreateWin32Platform();

}  // namespace corvane::platform
