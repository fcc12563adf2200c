// Event routing: keys, pointer motion, buttons and the wheel to their widgets, and the one way
// every event reaches the GUI layer. Widgets are held by id and looked up again after each
// dispatch, since an actor may destroy the widget its event was meant for.
#include "view/backends/terminal/routing.hpp"

#include <algorithm>
#include <vector>

#include "datatypes/runtime_words.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/values.hpp"
#include "interpreter/interpreter.hpp"
#include "interpreter/library_calls.hpp"
#include "interpreter/stack.hpp"
#include "runtime/errors.hpp"
#include "view/backends/terminal/event_type.hpp"
#include "view/backends/terminal/face_access.hpp"
#include "view/backends/terminal/screen.hpp"

namespace tav::tui {

routing_state routing;

namespace {

namespace flag = event::flag;

// What a button event answers on its way out: whether an actor answered `done` to it, whether
// a click was handled, and the type of the click sent.
struct button_answer {
  bool sent = false;
  bool clicked = false;
  uint32_t click_type = 0;
};

// Events are not traced: tracing is off while `awake` runs, also when a quit passes through.
struct tracing_off {
  bool saved = interpreter::tracing;
  tracing_off() { interpreter::tracing = false; }
  ~tracing_off() { interpreter::tracing = saved; }
  tracing_off(const tracing_off&) = delete;
  tracing_off& operator=(const tracing_off&) = delete;
};

uint32_t done_symbol() {
  static const uint32_t symbol = symbol::resolve(symbol::make("done"));
  return symbol;
}

bool disabled_p(const widget& record) { return record.flags & widget_flag::disabled; }
bool face_p(const widget& record) { return record.face.type() != TYPE_NONE; }

// The topmost visible child under the point, in the widget's coordinates.
widget_id widget_at(widget_id id, float x, float y) {
  const widget* record = widget_of(id);
  if (!record) return no_widget;
  for (auto child = record->children.rbegin(); child != record->children.rend(); ++child) {
    const widget* candidate = widget_of(*child);
    if (!candidate || candidate->flags & widget_flag::hidden) continue;
    if (candidate->x1 <= x && x < candidate->x2 && candidate->y1 <= y && y < candidate->y2) return *child;
  }
  return no_widget;
}

bool ancestor_p(widget_id ancestor, widget_id id) {
  for (const widget* record = widget_of(id); record; record = widget_of(record->parent))
    if (record->parent == ancestor) return true;
  return false;
}

bool same_parent_p(widget_id a, widget_id b) {
  const widget* first = widget_of(a);
  const widget* second = widget_of(b);
  return first && second && first->parent == second->parent;
}

bool captured_p(widget_id id) { return std::find(screen.captures.begin(), screen.captures.end(), id) != screen.captures.end(); }

// The routing's sender behind `send_widget_event`.
bool deliver_widget_event(widget_id id, uint32_t type, float x, float y, int32_t key) {
  if (type == widget_event::select || type == widget_event::change) return send_value_event(type, id, key);
  const widget* record = widget_of(id);
  if (!record || disabled_p(*record)) return false;
  handle_widget_event(id, {type, x, y, key});
  record = widget_of(id);
  if (!record || !face_p(*record)) return false;
  return dispatch_event(type, {record->face, x, y, key, 0}, 0);
}

// ---- The mouse ----------------------------------------------------------------------------

// The captured widget gets the event in its own coordinates when it is marked captured (the
// pointer left it while the button was held) and carries a flag of the mask (-1: any).
bool send_drag_event(uint32_t type, float x, float y, uint32_t flags, uint32_t mask) {
  const widget* record = widget_of(screen.capture);
  if (!record || !(record->flags & widget_flag::captured)) return false;
  if (mask != ~0u && !(record->flags & mask)) return false;
  for (const widget* at = record; at && at->parent; at = widget_of(at->parent)) {
    x -= at->x1;
    y -= at->y1;
  }
  return send_mouse_event(type, screen.capture, x, y, flags);
}

void enter_widget(widget_id id, float x, float y, uint32_t flags, bool& sent) {
  const widget_id old = screen.hover;
  if (widget_of(old)) {
    if (ancestor_p(id, old) || same_parent_p(id, old)) {
      if (old == screen.capture) widget_of(old)->flags |= widget_flag::captured;
      send_mouse_event(widget_event::over, old, routing.last_x, routing.last_y, flags | flag::away);
    }
    if (widget_of(id) && (ancestor_p(old, id) || same_parent_p(id, old))) {
      widget_of(id)->flags &= ~widget_flag::captured;
      send_mouse_event(widget_event::over, id, x, y, flags);
      sent = true;
    }
  }
  if (widget_of(id)) screen.hover = id;
}

bool mouse_move(widget_id id, float x, float y, uint32_t flags, bool top) {
  if (!widget_of(screen.hover)) send_mouse_event(widget_event::over, id, x, y, flags);
  bool answer = false;
  bool sent = false;
  if (const widget_id child = widget_at(id, x, y)) {
    const widget* record = widget_of(child);
    answer = mouse_move(child, x - record->x1, y - record->y1, flags, false);
  } else if (widget_of(id)) {
    if (screen.hover != id) enter_widget(id, x, y, flags, sent);
    routing.last_x = x;
    routing.last_y = y;
  }
  const widget* record = widget_of(id);
  if (!answer && !sent && record && record->flags & widget_flag::all_over)
    answer = send_mouse_event(widget_event::over, id, x, y, flags);
  if (top) send_drag_event(widget_event::over, x, y, flags, widget_flag::all_over);
  return answer;
}

void send_click(widget_id id, float x, float y, uint32_t flags, button_answer& answer) {
  if (answer.click_type == widget_event::dbl_click ||
      (routing.click_state == 2 && routing.click_counter < 500)) {
    send_mouse_event(widget_event::click, id, x, y, flags);
    answer.clicked = send_mouse_event(widget_event::dbl_click, id, x, y, flags);
    answer.click_type = widget_event::dbl_click;
    routing.click_state = 10;
  } else {
    answer.clicked = send_mouse_event(widget_event::click, id, x, y, flags);
    answer.click_type = widget_event::click;
  }
}

button_answer mouse_button(uint32_t type, widget_id id, float x, float y, uint32_t flags) {
  button_answer answer;
  const widget_id child = widget_at(id, x, y);
  if (child) {
    const widget* record = widget_of(child);
    answer = mouse_button(type, child, x - record->x1, y - record->y1, flags);
  }
  if (!answer.sent) answer.sent = send_mouse_event(type, id, x, y, flags);
  if (!widget_of(id)) return answer;
  if (type == widget_event::down) screen.captures.push_back(id);
  if (type == widget_event::up && !answer.clicked && captured_p(id)) {
    send_click(id, x, y, flags, answer);
    const widget* record = widget_of(id);
    if (!child && record && record->flags & widget_flag::focusable && !(record->flags & widget_flag::focused))
      set_focus(id);
  }
  return answer;
}

void mouse_click(uint32_t type, widget_id window, float x, float y, uint32_t flags) {
  if (type == widget_event::down) screen.capture = screen.hover;
  mouse_button(type, window, x, y, flags);
  if (type != widget_event::up) return;
  send_drag_event(widget_event::up, x, y, flags, ~0u);
  screen.capture = no_widget;
  screen.captures.clear();
  routing.click_state = routing.click_state == 10 ? 0 : 2;
  routing.click_counter = 0;
}

bool mouse_wheel(float delta, widget_id id, float x, float y, uint32_t flags) {
  bool done = false;
  if (const widget_id child = widget_at(id, x, y)) {
    const widget* record = widget_of(child);
    done = mouse_wheel(delta, child, x - record->x1, y - record->y1, flags);
  }
  const widget* record = widget_of(id);
  if (done || !record || !face_p(*record) || disabled_p(*record)) return done;
  return dispatch_event(widget_event::wheel, {record->face, x, y, 0, delta}, flags);
}

void route_item(const input_item& item) {
  switch (item.kind) {
    case input_item::key: send_key_event(no_widget, item.a, item.special); break;
    case input_item::mouse: route_mouse_report(item.a, item.b, item.c, item.release); break;
    case input_item::cursor_report:
      screen.inline_top = item.a - 1;
      screen.inline_left = item.b - 1;
      break;
  }
}

[[maybe_unused]] const bool installed = (reset_routing(), true);

}  // namespace

void input_append_char(uint32_t code_point) {
  if (!input_buffer().append_char(code_point)) fire(error_id::script_invalid_char, scalar::integer(static_cast<int32_t>(code_point)));
}

void process_input() {
  std::vector<input_item> items;
  input_buffer().process(items);
  for (const input_item& item : items) route_item(item);
}

void advance_click_counter(int ms) {
  if (routing.click_state == 2) routing.click_counter = std::min(routing.click_counter + ms, 800);
}

bool send_key_event(widget_id id, int32_t character, int32_t special) {
  const widget_id target = id ? id : screen.focus;
  const widget* record = widget_of(target);
  if (!record || disabled_p(*record)) return false;
  int32_t key = character;
  uint32_t flags = 0;
  if (special == special_key::back_tab) {
    key = 9;
    flags = flag::shift;
  } else if (special) {
    key = special;
    flags = flag::special_key;
  }
  if (key == 0) return false;
  for (const uint32_t type : {widget_event::key_down, widget_event::key}) {
    if (face_p(*record) && dispatch_event(type, {record->face, 0, 0, key, 0}, flags)) return true;
    record = widget_of(target);
    if (!record) return false;
  }
  handle_widget_event(target, {widget_event::key, 0, 0, key});
  return false;
}

bool send_value_event(uint32_t type, widget_id id, int32_t value) {
  const widget* record = widget_of(id);
  if (!record || disabled_p(*record) || !face_p(*record)) return false;
  return dispatch_event(type, {record->face, 0, 0, value, 0}, 0);
}

bool send_mouse_event(uint32_t type, widget_id id, float x, float y, uint32_t flags) {
  const widget* record = widget_of(id);
  if (!record || disabled_p(*record)) return false;
  handle_widget_event(id, {type, x, y, 0});
  record = widget_of(id);
  if (!record || !face_p(*record)) return false;
  return dispatch_event(type, {record->face, x, y, 0, 0}, flags);
}

bool dispatch_event(uint32_t type, const event_data& data, uint32_t flags) {
  const dispatch_scope scope(data);
  const cell event = event::make_dispatched(type, scope.reference(), flags);
  cell* const base = stack::top;
  const tracing_off untraced;
  bool done = false;
  // An error, or an exit made an error by the try-all frame, ends at this frame: actors print
  // their own errors, so nothing is left to report here.
  stack::catch_error(words::try_, true, [&] {
    interpreter::library::call(interpreter::library::entry::awake, &event, 1);
    done = word_symbol(*stack::last_pushed()) == done_symbol();
  });
  stack::pending.code = 0;
  stack::top = base;
  return done;
}

void route_mouse_report(int32_t cb, int32_t column, int32_t row, bool release) {
  const widget_id window = screen.current ? screen.current->window : no_widget;
  const widget* record = widget_of(window);
  if (!record) return;
  const int32_t button = (cb & 3) + ((cb & 0x40) >> 4);
  const float x = static_cast<float>(column) - 1 - record->x1;
  const float y = static_cast<float>(row) - static_cast<float>(screen.inline_top) - 1 - record->y1;
  const uint32_t flags = static_cast<uint32_t>((cb >> 2) & 3) * flag::shift | (cb & 16 ? flag::control : 0);
  if (button <= 2) {
    const int state = release ? 1 : 0;
    if (state != routing.last_button_state) {
      routing.last_button_state = state;
      mouse_click(static_cast<uint32_t>(button * 2 + state + 1), window, x, y, flags);
    } else {
      mouse_move(window, x, y, flags | flag::down, true);
    }
  } else if (button == 3) {
    mouse_move(window, x, y, flags, true);
  } else if (button == 4 || button == 5) {
    mouse_wheel(button == 4 ? 1.0f : -1.0f, window, x, y, flags);
  }
}

void reset_routing() {
  routing = routing_state{};
  set_widget_event_sender(deliver_widget_event);
}

}  // namespace tav::tui
