// file!, url!, tag! and email!: registration, text forms and escapes, URLs from blocks and
// paths, percent-coding of cells, email parts by path, and the local form of files.
#include <unistd.h>

#include <functional>

#include "datatypes/any_string.hpp"
#include "datatypes/scalar_support.hpp"
#include "runtime/fire_helpers.hpp"
#include "text_fixture.hpp"

namespace tav {
namespace {

using testing::fired_by;
using testing::formed;
using testing::molded;
using testing::text_of;
using testing::texts::block_of_values;
using testing::texts::character;
using testing::texts::integer;
using testing::texts::text_value;
using testing::texts::whole_text;
using TextTypes = testing::text_values;

erased_handler handler(uint8_t type, action_slot slot) {
  return datatype::action_table[type * datatype::row_stride + static_cast<uint32_t>(slot) - 1];
}

template <class F>
erased_handler erased(F* function) {
  return reinterpret_cast<erased_handler>(function);
}

TEST_F(TextTypes, RegistrationOwnInheritedAndRefused) {
  using enum action_slot;
  struct row {
    uint8_t type;
    action_slot slot;
    erased_handler expected;
  };
  for (const row& r : {
           row{TYPE_URL, make, erased(&url::make)},
           row{TYPE_URL, to, erased(&url::to)},
           row{TYPE_URL, mold, erased(&url::mold)},
           row{TYPE_URL, form, erased(&string::form)},
           row{TYPE_URL, eval_path, erased(&url::eval_path)},
           row{TYPE_URL, find, erased(&string::find)},
           row{TYPE_URL, read, erased(&url::read)},
           row{TYPE_URL, reflect, nullptr},
           row{TYPE_URL, delete_, nullptr},
           row{TYPE_FILE, make, erased(&url::make)},
           row{TYPE_FILE, eval_path, erased(&url::eval_path)},
           row{TYPE_FILE, mold, erased(&file::mold)},
           row{TYPE_FILE, read, erased(&file::read)},
           row{TYPE_FILE, rename, erased(&file::rename)},
           row{TYPE_FILE, open, nullptr},
           row{TYPE_FILE, take, erased(&string::take)},
           row{TYPE_TAG, form, erased(&tag::form)},
           row{TYPE_TAG, make, erased(&string::make)},
           row{TYPE_TAG, eval_path, erased(&string::eval_path)},
           row{TYPE_TAG, reflect, handler(TYPE_SERIES, reflect)},
           row{TYPE_TAG, read, nullptr},
           row{TYPE_EMAIL, mold, erased(&email::mold)},
           row{TYPE_EMAIL, form, erased(&string::form)},
           row{TYPE_EMAIL, eval_path, erased(&email::eval_path)},
           row{TYPE_EMAIL, append, erased(&string::insert)},
           row{TYPE_EMAIL, random, nullptr},
           row{TYPE_EMAIL, add, nullptr},
       }) {
    EXPECT_EQ(handler(r.type, r.slot), r.expected)
        << describe_type(r.type).name << " " << describe_action(static_cast<uint32_t>(r.slot)).word;
  }
}

TEST_F(TextTypes, TextForms) {
  struct row {
    cell value;
    const char* mold;
    const char* form;
  };
  for (const row& r : {
           row{text_value("a b", TYPE_FILE), "%\"a b\"", "a b"},
           row{text_value("", TYPE_FILE), "%\"\"", ""},
           row{text_value("dir/x.txt", TYPE_FILE), "%dir/x.txt", "dir/x.txt"},
           row{text_value("caf\xC3\xA9", TYPE_FILE), "%caf\xC3\xA9", "caf\xC3\xA9"},
           row{text_value("say \"hi\" ^", TYPE_FILE), "%\"say ^(22)hi^(22) ^^\"", "say \"hi\" ^"},
           row{text_value("a^b", TYPE_FILE), "%\"a^^b\"", "a^b"},
           row{text_value("xa b", TYPE_FILE, 1), "%\"a b\"", "a b"},
           row{text_value("http://h/a b?\xC3\xA9", TYPE_URL), "http://h/a%20b?%C3%A9", "http://h/a b?\xC3\xA9"},
           row{text_value("a", TYPE_TAG), "<a>", "<a>"},
           row{text_value("a@b.c", TYPE_EMAIL), "a@b.c", "a@b.c"},
       }) {
    EXPECT_EQ(molded(r.value), r.mold);
    EXPECT_EQ(formed(r.value), r.form);
  }
}

TEST_F(TextTypes, TextFormsWithAPart) {
  auto mold_part = [](cell value, int32_t limit) {
    return text_of(testing::call_entry(actions::entry::mold, {value, integer(limit)}, {-1, -1, -1, 1}));
  };
  EXPECT_EQ(mold_part(text_value("abcdef", TYPE_FILE), 3), "%ab");
  EXPECT_EQ(mold_part(text_value("a b", TYPE_URL), 4), "a%20");
  EXPECT_EQ(mold_part(text_value("abcdef", TYPE_TAG), 3), "<ab");
  cell value = text_value("abcdef", TYPE_TAG);
  cell buffer = unset::value;
  text::make_at(buffer, 8);
  cell part = integer(10);
  EXPECT_EQ(tag::form(&value, &buffer, &part, 10), 2) << "the brackets take two of the budget";
  value = text_value("abc", TYPE_FILE);
  text::make_at(buffer, 8);
  EXPECT_EQ(file::mold(&value, &buffer, false, false, false, nullptr, 10, 0), 6);
}

cell converted(uint8_t type, cell spec, bool make = false) {
  cell prototype = testing::datatype_cell(type);
  return make ? *actions::make(&prototype, &spec) : *actions::to(&prototype, &spec);
}

TEST_F(TextTypes, UrlsFromBlocks) {
  cell issue = unset::value;
  issue::make_at(issue, "top");
  struct row {
    cell spec;
    const char* expected;
  };
  for (const row& r : {
           row{block_of_values({testing::global_word("http"), testing::global_word("example"), integer(8080),
                                testing::global_word("a"), testing::global_word("b")}),
               "http://example:8080/a/b"},
           row{block_of_values({testing::global_word("ftp"), text_value("h.org"), text_value("x y"), issue}),
               "ftp://h.org/x%20y#top"},
           row{block_of_values({testing::global_word("http"), text_value("h")}), "http://h"},
           row{block_of_values({testing::global_word("mailto")}), "mailto://"},
       }) {
    cell made = converted(TYPE_URL, r.spec);
    EXPECT_EQ(made.type(), TYPE_URL);
    EXPECT_EQ(molded(made), r.expected);
    EXPECT_EQ(molded(converted(TYPE_URL, r.spec, true)), r.expected);
  }
  EXPECT_EQ(fired_by([] { converted(TYPE_URL, block_of_values({})); }), error_id::script_bad_to_arg);
  cell file = converted(TYPE_FILE, block_of_values({text_value("a"), integer(1)}));
  EXPECT_EQ(file.type(), TYPE_FILE);
  EXPECT_EQ(text_of(file), "a1") << "a file from a block is text";
  EXPECT_EQ(text_of(converted(TYPE_URL, text_value("http://x"))), "http://x");
}

TEST_F(TextTypes, UrlPathsAddOneSlash) {
  cell page = testing::global_word("page");
  context::set(page, text_value("p.html"));
  cell page_get = page;
  set_type(page_get, TYPE_GET_WORD);
  struct row {
    const char* url;
    cell element;
    const char* expected;
  };
  for (const row& r : {
           row{"http://a/b", testing::global_word("c"), "http://a/b/c"},
           row{"http://a/b/", testing::global_word("c"), "http://a/b/c"},
           row{"http://a/b/", text_value("/c"), "http://a/b/c"},
           row{"http://a/b", text_value("/c"), "http://a/b/c"},
           row{"http://a", integer(2), "http://a/2"},
           row{"http://a", page_get, "http://a/p.html"},
       }) {
    cell parent = text_value(r.url, TYPE_URL);
    cell element = r.element;
    cell* got = url::eval_path(&parent, &element, nullptr, nullptr, nullptr, nullptr, 0, false, true, true, false);
    EXPECT_EQ(got->type(), TYPE_URL);
    EXPECT_EQ(text_of(*got), r.expected);
  }
  cell parent = text_value("http://a", TYPE_URL);
  cell element = testing::global_word("c");
  cell value = text_value("x");
  EXPECT_EQ(fired_by([&] {
              url::eval_path(&parent, &element, &value, nullptr, nullptr, nullptr, 0, false, false, true, false);
            }),
            error_id::script_bad_path_set);
  EXPECT_EQ(whole_text(parent), "http://a");
}

TEST_F(TextTypes, PercentCodingOfCells) {
  struct row {
    const char* encoded;
    const char* decoded;
  };
  for (const row& r : {row{"%C3%A9", "\xC3\xA9"}, row{"%C3x", "%C3x"}, row{"a%20b%2", "a b%2"},
                       row{"%e2%82%ac!", "\xE2\x82\xAC!"}}) {
    cell out = unset::value;
    text::make_at(out, 4);
    url::decode(text_value(r.encoded), out);
    EXPECT_EQ(text_of(out), r.decoded) << r.encoded;
  }
  cell out = unset::value;
  text::make_at(out, 4);
  url::encode(text_value("a b/c"), out, url::url_mode);
  EXPECT_EQ(text_of(out), "a%20b/c");
  text::make_at(out, 4);
  text::append_char(out, 0x20AC);  // a wide output takes the encoded text too
  url::encode(text_value("a/\xC3\xA9"), out, url::strict_mode);
  EXPECT_EQ(text_of(out), "\xE2\x82\xAC" "a%2F%C3%A9");

  const char raw[] = "http://h/%41%20b";
  cell* loaded = url::load(reinterpret_cast<const uint8_t*>(raw), sizeof raw - 1, string::encoding::utf8);
  EXPECT_EQ(loaded->type(), TYPE_URL);
  EXPECT_EQ(text_of(*loaded), "http://h/A b");
  cell* file = file::load(reinterpret_cast<const uint8_t*>("a%20b"), 5, string::encoding::utf8);
  EXPECT_EQ(file->type(), TYPE_FILE);
  EXPECT_EQ(text_of(*file), "a%20b");
}

TEST_F(TextTypes, EmailParts) {
  auto get = [](cell email, cell element) {
    return *email::eval_path(&email, &element, nullptr, nullptr, nullptr, nullptr, 0, false, true, true, false);
  };
  cell e = text_value("a@b.c", TYPE_EMAIL);
  cell user = testing::global_word("user"), host = testing::global_word("HOST");
  EXPECT_EQ(get(e, user).type(), TYPE_STRING);
  EXPECT_EQ(text_of(get(e, user)), "a");
  EXPECT_EQ(text_of(get(e, host)), "b.c");
  EXPECT_EQ(text_of(get(text_value("xa@b@c", TYPE_EMAIL, 1), host)), "b@c");
  EXPECT_EQ(text_of(get(text_value("nobody", TYPE_EMAIL), user)), "nobody");
  EXPECT_EQ(text_of(get(text_value("nobody", TYPE_EMAIL), host)), "");
  EXPECT_EQ(get(e, integer(2)).payload2, uint32_t{'@'});

  cell value = text_value("jo");
  cell parent = e;
  email::eval_path(&parent, &user, &value, nullptr, nullptr, nullptr, 0, false, false, true, false);
  EXPECT_EQ(whole_text(e), "jo@b.c");
  value = testing::global_word("example");
  parent = e;
  email::eval_path(&parent, &host, &value, nullptr, nullptr, nullptr, 0, false, false, true, false);
  EXPECT_EQ(whole_text(e), "jo@example");

  cell other = testing::global_word("domain");
  EXPECT_EQ(fired_by([&] { get(e, other); }), error_id::script_invalid_path);
  EXPECT_EQ(fired_by([&] { get(e, text_value("user")); }), error_id::script_invalid_path);
}

TEST_F(TextTypes, LocalFilesArePosixPaths) {
  cell out = unset::value;
  text::make_at(out, 16);
  file::to_local_path(text_value("/c/dir/x.txt", TYPE_FILE), out, true);
  EXPECT_EQ(text_of(out), "/c/dir/x.txt") << "an absolute path stays as it is";

  char directory[4096];
  ASSERT_NE(getcwd(directory, sizeof directory), nullptr);
  std::string cwd = directory;
  if (cwd.back() != '/') cwd += '/';
  text::make_at(out, 16);
  file::to_local_path(text_value("dir/x", TYPE_FILE), out, true);
  EXPECT_EQ(text_of(out), cwd + "dir/x");
  text::make_at(out, 16);
  file::to_local_path(text_value("dir/x", TYPE_FILE), out, false);
  EXPECT_EQ(text_of(out), "dir/x");
  EXPECT_EQ(text_of(*file::get_current_dir()), cwd);

  cell name = text_value("x/caf\xC3\xA9", TYPE_FILE, 2);
  EXPECT_STREQ(file::to_os_path(name), "caf\xC3\xA9");

  cell windows = text_value("a\\b\\c");
  file::normalize_slashes(windows);
  EXPECT_EQ(text_of(windows), "a/b/c");
}

TEST_F(TextTypes, ComparedAsText) {
  cell file = text_value("Abc", TYPE_FILE);
  cell string = text_value("abc");
  cell url = text_value("abc", TYPE_URL);
  EXPECT_TRUE(actions::compare(&file, &string, actions::op::equal));
  EXPECT_FALSE(actions::compare(&file, &string, actions::op::strict_equal));
  EXPECT_TRUE(actions::compare(&url, &file, actions::op::equal));
  cell other = text_value("abd", TYPE_FILE);
  EXPECT_TRUE(actions::compare(&file, &other, actions::op::lesser));
}

// Files reach the file services (tested with real files elsewhere); URLs of schemes other than
// http wait for the URL parser that leads to their ports (tested with real schemes in the script
// tests), and what no service does is refused.
TEST_F(TextTypes, InputAndOutputWaitForTheirServices) {
  const url::url_parser connected = url::parse_url;
  url::parse_url = nullptr;
  cell file = text_value("x", TYPE_FILE);
  cell url = text_value("ftp://x", TYPE_URL);
  cell data = text_value("d");
  cell encoding = text_value("utf8");
  for (auto body : std::initializer_list<std::function<void()>>{
           [&] { actions::read(&file, nullptr, nullptr, false, false, false, &encoding); },
           [&] { actions::write(&file, &data, false, false, false, false, nullptr, nullptr, &data, nullptr); },
           [&] { actions::write(&file, &data, false, false, false, false, nullptr, nullptr, nullptr, &encoding); },
           [&] { actions::read(&url, nullptr, nullptr, false, false, false, nullptr); },
           [&] { actions::write(&url, &data, false, false, false, false, nullptr, nullptr, nullptr, nullptr); },
           [&] { actions::open(&url, false, false, false, false, nullptr); },
       }) {
    EXPECT_EQ(fired_by(body), error_id::internal_not_done);
  }
  EXPECT_EQ(fired_by([&] { actions::open(&file, false, false, false, false, nullptr); }), error_id::script_expect_arg);
  EXPECT_EQ(fired_by([&] { actions::rename(&file, &data); }), error_id::script_invalid_arg);
  url::parse_url = connected;
}

// What reaches the HTTP client: the method, the headers and the data a write names.
struct recorded_request {
  std::string method, headers, data;
  bool answer = true;
};
recorded_request last_request;

bool record_request(cell&, const cell& method, const cell* headers, const cell* data, bool, bool, bool,
                    cell& result) {
  last_request.method = molded(method);
  last_request.headers = headers ? molded(*headers) : "-";
  last_request.data = data ? molded(*data) : "-";
  result = none::value;
  return last_request.answer;
}

TEST_F(TextTypes, UrlReadsAndWritesChooseTheirRequest) {
  cell http = text_value("HTTPS://x", TYPE_URL);
  cell ftp = text_value("ftp://x", TYPE_URL);
  cell one = scalar::integer(1);
  auto write = [&](cell& url, cell data, cell* seek = nullptr) {
    actions::write(&url, &data, false, false, false, false, nullptr, seek, nullptr, nullptr);
  };
  const cell post = scalar_support::word_named("post");
  const cell put = scalar_support::word_named("put");
  // Refused refinements, other schemes and bad data come before any request.
  const url::url_parser connected = url::parse_url;
  url::parse_url = nullptr;
  EXPECT_EQ(fired_by([&] { actions::read(&ftp, nullptr, nullptr, false, false, false, nullptr); }),
            error_id::internal_not_done);
  EXPECT_EQ(fired_by([&] { actions::read(&http, &one, nullptr, false, false, false, nullptr); }),
            error_id::internal_not_done);
  EXPECT_EQ(fired_by([&] { write(http, text_value("d"), &one); }), error_id::internal_not_done);
  EXPECT_EQ(fired_by([&] { write(ftp, text_value("d")); }), error_id::internal_not_done);
  url::parse_url = connected;
  for (const cell& bad : {one, block_of_values({}), block_of_values({one}), block_of_values({put, one}),
                          block_of_values({put, block_of_values({}), one})})
    EXPECT_EQ(fired_by([&] { write(http, bad); }), error_id::script_invalid_arg) << molded(bad);

  url::http_request = record_request;
  const struct {
    cell data;
    const char* method;
    const char* headers;
    const char* body;
  } cases[] = {
      {text_value("d"), "post", "-", "\"d\""},
      {none::value, "post", "-", "-"},
      {block_of_values({put}), "put", "-", "-"},
      {block_of_values({put, block_of_values({post}), text_value("d")}), "put", "[post]", "\"d\""},
  };
  for (const auto& c : cases) {
    write(http, c.data);
    EXPECT_EQ(last_request.method, c.method);
    EXPECT_EQ(last_request.headers, c.headers);
    EXPECT_EQ(last_request.data, c.body);
  }
  actions::read(&http, nullptr, nullptr, false, false, false, nullptr);
  EXPECT_EQ(last_request.method, "get");
  last_request.answer = false;
  EXPECT_EQ(fired_by([&] { actions::read(&http, nullptr, nullptr, false, false, false, nullptr); }),
            error_id::access_no_connect);
  url::http_request = nullptr;
}

}  // namespace
}  // namespace tav
