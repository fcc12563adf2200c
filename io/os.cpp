// Command line, environment and operating-system information: the process's arguments as one
// text, the environment as a map!, the argument type check and the os-info object.
#include "io/os.hpp"

#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>

#include "datatypes/block.hpp"
#include "datatypes/context.hpp"
#include "datatypes/map.hpp"
#include "datatypes/object.hpp"
#include "datatypes/string.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/tuple.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "runtime/collector.hpp"
#include "runtime/errors.hpp"
#include "runtime/platform.hpp"
#include "runtime/series.hpp"
#include "runtime/unicode.hpp"

extern char** environ;

namespace tav::os {
namespace {

constexpr int32_t environment_room = 100;

bool utf8_text_p(const uint8_t* bytes, size_t length) {
  uint32_t state = unicode::utf8_accept;
  for (size_t i = 0; i < length; ++i) {
    state = unicode::utf8_dfa[256 + state + unicode::utf8_dfa[bytes[i]]];
    if (state == unicode::utf8_reject) return false;
  }
  return state == unicode::utf8_accept;
}

// The environment's entries alternate name and value in the block, as a map is made from.
void append_entry(cell& block, const char* entry) {
  const char* equal = *entry ? std::strchr(entry + 1, '=') : nullptr;
  const size_t name_length = equal ? static_cast<size_t>(equal - entry) : std::strlen(entry);
  cell text;
  load_text(entry, name_length, text);
  block::append_cell(block, text);
  const char* value = equal ? equal + 1 : entry + name_length;
  load_text(value, std::strlen(value), text);
  block::append_cell(block, text);
}

cell field_word(const char* name) { return word::make_cell(TYPE_WORD, 0, symbol::make(name), static_cast<int32_t>(word::unresolved)); }

void add_field(const cell& object, const char* name, const cell& value) {
  const cell copy = value;
  context::add_with(object::context_of(object), field_word(name), copy);
}

std::string read_file(const char* path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

std::string quote_argument(const char* argument) {
  if (*argument && !std::strpbrk(argument, " \t")) return argument;
  return std::string("\"") + argument + "\"";
}

std::string join_arguments(int count, char* const* arguments) {
  std::string line;
  for (int i = 0; i < count && arguments && arguments[i]; ++i) {
    if (i) line += ' ';
    line += quote_argument(arguments[i]);
  }
  return line;
}

void get_command_line(cell& target) {
  const std::string line = join_arguments(system_state.argument_count, system_state.arguments);
  load_text(line.data(), line.size(), target);
}

void load_text(const char* bytes, size_t length, cell& target) {
  const auto* raw = reinterpret_cast<const uint8_t*>(bytes);
  if (utf8_text_p(raw, length)) {
    string::load_at(raw, length, &target, string::encoding::utf8);
    return;
  }
  string::ts_make_at(target, static_cast<uint32_t>(length));
  for (size_t i = 0; i < length; ++i) string::append_char(buffer_of(target.payload2), raw[i]);
}

// The map is rooted while it is filled: found on the machine stack alone, its table's arrays
// would not be kept.
void environment_map_of(char* const* entries, cell& target) {
  cell pairs = none::value, map = none::value;
  collector::scoped_root pairs_root(&pairs), map_root(&map);
  block::make_at(pairs, environment_room);
  for (char* const* entry = entries; entry && *entry; ++entry) append_entry(pairs, *entry);
  map::make_at(map, 0, std::max<uint32_t>(buffer_of(pairs.payload2)->count(), 2));
  map::extend(&map, pairs, true);
  target = map;
}

void environment_map(cell& target) { environment_map_of(environ, target); }

void check_arg_type(const cell& value, uint8_t type) {
  if (value.type() != type) fire(error_id::script_invalid_arg, value);
}

const char* arch_of_machine(const char* machine) {
  if (std::strcmp(machine, "x86_64") == 0) return "x86-64";
  if (std::strcmp(machine, "aarch64") == 0) return "ARM64";
  if (std::strlen(machine) == 4 && machine[0] == 'i' && machine[1] >= '3' && machine[1] <= '6' &&
      std::strcmp(machine + 2, "86") == 0)
    return "x86-32";
  if (std::strncmp(machine, "arm", 3) == 0) return "ARM";
  if (std::strcmp(machine, "ia64") == 0) return "IA-64";
  return "Unknown";
}

void parse_release(const char* release, uint8_t version[3]) {
  const char* p = release;
  for (int part = 0; part < 3; ++part) {
    uint32_t n = 0;
    bool digits = false;
    for (; *p >= '0' && *p <= '9'; ++p, digits = true) n = std::min<uint32_t>(n * 10 + static_cast<uint32_t>(*p - '0'), 255);
    version[part] = static_cast<uint8_t>(n);
    // Parts end at the first text that is no ".digit": "6.1-rc2" gives 6.1.0.
    if (!digits || *p != '.' || p[1] < '0' || p[1] > '9') {
      for (int rest = part + 1; rest < 3; ++rest) version[rest] = 0;
      return;
    }
    ++p;
  }
}

int32_t parse_build(const char* version) {
  const char* hash = std::strchr(version, '#');
  if (!hash || hash[1] < '0' || hash[1] > '9') return 0;
  int64_t n = 0;
  for (const char* p = hash + 1; *p >= '0' && *p <= '9'; ++p) n = std::min<int64_t>(n * 10 + (*p - '0'), INT32_MAX);
  return static_cast<int32_t>(n);
}

std::string pretty_name_of(const std::string& os_release) {
  std::istringstream lines(os_release);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("PRETTY_NAME=", 0) != 0) continue;
    std::string value = line.substr(12);
    while (!value.empty() && (value.back() == '\r' || value.back() == ' ')) value.pop_back();
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
      value = value.substr(1, value.size() - 2);
    return value;
  }
  return {};
}

system_facts read_system_facts() {
  system_facts facts{};
  struct utsname kernel {};
  const bool known = ::uname(&kernel) == 0;
  std::string distribution = pretty_name_of(read_file("/etc/os-release"));
  if (distribution.empty() && known) distribution = kernel.release;
  facts.name = "Linux " + distribution;
  facts.arch = known ? arch_of_machine(kernel.machine) : "Unknown";
  parse_release(known ? kernel.release : "", facts.version);
  facts.build = known ? parse_build(kernel.version) : 0;
  return facts;
}

void get_os_info(cell& target) {
  const system_facts facts = read_system_facts();
  cell info = none::value;
  collector::scoped_root info_root(&info);
  object::make_at(info, 8);
  cell name;
  load_text(facts.name.data(), facts.name.size(), name);
  add_field(info, "name", name);
  add_field(info, "arch", field_word(facts.arch));
  cell version;
  tuple::make_at(version, 3, facts.version);
  add_field(info, "version", version);
  add_field(info, "build", scalar::integer(facts.build));
  target = info;
}

}  // namespace tav::os
