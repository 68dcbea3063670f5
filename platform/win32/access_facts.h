// Reading an access list: which accounts count as the system's own, and the facts of a security
// descriptor's list that the engine relies on for its per-machine folders.
#pragma once

#include "platform/shell.h"
#include "platform/win32/win32_common.h"

namespace corvane::platform::win32 {

// Reading and running (FILE_GENERIC_READ | FILE_GENERIC_EXECUTE): the most an account other than
// the system's own may hold on a protected folder.
constexpr ACCESS_MASK kReadAndRun = FILE_GENERIC_READ | FILE_GENERIC_EXECUTE;

// SYSTEM, Administrators and the installer service (TrustedInstaller).
bool IsSystemAccount(PSID sid);

// The facts of sd's list and control bits. Generic rights are mapped to the file rights first;
// entries that only pass on to what is created inside count for changing, not for reading; a
// missing or NULL list lets everyone do everything.
Status AccessFactsOfDescriptor(PSECURITY_DESCRIPTOR sd, AccessFacts* facts);

}  // namespace corvane::platform::win32
