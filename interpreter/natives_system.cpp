// Environment, clock and system natives: set-env, get-env, list-env, now, wait, recycle,
// browse and call, each turning its arguments into a platform or launcher request.
#include <time.h>

#include <cstring>
#include <string>
#include <vector>

#include "datatypes/binary.hpp"
#include "datatypes/date.hpp"
#include "datatypes/string.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/natives.hpp"
#include "interpreter/stack.hpp"
#include "io/launcher.hpp"
#include "io/os.hpp"
#include "io/simple_io.hpp"
#include "runtime/collector.hpp"
#include "runtime/errors.hpp"
#include "runtime/memory_stats.hpp"
#include "runtime/platform.hpp"
#include "runtime/tui_hooks.hpp"
#include "runtime/unicode_string.hpp"

namespace tav::natives {

namespace {

constexpr uint32_t index_wait = 86, index_set_env = 93, index_get_env = 94, index_now = 96, index_call = 99,
                   index_browse = 102;

// The UTF-8 text of a string value from its head, or of a word's spelling.
std::string utf8_of(const cell& value) {
  cell text = any_word_p(value.type()) ? *word::spelling(value) : value;
  int64_t length = -1;
  const uint8_t* bytes = unicode::to_utf8(text, &length);
  return std::string(reinterpret_cast<const char*>(bytes), static_cast<size_t>(length));
}

void push_integer(long value) { stack::set_last_keep(scalar::integer(static_cast<int32_t>(value))); }

// ---- now ------------------------------------------------------------------------------------

// The refinements /year ... /yearday and the date field each one answers.
constexpr int32_t now_fields[] = {2, 3, 4, 6, 5, 1, 10, 11};

cell* push_now(bool precise, bool utc) {
  timespec clock{};
  ::clock_gettime(CLOCK_REALTIME, &clock);
  uint32_t zone = 0;
  if (!utc) {
    tm local{};
    time_t seconds = clock.tv_sec;
    ::localtime_r(&seconds, &local);
    zone = date::zone_from_minutes(static_cast<int32_t>(local.tm_gmtoff / 60));
  }
  cell* moment = date::push_epoch(clock.tv_sec, zone);
  if (precise) date::normalize(*moment, date::get_time(*moment) + static_cast<double>(clock.tv_nsec) / 1e9, false);
  return moment;
}

// ---- call -----------------------------------------------------------------------------------

void take_input(const cell& value, launcher::stream& input) {
  if (value.type() == TYPE_FILE) {
    cell file = value;
    input.how = launcher::stream::kind::file;
    input.path = simple_io::os_path(file);
    return;
  }
  input.how = launcher::stream::kind::bytes;
  if (value.type() == TYPE_BINARY) {
    const uint8_t* head = binary::ts_head(value);
    input.data.assign(head, head + binary::ts_length_p(value));
  } else {
    std::string text = utf8_of(value);
    input.data.assign(text.begin(), text.end());
  }
}

void take_output(const cell& value, launcher::stream& output) {
  if (value.type() == TYPE_FILE) {
    cell file = value;
    output.how = launcher::stream::kind::file;
    output.path = simple_io::os_path(file);
  } else {
    output.how = launcher::stream::kind::bytes;
  }
}

// Captured text turns CR LF and lone CR into LF.
std::vector<uint8_t> unify_line_ends(const std::vector<unsigned char>& bytes) {
  std::vector<uint8_t> text;
  text.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] != '\r') {
      text.push_back(bytes[i]);
    } else {
      text.push_back('\n');
      if (i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    }
  }
  return text;
}

// A binary! gets the bytes inserted at its index; a string! gets them appended as text.
void deliver(cell& target, const launcher::stream& captured) {
  if (captured.how != launcher::stream::kind::bytes || captured.data.empty()) return;
  if (target.type() == TYPE_BINARY) {
    binary::insert_bytes(target, 0, captured.data.data(), static_cast<uint32_t>(captured.data.size()));
    return;
  }
  std::vector<uint8_t> text = unify_line_ends(captured.data);
  cell* loaded = stack::push_cell();
  *loaded = none::value;
  os::load_text(reinterpret_cast<const char*>(text.data()), text.size(), *loaded);
  string::insert(&target, loaded, -1, false, 1, true);
}

}  // namespace

// set-env var value: sets the variable, or removes it when the value is none.
void set_env_stack(const int32_t* parameters) {
  check_arguments(index_set_env, parameters);
  const cell value = *stack::argument(1);
  std::string name = utf8_of(*stack::argument(0));
  if (value.type() == TYPE_NONE) {
    platform::set_env(name.c_str(), nullptr);
  } else {
    std::string text = utf8_of(value);
    platform::set_env(name.c_str(), text.c_str());
  }
  stack::set_last_keep(value);
}

// get-env var: the variable's text, "" when it is empty, none when it is unset.
void get_env_stack(const int32_t* parameters) {
  check_arguments(index_get_env, parameters);
  std::string name = utf8_of(*stack::argument(0));
  const char* text = ::getenv(name.c_str());
  if (text == nullptr) {
    stack::set_last_keep(none::value);
    return;
  }
  cell* result = stack::push_cell();
  *result = none::value;
  os::load_text(text, std::strlen(text), *result);
  stack::set_last_keep(*result);
}

void list_env_stack(const int32_t*) {
  cell* result = stack::push_cell();
  *result = none::value;
  os::environment_map(*result);
  stack::set_last_keep(*result);
}

// now: the date and time, local or /utc, with the fraction of a second when /precise; a field
// refinement answers that field alone, and two of them are refused.
void now_stack(const int32_t* parameters) {
  check_arguments(index_now, parameters);
  int32_t field = 0;
  for (int32_t i = 0; i < 8; ++i) {
    if (parameters[i + 1] < 0) continue;
    if (field != 0) fire(error_id::script_bad_refines);
    field = now_fields[i];
  }
  cell* moment = push_now(parameters[9] >= 0, parameters[10] >= 0);
  stack::set_last_keep(field == 0 ? *moment : *date::get_field(*moment, field));
}

// wait value: sleeps that many seconds (integer!, float! or time!), then lets the terminal
// handle its pending events once.
void wait_stack(const int32_t* parameters) {
  check_arguments(index_wait, parameters);
  const cell value = *stack::argument(0);
  double seconds = 0;
  if (value.type() == TYPE_INTEGER) {
    seconds = scalar::integer_value(value);
  } else if (value.type() == TYPE_FLOAT || value.type() == TYPE_TIME) {
    seconds = scalar::float_value(value);
  } else {
    fire(error_id::script_invalid_arg, value);
  }
  if (seconds > 0) platform::sleep(seconds);
  tui::pump_events();
  stack::set_last_keep(none::value);
}

// recycle: /on and /off switch the collector; alone it runs one cycle and answers the memory
// in use, as stats does.
void recycle_stack(const int32_t* parameters) {
  if (parameters[1] >= 0 || parameters[2] >= 0) {
    collector::set_active(parameters[1] >= 0);
    stack::set_last_keep(unset::value);
    return;
  }
  collector::run();
  double bytes = memory_stats(0, 1);
  stack::set_last_keep(bytes > 2147483647.0 ? scalar::float_cell(bytes) : scalar::integer(static_cast<int32_t>(bytes)));
}

// browse target: opens the URL or file with the desktop's handler, without waiting.
void browse_stack(const int32_t* parameters) {
  check_arguments(index_browse, parameters);
  cell target = *stack::argument(0);
  launcher::options options;
  options.words = {"xdg-open", target.type() == TYPE_FILE ? simple_io::os_path(target) : utf8_of(target)};
  launcher::run("", options);
  stack::set_last_keep(unset::value);
}

// call cmd: runs the command (see the launcher) and answers its exit code, its process id when
// not waiting, or -1 when it could not be started.
void call_stack(const int32_t* parameters) {
  check_arguments(index_call, parameters);
  cell command = *stack::argument(0);
  launcher::options options;
  options.wait = parameters[1] >= 0;
  options.console = parameters[3] >= 0;
  options.shell = parameters[4] >= 0;
  std::string text;
  if (command.type() == TYPE_FILE) {
    options.words = {simple_io::os_path(command)};
  } else {
    text = utf8_of(command);
  }
  if (parameters[5] >= 0) take_input(*stack::argument(static_cast<uint32_t>(parameters[5])), options.input);
  if (parameters[6] >= 0) take_output(*stack::argument(static_cast<uint32_t>(parameters[6])), options.output);
  if (parameters[7] >= 0) take_output(*stack::argument(static_cast<uint32_t>(parameters[7])), options.error);
  launcher::outcome outcome = launcher::run(text, options);
  if (parameters[6] >= 0) deliver(*stack::argument(static_cast<uint32_t>(parameters[6])), options.output);
  if (parameters[7] >= 0) deliver(*stack::argument(static_cast<uint32_t>(parameters[7])), options.error);
  push_integer(outcome.result);
}

}  // namespace tav::natives
