#include "archive/aes_decoder.h"

#include <gcrypt.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

#include "archive/errors.h"

namespace corvane::archive {
namespace {

std::atomic<uint64_t> g_derivations{0};
// Bytes hashed between two ticks of a derivation.
constexpr uint64_t kTickBytes = uint64_t{16} << 20;

void InitCrypto() {
  static std::once_flag once;
  std::call_once(once, [] {
    gcry_check_version(nullptr);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
  });
}

}  // namespace

AesParams ParseAesParams(const std::vector<uint8_t>& props) {
  AesParams p;
  if (props.empty()) Fail(kErrorCannotOpen, "bad AES properties");
  uint8_t b0 = props[0];
  p.cycles_power = b0 & 0x3F;
  if ((b0 & 0xC0) != 0) {
    if (props.size() < 2) Fail(kErrorCannotOpen, "bad AES properties");
    uint8_t b1 = props[1];
    size_t salt_size = ((b0 >> 7) & 1u) + (b1 >> 4);
    size_t iv_size = ((b0 >> 6) & 1u) + (b1 & 0x0Fu);
    if (props.size() < 2 + salt_size + iv_size) Fail(kErrorCannotOpen, "bad AES properties");
    p.salt.assign(props.begin() + 2, props.begin() + 2 + static_cast<long>(salt_size));
    std::copy_n(props.begin() + 2 + static_cast<long>(salt_size), iv_size, p.iv.begin());
  }
  if (p.cycles_power != 0x3F && p.cycles_power > kMaxAesCyclesPower)
    Fail(kErrorCannotOpen, "AES key too costly");
  return p;
}

uint64_t AesKeyDerivations() { return g_derivations.load(); }

std::array<uint8_t, 32> DeriveAesKey(const AesParams& params, const std::string& password,
                                     const std::function<void()>& tick) {
  std::array<uint8_t, 32> key{};
  if (params.cycles_power == 0x3F) {
    std::string raw(params.salt.begin(), params.salt.end());
    raw += password;
    std::copy_n(raw.begin(), std::min<size_t>(raw.size(), 32), key.begin());
    return key;
  }
  InitCrypto();
  gcry_md_hd_t md;
  if (gcry_md_open(&md, GCRY_MD_SHA256, 0) != 0) Fail(kErrorGeneral, "SHA-256 unavailable");
  // Hash many rounds per write: one round is salt, password and a 64-bit little-endian counter.
  const size_t round = params.salt.size() + password.size() + 8;
  const uint64_t rounds = uint64_t{1} << params.cycles_power;
  const size_t batch = static_cast<size_t>(std::min<uint64_t>(rounds, 4096));
  std::vector<uint8_t> block(round * batch);
  for (size_t r = 0; r < batch; ++r) {
    uint8_t* at = block.data() + r * round;
    std::copy(params.salt.begin(), params.salt.end(), at);
    std::memcpy(at + params.salt.size(), password.data(), password.size());
  }
  struct Close {
    gcry_md_hd_t md;
    ~Close() { gcry_md_close(md); }
  } close{md};
  uint64_t since_tick = 0;
  for (uint64_t done = 0; done < rounds; done += batch) {
    for (size_t r = 0; r < batch; ++r) {
      uint64_t counter = done + r;
      uint8_t* c = block.data() + r * round + round - 8;
      for (int k = 0; k < 8; ++k) c[k] = static_cast<uint8_t>(counter >> (8 * k));
    }
    gcry_md_write(md, block.data(), block.size());
    since_tick += block.size();
    if (tick && since_tick >= kTickBytes) {
      since_tick = 0;
      tick();
    }
  }
  std::memcpy(key.data(), gcry_md_read(md, GCRY_MD_SHA256), 32);
  ++g_derivations;
  return key;
}

struct AesStream::State {
  gcry_cipher_hd_t cipher = nullptr;
};

AesStream::AesStream(std::unique_ptr<InStream> source, const std::array<uint8_t, 32>& key,
                     const std::array<uint8_t, 16>& iv)
    : source_(std::move(source)), state_(std::make_unique<State>()), buf_(size_t{1} << 16) {
  InitCrypto();
  if (gcry_cipher_open(&state_->cipher, GCRY_CIPHER_AES256, GCRY_CIPHER_MODE_CBC, 0) != 0 ||
      gcry_cipher_setkey(state_->cipher, key.data(), key.size()) != 0 ||
      gcry_cipher_setiv(state_->cipher, iv.data(), iv.size()) != 0) {
    Fail(kErrorGeneral, "AES unavailable");
  }
}

AesStream::~AesStream() {
  if (state_->cipher) gcry_cipher_close(state_->cipher);
}

size_t AesStream::Read(uint8_t* buffer, size_t n) {
  if (pos_ == end_) {
    pos_ = end_ = 0;
    size_t got = ReadFully(*source_, buf_.data(), buf_.size());
    got &= ~size_t{15};  // a partial last block carries no data
    if (got == 0) return 0;
    if (gcry_cipher_decrypt(state_->cipher, buf_.data(), got, nullptr, 0) != 0)
      DataError("AES decryption failed");
    end_ = got;
  }
  size_t k = std::min(n, end_ - pos_);
  std::memcpy(buffer, buf_.data() + pos_, k);
  pos_ += k;
  return k;
}

}  // namespace corvane::archive
