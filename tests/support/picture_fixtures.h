// The picture fixtures of the decoder tests (tests/fixtures/pictures/make_pictures.pl): files
// that ImageMagick wrote at build time from sources of known colours, and those sources as raw
// RGBA. A target that uses them calls corvane_use_picture_fixtures() in CMake.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "platform/pictures.h"
#include "tests/support/host_path.h"

namespace corvane::testing {

constexpr uint32_t kFixtureWidth = 13;
constexpr uint32_t kFixtureHeight = 9;

inline std::string ReadPictureFixture(const std::string& name) {
  std::ifstream in(HostPath(std::string(CORVANE_PICTURE_FIXTURES) + "/" + name), std::ios::binary);
  EXPECT_TRUE(in.good()) << "missing fixture " << name;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Compares a decoded picture with the source it was made from: each channel within `tolerance`;
// colours of fully transparent pixels are not compared.
inline ::testing::AssertionResult SameAsSource(const platform::Picture& p,
                                               const std::string& source, int tolerance = 0) {
  const std::string raw = ReadPictureFixture(source + ".rgba");
  if (p.width != kFixtureWidth || p.height != kFixtureHeight) {
    return ::testing::AssertionFailure() << "size " << p.width << "x" << p.height;
  }
  if (p.rgba.size() != raw.size()) return ::testing::AssertionFailure() << "pixel bytes";
  for (size_t i = 0; i < raw.size(); i += 4) {
    const auto* want = reinterpret_cast<const uint8_t*>(raw.data()) + i;
    const uint8_t* got = p.rgba.data() + i;
    for (int c = (want[3] == 0 ? 3 : 0); c < 4; ++c) {
      if (std::abs(int{want[c]} - int{got[c]}) > tolerance) {
        std::ostringstream where;
        where << "pixel (" << (i / 4) % p.width << ", " << (i / 4) / p.width << ") channel " << c
              << ": want " << int{want[c]} << ", got " << int{got[c]};
        return ::testing::AssertionFailure() << where.str();
      }
    }
  }
  return ::testing::AssertionSuccess();
}

}  // namespace corvane::testing
