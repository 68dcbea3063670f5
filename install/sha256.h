// SHA-256 of a stream of bytes (FIPS 180-4), for checking downloaded media against the hash the
// setup carries.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/files.h"

namespace corvane::install {

class Sha256 {
 public:
  Sha256();
  void Update(const void* data, size_t n);
  // The digest; the object is spent afterwards.
  std::array<uint8_t, 32> Finish();

 private:
  void Block(const uint8_t* p);
  uint32_t h_[8];
  uint8_t buffer_[64];
  size_t buffered_ = 0;
  uint64_t length_ = 0;
};

// Lower-case hexadecimal of a digest.
std::string HexDigest(const std::array<uint8_t, 32>& digest);
std::string Sha256Hex(std::string_view bytes);
// The digest of a file of the machine, read in pieces; "" when it cannot be read. `go_on` is
// asked between pieces and may stop the work ("" is returned).
std::string FileSha256Hex(platform::FileSystem& files, const std::string& path,
                          const std::function<bool()>& go_on = nullptr);

}  // namespace corvane::install
