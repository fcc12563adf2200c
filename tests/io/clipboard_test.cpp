// File lists as the clipboard carries them: text/uri-list written and read.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "io/clipboard.hpp"

namespace tav {
namespace {

TEST(ClipboardUriList, PathsArePercentEncodedBetweenLineEnds) {
  EXPECT_EQ(clipboard::uri_list({"/tmp/a b.txt", "/tmp/c.txt"}), "file:///tmp/a%20b.txt\r\nfile:///tmp/c.txt");
  EXPECT_EQ(clipboard::uri_list({"/x/é#%?~_-.Z9"}), "file:///x/%C3%A9%23%25%3F~_-.Z9");
  EXPECT_EQ(clipboard::uri_list({}), "");
}

TEST(ClipboardUriList, FileUrisAreDecodedAndTheRestSkipped) {
  struct row {
    const char* list;
    std::vector<std::string> paths;
  };
  const row rows[] = {
      {"file:///tmp/x%C3%A9\r\nfile:///tmp/c.txt\r\n", {"/tmp/x\xC3\xA9", "/tmp/c.txt"}},
      {"file:///a\nfile:///b", {"/a", "/b"}},
      {"# comment\r\n\r\nhttp://host/a\r\nfile:///kept", {"/kept"}},
      {"file://localhost/l\r\nfile://elsewhere/e\r\nfile:/one-slash\r\nfile:relative", {"/l", "/one-slash"}},
      {"file:///bad%zz%4\r\nfile:///end%", {"/bad%zz%4", "/end%"}},
      {"file:///%41%2f", {"/A/"}},
      {"", {}},
  };
  for (const row& r : rows) EXPECT_EQ(clipboard::paths_of(r.list), r.paths) << r.list;
}

TEST(ClipboardUriList, WrittenListsReadBack) {
  const std::vector<std::string> paths = {"/tmp/a b", "/r\xC3\xA9sum\xC3\xA9/%41", "/x\r\ny"};
  EXPECT_EQ(clipboard::paths_of(clipboard::uri_list(paths)), paths);
}

}  // namespace
}  // namespace tav
