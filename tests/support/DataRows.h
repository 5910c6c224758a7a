// Table-driven QtTest cases from a plain array: each entry becomes one data row named by its
// `name`, and the test function fetches its entry. Entries may hold what QtTest columns cannot
// carry, such as the accessor of the widget under test (see Part).
#pragma once

#include <QTest>
#include <QWidget>
#include <cstddef>
#include <type_traits>

namespace velkaro::test {

// Call from a `_data()` function.
template <class TEntry, std::size_t N>
void AddRows(const TEntry (&table)[N]) {
  QTest::addColumn<int>("row");
  for (std::size_t i = 0; i < N; ++i) QTest::newRow(table[i].name) << static_cast<int>(i);
}

// Call from the test function of that `_data()` function.
template <class TEntry, std::size_t N>
const TEntry& FetchRow(const TEntry (&table)[N]) {
  QFETCH(int, row);
  return table[static_cast<std::size_t>(row)];
}

// A widget member or accessor as a plain function, so that a table row can name it:
// Part<&TZelForm::OKBtn> or Part<&TSuperv::Ping>.
template <auto Member, class TOwner>
QWidget* Part(TOwner& owner) {
  if constexpr (std::is_member_function_pointer_v<decltype(Member)>)
    return (owner.*Member)();
  else
    return owner.*Member;
}

// One widget of `TOwner`, named for the row, and what the test expects of it.
template <class TOwner, class TExpected>
struct TWidgetRow {
  const char* name;
  QWidget* (*widget)(TOwner&);
  TExpected expected;
};

}  // namespace velkaro::test
