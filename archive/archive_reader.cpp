#include "archive/archive_reader.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <set>

#include "archive/errors.h"
#include "platform/text.h"

namespace corvane::archive {
namespace {

constexpr uint8_t kSignature[6] = {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C};
constexpr uint64_t kMaxHeaderSize = uint64_t{128} << 20;
// A real header is a small part of its archive; one of only empty files compresses its names
// well, but not by more than this.
constexpr uint64_t kHeaderCapFloor = uint64_t{8} << 20;
constexpr uint64_t kHeaderCapPerArchiveByte = 64;
constexpr size_t kCopyBlock = size_t{1} << 20;

uint64_t Le64(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}
uint32_t Le32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

uint64_t KeyRounds(const AesParams& p) {
  return p.cycles_power == 0x3F ? 1 : uint64_t{1} << p.cycles_power;
}

}  // namespace

uint64_t DecodedHeaderCap(uint64_t archive_size) {
  uint64_t cap = kHeaderCapFloor + std::min(archive_size, kMaxHeaderSize) * kHeaderCapPerArchiveByte;
  return std::min(cap, kMaxHeaderSize);
}

uint32_t Crc32(uint32_t crc, const uint8_t* data, size_t n) {
  while (n != 0) {
    uInt k = n > UINT_MAX ? UINT_MAX : static_cast<uInt>(n);
    crc = static_cast<uint32_t>(crc32(crc, data, k));
    data += k;
    n -= k;
  }
  return crc;
}

Archive::Archive(const std::filesystem::path& path, PasswordSource& password, Heartbeat heartbeat)
    : file_(path), password_(password), heartbeat_(std::move(heartbeat)) {
  ReadHeaders();
}

Archive::Archive(const uint8_t* data, size_t size, PasswordSource& password, Heartbeat heartbeat)
    : file_(data, size), password_(password), heartbeat_(std::move(heartbeat)) {
  ReadHeaders();
}

void Archive::ReadHeaders() {
  uint8_t sig[32];
  if (file_.size() < 32) Fail(kErrorCannotOpen, "not an archive");
  file_.ReadAt(0, sig, 32);
  if (std::memcmp(sig, kSignature, 6) != 0 || sig[6] != 0) Fail(kErrorCannotOpen, "not an archive");
  if (Crc32(0, sig + 12, 20) != Le32(sig + 8)) Fail(kErrorCannotOpen, "damaged start header");
  uint64_t next_offset = Le64(sig + 12);
  uint64_t next_size = Le64(sig + 20);
  uint32_t next_crc = Le32(sig + 28);
  if (next_size == 0) return;  // an empty archive
  if (next_offset > file_.size() - 32 || next_size > file_.size() - 32 - next_offset)
    Fail(kErrorCannotOpen, "archive truncated");
  if (next_size > kMaxHeaderSize) Fail(kErrorLimit, "header too large");
  std::vector<uint8_t> raw(static_cast<size_t>(next_size));
  file_.ReadAt(32 + next_offset, raw.data(), raw.size());
  if (Crc32(0, raw.data(), raw.size()) != next_crc) Fail(kErrorCannotOpen, "damaged header");

  // A packed header: its streams info says how to decode the real one (possibly in turn packed).
  for (int depth = 0; !raw.empty() && raw[0] == nid::kEncodedHeader; ++depth) {
    if (depth == 4) Fail(kErrorCannotOpen, "bad header: nested too deep");
    StreamsInfo s = ParseEncodedHeaderInfo(raw.data() + 1, raw.size() - 1, budget_);
    raw = DecodeHeaderFolder(s);
  }
  header_ = ParseHeader(raw.data(), raw.size(), budget_);
  raw = {};
  BuildEntries();
  header_.entries = {};  // entries_ holds all of it now
}

std::vector<uint8_t> Archive::DecodeHeaderFolder(const StreamsInfo& s) {
  if (s.folders.empty()) Fail(kErrorCannotOpen, "bad header: no folder");
  const Folder& f = s.folders[0];
  uint64_t size = f.UnpackSize();
  if (size > DecodedHeaderCap(file_.size())) Fail(kErrorLimit, "header too large for its archive");
  bool encrypted = FolderIsEncrypted(f);
  std::vector<uint8_t> out;
  try {
    auto stream = OpenFolder(file_, 32 + s.pack_pos, s, 0, *this);
    // Grow with the data actually decoded, never by the claimed size alone.
    while (out.size() < size) {
      size_t at = out.size();
      size_t want = static_cast<size_t>(std::min<uint64_t>(size - at, kCopyBlock));
      out.resize(at + want);
      size_t got = ReadFully(*stream, out.data() + at, want);
      if (got != want) DataError("packed header truncated");
    }
    if (f.crc_defined && Crc32(0, out.data(), out.size()) != f.crc) DataError("header CRC");
  } catch (const ArchiveError& e) {
    // Undecodable header data: a damaged archive or, when encrypted, the wrong password.
    if (e.code() == kErrorData) Fail(kErrorCannotOpen, encrypted ? "wrong password" : e.what());
    throw;
  }
  return out;
}

std::array<uint8_t, 32> Archive::Key(const AesParams& params) {
  if (!password_asked_) {
    password_asked_ = true;
    have_password_ = password_.Get(&password_utf16_);
  }
  if (!have_password_) Fail(kErrorCannotOpen, "password needed");
  auto id = std::make_pair(params.cycles_power, params.salt);
  auto it = keys_.find(id);
  if (it != keys_.end()) return it->second;
  uint64_t rounds = KeyRounds(params);
  if (rounds > kMaxKeyRoundsPerCall - key_rounds_) Fail(kErrorLimit, "too many keys to derive");
  key_rounds_ += rounds;
  auto key = DeriveAesKey(params, password_utf16_, [this] { Beat(); });
  keys_[id] = key;
  return key;
}

void Archive::CheckKeyCost(const std::vector<bool>& wanted_folders) {
  const StreamsInfo& s = header_.streams;
  std::set<std::pair<unsigned, std::vector<uint8_t>>> needed;
  uint64_t rounds = key_rounds_;
  for (size_t fi = 0; fi < s.folders.size(); ++fi) {
    if (!wanted_folders[fi]) continue;
    for (const Coder& c : s.folders[fi].coders) {
      if (!IsAesCoder(c)) continue;
      AesParams params = ParseAesParams(c.props);
      auto id = std::make_pair(params.cycles_power, params.salt);
      if (keys_.count(id) != 0 || !needed.insert(id).second) continue;
      rounds += KeyRounds(params);
      if (rounds > kMaxKeyRoundsPerCall) Fail(kErrorLimit, "too many keys to derive");
    }
  }
}

void Archive::BuildEntries() {
  const StreamsInfo& s = header_.streams;
  budget_.Charge(header_.entries.size(), sizeof(Entry));
  budget_.Charge(s.sizes.size(), sizeof(size_t));  // stream_entry_
  entries_.reserve(header_.entries.size());
  stream_entry_.reserve(s.sizes.size());
  // Substream k belongs to folder fi; folder fi's substreams end before folder_end.
  size_t k = 0, fi = 0, folder_end = 0;
  size_t last_folder = SIZE_MAX;
  for (auto& h : header_.entries) {
    Entry e;
    std::string path = platform::Cp1252FromUtf16(h.name);
    if (path.size() > 15) budget_.Charge(path.size() + 17);
    e.name = std::move(h.name);
    std::replace(path.begin(), path.end(), '/', '\\');
    e.path = std::move(path);
    e.is_dir = h.is_dir;
    e.is_anti = h.is_anti;
    e.attrib = h.attrib;
    e.attrib_defined = h.attrib_defined;
    e.mtime = h.mtime;
    e.mtime_defined = h.mtime_defined;
    if (h.has_stream) {
      while (fi < s.folders.size() && k >= folder_end) folder_end += s.folders[fi++].num_substreams;
      if (k >= folder_end) Fail(kErrorCannotOpen, "bad header: streams");
      e.has_stream = true;
      e.folder = fi - 1;
      e.size = s.sizes[k];
      e.crc_defined = s.crc_defined[k];
      e.crc = s.crcs[k];
      e.encrypted = FolderIsEncrypted(s.folders[e.folder]);
      if (e.folder != last_folder) {
        const Folder& f = s.folders[e.folder];
        for (size_t p = 0; p < f.packed_inputs.size(); ++p)
          e.packed_size += s.pack_sizes[f.first_pack + p];
        last_folder = e.folder;
      }
      stream_entry_.push_back(entries_.size());
      ++k;
    }
    entries_.push_back(std::move(e));
  }
  // Every packed stream must lie inside the file.
  uint64_t end = 32 + s.pack_pos;
  if (end < s.pack_pos) Fail(kErrorCannotOpen, "bad header: pack position");
  for (uint64_t size : s.pack_sizes) {
    end += size;
    if (end < size || end > file_.size()) Fail(kErrorCannotOpen, "archive truncated");
  }
}

void Archive::Extract(const std::vector<bool>& selected, EntrySink& sink) {
  const StreamsInfo& s = header_.streams;
  std::vector<bool> wanted(s.folders.size(), false);
  size_t k = 0;
  for (size_t fi = 0; fi < s.folders.size(); ++fi) {
    size_t first = k;
    k += s.folders[fi].num_substreams;
    for (size_t j = first; j < k && !wanted[fi]; ++j) wanted[fi] = selected[stream_entry_[j]];
  }
  CheckKeyCost(wanted);
  std::vector<uint8_t> block(kCopyBlock);
  k = 0;
  for (size_t fi = 0; fi < s.folders.size(); ++fi) {
    const Folder& f = s.folders[fi];
    size_t first = k;
    k += f.num_substreams;
    if (!wanted[fi]) continue;
    try {
      current_entry_ = stream_entry_[first];
      auto stream = OpenFolder(file_, 32 + s.pack_pos, s, fi, *this);
      // The last wanted substream: nothing after it needs decoding.
      size_t last = first;
      for (size_t j = first; j < k; ++j)
        if (selected[stream_entry_[j]]) last = j;
      for (size_t j = first; j <= last; ++j) {
        size_t entry = stream_entry_[j];
        bool take = selected[entry];
        current_entry_ = entry;
        if (take) sink.Begin(entry);
        uint64_t left = s.sizes[j];
        uint32_t crc = 0;
        while (left != 0) {
          size_t want = static_cast<size_t>(std::min<uint64_t>(left, block.size()));
          size_t got = ReadFully(*stream, block.data(), want);
          if (got != want) DataError("data truncated");
          left -= got;
          if (take) {
            crc = Crc32(crc, block.data(), got);
            sink.Write(block.data(), got);
          } else {
            Beat();
          }
        }
        if (take) {
          if (s.crc_defined[j] && crc != s.crcs[j]) DataError("CRC mismatch");
          sink.End(entry);
        }
      }
    } catch (const ArchiveError& e) {
      // Garbage out of an encrypted folder means the password was wrong.
      if (e.code() == kErrorData && FolderIsEncrypted(f)) Fail(kErrorCannotOpen, "wrong password");
      throw;
    }
  }
}

}  // namespace corvane::archive
