// The AES-256 decryption stage: key derivation from the password (SHA-256 iterated over salt,
// password and a counter) and CBC decryption.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/stream.h"

namespace corvane::archive {

struct AesParams {
  unsigned cycles_power = 0;  // 2^cycles_power hash rounds; 63 means no hashing
  std::vector<uint8_t> salt;
  std::array<uint8_t, 16> iv{};
};

// Most key rounds the format allows: 2^24.
constexpr unsigned kMaxAesCyclesPower = 24;

// Parses the coder properties; throws kErrorCannotOpen when malformed or too costly.
AesParams ParseAesParams(const std::vector<uint8_t>& props);

// password: UTF-16LE bytes. tick is called between chunks of rounds (every few megabytes
// hashed) and may throw to stop the derivation.
std::array<uint8_t, 32> DeriveAesKey(const AesParams& params, const std::string& password,
                                     const std::function<void()>& tick = {});
// How many derivations have run to their end in this process (for tests and measurements).
uint64_t AesKeyDerivations();

class AesStream : public InStream {
 public:
  AesStream(std::unique_ptr<InStream> source, const std::array<uint8_t, 32>& key,
            const std::array<uint8_t, 16>& iv);
  ~AesStream() override;
  size_t Read(uint8_t* buffer, size_t n) override;

 private:
  struct State;
  std::unique_ptr<InStream> source_;
  std::unique_ptr<State> state_;
  std::vector<uint8_t> buf_;
  size_t pos_ = 0, end_ = 0;
};

}  // namespace corvane::archive
