// The GUI layer's steps of start-up.
#include "boot/gui_startup.hpp"

#include <cstddef>
#include <iterator>
#include <string_view>

#include "boot/global_load.hpp"
#include "datatypes/context.hpp"
#include "datatypes/object.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/interpreter.hpp"
#include "interpreter/stack.hpp"
#include "runtime/collector.hpp"
#include "runtime/throw.hpp"

namespace tav::boot::gui {
namespace {

// Facets, face types, flags and options; symbols only, with no global word.
constexpr const char* backend_symbols[] = {
    "type", "offset", "size", "text", "image", "color", "menu", "data", "enabled?", "visible?", "selected",
    "flags", "parent", "pane", "state", "rate", "edge", "actors", "extra", "draw", "origin", "padding",
    "scroll", "align", "v-align", "wrap?", "left", "center", "right", "top", "middle", "bottom", "screen",
    "window", "button", "toggle", "check", "radio", "field", "area", "text", "text-list", "progress",
    "slider", "drop-down", "drop-list", "image", "base", "panel", "tab-panel", "group-box", "camera",
    "caret", "scroller", "rich-text", "calendar", "---", "done", "continue", "stop", "ClearType", "bold",
    "italic", "underline", "strike", "border", "backdrop", "font-name", "font-size", "class", "regular",
    "small", "mini", "all-over", "focusable", "over", "draggable", "resize", "no-title", "no-border",
    "no-min", "no-max", "no-buttons", "modal", "popup", "tri-state", "scrollable", "password", "no-sync",
    "fullscreen", "accelerated", "cursor", "arrow", "hand", "I-beam", "cross", "resize-ns", "resize-we",
    "resize-ew", "drag-on"};

// Spelled in any case elsewhere already, the existing symbol serves.
constexpr const char* caseless_symbols[] = {"top"};

// Event types, flags and keys: global words.
constexpr const char* event_words[] = {
    "actors", "scroller", "window", "panel", "text", "data", "control", "shift", "command", "alt", "away",
    "down", "up", "mid-down", "mid-up", "alt-down", "alt-up", "aux-down", "aux-up", "wheel", "click",
    "dbl-click", "over", "key", "key-down", "key-up", "ime", "focus", "unfocus", "select", "change",
    "enter", "menu", "close", "move", "resize", "moving", "resizing", "zoom", "pan", "rotate", "two-tap",
    "press-tap", "time", "drawing", "scroll", "ratio", "vertical", "horizontal", "track", "page-left",
    "page-right", "page-up", "page-down", "end", "home", "left", "up", "right", "down", "insert", "delete",
    "F1", "F2", "F3", "F4", "F5", "F6", "F7", "F8", "F9", "F10", "F11", "F12", "left-shift",
    "right-shift", "left-control", "right-control", "left-alt", "right-alt", "left-menu", "right-menu",
    "left-command", "right-command", "caps-lock", "num-lock", "scroll-lock", "pause"};

// The Draw dialect's words, symbols only; `repeat` and `reflect` serve two roles and are listed
// for each.
constexpr const char* draw_symbols[] = {
    "line", "line-width", "box", "triangle", "pen", "fill-pen", "polygon", "circle", "anti-alias", "font",
    "text", "ellipse", "arc", "curve", "spline", "line-join", "line-cap", "line-pattern", "matrix", "append",
    "prepend", "invert-matrix", "reset-matrix", "push", "clip", "crop", "replace", "intersect", "union", "xor",
    "exclude", "complement", "rotate", "scale", "translate", "skew", "transform", "shape", "curv", "hline",
    "vline", "move", "qcurv", "qcurve", "sweep", "large", "close", "off", "closed", "miter", "miter-bevel",
    "round", "bevel", "square", "flat", "border", "repeat", "reflect", "linear", "radial", "diamond",
    "pattern", "bitmap", "pad", "repeat", "reflect", "tile", "flip-x", "flip-y", "flip-xy", "clamp", "shadow",
    "inset"};
static_assert(std::size(draw_symbols) == 73);

// A Draw command matches in any case: a spelling of it that exists already serves.
constexpr const char* caseless_draw_symbols[] = {"pen"};

constexpr const char* helper_routines[] = {"focused?", "widget-data", "set-face-ui"};

template <size_t N>
bool caseless_p(const char* name, const char* const (&caseless_names)[N]) {
  for (const char* caseless : caseless_names)
    if (std::string_view(caseless) == name) return true;
  return false;
}

cell global_named(const char* name) {
  cell word;
  word::make_at(word, symbol::make(name));
  return word;
}

}  // namespace

void register_last_datatype() {
  if (!datatype::last_type_registration) return;
  context::collecting_at_start = true;
  datatype::last_type_registration();
  context::collecting_at_start = false;
}

void make_terminal_helpers() {
  static constexpr std::string_view text = "TUI-helpers: make object! [focused?: widget-data: set-face-ui: none]";
  cell* saved = stack::top;
  const cell source = load_global(reinterpret_cast<const uint8_t*>(text.data()), static_cast<uint32_t>(text.size()));
  if (source.type() != TYPE_BLOCK) runtime_error(98);
  *stack::push_cell() = source;
  interpreter::do_block(source, false);
  const cell helpers = *context::get(global_named("TUI-helpers"));
  if (helpers.type() != TYPE_OBJECT) runtime_error(98);
  for (const char* name : helper_routines) {
    cell word = global_named(name);
    *object::select_word(helpers, word) = *context::get(word);
    context::set(word, unset::value);
  }
  stack::top = saved;
}

void intern_words() {
  context::collecting_at_start = true;
  for (const char* name : backend_symbols) caseless_p(name, caseless_symbols) ? symbol::make_caseless(name) : symbol::make(name);
  for (const char* name : event_words) word::load(name);
  context::collecting_at_start = false;
  for (const char* name : draw_symbols)
    caseless_p(name, caseless_draw_symbols) ? symbol::make_caseless(name) : symbol::make(name);
  collector::set_active(true);
  if (words_interned) words_interned();
}

}  // namespace tav::boot::gui
