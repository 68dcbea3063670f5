// The installer service of the simulated machine: product registrations kept in the simulated
// registry, so that they persist with registry.reg and a test (or the simulated installer
// session) can make a product installed, advertised or absent.
//
//   HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Installer\SimulatedProducts\{PRODUCT-CODE}
//     "State"       DWORD  INSTALLSTATE (5 installed, 1 advertised, 2 absent)
//     any other value      a product property as MsiGetProductInfo reports it ("PackageCode")
#pragma once

#include <string>

#include "platform/installer.h"
#include "platform/registry.h"

namespace corvane::platform::sim {

inline constexpr const char* kSimulatedProductsKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\SimulatedProducts";

// True for "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" with hexadecimal digits.
bool IsProductCode(const std::string& text);

class SimInstaller : public Installer {
 public:
  explicit SimInstaller(Registry& registry) : registry_(registry) {}

  bool Available() override { return true; }
  int QueryProductState(const std::string& product_code) override;
  Status GetProductInfo(const std::string& product_code, const std::string& property,
                        std::string* value) override;

  // Registers a product with a state and its package code (replacing an earlier registration).
  Status SetProduct(const std::string& product_code, int state, const std::string& package_code);
  Status SetProductProperty(const std::string& product_code, const std::string& property,
                            const std::string& value);
  // Forgets the product: it becomes unknown.
  Status RemoveProduct(const std::string& product_code);

 private:
  Registry& registry_;
};

}  // namespace corvane::platform::sim
