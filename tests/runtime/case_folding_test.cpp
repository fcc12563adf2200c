// Case folding: the pair lists, code point mapping in both directions, and the in-place
// case change of unit runs with widening.
#include "runtime/case_folding.hpp"

#include <gtest/gtest.h>

#include "tests/runtime/unit_buffer.hpp"

namespace tav {

void PrintTo(const case_pair& p, std::ostream* out) { *out << std::hex << "{" << p.from << ", " << p.to << "}"; }

namespace {

TEST(CaseFolding, PairListsHoldTheUnicode11SimpleMappings) {
  struct row {
    std::span<const case_pair> list;
    size_t size;
    case_pair first, last;
  };
  auto lists = case_folding::pairs();
  const row rows[] = {
      {lists.upper_bmp, 1175, {0x61, 0x41}, {0xFF5A, 0xFF3A}},
      {lists.lower_bmp, 1158, {0x41, 0x61}, {0xFF3A, 0xFF5A}},
      {lists.upper_astral, 225, {0x10428, 0x10400}, {0x1E943, 0x1E921}},
      {lists.lower_astral, 225, {0x10400, 0x10428}, {0x1E921, 0x1E943}},
  };
  for (const row& r : rows) {
    ASSERT_EQ(r.list.size(), r.size);
    EXPECT_EQ(r.list.front(), r.first);
    EXPECT_EQ(r.list.back(), r.last);
    for (size_t i = 1; i < r.list.size(); ++i) ASSERT_LT(r.list[i - 1].from, r.list[i].from);
  }
  // Every listed pair is what the mapping answers, through the BMP tables or the search.
  for (auto [list, upper] : {std::pair{lists.upper_bmp, true}, std::pair{lists.lower_bmp, false},
                             std::pair{lists.upper_astral, true}, std::pair{lists.lower_astral, false}})
    for (const case_pair& p : list) ASSERT_EQ(case_folding::change_char(p.from, upper), p.to) << std::hex << p.from;
}

TEST(CaseFolding, ChangesOneCodePoint) {
  struct row {
    uint32_t cp, upper, lower;
  };
  const row rows[] = {
      {0x61, 0x41, 0x61},          {0x41, 0x41, 0x61},          {0xFF, 0x178, 0xFF},
      {0x178, 0x178, 0xFF},        {0x3A3, 0x3A3, 0x3C3},       {0x3C2, 0x3A3, 0x3C2},
      {'0', '0', '0'},             {'!', '!', '!'},             {0, 0, 0},
      {0xFFFF, 0xFFFF, 0xFFFF},    {0x10428, 0x10400, 0x10428}, {0x10400, 0x10400, 0x10428},
      {0x1E922, 0x1E900, 0x1E922}, {0x1E943, 0x1E921, 0x1E943}, {0x1E921, 0x1E921, 0x1E943},
      {0x1F600, 0x1F600, 0x1F600}, {0x10000, 0x10000, 0x10000}, {0x10FFFF, 0x10FFFF, 0x10FFFF},
      // Newer than the tables: Vithkuqi and the Latin additions stay as they are.
      {0x10597, 0x10597, 0x10597}, {0x10570, 0x10570, 0x10570}, {0xA7C0, 0xA7C0, 0xA7C0},
      {0x0282, 0x0282, 0x0282},
  };
  for (const row& r : rows) {
    EXPECT_EQ(case_folding::change_char(r.cp, true), r.upper) << std::hex << r.cp;
    EXPECT_EQ(case_folding::change_char(r.cp, false), r.lower) << std::hex << r.cp;
  }
}

TEST(CaseFolding, ChangingUnitsWidensWhenTheMappingNeedsIt) {
  unit_buffer text(1, {'a', 0xFF, 'b', 0xE9});
  case_folding::change_units(text.sink, 0, 4, true);
  EXPECT_EQ(text.sink.width, 2u);
  EXPECT_EQ(text.code_points(), (std::vector<uint32_t>{'A', 0x178, 'B', 0xC9}));
  EXPECT_EQ(text.room_calls, 1);

  unit_buffer part(1, {'a', 'b', 'c', 'd', 'e'});
  case_folding::change_units(part.sink, 1, 3, true);
  EXPECT_EQ(part.code_points(), (std::vector<uint32_t>{'a', 'B', 'C', 'D', 'e'}));
  EXPECT_EQ(part.sink.width, 1u);
  EXPECT_EQ(part.room_calls, 0);

  unit_buffer astral(4, {0x1E922, 0x10400, 'X'});
  case_folding::change_units(astral.sink, 0, 3, false);
  EXPECT_EQ(astral.code_points(), (std::vector<uint32_t>{0x1E922, 0x10428, 'x'}));
}

}  // namespace
}  // namespace tav
