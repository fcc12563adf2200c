// to-local-file/full against a known current folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <string>

#include "interpreter/evaluation_fixture.hpp"

namespace tav {
namespace {

class ConversionNatives : public testing::evaluation {
 protected:
  void SetUp() override {
    evaluation::SetUp();
    ASSERT_NE(getcwd(saved, sizeof saved), nullptr);
    ASSERT_EQ(chdir("/tmp"), 0);
  }
  void TearDown() override {
    EXPECT_EQ(chdir(saved), 0);
    evaluation::TearDown();
  }
  char saved[PATH_MAX]{};
};

TEST_F(ConversionNatives, ToLocalFileFullPrefixesTheCurrentFolderToRelativePaths) {
  expect_results({
      {"to-local-file/full %a.txt", "\"/tmp/a.txt\""},
      {"to-local-file/full %x/y", "\"/tmp/x/y\""},
      {"to-local-file/full %/x", "\"/x\""},
      {"to-local-file/full \"b\"", "\"/tmp/b\""},
      {"to-local-file %a.txt", "\"a.txt\""},
  });
}

}  // namespace
}  // namespace tav
