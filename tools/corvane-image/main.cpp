// corvane-image: script text <-> script image, and engine + image <-> setup file.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "image/pe_stub.h"
#include "image/script_image.h"
#include "tools/corvane-image/script_text.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: corvane-image compile SCRIPT.txt IMAGE [--source-path PATH]\n"
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
  if (verb == "compile" && (argc == 4 || argc == 6)) {
    std::string text;
    if (!ReadAll(argv[2], &text)) return 1;
    std::string source_path = argv[2];
    if (argc == 6) {
      if (std::string(argv[4]) != "--source-path") return Usage();
      source_path = argv[5];
    }
    tools::TextCompileResult r = tools::CompileScriptText(text, source_path);
    if (!r.ok) {
      std::fprintf(stderr, "%s:%s\n", argv[2], r.error.c_str());
      return 1;
    }
    return WriteAll(argv[3], r.image) ? 0 : 1;
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
