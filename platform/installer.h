// The Windows Installer service (msi.dll, loaded at run time from the system folder): the state of
// installed products and their registered facts. Every call may be made from any thread.
#pragma once

#include <string>

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

 protected:
  Installer& target_;
};

}  // namespace corvane::platform
