#include <gtest/gtest.h>

#include "operations/CsvText.h"

using velkaro::ops::CsvField;
using velkaro::ops::CsvLine;

namespace {

TEST(CsvText, QuotesOnlyWhatNeedsIt) {
  struct TRow {
    std::string text, field;
  };
  const std::vector<TRow> rows = {
      {"", ""},
      {"Rack 3", "Rack 3"},
      {" padded ", " padded "},
      {"a,b", "\"a,b\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"\"", "\"\"\"\""},
      {"line\nbreak", "\"line\nbreak\""},
      {"cr\r", "\"cr\r\""},
      {"Z\xC3\xBCrich;tab\t", "Z\xC3\xBCrich;tab\t"},  // bytes beyond ASCII kept as they are
  };
  for (const TRow& row : rows) EXPECT_EQ(CsvField(row.text), row.field) << row.text;
}

TEST(CsvText, LineJoinsFieldsAndEndsInCrLf) {
  EXPECT_EQ(CsvLine({"name", "a,b", "", "7"}), "name,\"a,b\",,7\r\n");
  EXPECT_EQ(CsvLine({}), "\r\n");
  EXPECT_EQ(CsvLine({""}), "\r\n");
}

}  // namespace
