#include "platform/sim/sim_msi_database.h"

#include <libmsi.h>

#include <cctype>
#include <cstdio>

#include "platform/text.h"

#if defined(__SANITIZE_ADDRESS__)
// libmsi 0.101 loses two small blocks of its own: the name of the work file it makes when a
// database is opened for writing (freed only on some of its paths) and a buffer of its table
// writer in a commit. Neither is ours to free, and a program that opens databases in a loop
// loses a few bytes each time, so only allocations made below these two entry points are kept
// out of the leak report; an object of libmsi that this code fails to release still shows.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libmsi_database_new\nleak:libmsi_database_commit\n";
}
#endif

namespace corvane::platform::sim {
namespace {

// The largest stream field a query hands back (the payload cabinets of test packages are far
// smaller).
constexpr size_t kStreamLimit = 256u << 20;

struct Unref {
  void operator()(void* object) const {
    if (object) g_object_unref(object);
  }
};
template <typename T>
using Ref = std::unique_ptr<T, Unref>;

// A GError slot that is freed however the call ends.
class Error {
 public:
  ~Error() { g_clear_error(&error_); }
  GError** out() {
    g_clear_error(&error_);
    return &error_;
  }
  bool set() const { return error_ != nullptr; }

 private:
  GError* error_ = nullptr;
};

std::string Utf8(const std::string& s) { return Utf8From1252(s); }

std::string TextOf(gchar* owned) {
  std::string s = owned ? Cp1252FromUtf8(owned) : std::string();
  g_free(owned);
  return s;
}

bool IsSelect(const std::string& sql) {
  size_t i = 0;
  while (i < sql.size() && std::isspace(static_cast<unsigned char>(sql[i]))) ++i;
  return sql.size() - i >= 6 && SameText(std::string_view(sql).substr(i, 6), "SELECT") &&
         (sql.size() - i == 6 || !std::isalnum(static_cast<unsigned char>(sql[i + 6])));
}

bool HasNul(const std::string& text) { return text.find('\0') != std::string::npos; }

// A table or column name as the statement quotes it; false for a name that is not a plain
// identifier (it could end the quotes and become part of the statement).
bool Quote(const std::string& name, std::string* out) {
  if (name.empty()) return false;
  for (char c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '.') return false;
  }
  *out = "`" + name + "`";
  return true;
}

// The kind of a column from its type text ("s72", "I2", "v0"): 'i', 's' or 'v'.
char KindOf(const std::string& type) {
  const char c = type.empty() ? 's' : static_cast<char>(std::tolower(type[0]));
  return c == 'i' || c == 'v' ? c : 's';
}

bool SameField(const InstallerField& a, const InstallerField& b) {
  if (a.kind != b.kind) return false;
  if (a.kind == InstallerField::Kind::kInteger) return a.number == b.number;
  return a.kind == InstallerField::Kind::kNull || a.text == b.text;
}

// A time stamp of the summary (100 ns since 1601, UTC) as "YYYY/MM/DD hh:mm:ss".
std::string FileTimeText(guint64 filetime) {
  int64_t seconds = static_cast<int64_t>(filetime / 10000000ull) - 11644473600ll;
  int64_t days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
  int64_t rest = seconds - days * 86400;
  // Civil date from days since 1970-01-01.
  int64_t z = days + 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  int64_t d = doy - (153 * mp + 2) / 5 + 1;
  int64_t m = mp < 10 ? mp + 3 : mp - 9;
  int64_t y = yoe + era * 400 + (m <= 2);
  char text[96];
  std::snprintf(text, sizeof text, "%04lld/%02lld/%02lld %02lld:%02lld:%02lld",
                static_cast<long long>(y), static_cast<long long>(m), static_cast<long long>(d),
                static_cast<long long>(rest / 3600), static_cast<long long>(rest / 60 % 60),
                static_cast<long long>(rest % 60));
  return text;
}

bool ReadStream(LibmsiRecord* record, guint field, std::string* out) {
  Ref<GInputStream> in(libmsi_record_get_stream(record, field));
  out->clear();
  if (!in) return false;
  char buffer[16384];
  for (;;) {
    gsize n = 0;
    Error e;
    if (!g_input_stream_read_all(in.get(), buffer, sizeof buffer, &n, nullptr, e.out())) {
      return false;
    }
    if (out->size() + n > kStreamLimit) return false;
    out->append(buffer, n);
    if (n < sizeof buffer) return true;
  }
}

class MsiDatabase : public InstallerDatabase {
 public:
  MsiDatabase(LibmsiDatabase* db, bool read_only) : db_(db), read_only_(read_only) {}
  ~MsiDatabase() override {
    // The summary holds the database: it goes first. Uncommitted changes are dropped with the
    // ".tmp" file.
    summary_.reset();
    db_.reset();
  }

  Status Run(const std::string& sql, const InstallerRecord& params,
             std::vector<InstallerRecord>* rows) override;
  Status UpdateColumn(const std::string& table, const std::string& column,
                      const std::function<void(InstallerField&)>& edit) override;
  Status GetSummary(int property, InstallerField* value) override;
  Status SetSummary(int property, const InstallerField& value) override;
  Status Commit() override;

  // Run, with the column kinds of a SELECT in *kinds and, when `streams` is set, the data of
  // stream columns as texts (a stream has no field form in Run).
  Status Query(const std::string& sql, const InstallerRecord& params,
               std::vector<InstallerRecord>* rows, std::vector<char>* kinds, bool streams);

 private:
  LibmsiSummaryInfo* Summary();

  Ref<LibmsiDatabase> db_;
  Ref<LibmsiSummaryInfo> summary_;
  bool read_only_;
  bool summary_changed_ = false;
};

Status MsiDatabase::Run(const std::string& sql, const InstallerRecord& params,
                        std::vector<InstallerRecord>* rows) {
  return Query(sql, params, rows, nullptr, false);
}

Status MsiDatabase::Query(const std::string& sql, const InstallerRecord& params,
                          std::vector<InstallerRecord>* rows, std::vector<char>* kinds,
                          bool streams) {
  // A statement or value cut at a NUL would be another one. libmsi reads a marker's field
  // without looking: a statement with more markers than values is refused here, as the system
  // refuses it.
  if (sql.empty() || HasNul(sql) || CountMarkers(sql) > params.size()) return Status::kFailed;
  for (const InstallerField& f : params) {
    if (f.kind == InstallerField::Kind::kText && HasNul(f.text)) return Status::kFailed;
  }
  Error e;
  Ref<LibmsiQuery> query(libmsi_query_new(db_.get(), Utf8(sql).c_str(), e.out()));
  if (!query || e.set()) return Status::kFailed;
  Ref<LibmsiRecord> bound;
  if (!params.empty()) {
    bound.reset(libmsi_record_new(static_cast<guint>(params.size())));
    for (size_t i = 0; i < params.size(); ++i) {
      const InstallerField& f = params[i];
      const guint n = static_cast<guint>(i + 1);
      if (f.kind == InstallerField::Kind::kInteger) {
        libmsi_record_set_int(bound.get(), n, f.number);
      } else if (f.kind == InstallerField::Kind::kText) {
        libmsi_record_set_string(bound.get(), n, Utf8(f.text).c_str());
      }
    }
  }
  if (!libmsi_query_execute(query.get(), bound.get(), e.out()) || e.set()) {
    libmsi_query_close(query.get(), e.out());
    return Status::kFailed;
  }
  // Only a SELECT has rows: fetching from any other statement makes libmsi invent some.
  if (!IsSelect(sql) || (!rows && !kinds)) {
    libmsi_query_close(query.get(), e.out());
    return Status::kOk;
  }
  std::vector<char> column_kinds;
  Ref<LibmsiRecord> types(
      libmsi_query_get_column_info(query.get(), LIBMSI_COL_INFO_TYPES, e.out()));
  if (!types || e.set()) return Status::kFailed;
  for (guint i = 1; i <= libmsi_record_get_field_count(types.get()); ++i) {
    column_kinds.push_back(KindOf(TextOf(libmsi_record_get_string(types.get(), i))));
  }
  std::vector<InstallerRecord> fetched;
  Status result = Status::kOk;
  while (rows && result == Status::kOk) {
    Ref<LibmsiRecord> row(libmsi_query_fetch(query.get(), e.out()));
    if (!row) {
      if (e.set()) result = Status::kFailed;
      break;
    }
    InstallerRecord record;
    for (size_t i = 0; i < column_kinds.size(); ++i) {
      const guint n = static_cast<guint>(i + 1);
      if (column_kinds[i] == 'v') {
        std::string data;
        if (!streams) {
          result = Status::kFailed;  // refused rather than read as something it is not
        } else if (ReadStream(row.get(), n, &data)) {
          record.push_back(InstallerField::Text(std::move(data)));
        } else {
          record.push_back(InstallerField::Null());
        }
      } else if (libmsi_record_is_null(row.get(), n)) {
        record.push_back(InstallerField::Null());
      } else if (column_kinds[i] == 'i') {
        record.push_back(InstallerField::Integer(libmsi_record_get_int(row.get(), n)));
      } else {
        record.push_back(InstallerField::Text(TextOf(libmsi_record_get_string(row.get(), n))));
      }
    }
    fetched.push_back(std::move(record));
  }
  libmsi_query_close(query.get(), e.out());
  if (result != Status::kOk) return result;
  // All or nothing: a failure half-way leaves *rows as it was.
  if (rows) {
    for (InstallerRecord& r : fetched) rows->push_back(std::move(r));
  }
  if (kinds) *kinds = std::move(column_kinds);
  return Status::kOk;
}

Status MsiDatabase::UpdateColumn(const std::string& table, const std::string& column,
                                 const std::function<void(InstallerField&)>& edit) {
  std::string t, c;
  if (!Quote(table, &t) || !Quote(column, &c)) return Status::kFailed;
  Error e;
  // The record is only valid without an error (libmsi leaves it unset for a missing table).
  LibmsiRecord* raw_keys = libmsi_database_get_primary_keys(db_.get(), Utf8(table).c_str(), e.out());
  if (e.set()) return Status::kFailed;
  Ref<LibmsiRecord> keys(raw_keys);
  if (!keys) return Status::kFailed;
  std::vector<std::string> key_names;
  for (guint i = 1; i <= libmsi_record_get_field_count(keys.get()); ++i) {
    key_names.push_back(TextOf(libmsi_record_get_string(keys.get(), i)));
  }
  if (key_names.empty()) return Status::kFailed;
  std::string select = "SELECT ";
  std::string where;
  bool column_is_key = false;
  for (const std::string& k : key_names) {
    std::string q;
    if (!Quote(k, &q)) return Status::kFailed;
    select += q + ", ";
    where += (where.empty() ? " WHERE " : " AND ") + q + " = ?";
    column_is_key = column_is_key || k == column;
  }
  select += c + " FROM " + t;
  std::vector<InstallerRecord> rows;
  std::vector<char> kinds;
  if (Query(select, {}, &rows, &kinds, false) != Status::kOk ||
      kinds.size() != key_names.size() + 1) {
    return Status::kFailed;
  }
  const char kind = kinds.back();
  const std::string update = "UPDATE " + t + " SET " + c + " = ?" + where;
  for (InstallerRecord& row : rows) {
    if (row.size() != key_names.size() + 1) return Status::kFailed;
    InstallerField value = row.back();
    edit(value);
    if (SameField(value, row.back())) continue;
    // A row is found again by its keys: a key cannot change that way. A text is no integer
    // (the installer would store it as null).
    if (column_is_key || kind == 'v' ||
        (kind == 'i' && value.kind == InstallerField::Kind::kText)) {
      return Status::kFailed;
    }
    if (kind == 's' && value.kind == InstallerField::Kind::kInteger) {
      value = InstallerField::Text(value.AsText());
    }
    InstallerRecord params = {value};
    params.insert(params.end(), row.begin(), row.end() - 1);
    if (Run(update, params, nullptr) != Status::kOk) return Status::kFailed;
  }
  return Status::kOk;
}

LibmsiSummaryInfo* MsiDatabase::Summary() {
  if (!summary_) {
    Error e;
    summary_.reset(libmsi_summary_info_new(db_.get(), read_only_ ? 0 : 20, e.out()));
    if (e.set()) summary_.reset();
  }
  return summary_.get();
}

Status MsiDatabase::GetSummary(int property, InstallerField* value) {
  *value = InstallerField::Null();
  LibmsiSummaryInfo* si = Summary();
  if (!si || property < 0 || property > LIBMSI_PROPERTY_SECURITY) return Status::kFailed;
  const auto id = static_cast<LibmsiProperty>(property);
  Error e;
  LibmsiPropertyType type = libmsi_summary_info_get_property_type(si, id, e.out());
  if (e.set()) return Status::kFailed;
  switch (type) {
    case LIBMSI_PROPERTY_TYPE_EMPTY:
      return Status::kNotFound;
    case LIBMSI_PROPERTY_TYPE_INT: {
      gint n = libmsi_summary_info_get_int(si, id, e.out());
      if (e.set()) return Status::kFailed;
      *value = InstallerField::Integer(n);
      return Status::kOk;
    }
    case LIBMSI_PROPERTY_TYPE_STRING: {
      const gchar* s = libmsi_summary_info_get_string(si, id, e.out());
      if (e.set()) return Status::kFailed;
      *value = InstallerField::Text(s ? Cp1252FromUtf8(s) : std::string());
      return Status::kOk;
    }
    case LIBMSI_PROPERTY_TYPE_FILETIME: {
      guint64 t = libmsi_summary_info_get_filetime(si, id, e.out());
      if (e.set()) return Status::kFailed;
      *value = InstallerField::Text(FileTimeText(t));
      return Status::kOk;
    }
    default:
      return Status::kFailed;
  }
}

Status MsiDatabase::SetSummary(int property, const InstallerField& value) {
  if (read_only_) return Status::kAccessDenied;
  LibmsiSummaryInfo* si = Summary();
  if (!si || property < 0 || property > LIBMSI_PROPERTY_SECURITY) return Status::kFailed;
  const auto id = static_cast<LibmsiProperty>(property);
  Error e;
  bool ok = false;
  if (value.kind == InstallerField::Kind::kInteger) {
    ok = libmsi_summary_info_set_int(si, id, value.number, e.out());
  } else if (value.kind == InstallerField::Kind::kText && !HasNul(value.text)) {
    ok = libmsi_summary_info_set_string(si, id, Utf8(value.text).c_str(), e.out());
  }
  if (!ok || e.set()) return Status::kFailed;
  summary_changed_ = true;
  return Status::kOk;
}

Status MsiDatabase::Commit() {
  // A read-only database never writes its file: saying it committed would be untrue.
  if (read_only_) return Status::kAccessDenied;
  Error e;
  if (summary_changed_) {
    if (!libmsi_summary_info_persist(summary_.get(), e.out()) || e.set()) return Status::kFailed;
    summary_changed_ = false;
  }
  // The commit reopens the database from the renamed file: a summary made before it reads the
  // old one.
  summary_.reset();
  if (!libmsi_database_commit(db_.get(), e.out()) || e.set()) return Status::kFailed;
  return Status::kOk;
}

}  // namespace

Status RunReadingStreams(InstallerDatabase& db, const std::string& sql,
                         const InstallerRecord& params, std::vector<InstallerRecord>* rows) {
  auto* msi = dynamic_cast<MsiDatabase*>(&db);
  return msi ? msi->Query(sql, params, rows, nullptr, true) : Status::kFailed;
}

size_t CountMarkers(const std::string& sql) {
  size_t count = 0;
  char quote = 0;
  for (char ch : sql) {
    if (quote) {
      if (ch == quote) quote = 0;
    } else if (ch == '\'' || ch == '`') {
      quote = ch;
    } else if (ch == '?') {
      ++count;
    }
  }
  return count;
}

std::unique_ptr<InstallerDatabase> OpenMsiDatabase(const std::filesystem::path& host_path,
                                                   bool read_only, Status* status, bool patch) {
  read_only = read_only || patch;
  std::error_code ec;
  if (host_path.empty() || !std::filesystem::is_regular_file(host_path, ec)) {
    *status = Status::kNotFound;
    return nullptr;
  }
  Error e;
  guint flags = read_only ? LIBMSI_DB_FLAGS_READONLY : LIBMSI_DB_FLAGS_TRANSACT;
  if (patch) flags |= LIBMSI_DB_FLAGS_PATCH;
  LibmsiDatabase* db = libmsi_database_new(host_path.c_str(), flags, nullptr, e.out());
  if (!db || e.set()) {
    if (db) g_object_unref(db);
    *status = Status::kFailed;
    return nullptr;
  }
  *status = Status::kOk;
  return std::make_unique<MsiDatabase>(db, read_only);
}

}  // namespace corvane::platform::sim
