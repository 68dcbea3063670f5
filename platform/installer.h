// The Windows Installer service (msi.dll, loaded at run time from the system folder): the state of
// installed products and their registered facts. Every call may be made from any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/status.h"

namespace corvane::platform {

// INSTALLSTATE values that MsiQueryProductState reports.
namespace install_state {
constexpr int kInvalidArgument = -2;  // INSTALLSTATE_INVALIDARG: not a product code
constexpr int kUnknown = -1;          // INSTALLSTATE_UNKNOWN: the product is not known
constexpr int kAdvertised = 1;        // INSTALLSTATE_ADVERTISED
constexpr int kAbsent = 2;            // INSTALLSTATE_ABSENT: installed for another user
constexpr int kDefault = 5;           // INSTALLSTATE_DEFAULT: installed for the current user
}  // namespace install_state


// One field of an installer record: null, an integer or a text.
struct InstallerField {
  enum class Kind : uint8_t { kNull, kInteger, kText };
  Kind kind = Kind::kNull;
  int32_t number = 0;
  std::string text;

  static InstallerField Null() { return {}; }
  static InstallerField Integer(int32_t n) { return {Kind::kInteger, n, {}}; }
  static InstallerField Text(std::string t) { return {Kind::kText, 0, std::move(t)}; }
  bool is_null() const { return kind == Kind::kNull; }
  // The field as text (an integer in decimal, null as "").
  std::string AsText() const { return kind == Kind::kInteger ? std::to_string(number) : text; }
};
using InstallerRecord = std::vector<InstallerField>;

// Summary information property ids (PID_*) and their values.
namespace summary {
constexpr int kTitle = 2;
constexpr int kSubject = 3;
constexpr int kAuthor = 4;
constexpr int kTemplate = 7;       // platform ";" language ids
constexpr int kRevisionNumber = 9; // the package code
constexpr int kPageCount = 14;     // the installer version the package needs
constexpr int kWordCount = 15;     // source type flags
}  // namespace summary

// An installer database opened by InstallerService::OpenDatabase. Values always travel as record
// fields bound to '?' markers, never pasted into the statement. One thread at a time.
class InstallerDatabase {
 public:
  virtual ~InstallerDatabase() = default;

  // Runs one statement (MsiDatabaseOpenView, MsiViewExecute with `params`, MsiViewFetch until the
  // end, MsiViewClose). The rows of a SELECT are appended to *rows when rows is not null.
  // kFailed when the statement cannot be prepared or executed (an INSERT of an existing key).
  virtual Status Run(const std::string& sql, const InstallerRecord& params,
                     std::vector<InstallerRecord>* rows) = 0;

  // Rewrites one column in every row of a table: `edit` receives the current value of the column
  // and changes it in place; a row whose value it leaves unchanged is not written (MsiViewModify
  // with MSIMODIFY_UPDATE on Windows). kFailed when the table or column is missing or a row
  // cannot be written; the rows before it keep their new values.
  virtual Status UpdateColumn(const std::string& table, const std::string& column,
                              const std::function<void(InstallerField&)>& edit) = 0;

  // Summary information (MsiGetSummaryInformation, MsiSummaryInfoGet/SetProperty). A property
  // the stream lacks reads as a null field with kNotFound. Set properties reach the file with
  // Commit.
  virtual Status GetSummary(int property, InstallerField* value) = 0;
  virtual Status SetSummary(int property, const InstallerField& value) = 0;

  // Persists the summary information changed by SetSummary and commits the database.
  virtual Status Commit() = 0;
};

// Message kinds (the high byte of an installer message type, INSTALLMESSAGE_*).
namespace install_message {
constexpr uint32_t kFatalExit = 0x00000000;
constexpr uint32_t kError = 0x01000000;
constexpr uint32_t kWarning = 0x02000000;
constexpr uint32_t kUser = 0x03000000;
constexpr uint32_t kInfo = 0x04000000;
constexpr uint32_t kFilesInUse = 0x05000000;
constexpr uint32_t kResolveSource = 0x06000000;
constexpr uint32_t kOutOfDiskSpace = 0x07000000;
constexpr uint32_t kActionStart = 0x08000000;
constexpr uint32_t kActionData = 0x09000000;
constexpr uint32_t kProgress = 0x0A000000;
constexpr uint32_t kCommonData = 0x0B000000;
constexpr uint32_t kInitialize = 0x0C000000;
constexpr uint32_t kTerminate = 0x0D000000;
constexpr uint32_t kShowDialog = 0x0E000000;
}  // namespace install_message

// Receives every installer message of the kinds the filter lets through, on the thread that made
// the installer call, and returns the installer's expected answer (a message-box id, 0 to leave
// the message to the installer, 2 (IDCANCEL) to cancel).
using InstallerMessageHandler = std::function<int(uint32_t type, const std::string& text)>;

// Installer return codes the engine tells apart.
namespace install_result {
constexpr uint32_t kSuccess = 0;
constexpr uint32_t kUserExit = 1602;
constexpr uint32_t kFailure = 1603;
constexpr uint32_t kAlreadyRunning = 1618;  // another installation is in progress
constexpr uint32_t kRebootInitiated = 1641;
constexpr uint32_t kRebootRequired = 3010;
}  // namespace install_result

// The properties a Windows 9x removal sets on an opened package before running an action.
struct PackageAction {
  std::string package;
  std::vector<std::pair<std::string, std::string>> properties;  // in order (MsiSetProperty)
  std::string action;                                           // "INSTALL"
};

class Installer {
 public:
  virtual ~Installer() = default;

  // Whether the installer service can be reached at all (msi.dll loaded). When it cannot, every
  // product is unknown and every query fails with kFailed.
  virtual bool Available() = 0;

  // The state of a product, by its product code "{GUID}" (MsiQueryProductStateA). A code that is
  // not a GUID gives kInvalidArgument, a product never registered gives kUnknown.
  virtual int QueryProductState(const std::string& product_code) = 0;

  // A registered property of a product (MsiGetProductInfoA), for example "PackageCode".
  // kNotFound for an unknown product or property (value emptied), kFailed when the service is
  // missing or the call fails otherwise.
  virtual Status GetProductInfo(const std::string& product_code, const std::string& property,
                                std::string* value) = 0;

  // Opens an installer database file: read-only, or in direct mode (changes are written by
  // Commit). Null with *status set when the file is missing or not a database.
  virtual std::unique_ptr<InstallerDatabase> OpenDatabase(const std::string& path, bool read_only,
                                                          Status* status) {
    *status = Status::kFailed;
    (void)path, (void)read_only;
    return nullptr;
  }

  // The installer's own log of this process (MsiEnableLog): mode flags, file, attributes.
  virtual Status EnableLog(uint32_t mode, const std::string& path, uint32_t attributes) {
    (void)mode, (void)path, (void)attributes;
    return Status::kFailed;
  }
  // The installer's own user interface level (MsiSetInternalUI).
  virtual void SetInternalUI(uint32_t level) { (void)level; }
  // The handler of installer messages for the calls this process makes from now on
  // (MsiSetExternalUI); an empty handler removes it.
  virtual void SetExternalUI(InstallerMessageHandler handler, uint32_t filter) {
    (void)handler, (void)filter;
  }
  // Adds a source folder for a product (MsiSourceListAddSource); an empty user names no user.
  virtual Status AddSource(const std::string& product_code, const std::string& user,
                           const std::string& source) {
    (void)product_code, (void)user, (void)source;
    return Status::kFailed;
  }

  // Installs, repairs or removes a product from its package with a property command line
  // (MsiInstallProduct); the result is the installer's return code.
  virtual uint32_t InstallProduct(const std::string& package, const std::string& command_line) {
    (void)package, (void)command_line;
    return install_result::kFailure;
  }
  // Applies a patch package to the installed product (MsiApplyPatch, no install package, type 0).
  virtual uint32_t ApplyPatch(const std::string& patch, const std::string& command_line) {
    (void)patch, (void)command_line;
    return install_result::kFailure;
  }
  // Opens a package, sets properties, runs one action (MsiOpenPackage, MsiSetProperty,
  // MsiDoAction) and tells whether the installer asked for a restart (MsiGetMode 6 or 7).
  virtual uint32_t RunPackageAction(const PackageAction& action, bool* reboot) {
    (void)action;
    *reboot = false;
    return install_result::kFailure;
  }
};

// The installer of a platform that has none: nothing is installed, every query fails.
class NoInstaller : public Installer {
 public:
  bool Available() override { return false; }
  int QueryProductState(const std::string&) override { return install_state::kUnknown; }
  Status GetProductInfo(const std::string&, const std::string&, std::string* value) override {
    value->clear();
    return Status::kFailed;
  }
};

// Forwards every call to another Installer: derive from it to change one call in a test.
class InstallerWrapper : public Installer {
 public:
  explicit InstallerWrapper(Installer& target) : target_(target) {}
  bool Available() override { return target_.Available(); }
  int QueryProductState(const std::string& code) override {
    return target_.QueryProductState(code);
  }
  Status GetProductInfo(const std::string& code, const std::string& property,
                        std::string* value) override {
    return target_.GetProductInfo(code, property, value);
  }
  std::unique_ptr<InstallerDatabase> OpenDatabase(const std::string& path, bool read_only,
                                                  Status* status) override {
    return target_.OpenDatabase(path, read_only, status);
  }
  Status EnableLog(uint32_t mode, const std::string& path, uint32_t attributes) override {
    return target_.EnableLog(mode, path, attributes);
  }
  void SetInternalUI(uint32_t level) override { target_.SetInternalUI(level); }
  void SetExternalUI(InstallerMessageHandler handler, uint32_t filter) override {
    target_.SetExternalUI(std::move(handler), filter);
  }
  Status AddSource(const std::string& code, const std::string& user,
                   const std::string& source) override {
    return target_.AddSource(code, user, source);
  }
  uint32_t InstallProduct(const std::string& package, const std::string& line) override {
    return target_.InstallProduct(package, line);
  }
  uint32_t ApplyPatch(const std::string& patch, const std::string& line) override {
    return target_.ApplyPatch(patch, line);
  }
  uint32_t RunPackageAction(const PackageAction& action, bool* reboot) override {
    return target_.RunPackageAction(action, reboot);
  }

 protected:
  Installer& target_;
};

}  // namespace corvane::platform
