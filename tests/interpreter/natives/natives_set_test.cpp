// The set-operation natives called from code: each operation on blocks, hashes, strings,
// and bitsets, the /case and /skip refinements, and the operand errors.
#include <gtest/gtest.h>

#include "interpreter/codec_fixture.hpp"

namespace tav {
namespace {

using Sets = testing::codec_evaluation;

TEST_F(Sets, OperationsByType) {
  struct row {
    const char* code;
    const char* molded;
  };
  const row rows[] = {
      {"union [1 2] [2 3]", "[1 2 3]"},
      {"intersect [1 2 3] [3 2 4]", "[2 3]"},
      {"exclude [1 2 3 1] [2]", "[1 3]"},
      {"difference [1 2 3] [2 3 4]", "[1 4]"},
      {"unique [1 2 1 3 2]", "[1 2 3]"},
      {R"(intersect "abc" "bcd")", R"("bc")"},
      {R"(union "aB" "Ab")", R"("aB")"},
      {R"(union/case "aB" "Ab")", R"("aBAb")"},
      // records are told apart by their first value
      {"unique/skip [1 2 1 2 3 3] 2", "[1 2 3 3]"},
      {"unique/skip [1 2 1 3] 2", "[1 2]"},
      {"union/skip [1 2] [1 5 3 4] 2", "[1 2 3 4]"},
      {R"(union make bitset! "a" make bitset! "b")", R"(make bitset! #{00000000000000000000000060})"},
      {R"(complement? make bitset! "abc")", "false"},
      {R"(complement? complement make bitset! "abc")", "true"},
  };
  for (const row& r : rows) EXPECT_EQ(run_mold(r.code), r.molded) << r.code;
}

TEST_F(Sets, OperandErrors) {
  struct row {
    const char* code;
    error_id error;
  };
  const row rows[] = {
      {R"(union [1 2] "a")", error_id::script_expect_val},
      {R"(intersect "a" make bitset! "a")", error_id::script_expect_val},
      {"unique 12", error_id::script_expect_arg},
      {"complement? [1]", error_id::script_expect_arg},
  };
  for (const row& r : rows) EXPECT_EQ(run_error(r.code), r.error) << r.code;
}

}  // namespace
}  // namespace tav
