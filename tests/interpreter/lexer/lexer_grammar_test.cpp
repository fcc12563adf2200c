// The lexer tables against the token grammar: every (state, class) cell of the transition
// table, the class of every byte with its flags, and the per-state and per-class tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "interpreter/lexer_tables.hpp"

namespace tav::lexer {
namespace {

// The grammar as written: state | name | rules, a rule being classes -> next state, rules
// separated by "; ", "any other class" covering the rest.
const char* const grammar[] = {
    R"(0 | start | blank LF control -> 0 start; ; -> 1 comment; " -> 2 string; % -> 6 file start; / -> 13 slash; # -> 16 sharp; 1-9 0 -> 23 integer; $ -> 36 money sign; E A-D F -> 40 hex letters; < -> 43 less; + - -> 47 sign; . -> 49 dot; ' : -> 51 quote or colon; at -> 57 ref; = -> 58 equal; end -> 66=end; } \ continuation illegal -> 67=ERROR; [ -> 68=[; ] -> 69=]; ( -> 70=(; ) -> 71=); { -> 72={; , -> 78=comma; any other class -> 52 word)",
    R"(1 | comment | illegal -> 67=ERROR; LF end -> 77=comment end; any other class -> 1 comment)",
    R"(2 | string | ^ -> 3 string escape; LF illegal end -> 67=ERROR; " -> 79=string; any other class -> 2 string)",
    R"(3 | string escape | illegal end -> 67=ERROR; any other class -> 2 string)",
    R"(4 | brace string | ^ -> 5 brace string escape; illegal end -> 67=ERROR; { -> 72={; } -> 73=}; any other class -> 4 brace string)",
    R"(5 | brace string escape | illegal end -> 67=ERROR; any other class -> 4 brace string)",
    R"(6 | file start | " -> 8 quoted file; % -> 9 percent signs; { -> 10 raw string body; : -> 54 quoted percent; illegal -> 67=ERROR; blank LF [ ] ( ) } ; at control end -> 80=word; any other class -> 7 file)",
    R"(7 | file | " illegal -> 67=ERROR; blank LF [ ] ( ) { } : ; at end -> 85=file; any other class -> 7 file)",
    R"(8 | quoted file | LF illegal end -> 67=ERROR; " -> 85=file; any other class -> 8 quoted file)",
    R"(9 | percent signs | % -> 9 percent signs; { -> 10 raw string body; illegal -> 67=ERROR; blank LF [ ] ( ) } " \ ; control end -> 80=word; any other class -> 7 file)",
    R"(10 | raw string body | } -> 11 raw string closing brace; illegal end -> 67=ERROR; any other class -> 10 raw string body)",
    R"(11 | raw string closing brace | } -> 11 raw string closing brace; % -> 12 raw string closing percents; illegal end -> 67=ERROR; any other class -> 10 raw string body)",
    R"(12 | raw string closing percents | % -> 12 raw string closing percents; blank LF [ ] ( ) { " < ; control end -> 100=raw string; any other class -> 67=ERROR)",
    R"(13 | slash | / -> 15 slash word; : -> 53 word colon; , illegal -> 67=ERROR; blank LF [ ] ( ) { } " # ; at control end -> 80=word; any other class -> 14 refinement)",
    R"(14 | refinement | : , illegal -> 67=ERROR; blank LF [ ] ( ) { } " / ; at control end -> 83=refinement; any other class -> 14 refinement)",
    R"(15 | slash word | / -> 15 slash word; % , $ illegal -> 67=ERROR; blank LF [ ] ( ) { } " # ; at control end -> 80=word; any other class -> 52 word)",
    R"(16 | sharp | { -> 17 binary; " -> 19 char; ( -> 21 construction; blank LF ] ) } : < > , illegal -> 67=ERROR; [ -> 74=#[; ; at control end -> 81=issue; any other class -> 22 issue)",
    R"(17 | binary | blank LF 1-9 0 x T h e E a-d f A-D F / = + word -> 17 binary; ; -> 18 binary comment; } -> 86=binary; any other class -> 67=ERROR)",
    R"(18 | binary comment | LF -> 17 binary; illegal end -> 67=ERROR; any other class -> 18 binary comment)",
    R"(19 | char | ^ -> 20 char escape; illegal end -> 67=ERROR; " -> 84=char; any other class -> 19 char)",
    R"(20 | char escape | illegal end -> 67=ERROR; any other class -> 19 char)",
    R"(21 | construction | illegal end -> 67=ERROR; ) -> 76=construction; any other class -> 21 construction)",
    R"(22 | issue | : / illegal -> 67=ERROR; blank LF [ ] ( ) { } " ; at control end -> 81=issue; any other class -> 22 issue)",
    R"(23 | integer | # -> 16 sharp; 1-9 0 ' -> 23 integer; . -> 24 decimal point; e -> 26 exponent; E -> 27 integer then E; T / - -> 30 date; : -> 31 time colon; x -> 33 pair x; A-D F -> 39 hex digits; h -> 42 digits then h; at -> 56 email; a-d f \ > = $ + ^ continuation word illegal -> 67=ERROR; % -> 87=percent; any other class -> 82=integer)",
    R"(24 | decimal point | 1-9 0 ' -> 25 decimal fraction; e E -> 26 exponent; # -> 28 special float; x -> 33 pair x; % -> 87=percent; blank LF [ ] ( ) { } " / < , ; control end -> 88=float; any other class -> 67=ERROR)",
    R"(25 | decimal fraction | 1-9 0 ' -> 25 decimal fraction; e E -> 26 exponent; . -> 29 tuple; x -> 33 pair x; at -> 56 email; # T h a-d f A-D F \ > = $ + - ^ continuation word illegal -> 67=ERROR; % -> 87=percent; any other class -> 88=float)",
    R"(26 | exponent | 1-9 0 + - -> 26 exponent; at -> 56 email; blank LF [ ] ( ) { } " : / < , ; control end -> 88=float; any other class -> 67=ERROR)",
    R"(27 | integer then E | + - -> 26 exponent; 1-9 0 -> 27 integer then E; . -> 29 tuple; E A-D F -> 40 hex letters; h -> 42 digits then h; at -> 56 email; # ' x T e a-d f \ > = ; $ ^ continuation word illegal -> 67=ERROR; % -> 87=percent; any other class -> 88=float)",
    R"(28 | special float | x T h e E a-d f A-D F > = . + - continuation word -> 28 special float; # ' : % at $ ^ illegal -> 67=ERROR; 1-9 -> 88=float; any other class -> 89=special float)",
    R"(29 | tuple | 1-9 0 . -> 29 tuple; blank LF [ ] ( ) { } " : / < ; control end -> 90=tuple; any other class -> 67=ERROR)",
    R"(30 | date | % , at ^ continuation illegal -> 67=ERROR; blank LF [ ] ( ) { } " < ; $ control end -> 91=date; any other class -> 30 date)",
    R"(31 | time colon | 1-9 0 -> 32 time; any other class -> 67=ERROR)",
    R"(32 | time | 1-9 0 : . -> 32 time; blank LF [ ] ( ) { } " / < ; control end -> 94=time; any other class -> 67=ERROR)",
    R"(33 | pair x | 1-9 0 + - -> 34 pair second; at -> 56 email; any other class -> 67=ERROR)",
    R"(34 | pair second | 1-9 0 e E . -> 34 pair second; at -> 56 email; blank LF [ ] ( ) { } " : / < ; control end -> 92=pair; any other class -> 67=ERROR)",
    R"(35 | point body | blank 1-9 0 ] # e E a-d f A-D F , . + - word -> 35 point body; ) -> 93=point; any other class -> 67=ERROR)",
    R"(36 | money sign | 1-9 0 -> 37 money digits; any other class -> 67=ERROR)",
    R"(37 | money digits | 1-9 0 ' -> 37 money digits; . -> 38 money fraction; blank LF [ ] ( ) { } " # : / < ; control end -> 95=money; any other class -> 67=ERROR)",
    R"(38 | money fraction | 1-9 0 ' -> 38 money fraction; blank LF [ ] ( ) { } " # : / < ; control end -> 95=money; any other class -> 67=ERROR)",
    R"(39 | hex digits | 1-9 0 E A-D F -> 39 hex digits; h -> 41 hex letters then h; at -> 56 email; any other class -> 67=ERROR)",
    R"(40 | hex letters | $ -> 37 money digits; 1-9 0 E A-D F -> 40 hex letters; h -> 41 hex letters then h; ' x T e a-d f < > = . + - ^ continuation word -> 52 word; : -> 53 word colon; at -> 56 email; % , illegal -> 67=ERROR; / -> 75=path slash; any other class -> 80=word)",
    R"(41 | hex letters then h | $ -> 37 money digits; : -> 53 word colon; at -> 56 email; # % , illegal -> 67=ERROR; / -> 75=path slash; blank LF [ ] ( ) { } " \ ; control end -> 99=hex integer; any other class -> 52 word)",
    R"(42 | digits then h | $ -> 37 money digits; at -> 56 email; / -> 75=path slash; blank LF [ ] ( ) { } " \ < ; control end -> 99=hex integer; any other class -> 67=ERROR)",
    R"(43 | less | < -> 43 less; ' -> 46 tag single quote; > = - -> 52 word; : -> 53 word colon; illegal -> 67=ERROR; blank LF [ ] ( ) { } " ; control end -> 80=word; any other class -> 44 tag)",
    R"(44 | tag | " -> 45 tag double quote; ' -> 46 tag single quote; illegal end -> 67=ERROR; > -> 96=tag; any other class -> 44 tag)",
    R"(45 | tag double quote | " -> 44 tag; illegal end -> 67=ERROR; any other class -> 45 tag double quote)",
    R"(46 | tag single quote | ' -> 44 tag; illegal end -> 67=ERROR; any other class -> 46 tag single quote)",
    R"(47 | sign | 1-9 0 -> 23 integer; $ -> 37 money digits; . -> 49 dot; ' % ^ illegal -> 67=ERROR; / -> 75=path slash; blank LF [ ] ( ) { } " # \ ; control end -> 80=word; any other class -> 52 word)",
    R"(48 | quoted sign | ' % $ ^ illegal -> 67=ERROR; / -> 75=path slash; blank LF [ ] ( ) { } " # \ ; control end -> 80=word; any other class -> 52 word)",
    R"(49 | dot | 1-9 0 + - -> 50 dot digits; : -> 53 word colon; at -> 56 email; % , $ illegal -> 67=ERROR; / -> 75=path slash; blank LF [ ] ( ) { } " # \ ; control end -> 80=word; any other class -> 52 word)",
    R"(50 | dot digits | x -> 33 pair x; 1-9 0 e E + - -> 50 dot digits; at -> 56 email; % -> 87=percent; blank LF [ ] ( ) { } " : / < control end -> 88=float; any other class -> 67=ERROR)",
    R"(51 | quote or colon | / -> 13 slash; < -> 43 less; + - -> 48 quoted sign; x T h e E a-d f A-D F > . ^ continuation word -> 52 word; % -> 54 quoted percent; = -> 58 equal; any other class -> 67=ERROR)",
    R"(52 | word | $ -> 36 money sign; : -> 53 word colon; at -> 56 email; % , illegal -> 67=ERROR; / -> 75=path slash; blank LF [ ] ( ) { } " # \ < ; control end -> 80=word; any other class -> 52 word)",
    R"(53 | word colon | < illegal -> 67=ERROR; blank LF [ ] ( ) { } " \ ; control end -> 80=word; any other class -> 55 url)",
    R"(54 | quoted percent | % -> 54 quoted percent; blank LF [ ] ( ) { } \ ; control end -> 80=word; any other class -> 67=ERROR)",
    R"(55 | url | > ^ illegal -> 67=ERROR; blank LF [ ] ( ) { } " \ < ; control end -> 97=url; any other class -> 55 url)",
    R"(56 | email | 1-9 0 x T h e E a-d f A-D F % . + - continuation word -> 56 email; # ' : > = , at $ ^ illegal -> 67=ERROR; any other class -> 98=email)",
    R"(57 | ref | # ' \ > = , at $ ^ illegal -> 67=ERROR; blank LF [ ] ( ) { } " < ; control end -> 101=ref; any other class -> 57 ref)",
    R"(58 | equal | # % , at $ illegal -> 67=ERROR; / -> 75=path slash; blank LF [ ] ( ) { } " : \ ; control end -> 80=word; any other class -> 52 word)",
    R"(59 | path element start | " -> 2 string; $ -> 36 money sign; < -> 43 less; at -> 57 ref; 1-9 0 -> 60 path integer; ' : -> 61 path quote or colon; x T h e E a-d f A-D F > = . continuation word -> 62 path word; # -> 63 path sharp; + - -> 64 path sign; ( -> 70=(; ) -> 71=); any other class -> 67=ERROR)",
    R"(60 | path integer | . -> 24 decimal point; e E -> 26 exponent; x -> 33 pair x; at -> 56 email; 1-9 0 ' -> 60 path integer; blank LF [ ] ( ) { } " : / < ; control end -> 82=integer; % -> 87=percent; any other class -> 67=ERROR)",
    R"(61 | path quote or colon | x T h e E a-d f A-D F < > = . + - continuation word -> 62 path word; any other class -> 67=ERROR)",
    R"(62 | path word | $ -> 36 money sign; at -> 56 email; # % , illegal -> 67=ERROR; blank LF [ ] ( ) { } " : / \ ; control end -> 80=word; any other class -> 62 path word)",
    R"(63 | path sharp | " -> 19 char; [ -> 21 construction; blank LF ] ( ) { } : / < > = , ; at control illegal end -> 67=ERROR; any other class -> 22 issue)",
    R"(64 | path sign | $ -> 36 money sign; at -> 56 email; 1-9 0 -> 60 path integer; x T h e E a-d f A-D F > = . continuation word -> 62 path word; + - -> 64 path sign; # ' < % , ^ illegal -> 67=ERROR; any other class -> 80=word)",
};

// Class names as the grammar uses them.
const std::map<std::string, int> class_by_name = {
    {"blank", 0}, {"LF", 1},  {"1-9", 2},  {"0", 3},   {"[", 4},   {"]", 5},    {"(", 6},
    {")", 7},     {"{", 8},   {"}", 9},    {"\"", 10}, {"#", 11},  {"'", 12},   {":", 13},
    {"x", 14},    {"T", 15},  {"h", 16},   {"e", 17},  {"E", 18},  {"a-d", 19}, {"f", 19},
    {"A-D", 20},  {"F", 20},  {"/", 21},   {"\\", 22}, {"<", 23},  {">", 24},   {"=", 25},
    {"%", 26},    {",", 27},  {";", 28},   {"at", 29}, {".", 30},  {"$", 31},   {"+", 32},
    {"-", 33},    {"^", 34},  {"control", 35}, {"continuation", 36}, {"word", 37}, {"illegal", 38},
    {"end", 39},
};

struct parsed_row {
  int state;
  std::string name;
  int next[40];
};

// A target is "N name words" or "N=token"; a token ending in ';' closes the rule, while a
// lone ";" among the classes is the semicolon class.
parsed_row parse_row(const std::string& line) {
  parsed_row row{};
  size_t bar1 = line.find(" | "), bar2 = line.find(" | ", bar1 + 3);
  row.state = std::stoi(line.substr(0, bar1));
  row.name = line.substr(bar1 + 3, bar2 - bar1 - 3);
  std::istringstream words(line.substr(bar2 + 3));
  std::vector<std::string> tokens;
  for (std::string w; words >> w;) tokens.push_back(w);
  for (int& n : row.next) n = -1;
  int other = -1;
  size_t i = 0;
  while (i < tokens.size()) {
    std::vector<int> classes;
    bool any_other = false;
    while (tokens.at(i) != "->") {
      if (tokens[i] == "any") {
        any_other = true;
        i += 3;
        continue;
      }
      auto found = class_by_name.find(tokens[i]);
      if (found == class_by_name.end()) ADD_FAILURE() << "unknown class " << tokens[i] << " in state " << row.state;
      else classes.push_back(found->second);
      ++i;
    }
    ++i;
    int target = std::stoi(tokens.at(i));
    while (tokens[i].back() != ';' && i + 1 < tokens.size()) ++i;
    ++i;
    if (any_other) other = target;
    for (int c : classes) {
      EXPECT_TRUE(row.next[c] == -1 || row.next[c] == target) << "state " << row.state << " class " << c;
      row.next[c] = target;
    }
  }
  for (int& n : row.next)
    if (n == -1) n = other;
  return row;
}

TEST(LexerGrammar, EveryTransitionFollowsTheGrammar) {
  ASSERT_EQ(std::size(grammar), lex_state_count);
  for (const char* line : grammar) {
    parsed_row row = parse_row(line);
    ASSERT_GE(row.state, 0);
    ASSERT_LT(row.state, 65);
    EXPECT_EQ(row.name, lex_state_names[row.state]);
    for (int c = 0; c < 40; ++c) {
      ASSERT_NE(row.next[c], -1) << "state " << row.state << " class " << c << " has no rule";
      EXPECT_EQ(lex_transitions[row.state][c], row.next[c])
          << "state " << row.state << " (" << row.name << "), class " << c;
    }
  }
}

struct class_members {
  int cls;
  std::string bytes;
};

std::string range(int low, int high) {
  std::string s;
  for (int b = low; b <= high; ++b) s.push_back(static_cast<char>(b));
  return s;
}

TEST(LexerGrammar, EveryByteHasItsClassAndFlags) {
  const class_members classes[] = {
      {0, "\t\r "},  {1, "\n"},   {2, "123456789"}, {3, "0"},    {4, "["},   {5, "]"},   {6, "("},
      {7, ")"},      {8, "{"},    {9, "}"},         {10, "\""},  {11, "#"},  {12, "'"},  {13, ":"},
      {14, "Xx"},    {15, "T"},   {16, "h"},        {17, "e"},   {18, "E"},  {19, "abcdf"}, {20, "ABCDF"},
      {21, "/"},     {22, "\\"},  {23, "<"},        {24, ">"},   {25, "="},  {26, "%"},  {27, ","},
      {28, ";"},     {29, "@"},   {30, "."},        {31, "$"},   {32, "+"},  {33, "-"},  {34, "^"},
      {35, range(1, 8) + "\x0B\x0C" + range(0x0E, 0x1F)},
      {36, range(0x7F, 0xBF)},
      {37, "!&*?_`|~" + range('G', 'S') + range('U', 'W') + "YZg" + range('i', 'w') + "yz" + range(0xC2, 0xF7)},
      {38, "\xC0\xC1" + range(0xF8, 0xFF)},
      {39, std::string(1, '\0')},
  };
  int seen[256] = {};
  for (const class_members& m : classes) {
    for (char ch : m.bytes) {
      uint8_t b = static_cast<uint8_t>(ch);
      ++seen[b];
      EXPECT_EQ(lex_classes[b] & 0xFF, static_cast<uint32_t>(m.cls)) << "byte " << int{b};
    }
  }
  for (int b = 0; b < 256; ++b) EXPECT_EQ(seen[b], 1) << "byte " << b << " must be in exactly one class";

  std::map<int, uint32_t> flags = {{0, 0x00400000}, {'#', 0x00800000}, {'%', 0x00040000}, {'\'', 0x02000000},
                                   {'+', 0x00200000}, {'-', 0x00200000}, {',', 0x08000000}, {'.', 0x10000000},
                                   {':', 0x04000000}, {'<', 0x00100000}, {'>', 0x00080000}, {'e', 0x01000000},
                                   {'E', 0x01000000}, {'^', 0x20000000}};
  for (int b = 0xC2; b <= 0xEF; ++b) flags[b] = 0x40000000;
  for (int b = 0xF0; b <= 0xF7; ++b) flags[b] = 0x80000000;
  for (int b = 0; b < 256; ++b) {
    uint32_t expected = flags.count(b) ? flags[b] : 0;
    EXPECT_EQ(lex_classes[b] & 0xFFFFFF00u, expected) << "flags of byte " << b;
  }
}

TEST(LexerGrammar, StateAndClassTables) {
  // Datatype ids by state: the inner states, then the terminals.
  const std::pair<int, std::vector<int>> inner[] = {
      {7, {2, 3, 4, 5, 10, 11, 12}}, {8, {6, 7, 8, 9}},
      {15, {13, 15, 41, 47, 48, 49, 51, 52, 54, 58, 61, 62, 64}}, {19, {14}}, {20, {16, 22, 63}}, {41, {17}},
      {10, {19, 20}}, {11, {23, 40, 42, 60}}, {12, {24, 25, 26, 27, 28, 50}}, {39, {29}}, {47, {30}},
      {43, {31, 32}}, {37, {33, 34}}, {51, {35}}, {49, {36, 37, 38}}, {44, {43, 44, 45, 46}}, {16, {53}},
      {9, {55}}, {45, {56}}, {50, {57}}, {25, {59}}, {0, {0, 1, 18, 21, 39}}};
  int covered = 0;
  for (const auto& [type, states] : inner) {
    for (int s : states) {
      EXPECT_EQ(lex_types[s], type) << "state " << s;
      ++covered;
    }
  }
  EXPECT_EQ(covered, 65);
  const int terminal_types[36] = {0,  34, 0,  0,  0,  0,  0,  7,  0,  0,  0,  0,  0,  7,  15, 20, 11, 19,
                                  10, 8,  41, 38, 12, 12, 39, 47, 37, 51, 43, 49, 44, 9,  45, 11, 7,  50};
  for (int t = 0; t < 36; ++t) EXPECT_EQ(lex_types[66 + t], terminal_types[t]) << "terminal " << 66 + t;

  for (uint32_t s = 0; s < lex_table_states; ++s) EXPECT_EQ(lex_skip[s], s == 0 ? 1 : 0) << "state " << s;
  const int path_end_classes[] = {0, 1, 4, 5, 6, 7, 8, 10, 13, 23, 28, 37, 38, 39};
  for (int c = 0; c < 40; ++c) {
    EXPECT_EQ(lex_lines[c], c == 1 ? 1 : 0) << "class " << c;
    bool ends = std::find(std::begin(path_end_classes), std::end(path_end_classes), c) != std::end(path_end_classes);
    EXPECT_EQ(lex_path_end[c], ends ? 1 : 0) << "class " << c;
  }
}

}  // namespace
}  // namespace tav::lexer
