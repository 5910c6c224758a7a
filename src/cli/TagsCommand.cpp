#include "cli/TagsCommand.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/CliExitCode.h"
#include "protocol/ModelRegistry.h"
#include "protocol/TagNames.h"

namespace velkaro::cli {

namespace {

struct TTagRow {
  int tag;
  std::string name;
  const char* type;
  const char* access;
};

std::vector<TTagRow> TagRows(std::uint32_t modelCode) {
  const int index = FindModel(modelCode);
  if (index < 0 || ModelShortName(modelCode).empty())
    throw std::invalid_argument("Unknown model " + ModelCodeText(modelCode));
  std::vector<TDescriptor> list =
      ModelRegistry().Models()[static_cast<std::size_t>(index)].descriptors;
  std::sort(list.begin(), list.end(),
            [](TDescriptor a, TDescriptor b) { return DescriptorTag(a) < DescriptorTag(b); });
  std::vector<TTagRow> rows;
  for (TDescriptor d : list) {
    const int tag = DescriptorTag(d);
    rows.push_back({tag, TagName(modelCode, tag), TypeWord(DescriptorType(d)),
                    AccessWord(DescriptorFlags(d))});
  }
  return rows;
}

}  // namespace

TJson TagsJson(std::uint32_t modelCode) {
  TJson tags = TJson::array();
  for (const TTagRow& r : TagRows(modelCode))
    tags.push_back({{"tag", r.tag}, {"name", r.name}, {"type", r.type}, {"access", r.access}});
  TJson doc = TJson::object();
  doc["model"] = ModelShortName(modelCode);
  doc["code"] = ModelCodeText(modelCode);
  doc["tags"] = std::move(tags);
  return doc;
}

void PrintTagsTable(std::uint32_t modelCode, std::ostream& out) {
  const std::vector<TTagRow> rows = TagRows(modelCode);
  std::size_t nameWidth = 4;
  for (const TTagRow& r : rows) nameWidth = std::max(nameWidth, r.name.size());
  const auto line = [&](const std::string& tag, const std::string& name, const std::string& type,
                        const std::string& access) {
    out << tag << std::string(5 - std::min<std::size_t>(tag.size(), 4), ' ') << name
        << std::string(nameWidth - name.size() + 2, ' ') << type
        << std::string(8 - std::min<std::size_t>(type.size(), 7), ' ') << access << '\n';
  };
  line("Tag", "Name", "Type", "Access");
  for (const TTagRow& r : rows) line(std::to_string(r.tag), r.name, r.type, r.access);
}

int RunTags(const TCliOptions& o, TCliContext& ctx) {
  const std::uint32_t code = o.model.value_or(0);
  if (!o.model || FindModel(code) < 0 || ModelShortName(code).empty())
    throw TCliFailure(kExitUsage, "Unknown model " + ModelCodeText(code) +
                                      ": use zel1, zel4, zel8 or one of their codes");
  if (o.json)
    PrintJson(TagsJson(code), ctx.out);
  else
    PrintTagsTable(code, ctx.out);
  return kExitOk;
}

}  // namespace velkaro::cli
