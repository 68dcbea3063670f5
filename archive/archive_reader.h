// An opened 7z archive: the signature header, the (possibly packed and encrypted) header, the
// entry list, and sequential decoding of the folders that hold the wanted entries.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "archive/archive_file.h"
#include "archive/folder_decoder.h"
#include "archive/header.h"

namespace corvane::archive {

struct Entry {
  std::u16string name;     // as stored
  std::string path;        // 8-bit (1252), backslash-separated: what the library hands out
  bool is_dir = false;
  bool has_stream = false;
  bool is_anti = false;
  uint64_t size = 0;
  uint64_t packed_size = 0;  // the folder's packed size, on its first entry only
  uint32_t attrib = 0;
  bool attrib_defined = false;
  uint64_t mtime = 0;
  bool mtime_defined = false;
  uint32_t crc = 0;
  bool crc_defined = false;
  bool encrypted = false;
  size_t folder = 0;       // valid when has_stream
};

// Hands out the password (UTF-16LE bytes) at most once per exported call; Get is asked only when
// an encrypted stream needs a key.
class PasswordSource {
 public:
  virtual ~PasswordSource() = default;
  // False when there is none.
  virtual bool Get(std::string* utf16le) = 0;
};

class EntrySink {
 public:
  virtual ~EntrySink() = default;
  virtual void Begin(size_t entry) = 0;
  virtual void Write(const uint8_t* data, size_t n) = 0;
  virtual void End(size_t entry) = 0;
};

// Called now and then during long work that hands nothing to a sink (key derivation, decoding
// data of entries that are not selected), with the entry concerned (SIZE_MAX while the header
// is read). It stops the work by throwing, for example kErrorCancelled.
using Heartbeat = std::function<void(size_t entry)>;

// Most key rounds one archive may have derived in one call: eight derivations of the costliest
// kind the format allows, or hundreds of the usual kind. An archive that needs more (a salt of
// its own in every folder) fails with kErrorLimit before the first is derived.
constexpr uint64_t kMaxKeyRoundsPerCall = uint64_t{1} << 27;

// The largest header an archive of archive_size bytes may decode to: a generous multiple of its
// size with a floor, so that a few kilobytes cannot demand a header of a hundred megabytes.
uint64_t DecodedHeaderCap(uint64_t archive_size);

class Archive : private KeySource {
 public:
  // Throws ArchiveError: kErrorNotFound, kErrorCannotOpen (not an archive, damaged or encrypted
  // header without the right password), kErrorLimit (the header decodes to more than
  // DecodedHeaderCap or its model needs more than kHeaderMemoryBudget), kErrorCancelled (thrown
  // by the heartbeat).
  Archive(const std::filesystem::path& path, PasswordSource& password, Heartbeat heartbeat = {});
  // An archive in memory (kept alive by the caller).
  Archive(const uint8_t* data, size_t size, PasswordSource& password, Heartbeat heartbeat = {});

  const std::vector<Entry>& entries() const { return entries_; }
  // Bytes of the archive file (or memory block).
  uint64_t file_size() const { return file_.size(); }
  // Memory the parsed header took, as charged to its budget.
  uint64_t header_memory() const { return budget_.used(); }
  void SetHeartbeat(Heartbeat heartbeat) { heartbeat_ = std::move(heartbeat); }

  // Decodes every folder that holds a selected entry and streams the selected entries' bytes,
  // checked against their CRCs, to the sink in archive order. Entries without data are not
  // passed to the sink. The keys all those folders need are counted first (kErrorLimit beyond
  // kMaxKeyRoundsPerCall); each distinct one is derived once.
  void Extract(const std::vector<bool>& selected, EntrySink& sink);

 private:
  std::array<uint8_t, 32> Key(const AesParams& params) override;
  void CheckKeyCost(const std::vector<bool>& wanted_folders);
  void Beat() {
    if (heartbeat_) heartbeat_(current_entry_);
  }
  std::vector<uint8_t> DecodeHeaderFolder(const StreamsInfo& s);
  void ReadHeaders();
  void BuildEntries();

  ArchiveFile file_;
  PasswordSource& password_;
  bool password_asked_ = false;
  bool have_password_ = false;
  std::string password_utf16_;
  std::map<std::pair<unsigned, std::vector<uint8_t>>, std::array<uint8_t, 32>> keys_;
  uint64_t key_rounds_ = 0;  // derived so far
  Heartbeat heartbeat_;
  size_t current_entry_ = SIZE_MAX;
  HeaderBudget budget_;
  Header header_;  // its entries are dropped once entries_ is built
  std::vector<Entry> entries_;
  std::vector<size_t> stream_entry_;  // substream number -> entry index
};

// CRC-32 (the zip/7z polynomial), continued from crc.
uint32_t Crc32(uint32_t crc, const uint8_t* data, size_t n);

}  // namespace corvane::archive
