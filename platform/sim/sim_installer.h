// The installer service of the simulated machine: product registrations kept in the simulated
// registry, so that they persist with registry.reg and a test (or the simulated installer
// session) can make a product installed, advertised or absent.
//
//   HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Installer\SimulatedProducts\{PRODUCT-CODE}
//     "State"       DWORD  INSTALLSTATE (5 installed, 1 advertised, 2 absent)
//     any other value      a product property as MsiGetProductInfo reports it ("PackageCode")
//     Installed\           what the simulated session created, so that a removal takes away
//                          exactly that: "Files", "Folders", "Keys" and "Values" (multi-strings)
//
// Databases are opened through libmsi on the machine's files (see sim_msi_database.h).
//
// Install calls (InstallProduct, ApplyPatch, RunPackageAction) first look at the playback file
// MACHINE/installer.txt (see installer_playback.h): a block there is played instead of the call,
// its messages sent to the external handler and its result returned, without any effect on the
// machine. Without a block the call is simulated: the package is opened, the Property table
// merged with the command line, the launch conditions judged, progress and action messages sent,
// and then the package's files (from its cabinets) and registry rows are installed and the
// product registered (ADDLOCAL, REINSTALL or nothing), only registered as advertised
// (ADVERTISE), or everything the installation made is removed again (REMOVE=ALL). Components,
// features and their conditions are not judged: everything is installed.
#pragma once

#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/installer.h"
#include "platform/registry.h"
#include "platform/sim/installer_playback.h"
#include "platform/sim/machine.h"
#include "platform/system.h"

namespace corvane::platform::sim {

class SimFileSystem;
class Package;

inline constexpr const char* kSimulatedProductsKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\SimulatedProducts";

// True for "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" with hexadecimal digits.
bool IsProductCode(const std::string& text);

// MsiEnableLog's arguments as the simulated service keeps them.
struct InstallerLogSettings {
  uint32_t mode = 0;
  std::string path;
  uint32_t attributes = 0;
};

class SimInstaller : public Installer {
 public:
  SimInstaller(Registry& registry, SimFileSystem& files, SystemInfo& system,
               const MachineDescription& machine, std::filesystem::path machine_folder);

  bool Available() override { return true; }
  int QueryProductState(const std::string& product_code) override;
  Status GetProductInfo(const std::string& product_code, const std::string& property,
                        std::string* value) override;
  std::unique_ptr<InstallerDatabase> OpenDatabase(const std::string& path, bool read_only,
                                                  Status* status) override;
  Status EnableLog(uint32_t mode, const std::string& path, uint32_t attributes) override;
  void SetInternalUI(uint32_t level) override;
  void SetExternalUI(InstallerMessageHandler handler, uint32_t filter) override;
  Status AddSource(const std::string& product_code, const std::string& user,
                   const std::string& source) override;
  uint32_t InstallProduct(const std::string& package, const std::string& command_line) override;
  uint32_t ApplyPatch(const std::string& patch, const std::string& command_line) override;
  uint32_t RunPackageAction(const PackageAction& action, bool* reboot) override;

  // Registers a product with a state and its package code (replacing an earlier registration).
  Status SetProduct(const std::string& product_code, int state, const std::string& package_code);
  Status SetProductProperty(const std::string& product_code, const std::string& property,
                            const std::string& value);
  // Forgets the product: it becomes unknown.
  Status RemoveProduct(const std::string& product_code);

  // Appends a block to the playback file: the next install call without an earlier block plays
  // it. kFailed when the file cannot be written.
  Status QueueCall(const PlaybackCall& call);
  // The host path of the playback file.
  std::filesystem::path PlaybackFile() const { return machine_folder_ / "installer.txt"; }
  // Why the last install call found the playback file unreadable (empty when it did not).
  std::string PlaybackError() const;

  // What the calls that only set something recorded.
  InstallerLogSettings LogSettings() const;
  uint32_t InternalUILevel() const;
  std::vector<std::string> Sources(const std::string& product_code) const;
  std::vector<PackageAction> PackageActions() const;

 private:
  enum class Playback { kNone, kTaken, kMalformed };
  Playback TakePlayback(PlaybackCall* call);
  uint32_t Play(const PlaybackCall& call);
  // Sends one message to the external handler when its filter lets the kind through; the
  // handler's answer, 0 without one.
  // Messages whose kind the log mode names are written to the log as well.
  int Send(uint32_t type, const std::string& text);
  static constexpr uint32_t kLogAppend = 1;  // INSTALLLOGATTRIBUTES_APPEND
  void StartLog();
  void WriteLog(const std::string& path, const std::string& text);
  bool Cancelled(int answer) const { return answer == 2; }
  std::string ActionStart(const std::string& action, const std::string& description);
  // The simulated session of a package with properties set on it.
  uint32_t RunSession(const std::string& package,
                      const std::vector<std::pair<std::string, std::string>>& properties);
  uint32_t Install(Package& package, const std::map<std::string, std::string>& properties,
                   const std::string& package_path);
  uint32_t Remove(const std::string& product_code);
  // Adds the product's facts from the package to its registration.
  void Register(Package& package, const std::map<std::string, std::string>& properties,
                const std::string& package_path, int state);

  Registry& registry_;
  SimFileSystem& files_;
  SystemInfo& system_;
  const MachineDescription& machine_;
  std::filesystem::path machine_folder_;

  mutable std::mutex mu_;  // guards everything below and the playback file
  InstallerMessageHandler handler_;
  uint32_t filter_ = 0;
  uint32_t ui_level_ = 0;
  InstallerLogSettings log_;
  std::map<std::string, std::vector<std::string>> sources_;
  std::vector<PackageAction> actions_;
  std::string playback_error_;
};

}  // namespace corvane::platform::sim
