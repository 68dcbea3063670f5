// The library's exported operations as functions, for code linked with the library itself (its
// tests and benchmarks); the engine reaches them through the typedefs of zel_api.h instead.
#pragma once

#include "archive/zel_api.h"

extern "C" {
uintptr_t OpenListArchive(const char*, intptr_t, ZelPasswordCallback, intptr_t, intptr_t, intptr_t,
                          const char*, ZelEntryRecord**, int32_t*);
void CloseListArchive(uintptr_t);
int ExtractArchive(const char*, int, const char*, const ZelTargetList*, int, const char*,
                   ZelPasswordCallback, ZelProgressCallback, ZelContinueCallback, ZelAnswerCallback);
int GetLastArchiveError();
void SetArchiveOutputRatio(uint32_t ratio);
}
