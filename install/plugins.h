// Plug-in actions: script commands that a library of the setup carries out. The build lists
// their names; each library exports one entry point, "RunTimeExecute", which receives all the
// script's variables and the command's parameter text, reports progress through a callback and
// gives back the complete new set of variables.
//
// The entry point is called twice on a worker thread: first without a buffer, for the length of
// the result (-1: nothing to return, the variables stay as they are), then with a buffer of that
// length + 1 for the text. Both texts are comma text of alternating names and values.
#pragma once

#include <cstdint>
#include <string>

#include "platform/library.h"

namespace corvane::install {

// percent, text -> 1 to go on, 0 when the engine asks the action to stop.
using PluginProgressCallback = int32_t(CORVANE_STDCALL*)(int32_t percent, const char* text);
// owner window, variables text, parameter text, progress callback, context cell, result buffer
// (null on the first call) -> length of the result text, or -1.
using PluginEntryPoint = int32_t(CORVANE_STDCALL*)(void* owner, const char* variables,
                                                   const char* parameters,
                                                   PluginProgressCallback progress,
                                                   int32_t* context, char* buffer);

inline constexpr const char* kPluginEntryName = "RunTimeExecute";
inline constexpr const char* kPluginMissingText =
    "Unable to load plug-in library. Please rebuild your project and make sure all required "
    "plug-ins are installed.\r\rAction skipped";

// Whether a path below a folder stays there: no empty, "." or ".." name, no drive and no root.
bool StaysInsideFolder(const std::string& relative);

}  // namespace corvane::install
