// The reading of a .cfg file to restore from, and the lookup and parsing of its sections, on
// arbitrary text: no crash, every section is found by its own name, and a section that parses
// gives each tag once, a tag of the model.
#include <set>

#include "FuzzTarget.h"
#include "operations/ConfigRestore.h"
#include "protocol/ModelRegistry.h"

using namespace velkaro;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<ops::TCfgSection> sections;
  ops::ParseCfgText(std::string(reinterpret_cast<const char*>(data), size), sections);
  for (const ops::TCfgSection& s : sections) {
    FUZZ_CHECK(s.entries.size() <= ops::kMaxCfgSectionEntries);
    FUZZ_CHECK(s.lines.size() == s.entries.size());
    FUZZ_CHECK(std::is_sorted(s.lines.begin(), s.lines.end()));
    const ops::TCfgSection* found = ops::FindSection(sections, s.name);
    FUZZ_CHECK(found != nullptr);
    FUZZ_CHECK(found->name.size() == s.name.size());
    for (const std::uint32_t model : {kModelZel1, kModelZel4, kModelZel8}) {
      std::vector<ops::TSectionValue> values;
      std::string error;
      if (!ops::ParseSection(s, model, values, error)) {
        FUZZ_CHECK(!error.empty());
        continue;
      }
      std::set<int> tags;
      for (const ops::TSectionValue& v : values) {
        FUZZ_CHECK(tags.insert(v.tag).second);
        FUZZ_CHECK(HasTag(static_cast<std::uint16_t>(v.tag), model));
      }
    }
  }
  return 0;
}
