// corvane-image: script text <-> script image, and engine + image <-> setup file.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "image/pe_stub.h"
#include "image/script_image.h"
#include "install/sha256.h"
#include "tools/corvane-image/script_text.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: corvane-image compile SCRIPT.txt IMAGE [--source-path PATH]\n"
               "                             [--media-hash BLOCK=FILE]...\n"
               "       corvane-image decompile IMAGE OUT.txt|-\n"
               "       corvane-image attach ENGINE.exe IMAGE SETUP.exe\n"
               "       corvane-image detach SETUP.exe IMAGE\n");
  return 2;
}

bool ReadAll(const std::string& path, std::string* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "corvane-image: cannot read %s\n", path.c_str());
    return false;
  }
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

bool WriteAll(const std::string& path, const std::string& data) {
  if (path == "-") {
    std::cout.write(data.data(), static_cast<std::streamsize>(data.size()));
    return bool(std::cout);
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  if (!out) std::fprintf(stderr, "corvane-image: cannot write %s\n", path.c_str());
  return bool(out);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace corvane;
  if (argc < 2) return Usage();
  std::string verb = argv[1];
  if (verb == "compile" && argc >= 4 && argc % 2 == 0) {
    std::string text;
    if (!ReadAll(argv[2], &text)) return 1;
    std::string source_path = argv[2];
    // Each web media block given with its archive file: the image carries the archive's SHA-256
    // as the compiler variable MEDIASHA256.BLOCK, which the engine checks every download against.
    std::vector<std::pair<std::string, std::string>> hashes;
    for (int i = 4; i + 1 < argc; i += 2) {
      const std::string option = argv[i], value = argv[i + 1];
      if (option == "--source-path") {
        source_path = value;
      } else if (option == "--media-hash" && value.find('=') != std::string::npos) {
        std::string archive;
        if (!ReadAll(value.substr(value.find('=') + 1), &archive)) return 1;
        hashes.emplace_back("MEDIASHA256." + value.substr(0, value.find('=')),
                            install::Sha256Hex(archive));
      } else {
        return Usage();
      }
    }
    tools::ScriptSource source;
    std::string error, image;
    if (!tools::ParseScriptText(text, source_path, &source, &error)) {
      std::fprintf(stderr, "%s:%s\n", argv[2], error.c_str());
      return 1;
    }
    for (auto& h : hashes) source.compiler_variables.push_back(std::move(h));
    if (!tools::BuildScriptImage(source, &image, &error)) {
      std::fprintf(stderr, "%s:%s\n", argv[2], error.c_str());
      return 1;
    }
    return WriteAll(argv[3], image) ? 0 : 1;
  }
  if (verb == "decompile" && argc == 4) {
    std::string bytes;
    if (!ReadAll(argv[2], &bytes)) return 1;
    image::ScriptImage image;
    image::ImageLoadResult r = image::ParseScriptImage(bytes, &image);
    if (!r.ok()) {
      std::fprintf(stderr, "corvane-image: %s: %s\n", argv[2], r.message.c_str());
      return 1;
    }
    return WriteAll(argv[3], tools::DecompileScriptImage(image)) ? 0 : 1;
  }
  if (verb == "attach" && argc == 5) {
    std::string engine_bytes, image;
    if (!ReadAll(argv[2], &engine_bytes) || !ReadAll(argv[3], &image)) return 1;
    auto stub = image::PeStubSize(engine_bytes);
    if (!stub) {
      std::fprintf(stderr, "corvane-image: %s is not a Windows executable\n", argv[2]);
      return 1;
    }
    if (*stub != engine_bytes.size()) {
      std::fprintf(stderr, "corvane-image: %s carries data after its executable image already\n",
                   argv[2]);
      return 1;
    }
    return WriteAll(argv[4], engine_bytes + image) ? 0 : 1;
  }
  if (verb == "detach" && argc == 4) {
    std::string setup;
    if (!ReadAll(argv[2], &setup)) return 1;
    auto stub = image::PeStubSize(setup);
    if (!stub || *stub > setup.size()) {
      std::fprintf(stderr, "corvane-image: %s is not a Windows executable\n", argv[2]);
      return 1;
    }
    if (*stub == setup.size()) {
      std::fprintf(stderr, "corvane-image: %s holds no script image\n", argv[2]);
      return 1;
    }
    return WriteAll(argv[3], setup.substr(*stub)) ? 0 : 1;
  }
  return Usage();
}
