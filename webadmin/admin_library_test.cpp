// The administration library as built for both processors: a DLL for its processor that exports
// the twelve functions the engine calls under their plain names, and imports nothing but the
// system's own libraries (it is written into a temporary folder and loaded from there, where a
// library of another name beside it must never be picked up). Read with the toolchain's objdump
// and with the simulated machine's loader, which must agree.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/sim/pe_exports.h"

namespace {

const std::vector<std::string> kExports = {
    "ControlIISSite",      "CreateIISSite",   "CreateIISSiteFolder",   "DeleteIISSite",
    "DeleteIISSiteFolder", "GetIISAnonUser",  "GetIISProperty",        "GetIISSiteIndex",
    "GetIISSiteList",      "GetIISSiteState", "GetIISUniqueAccountID", "SetIISProperty"};

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Objdump(const std::string& file) {
  std::string out;
  const std::string command = std::string(CORVANE_MINGW_OBJDUMP) + " -p \"" + file + "\"";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  std::array<char, 4096> buffer;
  size_t n;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) out.append(buffer.data(), n);
  pclose(pipe);
  return out;
}

struct Dump {
  std::vector<std::string> exports;
  std::set<std::string> imports;
  std::string format;
};

// The export names of the "[Ordinal/Name Pointer] Table" and the "DLL Name:" lines.
Dump Parse(const std::string& text) {
  Dump d;
  std::istringstream in(text);
  std::string line;
  bool in_names = false;
  while (std::getline(in, line)) {
    if (line.find("file format") != std::string::npos) d.format = line;
    const size_t dll = line.find("DLL Name: ");
    if (dll != std::string::npos) d.imports.insert(Lower(line.substr(dll + 10)));
    if (line.find("[Ordinal/Name Pointer] Table") != std::string::npos) {
      in_names = true;
      continue;
    }
    if (in_names) {
      const size_t close = line.find("] ");
      if (line.find('[') == std::string::npos || close == std::string::npos) {
        in_names = false;
        continue;
      }
      d.exports.push_back(line.substr(close + 2));
    }
  }
  return d;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class AdminLibrary : public ::testing::TestWithParam<std::pair<const char*, uint16_t>> {};

TEST_P(AdminLibrary, ExportsTheTwelveFunctionsAndImportsOnlySystemLibraries) {
  const std::string file = GetParam().first;
  const std::string bytes = ReadAll(file);
  ASSERT_FALSE(bytes.empty()) << file;
  Dump dump = Parse(Objdump(file));
  ASSERT_FALSE(dump.format.empty()) << "objdump could not read " << file;
  std::vector<std::string> exports = dump.exports;
  std::sort(exports.begin(), exports.end());
  EXPECT_EQ(exports, kExports);
  const std::set<std::string> allowed = {"kernel32.dll", "msvcrt.dll",   "ole32.dll",
                                         "oleaut32.dll", "advapi32.dll", "user32.dll"};
  for (const std::string& dll : dump.imports) {
    EXPECT_TRUE(allowed.count(dll)) << file << " imports " << dll;
  }

  // The simulated loader reads the same file the same way.
  corvane::platform::sim::PeLibrary pe;
  std::string error;
  ASSERT_TRUE(corvane::platform::sim::ReadPeLibrary(bytes, &pe, &error)) << error;
  EXPECT_TRUE(pe.is_dll);
  EXPECT_EQ(pe.machine, GetParam().second);
  std::vector<std::string> read = pe.exports;
  std::sort(read.begin(), read.end());
  EXPECT_EQ(read, kExports);
}

INSTANTIATE_TEST_SUITE_P(
    Processors, AdminLibrary,
    ::testing::Values(
        std::make_pair(CORVANE_ADMIN_LIBRARY_I386, corvane::platform::sim::kPeMachineI386),
        std::make_pair(CORVANE_ADMIN_LIBRARY_AMD64, corvane::platform::sim::kPeMachineAmd64)));

}  // namespace
