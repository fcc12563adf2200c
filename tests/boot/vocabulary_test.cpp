// The start-up vocabulary: every datatype, action and native word bound to its table index with
// its spec, the constants, typesets, colours and operators, and code that runs on them.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "boot/boot_fixture.hpp"
#include "boot/global_load.hpp"
#include "boot/vocabulary.hpp"
#include "datatypes/action_list.hpp"
#include "datatypes/handle.hpp"
#include "datatypes/native.hpp"
#include "datatypes/runtime_words.hpp"
#include "datatypes/typeset.hpp"
#include "datatypes/value_fixture.hpp"
#include "interpreter/interpreter.hpp"
#include "interpreter/natives.hpp"

#include "datatypes/action_specs.inc"
#include "interpreter/native_specs.inc"

namespace tav::testing {
namespace {

struct spec_row {
  uint32_t index;
  const char* word;
  const char* spec;
};
#define TAV_SPEC_ROW(index, word, spec) spec_row{index, word, spec},
const spec_row native_rows[] = {TAV_NATIVE_SPECS(TAV_SPEC_ROW)};
const spec_row action_rows[] = {TAV_ACTION_SPECS(TAV_SPEC_ROW)};
#undef TAV_SPEC_ROW

class vocabulary : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { boot::define_vocabulary(); }

  static cell value_of(const char* name) { return *context::get(global_word(name)); }

  struct outcome {
    cell value;
    std::optional<error_id> error;
  };

  static outcome evaluate(const char* text) {
    const cell block = boot::load_global(reinterpret_cast<const uint8_t*>(text), static_cast<uint32_t>(std::strlen(text)));
    cell* base = stack::top;
    outcome result{none::value, std::nullopt};
    if (stack::catch_error(words::try_, false, [&] { interpreter::do_block(block, false); }))
      result.error = last_fired.id;
    else
      result.value = *stack::last_pushed();
    stack::top = base;
    return result;
  }

  static std::string result_of(const char* text) {
    outcome result = evaluate(text);
    if (result.error) return std::string("error ") + error_info(*result.error).word;
    return molded(result.value);
  }
};

TEST_F(vocabulary, every_native_word_holds_the_native_of_its_index_with_its_spec) {
  for (const spec_row& row : native_rows) {
    const cell value = value_of(row.word);
    ASSERT_EQ(value.type(), TYPE_NATIVE) << row.word;
    EXPECT_EQ(native::index_of(value), row.index) << row.word;
    EXPECT_STREQ(natives::word_of(native::index_of(value)), row.word);
    EXPECT_EQ(molded(cell{TYPE_BLOCK, 0, native::spec_of(value), 0}), row.spec) << row.word;
  }
}

TEST_F(vocabulary, every_action_word_but_the_three_path_and_compare_slots_holds_its_action) {
  EXPECT_EQ(std::size(action_rows), 59u);
  for (const spec_row& row : action_rows) {
    const cell value = value_of(row.word);
    ASSERT_EQ(value.type(), TYPE_ACTION) << row.word;
    EXPECT_EQ(native::index_of(value), row.index) << row.word;
    EXPECT_STREQ(describe_action(row.index).word, row.word);
    EXPECT_EQ(molded(cell{TYPE_BLOCK, 0, native::spec_of(value), 0}), row.spec) << row.word;
  }
  for (const char* unnamed : {"eval-path", "set-path", "compare"}) EXPECT_EQ(value_of(unnamed).type(), TYPE_UNSET);
}

TEST_F(vocabulary, datatype_words_hold_their_datatypes_and_series_names_the_typeset) {
  for (uint8_t id = 1; id < type_table_size; ++id) {
    const char* name = describe_type(id).name;
    if (!name) continue;
    const cell value = value_of(name);
    if (id == TYPE_SERIES) {
      EXPECT_EQ(value.type(), TYPE_TYPESET);
      continue;
    }
    ASSERT_EQ(value.type(), TYPE_DATATYPE) << name;
    EXPECT_EQ(value.payload1, id) << name;
  }
  EXPECT_EQ(value_of("none").type(), TYPE_NONE);
  EXPECT_EQ(molded(value_of("true")), "true");
  EXPECT_EQ(molded(value_of("false")), "false");
}

struct typeset_case {
  const char* name;
  std::vector<uint8_t> members;
};

TEST_F(vocabulary, typesets_have_exactly_their_members) {
  const typeset_case cases[] = {
      {"internal!", {TYPE_UNSET}},
      {"external!", {TYPE_EVENT}},
      {"number!", {TYPE_INTEGER, TYPE_FLOAT, TYPE_PERCENT}},
      {"planar!", {TYPE_PAIR, TYPE_POINT2D}},
      {"any-point!", {TYPE_POINT2D, TYPE_POINT3D}},
      {"scalar!",
       {TYPE_CHAR, TYPE_INTEGER, TYPE_FLOAT, TYPE_PAIR, TYPE_PERCENT, TYPE_TUPLE, TYPE_TIME, TYPE_DATE, TYPE_MONEY,
        TYPE_POINT2D, TYPE_POINT3D}},
      {"any-word!", {TYPE_WORD, TYPE_SET_WORD, TYPE_LIT_WORD, TYPE_GET_WORD}},
      {"all-word!", {TYPE_WORD, TYPE_SET_WORD, TYPE_LIT_WORD, TYPE_GET_WORD, TYPE_REFINEMENT, TYPE_ISSUE}},
      {"any-list!", {TYPE_BLOCK, TYPE_PAREN, TYPE_HASH}},
      {"any-path!", {TYPE_PATH, TYPE_LIT_PATH, TYPE_SET_PATH, TYPE_GET_PATH}},
      {"any-block!",
       {TYPE_BLOCK, TYPE_PAREN, TYPE_PATH, TYPE_LIT_PATH, TYPE_SET_PATH, TYPE_GET_PATH, TYPE_HASH}},
      {"any-function!", {TYPE_NATIVE, TYPE_ACTION, TYPE_OP, TYPE_FUNCTION, TYPE_ROUTINE}},
      {"any-object!", {TYPE_OBJECT, TYPE_ERROR, TYPE_PORT}},
      {"any-string!", {TYPE_STRING, TYPE_FILE, TYPE_URL, TYPE_TAG, TYPE_EMAIL, TYPE_REF}},
      {"series!",
       {TYPE_BLOCK, TYPE_PAREN, TYPE_STRING, TYPE_FILE, TYPE_URL, TYPE_PATH, TYPE_LIT_PATH, TYPE_SET_PATH,
        TYPE_GET_PATH, TYPE_VECTOR, TYPE_HASH, TYPE_BINARY, TYPE_TAG, TYPE_EMAIL, TYPE_REF, TYPE_IMAGE}},
      {"immediate!",
       {TYPE_DATATYPE, TYPE_NONE, TYPE_LOGIC, TYPE_CHAR, TYPE_INTEGER, TYPE_FLOAT, TYPE_WORD, TYPE_SET_WORD,
        TYPE_LIT_WORD, TYPE_GET_WORD, TYPE_REFINEMENT, TYPE_ISSUE, TYPE_TYPESET, TYPE_PAIR, TYPE_PERCENT,
        TYPE_TUPLE, TYPE_TIME, TYPE_HANDLE, TYPE_DATE, TYPE_MONEY, TYPE_POINT2D, TYPE_POINT3D}},
  };
  for (const typeset_case& c : cases) {
    const cell set = value_of(c.name);
    ASSERT_EQ(set.type(), TYPE_TYPESET) << c.name;
    for (uint8_t id = 1; id < type_table_size; ++id) {
      bool expected = std::find(c.members.begin(), c.members.end(), id) != c.members.end();
      EXPECT_EQ(typeset::has_type(set, id), expected) << c.name << " type " << int(id);
    }
  }
}

TEST_F(vocabulary, default_and_any_type_leave_out_the_internal_types) {
  const cell any = value_of("any-type!"), fallback = value_of("default!");
  EXPECT_EQ(typeset::count(any), 50);
  EXPECT_EQ(typeset::count(fallback), 49);
  for (uint8_t internal : {TYPE_SYMBOL, TYPE_CONTEXT, TYPE_TRIPLE, TYPE_SERIES}) {
    EXPECT_FALSE(typeset::has_type(any, internal)) << int(internal);
    EXPECT_FALSE(typeset::has_type(fallback, internal)) << int(internal);
  }
  EXPECT_TRUE(typeset::has_type(any, TYPE_UNSET));
  EXPECT_FALSE(typeset::has_type(fallback, TYPE_UNSET));
}

TEST_F(vocabulary, typesets_answer_find) {
  const char* const cases[][2] = {
      {"find any-type! unset!", "true"},      {"find default! unset!", "false"},
      {"find series! binary!", "true"},       {"find series! image!", "true"},
      {"find any-block! hash!", "true"},      {"find any-string! binary!", "false"},
      {"find number! percent!", "true"},      {"find scalar! money!", "true"},
  };
  for (const auto& c : cases) EXPECT_EQ(result_of(c[0]), c[1]) << c[0];
}

TEST_F(vocabulary, constants) {
  const char* const cases[][2] = {
      {"on", "true"},       {"yes", "true"},   {"off", "false"},    {"no", "false"},
      {"tab", "#\"^-\""},   {"cr", "#\"^M\""}, {"lf", "#\"^/\""},   {"newline", "#\"^/\""},
      {"escape", "#\"^[\""}, {"slash", "#\"/\""}, {"space", "#\" \""}, {"sp", "#\" \""},
      {"null", "#\"^@\""},  {"crlf", "\"^M^/\""}, {"enter", "#\"^M\""}, {"dot", "#\".\""},
      {"comma", "#\",\""},  {"dbl-quote", "#\"^\"\""}, {"pi", "3.141592653589793"}, {"Orvan", "false"},
  };
  for (const auto& c : cases) EXPECT_EQ(molded(value_of(c[0])), c[1]) << c[0];
  const cell pi = value_of("pi");
  ASSERT_EQ(pi.type(), TYPE_FLOAT);
  uint64_t bits = static_cast<uint64_t>(pi.payload3) << 32 | pi.payload2;
  double expected = 3.141592653589793;
  uint64_t expected_bits;
  std::memcpy(&expected_bits, &expected, sizeof expected_bits);
  EXPECT_EQ(bits, expected_bits);
  EXPECT_EQ(result_of("length? crlf"), "2");
  const cell handle = value_of("null-handle");
  ASSERT_EQ(handle.type(), TYPE_HANDLE);
  EXPECT_EQ(handle::id_of(handle), 0u);
  EXPECT_EQ(handle::class_of(handle), handle::CLASS_NULL);
}

TEST_F(vocabulary, words_of_one_row_share_their_value) {
  for (const auto& pair : {std::pair{"yes", "on"}, {"no", "off"}, {"newline", "lf"}, {"sp", "space"},
                           {"glass", "transparent"}}) {
    const cell a = value_of(pair.first), b = value_of(pair.second);
    EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0) << pair.first;
  }
}

TEST_F(vocabulary, named_colours) {
  const char* const cases[][2] = {{"aqua", "40.100.130"}, {"black", "0.0.0"},     {"navy", "0.0.128"},
                                  {"orvanor", "142.128.110"}, {"yello", "255.240.120"}, {"yellow", "255.255.0"},
                                  {"white", "255.255.255"}, {"transparent", "0.0.0.255"}};
  for (const auto& c : cases) EXPECT_EQ(molded(value_of(c[0])), c[1]) << c[0];
  const char* const three_bytes[] = {
      "aqua",  "beige",  "black",  "blue",    "brick",  "brown",  "coal",   "coffee", "crimson", "cyan",   "forest",
      "gold",  "gray",   "green",  "ivory",   "khaki",  "leaf",   "linen",  "magenta", "maroon", "mint",   "navy",
      "oldrab", "olive", "orange", "papaya",  "pewter", "pink",   "purple", "orblue", "orvanor", "red",   "sienna",
      "silver", "sky",   "snow",   "tanned",  "teal",   "violet", "water",  "wheat",  "white",   "yello",  "yellow"};
  for (const char* name : three_bytes) {
    ASSERT_EQ(value_of(name).type(), TYPE_TUPLE) << name;
    EXPECT_EQ(result_of((std::string("length? ") + name).c_str()), "3") << name;
  }
  EXPECT_EQ(result_of("length? glass"), "4");
}

TEST_F(vocabulary, operators_are_made_from_their_sources) {
  const char* const cases[][2] = {{"+", "add"},        {"-", "subtract"},          {"*", "multiply"},
                                  {"/", "divide"},     {"%", "remainder"},         {"=", "equal?"},
                                  {"<>", "not-equal?"}, {"==", "strict-equal?"},   {"=?", "same?"},
                                  {"<", "lesser?"},    {">", "greater?"},          {"<=", "lesser-or-equal?"},
                                  {">=", "greater-or-equal?"}, {"**", "power"},    {"and", "and~"},
                                  {"or", "or~"},       {"xor", "xor~"},            {"//", "modulo"},
                                  {"<<", "shift-left"}, {">>", "shift-right"},     {">>>", "shift-logical"}};
  for (const auto& c : cases) {
    const cell op = value_of(c[0]), source = value_of(c[1]);
    ASSERT_EQ(op.type(), TYPE_OP) << c[0];
    EXPECT_EQ(op::source_type(op), source.type()) << c[0];
    EXPECT_EQ(molded(cell{TYPE_BLOCK, 0, native::spec_of(op), 0}),
              molded(cell{TYPE_BLOCK, 0, native::spec_of(source), 0}))
        << c[0];
  }
  EXPECT_EQ(result_of("reduce [-7 // 3 7 % -3 1 << 4 -16 >> 2 -1 >>> 28]"), "[2 1 16 -4 15]");
}

TEST_F(vocabulary, redefining_a_source_word_leaves_its_operator) {
  const cell add = value_of("add");
  EXPECT_EQ(result_of("add: :subtract 7 + 2"), "9");
  EXPECT_EQ(result_of("add 7 2"), "5");
  cell word = global_word("add");
  context::set(word, add);
  EXPECT_EQ(result_of("add 7 2"), "9");
}

// The refinements of a spec must come in the order the entry reads their positions.
TEST_F(vocabulary, natives_and_actions_run_with_their_refinements) {
  const char* const cases[][2] = {
      {"1 + 2 * 3", "9"},
      {"7 % 4", "3"},
      {"2 ** 10", "1024"},
      {"append/only/dup [] [1] 2", "[[1] [1]]"},
      {"append/part [a] [b c d] 2", "[a b c]"},
      {"head insert/dup \"ab\" #\"x\" 3", "\"xxxab\""},
      {"head change/part \"abcd\" \"Z\" 2", "\"Zcd\""},
      {"copy/part \"abcdef\" 3", "\"abc\""},
      {"find/last [1 2 1 2] 2", "[2]"},
      {"index? find/skip [a b b a] 'b 2", "3"},
      {"select/last [a 1 a 2] 'a", "2"},
      {"sort/reverse [2 3 1]", "[3 2 1]"},
      {"sort/skip [b 1 a 2] 2", "[a 2 b 1]"},
      {"take/last [1 2 3]", "3"},
      {"take/part [1 2 3] 2", "[1 2]"},
      {"trim/head \"  ab  \"", "\"ab  \""},
      {"reverse/part [1 2 3 4] 2", "[2 1 3 4]"},
      {"remove/part [1 2 3 4] 2", "[3 4]"},
      {"form/part [abc def] 5", "\"abc d\""},
      {"mold/only [1 [2]]", "\"1 [2]\""},
      {"round/to 7 5", "5"},
      {"union/skip [a 1 b 2] [a 3 c 4] 2", "[a 1 b 2 c 4]"},
      {"either true [1] [2]", "1"},
      {"switch/default 3 [1 [4]] [5]", "5"},
      {"case/all [true [1] true [2]]", "2"},
      {"catch/name [throw/name 5 'x] 'x", "5"},
      {"loop 3 [break/return 7]", "7"},
      {"enbase/base \"A\" 16", "\"41\""},
      {"transcode/one \"[x]\"", "[x]"},
      {"checksum \"abc\" 'crc32", "891568578"},
      {"do/next [1 + 2 3] 'pos", "3"},
      {"apply/all :append [[a] [b] false none true false none]", "[a [b]]"},
      {"apply :append [[a] [b] /only true]", "[a [b]]"},
  };
  for (const auto& c : cases) EXPECT_EQ(result_of(c[0]), c[1]) << c[0];
}

TEST_F(vocabulary, argument_types_come_from_the_specs) {
  EXPECT_EQ(result_of("loop \"x\" [1]"), "error expect-arg");
  EXPECT_EQ(result_of("add \"a\" 1"), "error expect-arg");
  EXPECT_EQ(result_of("negative? \"a\""), "error expect-arg");
  EXPECT_EQ(result_of("negative? -1"), "true");
}

TEST_F(vocabulary, image_holds_one_expression_per_definition_made_from_source) {
  const std::string& text = boot::vocabulary_source();
  size_t lines = 0;
  for (char c : text) lines += c == '\n';
  // 4 basics, 16 constants in source, 18 typesets, 45 colours, 21 operators; the datatypes,
  // actions and natives are the image's global definitions.
  EXPECT_EQ(lines, 4u + 16 + 18 + 45 + 21);
  const cell decoded = boot::source_block("vocabulary");
  ASSERT_EQ(decoded.type(), TYPE_BLOCK);
  EXPECT_EQ(molded(decoded, true), molded(loaded(text), true));
  for (uint32_t i = 0; i < buffer_of(decoded.payload2)->count(); ++i)
    EXPECT_EQ(buffer_of(decoded.payload2)->cells()[i].type(), TYPE_PAREN) << i;
}

}  // namespace
}  // namespace tav::testing
