// The exported operations: argument checks, the per-call password source, translation of
// failures into GetLastArchiveError numbers. No exception leaves this file.
#include <atomic>
#include <cstring>
#include <new>
#include <type_traits>
#include <string>
#include <unordered_map>
#include <vector>

#include "archive/archive_reader.h"
#include "archive/errors.h"
#include "archive/extract.h"
#include "archive/host_text.h"
#include "archive/zel_api.h"
#include "platform/text.h"

namespace corvane::archive {
namespace {

thread_local int g_last_error = 0;
std::atomic<uint32_t> g_output_ratio{kZelDefaultOutputRatio};

// The caller's password: asked from the callback once, else the password argument.
class CallPassword : public PasswordSource {
 public:
  CallPassword(ZelPasswordCallback callback, const char* password)
      : callback_(callback), password_(password) {}
  bool Get(std::string* utf16le) override {
    if (asked_) return false;
    asked_ = true;
    std::string text;
    std::vector<char> buffer(kZelPasswordBufferSize, 0);
    if (callback_ != nullptr && callback_(buffer.data()) == 1) {
      buffer.back() = 0;
      text = buffer.data();
    } else if (password_ != nullptr && *password_ != 0) {
      text = password_;
    } else {
      return false;
    }
    utf16le->clear();
    for (char16_t c : platform::Utf16From1252(text)) {
      utf16le->push_back(static_cast<char>(c & 0xFF));
      utf16le->push_back(static_cast<char>(c >> 8));
    }
    return true;
  }

 private:
  ZelPasswordCallback callback_;
  const char* password_;
  bool asked_ = false;
};

struct Listing {
  std::vector<std::string> paths;
  std::vector<ZelEntryRecord> records;
};

template <typename F>
bool Guard(F&& body) {
  try {
    body();
    g_last_error = kErrorNone;
    return true;
  } catch (const ArchiveError& e) {
    g_last_error = e.code();
  } catch (const std::bad_alloc&) {
    g_last_error = kErrorLimit;
  } catch (...) {
    g_last_error = kErrorGeneral;
  }
  return false;
}

}  // namespace
}  // namespace corvane::archive

using namespace corvane::archive;

extern "C" {

uintptr_t OpenListArchive(const char* archive_path, intptr_t, ZelPasswordCallback password_callback,
                          intptr_t, intptr_t, intptr_t, const char* password,
                          ZelEntryRecord** entries, int32_t* count) {
  Listing* result = nullptr;
  bool ok = Guard([&] {
    if (archive_path == nullptr || entries == nullptr || count == nullptr)
      Fail(kErrorGeneral, "bad arguments");
    CallPassword pw(password_callback, password);
    Archive archive(HostPath(archive_path), pw);
    auto listing = std::make_unique<Listing>();
    const auto& list = archive.entries();
    if (list.size() > INT32_MAX) Fail(kErrorLimit, "too many entries");
    for (const auto& e : list) listing->paths.push_back(e.path);
    listing->records.resize(list.size());
    for (size_t i = 0; i < list.size(); ++i) {
      ZelEntryRecord& r = listing->records[i];
      std::memset(&r, 0, sizeof r);
      const Entry& e = list[i];
      r.path = listing->paths[i].c_str();
      r.size = e.size;
      r.packed_size = e.packed_size;
      r.attributes = e.attrib_defined ? e.attrib : (e.is_dir ? 0x10u : 0x20u);
      r.crc = e.crc_defined ? e.crc : 0;
      r.modified = e.mtime_defined ? e.mtime : 0;
      r.flags = (e.is_dir ? kZelEntryFolder : 0) | (e.encrypted ? kZelEntryEncrypted : 0);
    }
    *entries = listing->records.empty() ? nullptr : listing->records.data();
    *count = static_cast<int32_t>(listing->records.size());
    result = listing.release();
  });
  return ok ? reinterpret_cast<uintptr_t>(result) : 0;
}

void CloseListArchive(uintptr_t handle) { delete reinterpret_cast<Listing*>(handle); }

int ExtractArchive(const char* archive_path, int mode, const char* destination,
                   const ZelTargetList* targets, int strip, const char* password,
                   ZelPasswordCallback password_callback, ZelProgressCallback progress_callback,
                   ZelContinueCallback continue_callback, ZelAnswerCallback answer_callback) {
  return Guard([&] {
    if (archive_path == nullptr || destination == nullptr || *destination == 0)
      Fail(kErrorGeneral, "bad arguments");
    CallPassword pw(password_callback, password);
    // The header's key derivation may be long: progress (nothing done yet) lets it be cancelled.
    Heartbeat reading;
    if (progress_callback != nullptr) {
      reading = [progress_callback](size_t) {
        if (progress_callback("", 0, 0) == 0) Fail(kErrorCancelled, "cancelled");
      };
    }
    Archive archive(HostPath(archive_path), pw, reading);
    const auto& list = archive.entries();

    std::vector<bool> selected(list.size(), targets == nullptr);
    if (targets != nullptr) {
      if (targets->count != 0 && targets->paths == nullptr) Fail(kErrorGeneral, "bad arguments");
      std::unordered_multimap<std::string, size_t, corvane::platform::CaseInsensitiveHash,
                              corvane::platform::CaseInsensitiveEqual>
          by_path;
      for (size_t i = 0; i < list.size(); ++i) by_path.emplace(list[i].path, i);
      for (uint32_t t = 0; t < targets->count; ++t) {
        const char* p = targets->paths[t];
        if (p == nullptr || *p == 0) Fail(kErrorIllegalPath, "illegal target path");
        std::string key = p;
        for (char& c : key)
          if (c == '/') c = '\\';
        // Entries of one name are selected together, so one lookup tells whether a name was
        // matched before: the listing handed back has each name as often as it is stored. A
        // listed name spells letters the code page lacks as '?': handed back, it names the
        // entries listed so, and only a name that is not listed is taken as a wildcard.
        auto found = by_path.find(key);
        if (found == by_path.end() && std::strpbrk(p, "*?") != nullptr)
          Fail(kErrorIllegalPath, "illegal target path");
        if (found == by_path.end()) Fail(kErrorTargetMissing, "target not in the archive");
        if (!selected[found->second]) {
          auto range = by_path.equal_range(key);
          for (auto it = range.first; it != range.second; ++it) selected[it->second] = true;
        }
        if (progress_callback != nullptr && t % 4096 == 4095 && progress_callback(p, 0, 0) == 0)
          Fail(kErrorCancelled, "cancelled");
      }
    }

    ExtractOptions o;
    o.destination = HostPath(destination);
    o.strip_folders = strip == 1;
    o.max_output_ratio = g_output_ratio.load();
    if (progress_callback != nullptr) {
      o.progress = [progress_callback](const std::string& path, uint64_t done, uint64_t total) {
        return progress_callback(path.c_str(), done, total) != 0;
      };
    }
    if (continue_callback != nullptr) {
      o.go_on = [continue_callback](const std::string& path) {
        return continue_callback(path.c_str(), nullptr) != 0;
      };
    }
    o.overwrite = [answer_callback](const std::filesystem::path& existing,
                                    const std::string& path) {
      if (answer_callback == nullptr) return true;
      std::string shown = corvane::platform::Cp1252FromUtf16(existing.u16string());
      return answer_callback(shown.c_str(), path.c_str(), nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr) == kZelAnswerOverwrite;
    };
    (void)mode;
    ExtractEntries(archive, selected, o);
  }) ? 1 : 0;
}

int GetLastArchiveError() { return g_last_error; }

void SetArchiveOutputRatio(uint32_t ratio) { g_output_ratio.store(ratio); }

}  // extern "C"

static_assert(std::is_same_v<decltype(&OpenListArchive), ZelOpenListArchive>);
static_assert(std::is_same_v<decltype(&CloseListArchive), ZelCloseListArchive>);
static_assert(std::is_same_v<decltype(&ExtractArchive), ZelExtractArchive>);
static_assert(std::is_same_v<decltype(&GetLastArchiveError), ZelGetLastArchiveError>);
static_assert(std::is_same_v<decltype(&SetArchiveOutputRatio), ZelSetArchiveOutputRatio>);
static_assert(kZelDefaultOutputRatio == kDefaultOutputRatio);
static_assert(sizeof(ZelEntryRecord) == 48 && offsetof(ZelEntryRecord, size) == 8 &&
              offsetof(ZelEntryRecord, packed_size) == 16 &&
              offsetof(ZelEntryRecord, modified) == 32 && offsetof(ZelEntryRecord, flags) == 40);
