#include "image/pe_stub.h"

#include <gtest/gtest.h>

#include <string>

namespace corvane::image {
namespace {

void Put16(std::string* b, size_t off, uint16_t v) {
  (*b)[off] = static_cast<char>(v & 0xFF);
  (*b)[off + 1] = static_cast<char>(v >> 8);
}
void Put32(std::string* b, size_t off, uint32_t v) {
  for (int i = 0; i < 4; ++i) (*b)[off + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A PE header with the given (pointer, size) section entries and an optional header of 0xF0 bytes.
std::string MakePe(const std::vector<std::pair<uint32_t, uint32_t>>& sections) {
  std::string b(0x400, '\0');
  b[0] = 'M', b[1] = 'Z';
  Put32(&b, 0x3C, 0x80);
  b[0x80] = 'P', b[0x81] = 'E';
  Put16(&b, 0x84 + 2, static_cast<uint16_t>(sections.size()));
  Put16(&b, 0x84 + 16, 0xF0);
  size_t table = 0x84 + 20 + 0xF0;
  for (size_t i = 0; i < sections.size(); ++i) {
    Put32(&b, table + i * 40 + 16, sections[i].second);
    Put32(&b, table + i * 40 + 20, sections[i].first);
  }
  return b;
}

TEST(PeStub, IsTheFurthestEndOfRawSectionData) {
  // The furthest section is not the last one in the table.
  std::string pe = MakePe({{0x400, 0x1000}, {0x5400, 0x200}, {0x1400, 0x3000}});
  EXPECT_EQ(PeStubSize(pe), 0x5600u);
  // Appended data does not change the answer.
  EXPECT_EQ(PeStubSize(pe + std::string(100, 'x')), 0x5600u);
}

TEST(PeStub, RejectsWhatIsNotAPeHeader) {
  EXPECT_FALSE(PeStubSize(""));
  EXPECT_FALSE(PeStubSize("MZ"));
  std::string pe = MakePe({{0x400, 0x200}});
  std::string bad_sig = pe;
  bad_sig[0x81] = 'X';
  EXPECT_FALSE(PeStubSize(bad_sig));
  // A header whose offset or section table points past the data.
  std::string far = pe;
  Put32(&far, 0x3C, 0x7FFFFFF0);
  EXPECT_FALSE(PeStubSize(far));
  EXPECT_FALSE(PeStubSize(pe.substr(0, 0x84 + 20 + 0xF0 + 20)));
  EXPECT_FALSE(PeStubSize(MakePe({})));
}

}  // namespace
}  // namespace corvane::image
