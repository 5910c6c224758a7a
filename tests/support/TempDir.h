// A scratch folder removed with everything in it when the test ends, and whole-file helpers.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace velkaro::testing {

class TTempDir {
 public:
  // A fresh folder of a random name (mkdtemp's way, which Windows lacks).
  TTempDir() {
    std::random_device random;
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::filesystem::path candidate = base / ("velkaro-" + std::to_string(random()));
      std::error_code ec;
      if (std::filesystem::create_directory(candidate, ec)) {
        std::filesystem::permissions(candidate, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace, ec);
        path_ = std::move(candidate);
        return;
      }
    }
    throw std::runtime_error("cannot create a scratch folder in " + base.string());
  }
  ~TTempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  // `name` and the result in UTF-8 on every system (Windows would take narrow text as ANSI).
  std::string File(const std::string& name) const {
    const std::u8string joined =
        (path_ / std::filesystem::path(std::u8string(name.begin(), name.end()))).u8string();
    return std::string(joined.begin(), joined.end());
  }
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline std::vector<std::uint8_t> ReadBytes(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + name);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::string& name, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + name);
}

}  // namespace velkaro::testing
