#include "platform/sim/sim_installer.h"

#include <cctype>

namespace corvane::platform::sim {

namespace {

std::string ProductKey(const std::string& code) {
  return std::string(kSimulatedProductsKey) + "\\" + code;
}

}  // namespace

bool IsProductCode(const std::string& text) {
  if (text.size() != 38 || text.front() != '{' || text.back() != '}') return false;
  for (size_t i = 1; i < 37; ++i) {
    bool dash = i == 9 || i == 14 || i == 19 || i == 24;
    if (dash ? text[i] != '-' : !std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
  }
  return true;
}

int SimInstaller::QueryProductState(const std::string& product_code) {
  if (!IsProductCode(product_code)) return install_state::kInvalidArgument;
  RegValue state;
  if (registry_.ReadValue(RegRoot::kLocalMachine, ProductKey(product_code), "State",
                          RegView::kView64, &state) != Status::kOk ||
      state.type != RegType::kDword) {
    return install_state::kUnknown;
  }
  return static_cast<int>(static_cast<int32_t>(state.AsNumber()));
}

Status SimInstaller::GetProductInfo(const std::string& product_code, const std::string& property,
                                    std::string* value) {
  value->clear();
  if (!IsProductCode(product_code) || property.empty()) return Status::kFailed;
  if (QueryProductState(product_code) == install_state::kUnknown) return Status::kNotFound;
  RegValue data;
  if (property == "State" ||
      registry_.ReadValue(RegRoot::kLocalMachine, ProductKey(product_code), property,
                          RegView::kView64, &data) != Status::kOk) {
    return Status::kNotFound;
  }
  *value = data.type == RegType::kDword ? std::to_string(data.AsNumber()) : data.data;
  return Status::kOk;
}

Status SimInstaller::SetProduct(const std::string& product_code, int state,
                                const std::string& package_code) {
  if (!IsProductCode(product_code)) return Status::kInvalidName;
  registry_.DeleteKeyTree(RegRoot::kLocalMachine, ProductKey(product_code), RegView::kView64);
  Status s = registry_.WriteValue(RegRoot::kLocalMachine, ProductKey(product_code), "State",
                                  RegView::kView64,
                                  RegValue::Dword(static_cast<uint32_t>(state)));
  if (s != Status::kOk) return s;
  return SetProductProperty(product_code, "PackageCode", package_code);
}

Status SimInstaller::SetProductProperty(const std::string& product_code,
                                        const std::string& property, const std::string& value) {
  if (!IsProductCode(product_code) || property.empty() || property == "State") {
    return Status::kInvalidName;
  }
  return registry_.WriteValue(RegRoot::kLocalMachine, ProductKey(product_code), property,
                              RegView::kView64, RegValue::String(value));
}

Status SimInstaller::RemoveProduct(const std::string& product_code) {
  return registry_.DeleteKeyTree(RegRoot::kLocalMachine, ProductKey(product_code),
                                 RegView::kView64);
}

}  // namespace corvane::platform::sim
