// The calls of msi.dll that the installer service uses, looked up once from the copy in the system
// folder (the engine never imports the library), and a handle that closes itself.
#pragma once

#include "platform/win32/win32_common.h"

// Types and constants only: every call goes through the table below, so a direct call would not
// link.
#include <msi.h>
#include <msiquery.h>
#include <wtypes.h>  // the VT_ types of summary properties

#include <string>
#include <utility>

namespace corvane::platform::win32 {

// Each entry is null when the library or that export is missing.
struct MsiApi {
  decltype(&::MsiQueryProductStateA) QueryProductState = nullptr;
  decltype(&::MsiGetProductInfoA) GetProductInfo = nullptr;
  decltype(&::MsiOpenDatabaseA) OpenDatabase = nullptr;
  decltype(&::MsiDatabaseOpenViewA) DatabaseOpenView = nullptr;
  decltype(&::MsiDatabaseCommit) DatabaseCommit = nullptr;
  decltype(&::MsiViewExecute) ViewExecute = nullptr;
  decltype(&::MsiViewFetch) ViewFetch = nullptr;
  decltype(&::MsiViewModify) ViewModify = nullptr;
  decltype(&::MsiViewGetColumnInfo) ViewGetColumnInfo = nullptr;
  decltype(&::MsiViewClose) ViewClose = nullptr;
  decltype(&::MsiCreateRecord) CreateRecord = nullptr;
  decltype(&::MsiRecordGetFieldCount) RecordGetFieldCount = nullptr;
  decltype(&::MsiRecordIsNull) RecordIsNull = nullptr;
  decltype(&::MsiRecordGetInteger) RecordGetInteger = nullptr;
  decltype(&::MsiRecordGetStringA) RecordGetString = nullptr;
  decltype(&::MsiRecordSetInteger) RecordSetInteger = nullptr;
  decltype(&::MsiRecordSetStringA) RecordSetString = nullptr;
  decltype(&::MsiGetSummaryInformationA) GetSummaryInformation = nullptr;
  decltype(&::MsiSummaryInfoGetPropertyA) SummaryInfoGetProperty = nullptr;
  decltype(&::MsiSummaryInfoSetPropertyA) SummaryInfoSetProperty = nullptr;
  decltype(&::MsiSummaryInfoPersist) SummaryInfoPersist = nullptr;
  decltype(&::MsiCloseHandle) CloseHandle = nullptr;
  decltype(&::MsiEnableLogA) EnableLog = nullptr;
  decltype(&::MsiSetInternalUI) SetInternalUI = nullptr;
  decltype(&::MsiSetExternalUIA) SetExternalUI = nullptr;
  decltype(&::MsiSourceListAddSourceA) SourceListAddSource = nullptr;
  decltype(&::MsiInstallProductA) InstallProduct = nullptr;
  decltype(&::MsiApplyPatchA) ApplyPatch = nullptr;
  decltype(&::MsiOpenPackageA) OpenPackage = nullptr;
  decltype(&::MsiSetPropertyA) SetProperty = nullptr;
  decltype(&::MsiDoActionA) DoAction = nullptr;
  decltype(&::MsiGetMode) GetMode = nullptr;

  // Every call that the database, record and handle code needs is there.
  bool HasDatabaseCalls() const;
};

// The table, filled at first use (from any thread); the library stays loaded for the life of the
// process, so the entries never go stale.
const MsiApi& Msi();

// An installer handle (database, view, record, summary information, package), closed with
// MsiCloseHandle when it goes.
class MsiHandle {
 public:
  MsiHandle() = default;
  explicit MsiHandle(MSIHANDLE handle) : handle_(handle) {}
  ~MsiHandle() { Reset(); }
  MsiHandle(MsiHandle&& other) noexcept : handle_(std::exchange(other.handle_, 0)) {}
  MsiHandle& operator=(MsiHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      handle_ = std::exchange(other.handle_, 0);
    }
    return *this;
  }
  MsiHandle(const MsiHandle&) = delete;
  MsiHandle& operator=(const MsiHandle&) = delete;

  MSIHANDLE get() const { return handle_; }
  explicit operator bool() const { return handle_ != 0; }
  // Closes the handle held and gives the slot for a call that returns a new one.
  MSIHANDLE* Receive() {
    Reset();
    return &handle_;
  }
  void Reset();

 private:
  MSIHANDLE handle_ = 0;
};

// A string field of a record (MsiRecordGetStringA, the buffer grown on ERROR_MORE_DATA).
UINT ReadRecordString(MSIHANDLE record, UINT field, std::string* value);

}  // namespace corvane::platform::win32
