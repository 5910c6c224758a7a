// Runs a fuzz target's entry point on every file of the folders given: its seed corpus and the
// inputs that once crashed it. A broken invariant aborts, which fails the test.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "FuzzTarget.h"

int main(int argc, char** argv) {
  int ran = 0;
  for (int i = 1; i < argc; ++i) {
    if (!std::filesystem::is_directory(argv[i])) {
      std::fprintf(stderr, "no such folder: %s\n", argv[i]);
      return 2;
    }
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(argv[i]))
      if (entry.is_regular_file() && !entry.path().filename().string().starts_with("."))
        files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
      std::ifstream in(file, std::ios::binary);
      const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                            std::istreambuf_iterator<char>()};
      std::fprintf(stderr, "%s\n", file.c_str());
      LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
      ++ran;
    }
  }
  std::printf("%d inputs replayed\n", ran);
  return ran > 0 ? 0 : 1;
}
