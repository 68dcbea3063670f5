// Shared helpers of the Win32 implementation: Windows error codes to statuses, and the last error
// of the calling thread as the platform reports it.
#pragma once

#include <windows.h>

// The platform interfaces use the plain Windows names for their calls; the implementation calls
// the "A" functions by their full names, so the character-set macros are not wanted here.
#undef CreateDirectory
#undef RemoveDirectory
#undef DeleteFile
#undef CopyFile
#undef MoveFile
#undef GetCurrentDirectory
#undef SetCurrentDirectory
#undef MessageBox

#include <cstdint>
#include <string>

#include "platform/status.h"

namespace corvane::platform::win32 {

Status StatusFromError(DWORD error);

// Remembers error as the last error of this thread and returns its status.
Status Fail(DWORD error);
// Fail(GetLastError()).
Status FailLast();
// Returns s, remembering the Windows code behind it when it is a failure.
Status Record(Status s);

uint32_t ThreadLastError();

// The 8-bit form of a wide path that the "A" calls can open: the path itself when the code page
// spells every character of it, else its short (8.3) form when that one is spelt so; else the
// path with '?' for each character lost, which no file call opens.
std::string NarrowPath(const std::wstring& path);

}  // namespace corvane::platform::win32
