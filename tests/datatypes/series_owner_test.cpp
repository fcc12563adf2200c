// Owned series: every modifying series and block action reports to the owner's
// on-deep-change* before and after the change; reflect and modify of the field owned.
#include <functional>
#include <string>
#include <vector>

#include "object_fixture.hpp"

namespace tav {
namespace {

using testing::block_of;
using testing::call_entry;
using testing::integer;
using testing::spelling_of;
using testing::set_word;
using testing::word_of;

class OwnedSeries : public testing::object_values {
 protected:
  void SetUp() override {
    object_values::SetUp();
    list_ = block_of({integer(4), integer(3), integer(2), integer(1)});
    owner_ = make_object({set_word("list"), list_, set_word("on-deep-change*"), handler()});
  }

  // The action words reported since call `from`, with their index and part.
  std::vector<std::string> reports_since(uint32_t from) {
    std::vector<std::string> seen;
    for (uint32_t i = from; i < calls(); ++i)
      seen.push_back(spelling_of(argument(i, 3)) + " " + std::to_string(scalar::integer_value(argument(i, 5))) + " " +
                     std::to_string(scalar::integer_value(argument(i, 6))));
    return seen;
  }

  cell at(int32_t head) {
    cell series = list_;
    series.payload1 = static_cast<uint32_t>(head);
    return series;
  }

  cell owner_, list_;
};

TEST_F(OwnedSeries, EveryEditIsReportedBeforeAndAfter) {
  using list = std::vector<std::string>;
  struct row {
    std::function<void()> edit;
    list expected;
  };
  cell other = block_of({integer(9)});
  // [4 3 2 1] becomes [4 7 2 1], [4 7 2 1 5], [4 6 7 2 1 5], [8 8 7 2 1 5], [8 7 2 1 5],
  // [5 1 2 7 8], [1 2 5 7 8], [1 2 5 7], [9 2 5 7], [2 9 5 7], [2 9 0 7], [2 9 0 7 42 0], ...
  const row rows[] = {
      {[&] { call_entry(actions::entry::poke, {list_, integer(2), integer(7)}); }, {"poke 1 1", "poked 1 1"}},
      {[&] { call_entry(actions::entry::append, {list_, integer(5)}); }, {"append 4 1", "appended 4 1"}},
      {[&] { call_entry(actions::entry::insert, {at(1), integer(6)}); }, {"insert 1 1", "inserted 1 1"}},
      {[&] { call_entry(actions::entry::change, {at(0), block_of({integer(8), integer(8)})}); },
       {"change 0 2", "changed 0 2"}},
      {[&] { call_entry(actions::entry::remove, {at(1)}); }, {"remove 1 1", "removed 1 1"}},
      {[&] { call_entry(actions::entry::reverse, {list_}); }, {"reverse 0 5", "reversed 0 5"}},
      {[&] { call_entry(actions::entry::sort, {list_}); }, {"sort 0 5", "sorted 0 5"}},
      {[&] { call_entry(actions::entry::take, {at(4)}); }, {"take 4 1", "taken 4 1"}},
      {[&] { call_entry(actions::entry::swap, {list_, other}); }, {"swap 0 1", "swaped 0 1"}},
      {[&] { call_entry(actions::entry::move, {at(0), at(2)}); }, {"move 0 1", "moved 0 1"}},
      {[&] { call_entry(actions::entry::put, {list_, integer(9), integer(0)}); }, {"put 2 1", "put-ed 2 1"}},
      {[&] { call_entry(actions::entry::put, {list_, integer(42), integer(0)}); }, {"put 4 1"}},
      {[&] { call_entry(actions::entry::random, {list_}); }, {"random 0 6", "randomized 0 6"}},
      {[&] { call_entry(actions::entry::trim, {list_}); }, {"trim 0 6", "trimmed 0 6"}},
      {[&] { call_entry(actions::entry::clear, {at(2)}); }, {"clear 2 4", "cleared 2 4"}},
  };
  for (const row& r : rows) {
    uint32_t before = calls();
    r.edit();
    EXPECT_EQ(reports_since(before), r.expected) << (r.expected.empty() ? "" : r.expected[0]);
  }
  // The field word and the changed series reach the handler.
  EXPECT_EQ(spelling_of(argument(0, 1)), "list");
  EXPECT_EQ(argument(0, 2).payload2, list_.payload2);
}

TEST_F(OwnedSeries, ReflectAndModifyTheOwner) {
  cell owned = call_entry(actions::entry::reflect, {list_, word_of("owned")});
  ASSERT_EQ(owned.type(), TYPE_OBJECT);
  EXPECT_EQ(object::context_of(owned), object::context_of(owner_));
  EXPECT_EQ(testing::fired_by([&] { call_entry(actions::entry::reflect, {list_, word_of("body")}); }),
            error_id::internal_not_done);

  call_entry(actions::entry::modify, {list_, word_of("owned"), none::value});
  EXPECT_EQ(call_entry(actions::entry::reflect, {list_, word_of("owned")}).type(), TYPE_NONE);
  uint32_t before = calls();
  call_entry(actions::entry::append, {list_, integer(5)});
  EXPECT_EQ(calls(), before);
  call_entry(actions::entry::modify, {list_, word_of("OWNED"), block_of({owner_, word_of("list")})});
  EXPECT_EQ(call_entry(actions::entry::reflect, {list_, word_of("owned")}).type(), TYPE_OBJECT);
  call_entry(actions::entry::append, {list_, integer(5)});
  EXPECT_EQ(calls(), before + 2);
}

}  // namespace
}  // namespace tav
