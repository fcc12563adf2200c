// The math natives called from code: sign and zero tests, max and min, shift, to-hex,
// trigonometry, logarithms and powers, NaN?, and size? on real files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "interpreter/evaluation_fixture.hpp"

namespace tav {
namespace {

using MathNatives = testing::evaluation;

TEST_F(MathNatives, Shift) {
  expect_results({
      {"shift -8 1", "-4"},
      {"shift/logical -8 1", "2147483644"},
      {"shift 1 40", "0"},
      {"shift -1 40", "-1"},
      {"shift -1 31", "-1"},
      {"shift/left 1 32", "0"},
      {"shift/left 1 31", "-2147483648"},
      {"shift/left 3 1", "6"},
      {"shift/logical -1 32", "0"},
      {"shift/logical -1 31", "1"},
      {"shift 5 -1", "5"},
      {"shift/left 5 -3", "5"},
  });
}

TEST_F(MathNatives, ToHex) {
  expect_results({
      {"to-hex 255", "#000000FF"},
      {"to-hex/size 255 2", "#FF"},
      {"to-hex/size 255 20", "#000000FF"},
      {"to-hex/size 3054 3", "#BEE"},
      {"to-hex -1", "#FFFFFFFF"},
      {"to-hex -2147483648", "#80000000"},
  });
  expect_errors({
      {"to-hex/size 255 0", error_id::script_invalid_arg},
      {"to-hex/size 255 -4", error_id::script_invalid_arg},
  });
  EXPECT_EQ(result_of("type? to-hex 1"), "issue!");
}

TEST_F(MathNatives, Trigonometry) {
  expect_results({
      {"sine 180", "0.0"},
      {"sine 90", "1.0"},
      {"sine -90", "-1.0"},
      {"sine 540", "0.0"},
      {"cosine 90", "0.0"},
      {"cosine 0", "1.0"},
      {"cosine 180", "-1.0"},
      {"tangent 90", "1.#INF"},
      {"tangent -90", "-1.#INF"},
      {"tangent 450", "1.#INF"},
      {"tangent 0", "0.0"},
      {"sine/radians 0", "0.0"},
      {"cosine/radians 0", "1.0"},
      {"tangent/radians 1.5707963267948966", "1.#INF"},
      {"arcsine 1", "90.0"},
      {"arcsine -1", "-90.0"},
      {"arcsine 2", "1.#NaN"},
      {"arccosine 1", "0.0"},
      {"arccosine 0", "90.0"},
      {"arctangent 1", "45.0"},
      {"arcsine/radians 0", "0.0"},
      {"arctangent2 1 1", "45.0"},
      {"arctangent2 0 -1", "180.0"},
      {"arctangent2/radians 0 1", "0.0"},
  });
  EXPECT_EQ(value_of("sine 1").type(), TYPE_FLOAT);
}

TEST_F(MathNatives, LogarithmsAndPowers) {
  expect_results({
      {"log-2 8", "3.0"},
      {"log-2 1024.0", "10.0"},
      {"log-10 1000", "3.0"},
      {"log-10 1", "0.0"},
      {"log-e 1", "0.0"},
      {"log-e 0", "-1.#INF"},
      {"log-e -1", "1.#NaN"},
      {"exp 0", "1.0"},
      {"exp 1", "2.718281828459045"},
      {"square-root 16", "4.0"},
      {"square-root 2.25", "1.5"},
      {"square-root -1", "1.#NaN"},
      // A percent keeps its stored fraction: 400% is 4.
      {"square-root 400%", "2.0"},
      {"NaN? 1.#NaN", "true"},
      {"NaN? 1", "false"},
      {"NaN? 1.5", "false"},
      {"NaN? 1.#INF", "false"},
      {"NaN? square-root -1", "true"},
  });
  EXPECT_EQ(value_of("log-e 10%").type(), TYPE_FLOAT);
}

TEST_F(MathNatives, MaxMin) {
  expect_results({
      // value1 is kept by max on equality, value2 by min
      {"max 1 1.0", "1"},
      {"min 1 1.0", "1.0"},
      {"max 2 7", "7"},
      {"min 2 7", "2"},
      {"max 1x5 3", "3x5"},
      {"max 3 1x5", "3x5"},
      {"min 1x5 3", "1x3"},
      {"max 1x2 2.5", "2x2"},
      {"max 1x2 -2.5", "1x2"},
      {"min 1x2 -2.5", "-2x-2"},
      {"max 1x8 4x2", "4x8"},
      {"min 1x8 4x2", "1x2"},
      {"max 1x2 1e20", "(1e20, 1e20)"},
      {"max 1x2 1e300", "(1.#INF, 1.#INF)"},
      {"min 1x2 -1.#INF", "(-1.#INF, -1.#INF)"},
      {"max 1x8 (4.5, 2)", "(4.5, 8)"},
      {"min (4.5, 2) 1x8", "(1, 2)"},
      {"max (1, 5) 3", "(3, 5)"},
      {"min (1, 5, -2) 0.5", "(0.5, 0.5, -2)"},
      {"max (1, 5) (2, 4)", "(2, 5)"},
      {"max (1, 5) 1.#NaN", "(1.#NaN, 1.#NaN)"},
      {"min 1.2.3 2", "1.2.2"},
      {"max 1.2.3 2", "2.2.3"},
      {"max 1.2.3 300", "255.255.255"},
      {"min 1.2.3 -5", "0.0.0"},
      {"max 1.2.3 2.9", "2.2.3"},
      {"max 1.9.3 4.2.1", "4.9.3"},
      {"min 1.9.3 4.2.1", "1.2.1"},
      {"max 1.#NaN 5", "1.#NaN"},
      {"max 5 1.#NaN", "1.#NaN"},
      {"min 5 1.#NaN", "1.#NaN"},
      {"max 10% 1.#NaN", "1.#NaN"},
      {R"(max "a" "b")", R"("b")"},
      {R"(min "a" "b")", R"("a")"},
      {"max [1 2] [1 3]", "[1 3]"},
      {R"(max #"a" #"b")", R"(#"b")"},
      {"max 1:00 0:30", "1:00:00"},
      {"min 50% 0.2", "0.2"},
  });
  expect_errors({
      {R"(max 1 "a")", error_id::script_invalid_compare},
      {"max 1.2.3 1e10", error_id::script_type_limit},
      {"min 1.2.3 1.#NaN", error_id::script_type_limit},
      {"max 1.2.3 -1.#INF", error_id::script_type_limit},
      {"max 1x2 1.2.3", error_id::script_invalid_compare},
  });
}

TEST_F(MathNatives, SignTests) {
  expect_results({
      {"sign? -2", "-1"},
      {"sign? 0", "0"},
      {"sign? 7", "1"},
      {"sign? 0.0", "0"},
      {"sign? -0.0", "0"},
      {"sign? 2.5", "1"},
      {"sign? -5%", "-1"},
      {"sign? 1.#NaN", "0"},
      {"sign? -1:00", "-1"},
      {"negative? -0:00:01", "true"},
      {"negative? 0", "false"},
      {"negative? -1.#INF", "true"},
      {"positive? 0:00:01", "true"},
      {"positive? 1.#NaN", "false"},
      {"negative? 1.#NaN", "false"},
      {"positive? 0.0", "false"},
      {"positive? 1", "true"},
  });
  expect_errors({
      {R"(negative? "a")", error_id::script_expect_arg},
      {"sign? 1x2", error_id::script_expect_arg},
      {R"(positive? #"a")", error_id::script_expect_arg},
  });
}

TEST_F(MathNatives, ZeroTests) {
  expect_results({
      {"zero? 0x0", "true"},
      {"zero? 1x0", "false"},
      {"zero? 0x1", "false"},
      {"zero? 0.0.0", "true"},
      {"zero? 0.0.1", "false"},
      {"zero? (0, 0)", "true"},
      {"zero? (0, 0.5)", "false"},
      {"zero? (0, 0, 0)", "true"},
      {"zero? (0, 0, 1)", "false"},
      {R"(zero? #"^@")", "true"},
      {R"(zero? #"a")", "false"},
      {"zero? 0", "true"},
      {"zero? -0.0", "true"},
      {"zero? 0%", "true"},
      {"zero? 0:00", "true"},
      {"zero? 1.#NaN", "false"},
      {"zero? 3", "false"},
  });
}

// A zero amount has sign 0 whatever its negative flag says.
TEST_F(MathNatives, MoneySignsAndZero) {
  expect_results({
      {"negative? -$1", "true"},
      {"negative? negate $0", "false"},
      {"positive? $0.00001", "true"},
      {"positive? $0", "false"},
      {"sign? -$0.5", "-1"},
      {"sign? negate $0", "0"},
      {"sign? USD$3", "1"},
      {"zero? negate $0", "true"},
      {"zero? $0.00001", "false"},
  });
}

class FileSize : public MathNatives {
 protected:
  void SetUp() override {
    MathNatives::SetUp();
    folder = std::filesystem::temp_directory_path() / ("tav-size-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
  }
  void TearDown() override {
    std::filesystem::remove_all(folder);
    MathNatives::TearDown();
  }
  std::string size_of(const std::string& name) {
    const std::string code = "size? %" + (folder / name).string();
    return result_of(code.c_str());
  }
  std::filesystem::path folder;
};

TEST_F(FileSize, OfFilesFoldersAndMissingFiles) {
  std::ofstream(folder / "three") << "abc";
  std::ofstream(folder / "empty");
  std::filesystem::create_directory(folder / "sub");
  EXPECT_EQ(size_of("three"), "3");
  EXPECT_EQ(size_of("empty"), "0");
  EXPECT_EQ(size_of("sub"), "none");
  EXPECT_EQ(size_of("sub/"), "none");
  EXPECT_EQ(size_of("missing"), "none");
}

TEST_F(FileSize, UnreadableFileAndFifoAnswerWithoutWaiting) {
  ASSERT_EQ(::mkfifo((folder / "pipe").c_str(), 0600), 0);
  EXPECT_EQ(size_of("pipe"), "0");
  std::ofstream(folder / "locked") << "abcd";
  std::filesystem::permissions(folder / "locked", std::filesystem::perms::none);
  // root opens any file, so then the size is read
  EXPECT_EQ(size_of("locked"), ::geteuid() == 0 ? "4" : "none");
}

TEST_F(FileSize, AboveTheIntegerRangeIsAnError) {
  {
    std::ofstream(folder / "big");
  }
  std::filesystem::resize_file(folder / "big", 2147483648ull);
  const std::string code = "size? %" + (folder / "big").string();
  EXPECT_EQ(error_of(code.c_str()), error_id::script_type_limit);
  std::filesystem::resize_file(folder / "big", 2147483647ull);
  EXPECT_EQ(size_of("big"), "2147483647");
}

}  // namespace
}  // namespace tav
