// Test support for the service and registration tests under Wine: what a test does to the
// machine that the engine never does.
#pragma once

#include <cstdint>
#include <string>

namespace corvane::platform::win32 {

// Stops a service of this computer and waits, for a bounded time, until it has stopped; true
// when it is stopped (also when it was).
bool StopServiceAndWait(const std::string& name);

// The number of an inheritable handle that stays open for the life of the process: a program the
// engine starts sees it open only when it inherited the engine's handles.
uint64_t InheritableHandle();

}  // namespace corvane::platform::win32
