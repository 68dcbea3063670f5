#include "archive/folder_decoder.h"

#include <vector>

#include "archive/bcj2_decoder.h"
#include "archive/deflate_decoder.h"
#include "archive/errors.h"
#include "archive/filter_stream.h"
#include "archive/lzma_decoder.h"

namespace corvane::archive {
namespace {

using Bytes = std::vector<uint8_t>;
const Bytes kCopy = {0x00};
const Bytes kDelta = {0x03};
const Bytes kX86 = {0x03, 0x03, 0x01, 0x03};
const Bytes kBcj2 = {0x03, 0x03, 0x01, 0x1B};
const Bytes kArm64 = {0x0A};
const Bytes kLzma = {0x03, 0x01, 0x01};
const Bytes kLzma2 = {0x21};
const Bytes kDeflate = {0x04, 0x01, 0x08};
const Bytes kAes = {0x06, 0xF1, 0x07, 0x01};

std::unique_ptr<InStream> MakeCoder(const Coder& c, std::vector<std::unique_ptr<InStream>> in,
                                    uint64_t out_size, KeySource& keys) {
  const Bytes& m = c.method;
  if (m == kBcj2) {
    if (in.size() != 4) Fail(kErrorCannotOpen, "bad branch coder layout");
    return std::make_unique<Bcj2Stream>(std::move(in), out_size);
  }
  if (in.size() != 1) Fail(kErrorCannotOpen, "unsupported coder layout");
  std::unique_ptr<InStream> src = std::move(in[0]);
  if (m == kLzma) return std::make_unique<LzmaStream>(std::move(src), c.props, out_size);
  if (m == kLzma2) return std::make_unique<Lzma2Stream>(std::move(src), c.props, out_size);
  if (m == kCopy) return src;
  if (m == kX86) return std::make_unique<X86Filter>(std::move(src));
  if (m == kArm64) return std::make_unique<Arm64Filter>(std::move(src), c.props);
  if (m == kDelta) return std::make_unique<DeltaFilter>(std::move(src), c.props);
  if (m == kDeflate) return std::make_unique<DeflateStream>(std::move(src));
  if (m == kAes) {
    AesParams params = ParseAesParams(c.props);
    return std::make_unique<AesStream>(std::move(src), keys.Key(params), params.iv);
  }
  Fail(kErrorCannotOpen, "unsupported compression method");
}

class Builder {
 public:
  Builder(ArchiveFile& file, uint64_t data_start, const StreamsInfo& s, const Folder& f,
          KeySource& keys)
      : file_(file), s_(s), f_(f), keys_(keys), building_(f.coders.size(), false) {
    uint64_t offset = data_start;
    for (size_t i = 0; i < f.first_pack; ++i) offset += s.pack_sizes[i];
    for (size_t i = 0; i < f.packed_inputs.size(); ++i) {
      pack_offsets_.push_back(offset);
      offset += s.pack_sizes[f.first_pack + i];
    }
    uint32_t first = 0;
    for (const auto& c : f.coders) {
      first_in_.push_back(first);
      first += c.num_in;
    }
  }

  std::unique_ptr<InStream> Build(uint32_t coder) {
    if (building_[coder]) Fail(kErrorCannotOpen, "bad header: coder loop");
    building_[coder] = true;
    const Coder& c = f_.coders[coder];
    std::vector<std::unique_ptr<InStream>> inputs;
    for (uint32_t k = 0; k < c.num_in; ++k) inputs.push_back(Input(first_in_[coder] + k));
    return MakeCoder(c, std::move(inputs), f_.unpack_sizes[coder], keys_);
  }

 private:
  std::unique_ptr<InStream> Input(uint32_t in_index) {
    for (const auto& b : f_.binds)
      if (b.in_index == in_index) return Build(b.out_index);
    for (size_t p = 0; p < f_.packed_inputs.size(); ++p) {
      if (f_.packed_inputs[p] == in_index) {
        return std::make_unique<PackStream>(file_, pack_offsets_[p],
                                            s_.pack_sizes[f_.first_pack + p]);
      }
    }
    Fail(kErrorCannotOpen, "bad header: unconnected coder input");
  }

  ArchiveFile& file_;
  const StreamsInfo& s_;
  const Folder& f_;
  KeySource& keys_;
  std::vector<bool> building_;
  std::vector<uint64_t> pack_offsets_;
  std::vector<uint32_t> first_in_;
};

}  // namespace

bool IsAesCoder(const Coder& c) { return c.method == kAes; }

bool FolderIsEncrypted(const Folder& f) {
  for (const auto& c : f.coders)
    if (c.method == kAes) return true;
  return false;
}

std::unique_ptr<InStream> OpenFolder(ArchiveFile& file, uint64_t data_start, const StreamsInfo& s,
                                     size_t folder_index, KeySource& keys) {
  const Folder& f = s.folders.at(folder_index);
  if (f.first_pack + f.packed_inputs.size() > s.pack_sizes.size())
    Fail(kErrorCannotOpen, "bad header: pack streams");
  Builder b(file, data_start, s, f, keys);
  return b.Build(f.MainCoder());
}

}  // namespace corvane::archive
