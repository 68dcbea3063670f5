#include "platform/win32/win32_installer.h"

#include <memory>
#include <mutex>
#include <string>

#include "platform/win32/msi_api.h"
#include "platform/win32/win32_installer_database.h"

namespace corvane::platform::win32 {

namespace {

// A text the 8-bit calls would cut at its first NUL: a path or command line cut short names
// something else, so it is refused instead.
bool HasNul(const std::string& text) { return text.find('\0') != std::string::npos; }

const char* OrNull(const std::string& text) { return text.empty() ? nullptr : text.c_str(); }

Status FromResult(UINT rc) { return rc == ERROR_SUCCESS ? Status::kOk : Fail(rc); }

// The message handler of the process. The installer keeps one callback for the whole process;
// it reaches the handler through this slot, which a later SetExternalUI may change while a
// message is being handled on another thread: the callback holds its own reference meanwhile.
struct HandlerSlot {
  std::mutex mutex;
  std::shared_ptr<const InstallerMessageHandler> handler;
  const Win32Installer* owner = nullptr;
};

HandlerSlot& Slot() {
  static HandlerSlot slot;
  return slot;
}

INT CALLBACK ForwardMessage(LPVOID context, UINT type, LPCSTR message) {
  auto* slot = static_cast<HandlerSlot*>(context);
  std::shared_ptr<const InstallerMessageHandler> handler;
  {
    std::lock_guard<std::mutex> lock(slot->mutex);
    handler = slot->handler;
  }
  if (!handler) return 0;
  try {
    return (*handler)(static_cast<uint32_t>(type), message != nullptr ? message : "");
  } catch (...) {
    // Nothing may unwind through the installer's frames; -1 tells it the handler failed, and it
    // goes on as if there were none.
    return -1;
  }
}

}  // namespace

Win32Installer::~Win32Installer() {
  HandlerSlot& slot = Slot();
  std::lock_guard<std::mutex> lock(slot.mutex);
  if (slot.owner != this) return;
  if (Msi().SetExternalUI != nullptr) Msi().SetExternalUI(nullptr, 0, nullptr);
  slot.handler.reset();
  slot.owner = nullptr;
}

bool Win32Installer::Available() {
  return Msi().QueryProductState != nullptr && Msi().GetProductInfo != nullptr;
}

int Win32Installer::QueryProductState(const std::string& product_code) {
  if (!Available()) return install_state::kUnknown;
  if (HasNul(product_code)) return install_state::kInvalidArgument;
  return Msi().QueryProductState(product_code.c_str());
}

Status Win32Installer::GetProductInfo(const std::string& product_code, const std::string& property,
                                      std::string* value) {
  value->clear();
  if (!Available()) return Fail(ERROR_MOD_NOT_FOUND);
  if (HasNul(product_code) || HasNul(property)) return Fail(ERROR_INVALID_PARAMETER);
  std::string buffer(64, '\0');
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD size = static_cast<DWORD>(buffer.size());
    UINT rc = Msi().GetProductInfo(product_code.c_str(), property.c_str(), &buffer[0], &size);
    if (rc == ERROR_SUCCESS) {
      buffer.resize(size < buffer.size() ? size : buffer.size());
      *value = buffer;
      return Status::kOk;
    }
    if (rc != ERROR_MORE_DATA) return Fail(rc);  // unknown product or property: kNotFound
    buffer.assign(static_cast<size_t>(size) + 1, '\0');
  }
  return Fail(ERROR_MORE_DATA);
}

std::unique_ptr<InstallerDatabase> Win32Installer::OpenDatabase(const std::string& path,
                                                                bool read_only, Status* status) {
  if (!Msi().HasDatabaseCalls()) {
    *status = Fail(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  if (path.empty() || HasNul(path)) {
    *status = Fail(ERROR_INVALID_NAME);
    return nullptr;
  }
  return OpenWin32Database(path, read_only, status);
}

Status Win32Installer::EnableLog(uint32_t mode, const std::string& path, uint32_t attributes) {
  if (Msi().EnableLog == nullptr) return Fail(ERROR_MOD_NOT_FOUND);
  if (HasNul(path)) return Fail(ERROR_INVALID_NAME);
  return FromResult(Msi().EnableLog(mode, OrNull(path), attributes));
}

void Win32Installer::SetInternalUI(uint32_t level) {
  if (Msi().SetInternalUI != nullptr) {
    Msi().SetInternalUI(static_cast<INSTALLUILEVEL>(level), nullptr);
  }
}

void Win32Installer::SetExternalUI(InstallerMessageHandler handler, uint32_t filter) {
  if (Msi().SetExternalUI == nullptr) return;
  HandlerSlot& slot = Slot();
  std::lock_guard<std::mutex> lock(slot.mutex);
  if (!handler) {
    Msi().SetExternalUI(nullptr, 0, nullptr);
    slot.handler.reset();
    slot.owner = nullptr;
    return;
  }
  slot.handler = std::make_shared<const InstallerMessageHandler>(std::move(handler));
  slot.owner = this;
  Msi().SetExternalUI(&ForwardMessage, filter, &slot);
}

Status Win32Installer::AddSource(const std::string& product_code, const std::string& user,
                                 const std::string& source) {
  if (Msi().SourceListAddSource == nullptr) return Fail(ERROR_MOD_NOT_FOUND);
  if (HasNul(product_code) || HasNul(user) || HasNul(source) || source.empty()) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  return FromResult(
      Msi().SourceListAddSource(product_code.c_str(), OrNull(user), 0, source.c_str()));
}

uint32_t Win32Installer::InstallProduct(const std::string& package,
                                        const std::string& command_line) {
  if (Msi().InstallProduct == nullptr) return install_result::kFailure;
  if (HasNul(package) || HasNul(command_line)) return ERROR_INVALID_PARAMETER;
  return Msi().InstallProduct(package.c_str(), command_line.c_str());
}

uint32_t Win32Installer::ApplyPatch(const std::string& patch, const std::string& command_line) {
  if (Msi().ApplyPatch == nullptr) return install_result::kFailure;
  if (HasNul(patch) || HasNul(command_line)) return ERROR_INVALID_PARAMETER;
  return Msi().ApplyPatch(patch.c_str(), nullptr, INSTALLTYPE_DEFAULT, command_line.c_str());
}

uint32_t Win32Installer::RunPackageAction(const PackageAction& action, bool* reboot) {
  *reboot = false;
  const MsiApi& msi = Msi();
  if (msi.OpenPackage == nullptr || msi.SetProperty == nullptr || msi.DoAction == nullptr ||
      msi.GetMode == nullptr || msi.CloseHandle == nullptr) {
    return install_result::kFailure;
  }
  if (HasNul(action.package) || HasNul(action.action)) return ERROR_INVALID_PARAMETER;
  for (const auto& [name, value] : action.properties) {
    if (name.empty() || HasNul(name) || HasNul(value)) return ERROR_INVALID_PARAMETER;
  }
  MsiHandle package;
  UINT rc = msi.OpenPackage(action.package.c_str(), package.Receive());
  if (rc != ERROR_SUCCESS) return rc;
  for (const auto& [name, value] : action.properties) {
    rc = msi.SetProperty(package.get(), name.c_str(), value.c_str());
    if (rc != ERROR_SUCCESS) return rc;
  }
  rc = msi.DoAction(package.get(), action.action.c_str());
  // Asked for even when the action failed: what it did before failing may still need a restart.
  *reboot = msi.GetMode(package.get(), MSIRUNMODE_REBOOTATEND) ||
            msi.GetMode(package.get(), MSIRUNMODE_REBOOTNOW);
  return rc;
}

}  // namespace corvane::platform::win32
