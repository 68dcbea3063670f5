#include "platform/win32/msi_api.h"

#include "platform/win32/system_library.h"

namespace corvane::platform::win32 {
namespace {

template <typename Fn>
void Find(HMODULE module, const char* name, Fn* slot) {
  *slot = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

MsiApi Load() {
  MsiApi api;
  // Only the copy in the system folder: a bare name would let the setup's own folder (often a
  // download folder) supply the library.
  HMODULE module = LoadSystemLibrary("msi.dll");
  if (module == nullptr) return api;
  Find(module, "MsiQueryProductStateA", &api.QueryProductState);
  Find(module, "MsiGetProductInfoA", &api.GetProductInfo);
  Find(module, "MsiOpenDatabaseA", &api.OpenDatabase);
  Find(module, "MsiDatabaseOpenViewA", &api.DatabaseOpenView);
  Find(module, "MsiDatabaseCommit", &api.DatabaseCommit);
  Find(module, "MsiViewExecute", &api.ViewExecute);
  Find(module, "MsiViewFetch", &api.ViewFetch);
  Find(module, "MsiViewModify", &api.ViewModify);
  Find(module, "MsiViewGetColumnInfo", &api.ViewGetColumnInfo);
  Find(module, "MsiViewClose", &api.ViewClose);
  Find(module, "MsiCreateRecord", &api.CreateRecord);
  Find(module, "MsiRecordGetFieldCount", &api.RecordGetFieldCount);
  Find(module, "MsiRecordIsNull", &api.RecordIsNull);
  Find(module, "MsiRecordGetInteger", &api.RecordGetInteger);
  Find(module, "MsiRecordGetStringA", &api.RecordGetString);
  Find(module, "MsiRecordSetInteger", &api.RecordSetInteger);
  Find(module, "MsiRecordSetStringA", &api.RecordSetString);
  Find(module, "MsiGetSummaryInformationA", &api.GetSummaryInformation);
  Find(module, "MsiSummaryInfoGetPropertyA", &api.SummaryInfoGetProperty);
  Find(module, "MsiSummaryInfoSetPropertyA", &api.SummaryInfoSetProperty);
  Find(module, "MsiSummaryInfoPersist", &api.SummaryInfoPersist);
  Find(module, "MsiCloseHandle", &api.CloseHandle);
  Find(module, "MsiEnableLogA", &api.EnableLog);
  Find(module, "MsiSetInternalUI", &api.SetInternalUI);
  Find(module, "MsiSetExternalUIA", &api.SetExternalUI);
  Find(module, "MsiSourceListAddSourceA", &api.SourceListAddSource);
  Find(module, "MsiInstallProductA", &api.InstallProduct);
  Find(module, "MsiApplyPatchA", &api.ApplyPatch);
  Find(module, "MsiOpenPackageA", &api.OpenPackage);
  Find(module, "MsiSetPropertyA", &api.SetProperty);
  Find(module, "MsiDoActionA", &api.DoAction);
  Find(module, "MsiGetMode", &api.GetMode);
  return api;
}

}  // namespace

bool MsiApi::HasDatabaseCalls() const {
  return OpenDatabase && DatabaseOpenView && DatabaseCommit && ViewExecute && ViewFetch &&
         ViewModify && ViewGetColumnInfo && ViewClose && CreateRecord && RecordGetFieldCount &&
         RecordIsNull && RecordGetInteger && RecordGetString && RecordSetInteger &&
         RecordSetString && GetSummaryInformation && SummaryInfoGetProperty &&
         SummaryInfoSetProperty && SummaryInfoPersist && CloseHandle;
}

const MsiApi& Msi() {
  static const MsiApi api = Load();
  return api;
}

void MsiHandle::Reset() {
  if (handle_ != 0 && Msi().CloseHandle != nullptr) Msi().CloseHandle(handle_);
  handle_ = 0;
}

UINT ReadRecordString(MSIHANDLE record, UINT field, std::string* value) {
  value->clear();
  std::string buffer(256, '\0');
  // The length a call reports is the one the next call is given, so the second try fits; the
  // bound only guards against a library that keeps asking for more.
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD size = static_cast<DWORD>(buffer.size());
    UINT rc = Msi().RecordGetString(record, field, &buffer[0], &size);
    if (rc == ERROR_SUCCESS) {
      buffer.resize(size < buffer.size() ? size : buffer.size());
      *value = std::move(buffer);
      return ERROR_SUCCESS;
    }
    if (rc != ERROR_MORE_DATA) return rc;
    buffer.assign(static_cast<size_t>(size) + 1, '\0');
  }
  return ERROR_MORE_DATA;
}

}  // namespace corvane::platform::win32
