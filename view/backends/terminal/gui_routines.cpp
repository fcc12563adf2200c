// The GUI layer's routines on events and face flags, the terminal helpers' widget accessors,
// and what the backend installs before start-up runs.
#include <iterator>

#include "boot/definitions.hpp"
#include "boot/gui_startup.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "runtime/series.hpp"
#include "view/backends/terminal/backend_start.hpp"
#include "view/backends/terminal/dispatch_records.hpp"
#include "view/backends/terminal/draw.hpp"
#include "view/backends/terminal/event_type.hpp"
#include "view/backends/terminal/platform_routines.hpp"
#include "view/backends/terminal/widget_access.hpp"

namespace tav::tui {
namespace {

bool same_word_p(const cell& value, uint32_t flag) {
  return (value.type() == TYPE_WORD || value.type() == TYPE_LIT_WORD) &&
         symbol::resolve(word::symbol_of(value)) == flag;
}

routine::answer find_flag(cell* arguments) {
  const cell facet = arguments[0];
  const uint32_t flag = symbol::resolve(word::symbol_of(arguments[1]));
  if (facet.type() == TYPE_WORD) return {same_word_p(facet, flag), 0};
  if (facet.type() != TYPE_BLOCK) return {0, 0};
  series_buffer* buffer = buffer_of(facet.payload2);
  for (uint32_t i = facet.payload1; i < buffer->count(); ++i)
    if (same_word_p(buffer->cells()[i], flag)) return {1, 0};
  return {0, 0};
}

// The terminal has no platform queue to post to: its sender takes nothing.
routine::answer send_event_os(cell*) { return {0, 0}; }

routine::answer widget_focused(cell* arguments) { return {widget_focused_p(arguments[0]), 0}; }

routine::answer widget_data_of(cell* arguments) { return {widget_data(arguments[0]), 0}; }

routine::answer set_face_ui(cell* arguments) {
  set_widget_ui(arguments[0], arguments[1]);
  arguments[0] = unset::value;
  return {0, 0};
}

routine::answer tui_init(cell* arguments) {
  const cell platform = arguments[0];
  start_backend(platform, scalar::integer_value(arguments[1]));
  arguments[0] = unset::value;
  return {0, 0};
}

void words_interned() {
  init_records();
  event::bind_words();
  bind_draw_words();
}

constexpr boot::builtin builtins[] = {
    {"send-event-os", send_event_os, nullptr},     {"find-flag?", find_flag, nullptr},
    {"widget-focused?", widget_focused, nullptr},  {"widget-data", widget_data_of, nullptr},
    {"set-face-ui", set_face_ui, nullptr},         {"tui-init", tui_init, nullptr},
};

bool install() {
  datatype::last_type_registration = event::init;
  boot::gui::words_interned = words_interned;
  boot::add_builtins(builtins, std::size(builtins));
  uint32_t count = 0;
  const boot::builtin* platform = platform_builtins(count);
  boot::add_builtins(platform, count);
  draw_on_image = draw;
  return true;
}

// Before start-up runs: the program's entry point lies in start-up, below this layer.
[[maybe_unused]] const bool installed = install();

}  // namespace
}  // namespace tav::tui
