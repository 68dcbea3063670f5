#include "platform/win32/win32_installer_database.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/msi_api.h"

namespace corvane::platform::win32 {
namespace {

// The persist modes of MsiOpenDatabaseA, which takes them in place of a path.
const char* const kOpenReadOnly = reinterpret_cast<const char*>(uintptr_t{0});
const char* const kOpenDirect = reinterpret_cast<const char*>(uintptr_t{2});

// How many summary properties may change before the next persist.
constexpr UINT kSummaryUpdateCount = 20;

// A text the 8-bit calls would cut at its first NUL: a statement cut short may do something else
// (a DELETE without its WHERE), a value cut short is not the value.
bool HasNul(const std::string& text) { return text.find('\0') != std::string::npos; }

Status FromResult(UINT rc) { return rc == ERROR_SUCCESS ? Status::kOk : Fail(rc); }

// A table or column name that can be quoted in a statement as it is.
bool IsPlainName(const std::string& name) {
  if (name.empty()) return false;
  for (char c : name) {
    bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
              c == '_' || c == '.';
    if (!ok) return false;
  }
  return true;
}

// Only a SELECT has rows to fetch; the other statements are done once executed.
bool IsSelect(const std::string& sql) {
  size_t i = 0;
  while (i < sql.size() && (sql[i] == ' ' || sql[i] == '\t' || sql[i] == '\r' || sql[i] == '\n')) {
    ++i;
  }
  static const char kWord[] = "SELECT";
  for (size_t k = 0; k < 6; ++k, ++i) {
    if (i >= sql.size()) return false;
    char c = sql[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != kWord[k]) return false;
  }
  return i == sql.size() || sql[i] == ' ' || sql[i] == '\t' || sql[i] == '\r' || sql[i] == '\n';
}

// The kind of a column, from the type text MsiViewGetColumnInfo reports ("s72", "I2", "v0").
enum class ColumnKind : uint8_t { kInteger, kText, kStream };

ColumnKind KindOfType(const std::string& type) {
  char c = type.empty() ? 's' : type[0];
  if (c == 'i' || c == 'I') return ColumnKind::kInteger;
  if (c == 'v' || c == 'V') return ColumnKind::kStream;
  return ColumnKind::kText;
}

UINT ReadColumnKinds(MSIHANDLE view, std::vector<ColumnKind>* kinds) {
  const MsiApi& msi = Msi();
  MsiHandle types;
  UINT rc = msi.ViewGetColumnInfo(view, MSICOLINFO_TYPES, types.Receive());
  if (rc != ERROR_SUCCESS) return rc;
  UINT count = msi.RecordGetFieldCount(types.get());
  kinds->clear();
  for (UINT field = 1; field <= count; ++field) {
    std::string type;
    rc = ReadRecordString(types.get(), field, &type);
    if (rc != ERROR_SUCCESS) return rc;
    kinds->push_back(KindOfType(type));
  }
  return ERROR_SUCCESS;
}

UINT ReadField(MSIHANDLE record, UINT field, ColumnKind kind, InstallerField* value) {
  const MsiApi& msi = Msi();
  if (msi.RecordIsNull(record, field)) {
    *value = InstallerField::Null();
    return ERROR_SUCCESS;
  }
  switch (kind) {
    case ColumnKind::kInteger:
      *value = InstallerField::Integer(msi.RecordGetInteger(record, field));
      return ERROR_SUCCESS;
    case ColumnKind::kText: {
      std::string text;
      UINT rc = ReadRecordString(record, field, &text);
      if (rc == ERROR_SUCCESS) *value = InstallerField::Text(std::move(text));
      return rc;
    }
    case ColumnKind::kStream:
      break;
  }
  // A stream has no field form; it is refused rather than read as something it is not.
  return ERROR_DATATYPE_MISMATCH;
}

// Writes a field into a record for a column of the given kind. A text meant for an integer column
// is refused: the installer would store it as null.
UINT WriteField(MSIHANDLE record, UINT field, ColumnKind kind, const InstallerField& value) {
  const MsiApi& msi = Msi();
  if (kind == ColumnKind::kStream) return ERROR_DATATYPE_MISMATCH;
  if (kind == ColumnKind::kInteger) {
    if (value.kind == InstallerField::Kind::kText) return ERROR_DATATYPE_MISMATCH;
    int number = value.is_null() ? static_cast<int>(MSI_NULL_INTEGER) : value.number;
    return msi.RecordSetInteger(record, field, number);
  }
  std::string text = value.AsText();
  if (HasNul(text)) return ERROR_INVALID_PARAMETER;
  return msi.RecordSetString(record, field, text.c_str());  // "" makes the field null
}

bool SameField(const InstallerField& a, const InstallerField& b) {
  if (a.kind != b.kind) return false;
  switch (a.kind) {
    case InstallerField::Kind::kNull:
      return true;
    case InstallerField::Kind::kInteger:
      return a.number == b.number;
    case InstallerField::Kind::kText:
      return a.text == b.text;
  }
  return false;
}

// The parameter record of a statement: one field per '?' marker, in order.
UINT MakeParameters(const InstallerRecord& params, MsiHandle* record) {
  const MsiApi& msi = Msi();
  *record = MsiHandle(msi.CreateRecord(static_cast<UINT>(params.size())));
  if (!*record) return ERROR_OUTOFMEMORY;
  for (size_t i = 0; i < params.size(); ++i) {
    const InstallerField& p = params[i];
    UINT field = static_cast<UINT>(i + 1);
    UINT rc = ERROR_SUCCESS;
    if (p.kind == InstallerField::Kind::kInteger) {
      rc = msi.RecordSetInteger(record->get(), field, p.number);
    } else if (p.kind == InstallerField::Kind::kText) {
      rc = HasNul(p.text) ? ERROR_INVALID_PARAMETER
                          : msi.RecordSetString(record->get(), field, p.text.c_str());
    }  // a new record's fields are null already
    if (rc != ERROR_SUCCESS) return rc;
  }
  return ERROR_SUCCESS;
}

// An executed view, closed (MsiViewClose) before its handle goes.
class OpenView {
 public:
  UINT Open(MSIHANDLE database, const std::string& sql) {
    return Msi().DatabaseOpenView(database, sql.c_str(), view_.Receive());
  }
  UINT Execute(MSIHANDLE params) {
    UINT rc = Msi().ViewExecute(view_.get(), params);
    executed_ = rc == ERROR_SUCCESS;
    return rc;
  }
  ~OpenView() {
    if (executed_) Msi().ViewClose(view_.get());
  }
  MSIHANDLE get() const { return view_.get(); }

 private:
  MsiHandle view_;
  bool executed_ = false;
};

std::string FileTimeText(const FILETIME& time) {
  SYSTEMTIME t{};
  if (!FileTimeToSystemTime(&time, &t)) return {};
  char text[32];
  std::snprintf(text, sizeof text, "%04u/%02u/%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay,
                t.wHour, t.wMinute, t.wSecond);
  return text;
}

class Win32InstallerDatabase : public InstallerDatabase {
 public:
  Win32InstallerDatabase(MsiHandle database, bool read_only)
      : database_(std::move(database)), read_only_(read_only) {}

  Status Run(const std::string& sql, const InstallerRecord& params,
             std::vector<InstallerRecord>* rows) override;
  Status UpdateColumn(const std::string& table, const std::string& column,
                      const std::function<void(InstallerField&)>& edit) override;
  Status GetSummary(int property, InstallerField* value) override;
  Status SetSummary(int property, const InstallerField& value) override;
  Status Commit() override;

 private:
  UINT OpenSummary();

  MsiHandle database_;
  MsiHandle summary_;  // declared after the database: closed before it
  bool read_only_;
  bool summary_changed_ = false;
};

Status Win32InstallerDatabase::Run(const std::string& sql, const InstallerRecord& params,
                                   std::vector<InstallerRecord>* rows) {
  if (sql.empty() || HasNul(sql)) return Fail(ERROR_INVALID_PARAMETER);
  MsiHandle record;
  UINT rc = params.empty() ? ERROR_SUCCESS : MakeParameters(params, &record);
  if (rc != ERROR_SUCCESS) return Fail(rc);
  OpenView view;
  rc = view.Open(database_.get(), sql);
  if (rc == ERROR_SUCCESS) rc = view.Execute(record.get());
  if (rc != ERROR_SUCCESS) return Fail(rc);
  if (rows == nullptr || !IsSelect(sql)) return Status::kOk;

  std::vector<ColumnKind> kinds;
  rc = ReadColumnKinds(view.get(), &kinds);
  if (rc != ERROR_SUCCESS) return Fail(rc);
  std::vector<InstallerRecord> fetched;
  for (;;) {
    MsiHandle row;
    rc = Msi().ViewFetch(view.get(), row.Receive());
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) return Fail(rc);
    InstallerRecord out(kinds.size());
    for (size_t i = 0; i < kinds.size(); ++i) {
      rc = ReadField(row.get(), static_cast<UINT>(i + 1), kinds[i], &out[i]);
      if (rc != ERROR_SUCCESS) return Fail(rc);
    }
    fetched.push_back(std::move(out));
  }
  // All or nothing: a failure half-way leaves *rows as it was.
  for (InstallerRecord& r : fetched) rows->push_back(std::move(r));
  return Status::kOk;
}

Status Win32InstallerDatabase::UpdateColumn(const std::string& table, const std::string& column,
                                            const std::function<void(InstallerField&)>& edit) {
  if (!IsPlainName(table) || !IsPlainName(column)) return Fail(ERROR_INVALID_PARAMETER);
  OpenView view;
  UINT rc = view.Open(database_.get(), "SELECT `" + column + "` FROM `" + table + "`");
  if (rc == ERROR_SUCCESS) rc = view.Execute(0);
  if (rc != ERROR_SUCCESS) return Fail(rc);
  std::vector<ColumnKind> kinds;
  rc = ReadColumnKinds(view.get(), &kinds);
  if (rc != ERROR_SUCCESS) return Fail(rc);
  if (kinds.size() != 1) return Fail(ERROR_BAD_QUERY_SYNTAX);
  for (;;) {
    MsiHandle row;
    rc = Msi().ViewFetch(view.get(), row.Receive());
    if (rc == ERROR_NO_MORE_ITEMS) return Status::kOk;
    if (rc != ERROR_SUCCESS) return Fail(rc);
    InstallerField current;
    rc = ReadField(row.get(), 1, kinds[0], &current);
    if (rc != ERROR_SUCCESS) return Fail(rc);
    InstallerField changed = current;
    edit(changed);
    if (SameField(current, changed)) continue;
    rc = WriteField(row.get(), 1, kinds[0], changed);
    if (rc == ERROR_SUCCESS) rc = Msi().ViewModify(view.get(), MSIMODIFY_UPDATE, row.get());
    if (rc != ERROR_SUCCESS) return Fail(rc);
  }
}

UINT Win32InstallerDatabase::OpenSummary() {
  if (summary_) return ERROR_SUCCESS;
  return Msi().GetSummaryInformation(database_.get(), nullptr, read_only_ ? 0 : kSummaryUpdateCount,
                                     summary_.Receive());
}

Status Win32InstallerDatabase::GetSummary(int property, InstallerField* value) {
  *value = InstallerField::Null();
  if (property < 0) return Fail(ERROR_UNKNOWN_PROPERTY);
  UINT rc = OpenSummary();
  if (rc != ERROR_SUCCESS) return Fail(rc);
  UINT type = VT_EMPTY;
  INT number = 0;
  FILETIME time{};
  std::string text(256, '\0');
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD size = static_cast<DWORD>(text.size());
    rc = Msi().SummaryInfoGetProperty(summary_.get(), static_cast<UINT>(property), &type, &number,
                                      &time, &text[0], &size);
    if (rc == ERROR_MORE_DATA) {
      text.assign(static_cast<size_t>(size) + 1, '\0');
      continue;
    }
    if (rc == ERROR_SUCCESS && type == VT_LPSTR)
      text.resize(size < text.size() ? size : text.size());
    break;
  }
  if (rc != ERROR_SUCCESS) return Fail(rc);
  switch (type) {
    case VT_EMPTY:
      return Fail(ERROR_UNKNOWN_PROPERTY);  // kNotFound
    case VT_I2:
    case VT_I4:
      *value = InstallerField::Integer(number);
      return Status::kOk;
    case VT_LPSTR:
      *value = InstallerField::Text(std::move(text));
      return Status::kOk;
    case VT_FILETIME:
      *value = InstallerField::Text(FileTimeText(time));
      return Status::kOk;
    default:
      return Fail(ERROR_DATATYPE_MISMATCH);
  }
}

Status Win32InstallerDatabase::SetSummary(int property, const InstallerField& value) {
  if (read_only_) return Fail(ERROR_ACCESS_DENIED);
  if (property < 0 || value.is_null()) return Fail(ERROR_INVALID_PARAMETER);
  UINT rc = OpenSummary();
  if (rc != ERROR_SUCCESS) return Fail(rc);
  const UINT pid = static_cast<UINT>(property);
  if (value.kind == InstallerField::Kind::kInteger) {
    // The code page is the one 16-bit property; the installer checks the type of every other.
    UINT type = pid == 1 ? VT_I2 : VT_I4;
    rc = Msi().SummaryInfoSetProperty(summary_.get(), pid, type, value.number, nullptr, nullptr);
  } else {
    if (HasNul(value.text)) return Fail(ERROR_INVALID_PARAMETER);
    rc =
        Msi().SummaryInfoSetProperty(summary_.get(), pid, VT_LPSTR, 0, nullptr, value.text.c_str());
  }
  if (rc != ERROR_SUCCESS) return Fail(rc);
  summary_changed_ = true;
  return Status::kOk;
}

Status Win32InstallerDatabase::Commit() {
  // A read-only database never writes its file: saying it committed would be untrue.
  if (read_only_) return Fail(ERROR_ACCESS_DENIED);
  if (summary_ && summary_changed_) {
    UINT rc = Msi().SummaryInfoPersist(summary_.get());
    if (rc != ERROR_SUCCESS) return Fail(rc);
    summary_changed_ = false;
  }
  return FromResult(Msi().DatabaseCommit(database_.get()));
}

}  // namespace

std::unique_ptr<InstallerDatabase> OpenWin32Database(const std::string& path, bool read_only,
                                                     Status* status) {
  MsiHandle database;
  UINT rc =
      Msi().OpenDatabase(path.c_str(), read_only ? kOpenReadOnly : kOpenDirect, database.Receive());
  if (rc != ERROR_SUCCESS) {
    // The installer reports a missing file as a failed open; the file system tells them apart.
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
      DWORD error = GetLastError();
      if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) rc = error;
    }
    *status = Fail(rc);
    return nullptr;
  }
  *status = Status::kOk;
  return std::make_unique<Win32InstallerDatabase>(std::move(database), read_only);
}

}  // namespace corvane::platform::win32
