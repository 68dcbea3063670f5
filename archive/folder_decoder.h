// Builds the decoder chain of one folder: each coder becomes a stream whose inputs are packed
// streams of the archive file or the outputs of other coders.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "archive/aes_decoder.h"
#include "archive/archive_file.h"
#include "archive/header.h"
#include "archive/stream.h"

namespace corvane::archive {

// Supplies AES keys; throws kErrorCannotOpen when no password is available.
class KeySource {
 public:
  virtual ~KeySource() = default;
  virtual std::array<uint8_t, 32> Key(const AesParams& params) = 0;
};

// data_start: file offset of the first packed stream of this streams info.
std::unique_ptr<InStream> OpenFolder(ArchiveFile& file, uint64_t data_start, const StreamsInfo& s,
                                     size_t folder_index, KeySource& keys);

bool FolderIsEncrypted(const Folder& f);
bool IsAesCoder(const Coder& c);

}  // namespace corvane::archive
