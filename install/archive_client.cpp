#include "install/archive_client.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <stdexcept>

namespace corvane::install {
namespace {

// The library's callbacks carry no context: the call in progress on this thread provides it.
struct CallContext {
  const std::string* password = nullptr;
  bool password_given = false;
  const ArchiveProgress* progress = nullptr;
  bool answer = false;
  std::string exception;  // message of an exception raised by the progress callback
};
thread_local CallContext* t_call = nullptr;

// Hands out the caller's password once per call.
int PasswordOnce(char* buffer) {
  CallContext* c = t_call;
  if (c == nullptr || c->password_given || c->password == nullptr || c->password->empty())
    return 0;
  c->password_given = true;
  size_t n = std::min(c->password->size(), kZelPasswordBufferSize - 1);
  std::memcpy(buffer, c->password->data(), n);
  buffer[n] = 0;
  return 1;
}

int Progress(const char* entry, uint64_t done, uint64_t total) {
  CallContext* c = t_call;
  if (c == nullptr || c->progress == nullptr || !*c->progress) return 1;
  try {
    return (*c->progress)(entry != nullptr ? entry : "", done, total) ? 1 : 0;
  } catch (const std::exception& e) {
    c->exception = e.what();
  } catch (...) {
    c->exception = "Unknown exception";
  }
  return 0;  // an exception never crosses the library: stop and report it afterwards
}

int GoOn(const void*, const void*) { return 1; }

int Answer(const void*, const void*, const void*, const void*, const void*, const void*,
           const void*, const void*, const void*, const void*) {
  CallContext* c = t_call;
  return c != nullptr && c->answer ? kZelAnswerOverwrite : kZelAnswerKeep;
}

class ScopedCall {
 public:
  explicit ScopedCall(CallContext* c) : saved_(t_call) { t_call = c; }
  ~ScopedCall() { t_call = saved_; }

 private:
  CallContext* saved_;
};

}  // namespace

const char* const kArchiveCannotBeOpened =
    "The archive cannot be opened: unsupported archive or incorrect password";

std::string ListingFailureMessage(int code) {
  switch (code) {
    case 1001:
      return "The archive file was not found";
    case 1002:
      return "Illegal path used in a wildcard expression";
    case 1003:
      return kArchiveCannotBeOpened;
    default:
      return "General failure opening archive";
  }
}

std::unique_ptr<ArchiveLibrary> ArchiveLibrary::Load(const std::string& path, std::string* error) {
  auto lib = std::unique_ptr<ArchiveLibrary>(new ArchiveLibrary());
  lib->library_ = platform::LoadSharedLibrary(path, error);
  if (!lib->library_) return nullptr;
  lib->open_list = reinterpret_cast<ZelOpenListArchive>(lib->library_->Find("OpenListArchive"));
  lib->close_list = reinterpret_cast<ZelCloseListArchive>(lib->library_->Find("CloseListArchive"));
  lib->extract = reinterpret_cast<ZelExtractArchive>(lib->library_->Find("ExtractArchive"));
  lib->last_error =
      reinterpret_cast<ZelGetLastArchiveError>(lib->library_->Find("GetLastArchiveError"));
  lib->set_output_ratio =
      reinterpret_cast<ZelSetArchiveOutputRatio>(lib->library_->Find("SetArchiveOutputRatio"));
  if (!lib->open_list || !lib->close_list || !lib->extract || !lib->last_error) {
    if (error != nullptr) *error = path + " lacks an archive operation";
    return nullptr;
  }
  return lib;
}

bool ListArchiveEntries(const ArchiveLibrary& lib, const std::string& archive,
                        const std::string& password, std::vector<std::string>* entries,
                        std::string* error) {
  entries->clear();
  std::vector<ArchiveEntryInfo> records;
  if (!ListArchiveRecords(lib, archive, password, &records, error)) return false;
  entries->reserve(records.size());
  for (ArchiveEntryInfo& r : records) entries->push_back(std::move(r.path));
  return true;
}

bool ListArchiveRecords(const ArchiveLibrary& lib, const std::string& archive,
                        const std::string& password, std::vector<ArchiveEntryInfo>* entries,
                        std::string* error) {
  entries->clear();
  try {
    CallContext call;
    call.password = &password;
    ScopedCall scope(&call);
    ZelEntryRecord* records = nullptr;
    int32_t count = 0;
    uintptr_t handle = lib.open_list(archive.c_str(), 0, PasswordOnce, 0, 0, 0, password.c_str(),
                                     &records, &count);
    if (handle == 0) {
      *error = ListingFailureMessage(lib.last_error());
      return false;
    }
    for (int32_t i = 0; i < count; ++i) {
      entries->push_back(ArchiveEntryInfo{records[i].path, records[i].attributes});
    }
    lib.close_list(handle);
    return true;
  } catch (const std::exception& e) {
    *error = e.what();
    return false;
  }
}

bool ExtractArchiveFiles(const ArchiveLibrary& lib, const std::string& archive,
                         const std::string& password, const std::string& destination,
                         const std::vector<std::string>* targets, const ArchiveProgress& progress,
                         bool answer, bool keep_folders, std::string* error) {
  try {
    std::vector<std::string> listing;
    if (targets == nullptr) {
      if (!ListArchiveEntries(lib, archive, password, &listing, error)) return false;
      targets = &listing;
    }
    std::vector<const char*> paths;
    paths.reserve(targets->size());
    for (const auto& t : *targets) paths.push_back(t.c_str());
    ZelTargetList list{paths.data(), static_cast<uint32_t>(paths.size())};

    CallContext call;
    call.password = &password;
    call.progress = &progress;
    call.answer = answer;
    ScopedCall scope(&call);
    int ok = lib.extract(archive.c_str(), 1, destination.c_str(), &list, keep_folders ? 0 : 1,
                         password.c_str(), PasswordOnce, Progress, GoOn, Answer);
    if (!call.exception.empty()) {
      *error = call.exception;
      return false;
    }
    if (ok == 0) {
      char text[24];
      std::snprintf(text, sizeof text, "#%d", lib.last_error());
      *error = std::string(text);
      return false;
    }
    return true;
  } catch (const std::exception& e) {
    *error = e.what();
    return false;
  }
}

}  // namespace corvane::install
