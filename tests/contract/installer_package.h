// The package the installer cases open, edit, install and remove (built with wixl from
// tests/fixtures/installer/contract.wxs), and small helpers around it.
#pragma once

#include <cstdint>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>

#include "platform/installer.h"
#include "tests/support/host_path.h"

namespace corvane::contract {

inline constexpr const char* kContractProduct = "{5C0B7A3E-1D2F-4E6A-9B8C-7D6E5F4A3B21}";

// The bytes of the package as the build made it; empty when it cannot be read.
inline std::string ContractPackageBytes() {
  std::ifstream in(testing::HostPath(CORVANE_CONTRACT_MSI), std::ios::binary);
  if (!in) return {};
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The message filter that lets the given kinds (install_message::k...) through.
inline uint32_t MessageFilter(std::initializer_list<uint32_t> kinds) {
  uint32_t filter = 0;
  for (uint32_t kind : kinds) filter |= 1u << (kind >> 24);
  return filter;
}

inline std::string Upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

}  // namespace corvane::contract
