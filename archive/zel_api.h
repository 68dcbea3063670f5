// The four operations the archive library exports, as the engine calls them. Shared by the
// library and the engine's client; plain C types only. Text is 8-bit (Windows-1252) and
// zero-terminated; entry paths use backslashes. File paths are in the 8-bit form of the system's
// file calls (see archive/host_text.h). Entries are written under their stored (UTF-16) names,
// also where the listed 8-bit name has '?' for letters the code page lacks.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

// Size of the buffer the library hands to the password callback (including the terminator).
constexpr size_t kZelPasswordBufferSize = 1024;

// Copies a password into buffer and returns 1, or returns 0 when there is none. The library asks
// at most once per exported call, and only when an encrypted stream needs a key.
typedef int (*ZelPasswordCallback)(char* buffer);
// Entry path, bytes done and bytes total of the whole extraction: non-zero to go on.
typedef int (*ZelProgressCallback)(const char* entry_path, uint64_t done, uint64_t total);
// Asked before each entry is written (entry path, reserved): non-zero to go on.
typedef int (*ZelContinueCallback)(const void* entry_path, const void* reserved);
// Asked when a target file exists (existing file, entry path, then eight reserved arguments):
// 4 overwrites it, any other answer keeps the existing file and skips the entry.
typedef int (*ZelAnswerCallback)(const void* existing_file, const void* entry_path, const void*,
                                 const void*, const void*, const void*, const void*, const void*,
                                 const void*, const void*);
constexpr int kZelAnswerOverwrite = 4;
constexpr int kZelAnswerKeep = 1;

// One listed entry, 48 bytes on both the 32-bit and the 64-bit build.
struct ZelEntryRecord {
  union {
    const char* path;   // offset 0: the entry's path inside the archive
    uint64_t path_slot;
  };
  uint64_t size;         // offset 8: unpacked size
  uint64_t packed_size;  // offset 16: packed size of its solid block, on the block's first entry
  uint32_t attributes;   // offset 24: Windows attributes (0x10 for folders)
  uint32_t crc;          // offset 28: CRC-32 of the data, 0 when none is stored
  uint64_t modified;     // offset 32: FILETIME, 0 when none is stored
  uint32_t flags;        // offset 40: kZelEntryFolder | kZelEntryEncrypted
  uint32_t reserved;
};
constexpr uint32_t kZelEntryFolder = 1;
constexpr uint32_t kZelEntryEncrypted = 2;

// The entries to extract: paths as listed (letter case and '/' or '\' do not matter). A path
// that a listed entry has selects every entry listed so, '?' and '*' included; wildcards in any
// other path are refused (1002).
struct ZelTargetList {
  const char* const* paths;
  uint32_t count;
};

// Lists an archive. reserved arguments are 0. Returns a handle (records stay valid until
// CloseListArchive), or 0 with GetLastArchiveError set.
typedef uintptr_t (*ZelOpenListArchive)(const char* archive_path, intptr_t reserved1,
                                        ZelPasswordCallback password_callback,
                                        intptr_t reserved2, intptr_t reserved3,
                                        intptr_t reserved4, const char* password,
                                        ZelEntryRecord** entries, int32_t* count);
typedef void (*ZelCloseListArchive)(uintptr_t handle);
// Extracts the target entries (all of them when targets is null) below destination; strip 1
// drops the entries' folders. mode is 1. Returns non-zero on success, 0 with
// GetLastArchiveError set.
typedef int (*ZelExtractArchive)(const char* archive_path, int mode, const char* destination,
                                 const ZelTargetList* targets, int strip, const char* password,
                                 ZelPasswordCallback password_callback,
                                 ZelProgressCallback progress_callback,
                                 ZelContinueCallback continue_callback,
                                 ZelAnswerCallback answer_callback);
typedef int (*ZelGetLastArchiveError)();

// Optional fifth operation (a caller finds it by name and may do without): the most that later
// ExtractArchive calls of the process decode, as a multiple of the archive file's size (always at
// least 1 MiB); 0 lifts the cap. The default is kZelDefaultOutputRatio. Larger announced output
// fails before anything is written.
typedef void (*ZelSetArchiveOutputRatio)(uint32_t ratio);
constexpr uint32_t kZelDefaultOutputRatio = 10000;

}  // extern "C"
