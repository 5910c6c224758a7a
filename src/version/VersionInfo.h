// Reader of an executable's version block: the texts the about box shows and the build number
// that selects the OEM variant at start-up.
#pragma once

#include <string>

namespace velkaro {

inline constexpr const char* kInfoNotAvailable = "<info not available>";
// The running program's own file; opening it works even when the file was moved or replaced.
// Windows has no such name: there a name that no Windows file can have ('<' and '>' are not
// allowed) stands for the program's own.
#ifdef _WIN32
inline constexpr const char* kOwnProgramFile = "<own program file>";
#else
inline constexpr const char* kOwnProgramFile = "/proc/self/exe";
#endif

struct TFileVersionParts {
  std::string MajorVersion;
  std::string MinorVersion;
  std::string Release;
  std::string Build;
};

// Splits a FileVersion text at "." (or "," when it holds no "."): major, minor, release, build.
// A part whose separator is missing stays empty and the rest is kept whole ("1.2" gives 1, "",
// "" and 2); an empty text or one without either separator gives kInfoNotAvailable four times.
TFileVersionParts SplitFileVersion(const std::string& fileVersion);

class TVersionInfo {
 public:
  // Reads the running program's own file. The owner only mirrors the GUI's component ownership
  // and is not used.
  explicit TVersionInfo(const void* owner = nullptr);
  TVersionInfo(const void* owner, const std::string& fileName);

  // (Re)fills all fourteen properties from the version block of `fileName`, read now from the
  // file itself. Without a readable block every property is kInfoNotAvailable; a key that a
  // block lacks reads kInfoNotAvailable too.
  void GetInfo(const std::string& fileName);

  std::string CompanyName;
  std::string FileDescription;
  std::string FileVersion;
  std::string Internalname;
  std::string LegalCopyright;
  std::string LegalTradeMarks;
  std::string OriginalFilename;
  std::string ProductName;
  std::string ProductVersion;
  std::string Comments;
  std::string MajorVersion;
  std::string MinorVersion;
  std::string Release;
  std::string Build;
};

}  // namespace velkaro
