// How the library's text arguments name files. The exported calls take 8-bit paths in the form
// the calling system's 8-bit file calls take: Windows-1252 on Windows (where the engine reaches a
// folder whose name that code page cannot spell by its short form), and the host's own bytes
// (UTF-8) on the native build, whose caller, the simulation, hands over host paths.
#pragma once

#include <filesystem>

namespace corvane::archive {

std::filesystem::path HostPath(const char* text);

}  // namespace corvane::archive
