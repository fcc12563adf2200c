// The error catalog table and `fire` with its arguments.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "fire_helpers.hpp"
#include "runtime/errors.hpp"

namespace tav {
namespace {

using testing::fired_by;

TEST(ErrorCatalog, CodesFollowThePositionInTheCategory) {
  struct row {
    error_id id;
    uint32_t code;
    const char* word;
  };
  for (auto [id, code, word] : {
           row{error_id::throw_break_, 0, "break"},
           row{error_id::throw_while_cond, 4, "while-cond"},
           row{error_id::note_no_load, 100, "no-load"},
           row{error_id::syntax_invalid, 200, "invalid"},
           row{error_id::syntax_bad_char, 206, "bad-char"},
           row{error_id::script_no_value, 300, "no-value"},
           row{error_id::script_protected_, 351, "protected"},
           row{error_id::script_too_long, 359, "too-long"},
           row{error_id::script_rb_invalid_record, 393, "rb-invalid-record"},
           row{error_id::math_zero_divide, 400, "zero-divide"},
           row{error_id::access_invalid_utf8, 502, "invalid-utf8"},
           row{error_id::access_invalid_cmd, 514, "invalid-cmd"},
           row{error_id::user_message, 800, "message"},
           row{error_id::internal_bad_path, 900, "bad-path"},
           row{error_id::internal_no_memory, 902, "no-memory"},
           row{error_id::internal_stack_overflow, 904, "stack-overflow"},
           row{error_id::internal_too_deep, 906, "too-deep"},
           row{error_id::internal_deprecated, 913, "deprecated"},
       }) {
    EXPECT_EQ(error_code(id), code) << word;
    EXPECT_STREQ(error_info(id).word, word);
    EXPECT_EQ(error_position(id), code % 100 + 2) << word;
  }
}

TEST(ErrorCatalog, EveryCategoryHoldsAllItsIds) {
  uint32_t counts[error_category_count] = {};
  for (uint16_t i = 0; i < static_cast<uint16_t>(error_id::count); ++i)
    ++counts[static_cast<uint32_t>(error_info(static_cast<error_id>(i)).category)];
  const uint32_t expected[error_category_count] = {5, 1, 7, 94, 3, 15, 0, 0, 1, 14};
  for (uint32_t c = 0; c < error_category_count; ++c) EXPECT_EQ(counts[c], expected[c]) << "category " << c;
}

TEST(ErrorCatalog, CategoryWordsAndDisplayTexts) {
  struct row {
    error_category category;
    const char* word;
    const char* text;
  };
  for (auto [category, word, text] : {
           row{error_category::throw_, "throw", "Throw Error"},
           row{error_category::note, "note", "note"},
           row{error_category::syntax, "syntax", "Syntax Error"},
           row{error_category::script, "script", "Script Error"},
           row{error_category::math, "math", "Math Error"},
           row{error_category::access, "access", "Access Error"},
           row{error_category::reserved1, "reserved1", "Reserved1 Error"},
           row{error_category::reserved2, "reserved2", "Reserved2 Error"},
           row{error_category::user, "user", "User Error"},
           row{error_category::internal, "internal", "Internal Error"},
       }) {
    EXPECT_STREQ(error_category_word(category), word);
    EXPECT_STREQ(error_category_text(category), text);
  }
}

TEST(ErrorCatalog, TemplatesInTheLanguagesSyntax) {
  EXPECT_STREQ(error_info(error_id::script_no_value).message, "[:arg1 \"has no value\"]");
  EXPECT_STREQ(error_info(error_id::math_zero_divide).message, "\"attempt to divide by zero\"");
  EXPECT_STREQ(error_info(error_id::note_no_load).message, "[\"cannot load: \" :arg1]");
  EXPECT_STREQ(error_info(error_id::internal_deprecated).message,
               "[arg1 \"is DEPRECATED, please use\" arg2 \"instead\"]");
  EXPECT_STREQ(error_info(error_id::script_parse_infinite).message,
               "[\"PARSE - infinite recursion at rule: [\" :arg1 \"]\"]");
}

TEST(Fire, RecordsTheIdAndUpToThreeArguments) {
  // Cells that reference no series: the error value built from them goes through the heap check.
  const cell a{11, 0, 1, 0}, b{12, 0, 3, 4}, c{3, 0, 0, 0};
  const cell none{3, 0, 0, 0};  // what an absent argument reads as
  auto expect_args = [](uint32_t count, std::initializer_list<cell> args) {
    EXPECT_EQ(last_fired.arg_count, count);
    uint32_t i = 0;
    for (const cell& expected : args) {
      EXPECT_EQ(std::memcmp(&last_fired.args[i], &expected, sizeof(cell)), 0) << "argument " << i;
      ++i;
    }
  };

  EXPECT_EQ(fired_by([&] { fire(error_id::script_expect_arg, a, b, c); }), error_id::script_expect_arg);
  EXPECT_EQ(thrown_code, code::error);
  expect_args(3, {a, b, c});

  EXPECT_EQ(fired_by([&] { fire(error_id::script_not_same_class, b, a); }), error_id::script_not_same_class);
  expect_args(2, {b, a, none});

  // An argument taken from the previous error survives its replacement.
  EXPECT_EQ(fired_by([&] { fire(error_id::script_no_value, last_fired.args[1]); }), error_id::script_no_value);
  expect_args(1, {a, none, none});

  EXPECT_EQ(fired_by([] { fire(error_id::internal_no_memory); }), error_id::internal_no_memory);
  expect_args(0, {none, none, none});
}

error_id traced_id = error_id::count;
uint32_t code_seen_by_tracer = 1;

TEST(Fire, ATracerSeesEachErrorBeforeItIsRaised) {
  set_fire_tracer([](const fired_error& error) {
    traced_id = error.id;
    code_seen_by_tracer = thrown_code;
  });
  thrown_code = code::lexer_stop;
  EXPECT_EQ(fired_by([] { fire(error_id::math_overflow); }), error_id::math_overflow);
  set_fire_tracer(nullptr);
  EXPECT_EQ(traced_id, error_id::math_overflow);
  EXPECT_EQ(code_seen_by_tracer, 0u);  // the pending code is held back while it runs
  EXPECT_EQ(thrown_code, code::error);
  traced_id = error_id::count;
  EXPECT_EQ(fired_by([] { fire(error_id::math_positive); }), error_id::math_positive);
  EXPECT_EQ(traced_id, error_id::count);
}

}  // namespace
}  // namespace tav
