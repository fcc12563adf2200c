// The platform routines of the terminal backend, in slot order, and the text-box metrics.
#include "view/backends/terminal/platform_routines.hpp"

#include <algorithm>
#include <climits>
#include <iterator>
#include <string>

#include "console/char_width.hpp"
#include "datatypes/handle.hpp"
#include "datatypes/image.hpp"
#include "datatypes/ownership.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/point.hpp"
#include "datatypes/runtime_words.hpp"
#include "datatypes/scalar_support.hpp"
#include "datatypes/types.hpp"
#include "datatypes/values.hpp"
#include "runtime/errors.hpp"
#include "runtime/memory.hpp"
#include "view/backends/terminal/face_access.hpp"
#include "view/backends/terminal/screen.hpp"
#include "view/backends/terminal/term_io.hpp"
#include "view/backends/terminal/timers.hpp"
#include "view/backends/terminal/widget.hpp"

namespace tav::tui {
namespace {

constexpr uint32_t para_changed = 0x40000;

routine::answer nothing(cell* arguments) {
  arguments[0] = unset::value;
  return {0, 0};
}

routine::answer answer_none(cell* arguments) {
  arguments[0] = none::value;
  return {0, 0};
}

[[noreturn]] void invalid_type(const cell& value) {
  fire(error_id::script_invalid_type, scalar_support::datatype_of(value.type()));
}

int char_cells(uint32_t cp) { return std::max(terminal::char_width(cp), 0); }

void put_point(cell& target, int x, int y) {
  target = none::value;
  point2D::make_at(target, static_cast<float>(x), static_cast<float>(y));
}

// ---- The routines -------------------------------------------------------------------------

routine::answer make_null_handle(cell* arguments) {
  handle::make_at(arguments[0], 0, handle::CLASS_NULL);
  return {0, 0};
}

routine::answer get_screen_size(cell* arguments) {
  get_console_size();
  arguments[0] = none::value;
  pair::make_at(arguments[0], console.columns, console.rows);
  return {0, 0};
}

routine::answer size_text(cell* arguments) {
  const cell face = arguments[0], value = arguments[1];
  cell text = value;
  if (value.type() == TYPE_NONE)
    text = facet_value(face, names().text);
  else if (value.type() != TYPE_STRING)
    invalid_type(value);
  if (text.type() != TYPE_STRING) return answer_none(arguments);
  int columns = 0, lines = 0;
  measure_text(string_text(text), INT_MAX, 0, columns, lines);
  put_point(arguments[0], columns, lines);
  return {0, 0};
}

routine::answer on_change_facet_routine(cell* arguments) {
  tui::on_change_facet(arguments[0], arguments[1], arguments[2], arguments[3], arguments[4],
                       scalar::integer_value(arguments[5]), scalar::integer_value(arguments[6]));
  return nothing(arguments);
}

// A change of the font's name, size, style, angle or anti-alias? drops what the backend made of it.
routine::answer update_font(cell* arguments) {
  const int32_t field = scalar::integer_value(arguments[1]);
  if ((field >= 0 && field <= 3) || field == 5) set_facet(arguments[0], names().state, none::value);
  return answer_none(arguments);
}

routine::answer update_para(cell* arguments) {
  const cell state = facet_value(arguments[0], names().state);
  if (state.type() == TYPE_BLOCK && block_length(state) > 1) {
    cell& bits = buffer_of(state.payload2)->cells()[state.payload1 + 1];
    if (bits.type() == TYPE_INTEGER) bits = scalar::integer(scalar::integer_value(bits) | static_cast<int32_t>(para_changed));
  }
  return answer_none(arguments);
}

routine::answer destroy_view_routine(cell* arguments) {
  destroy_view(arguments[0], logic::get(arguments[1]));
  return answer_none(arguments);
}

routine::answer detach_image(cell* arguments) {
  ownership::unbind(arguments[0]);
  return answer_none(arguments);
}

bool updated_p(const cell& face) { return facet_value(face, names().state).type() == TYPE_BLOCK; }

routine::answer update_view_routine(cell* arguments) {
  const cell value = arguments[0];
  if (value.type() == TYPE_BLOCK) {
    for (uint32_t i = 0; i < block_length(value); ++i)
      if (block_values(value)[i].type() != TYPE_OBJECT) invalid_type(block_values(value)[i]);
    for (uint32_t i = 0; i < block_length(value); ++i) {
      const cell face = block_values(value)[i];
      if (updated_p(face)) update_view(face);
    }
  } else if (value.type() == TYPE_OBJECT) {
    if (!word_p(facet_value(value, names().type), names().screen)) update_view(value);
  } else {
    invalid_type(value);
  }
  return answer_none(arguments);
}

routine::answer refresh_window(cell* arguments) {
  if (widget_of(handle::id_of(arguments[0]))) request_redraw(handle::id_of(arguments[0]));
  return nothing(arguments);
}

routine::answer redraw(cell* arguments) {
  if (const widget_id id = get_widget(arguments[0])) request_redraw(id);
  return nothing(arguments);
}

routine::answer show_window(cell* arguments) {
  const widget* record = widget_of(handle::id_of(arguments[0]));
  if (record && record->window) {
    activate_window(record->window);
    request_redraw(handle::id_of(arguments[0]));
  }
  return answer_none(arguments);
}

routine::answer make_view_routine(cell* arguments) {
  const widget_id parent = handle::id_of(arguments[1]);
  const widget_id made = make_view(arguments[0], widget_of(parent) ? parent : no_widget);
  handle::make_at(arguments[0], made, handle::CLASS_WINDOW);
  return {0, 0};
}

routine::answer draw_image(cell* arguments) {
  const cell image = arguments[0];
  if (image::width_of(image) == 0 || image::height_of(image) == 0) return nothing(arguments);
  if (!draw_on_image) fire(error_id::internal_not_done);
  draw_on_image(image, arguments[1]);
  ownership::check(image, words::poke, none::value, -1, -1);
  return nothing(arguments);
}

routine::answer do_event_loop(cell* arguments) {
  if (!event_loop) fire(error_id::internal_not_done);
  return {event_loop(logic::get(arguments[0])), 0};
}

routine::answer exit_event_loop(cell* arguments) {
  if (leave_loop) leave_loop();
  return nothing(arguments);
}

// The font argument is the answer: it stays in the result slot.
routine::answer request_font(cell*) { return {0, 0}; }

routine::answer text_box_metrics(cell* arguments) {
  const cell box = arguments[0], argument = arguments[1];
  text_box_layout(box, argument, scalar::integer_value(arguments[2]), arguments[0]);
  return {0, 0};
}

routine::answer support_dark_mode(cell*) { return {0, 0}; }

// ---- Text-box metrics ---------------------------------------------------------------------

// Character index to position: where the character at the index starts, and where it ends.
void caret_position(const std::u32string& text, int width, int32_t index, bool lower, cell& result) {
  int column = 0, line = 0, start = 0, end = 0, at_line = 0;
  const int32_t last = std::min<int32_t>(index, static_cast<int32_t>(text.size()));
  for (int32_t k = 1; k <= last; ++k) {
    const char32_t ch = text[static_cast<size_t>(k - 1)];
    if (ch == U'\n') {
      start = end = column;
      at_line = line;
      ++line;
      column = 0;
      continue;
    }
    const int w = char_cells(ch);
    if (w > width) break;
    start = column;
    column += w;
    if (column > width) {
      ++line;
      start = 0;
      column = w;
    }
    end = column;
    at_line = line;
  }
  if (index > last || index < 1) {
    start = end = column;
    at_line = line;
  }
  put_point(result, lower ? end : start, lower ? at_line + 1 : at_line);
}

// Position to character index: the character the walk to the position stopped at.
int32_t caret_index(const std::u32string& text, int width, int x, int y, bool character) {
  size_t i = 0;
  int column = 0, line = 0;
  while (line < y && i < text.size()) {
    const char32_t ch = text[i++];
    if (ch == U'\n') {
      ++line;
      column = 0;
      continue;
    }
    column += char_cells(ch);
    if (column >= width) {
      ++line;
      column = 0;
    }
  }
  while (i < text.size() && column < x) {
    const char32_t ch = text[i++];
    if (ch == U'\n') break;
    column += char_cells(ch);
  }
  const auto index = static_cast<int32_t>(i) + 1;
  return character && i == text.size() && column <= x && line <= y ? index - 1 : index;
}

int box_width(const cell& box) {
  const cell size = facet_value(box, names().size);
  if (size.type() == TYPE_PAIR) return pair::x_of(size);
  if (size.type() == TYPE_POINT2D) return static_cast<int>(point::component(size, 0));
  return INT_MAX;
}

void planar_ints(const cell& value, int& x, int& y) {
  if (value.type() == TYPE_PAIR) {
    x = pair::x_of(value);
    y = pair::y_of(value);
  } else if (value.type() == TYPE_POINT2D) {
    x = static_cast<int>(point::component(value, 0));
    y = static_cast<int>(point::component(value, 1));
  } else {
    invalid_type(value);
  }
}

constexpr boot::builtin rows[] = {
    {"make-null-handle", make_null_handle, nullptr},
    {"fetch-all-screens", answer_none, nullptr},
    {"get-screen-size", get_screen_size, nullptr},
    {"size-text", size_text, nullptr},
    {"on-change-facet", on_change_facet_routine, nullptr},
    {"update-text", answer_none, nullptr},
    {"update-font", update_font, nullptr},
    {"update-para", update_para, nullptr},
    {"destroy-view", destroy_view_routine, nullptr},
    {"detach-image", detach_image, nullptr},
    {"update-view", update_view_routine, nullptr},
    {"refresh-window", refresh_window, nullptr},
    {"redraw", redraw, nullptr},
    {"show-window", show_window, nullptr},
    {"make-view", make_view_routine, nullptr},
    {"draw-image", draw_image, nullptr},
    {"draw-face", nothing, nullptr},
    {"do-event-loop", do_event_loop, nullptr},
    {"exit-event-loop", exit_event_loop, nullptr},
    {"request-font", request_font, nullptr},
    {"text-box-metrics", text_box_metrics, nullptr},
    {"update-scroller", answer_none, nullptr},
    {"set-dark-mode", nothing, nullptr},
    {"support-dark-mode?", support_dark_mode, nullptr},
    {"toggle-GPU", nothing, nullptr},
};

}  // namespace

const boot::builtin* platform_builtins(uint32_t& count) {
  count = static_cast<uint32_t>(std::size(rows));
  return rows;
}

void text_box_layout(const cell& box_value, const cell& argument, int32_t type, cell& result) {
  const cell box = box_value;
  const cell type_word = facet_value(box, names().type);
  if (!word_p(type_word, names().rich_text)) fire(error_id::script_face_type, type_word);
  const cell text = facet_value(box, names().text);
  if (text.type() != TYPE_STRING) {
    result = none::value;
    return;
  }
  const std::u32string chars = string_text(text);
  const int width = box_width(box);
  switch (type) {
    case 0:
    case 6:
      if (argument.type() != TYPE_INTEGER) invalid_type(argument);
      caret_position(chars, width, scalar::integer_value(argument), type == 6, result);
      return;
    case 1:
    case 5: {
      int x = 0, y = 0;
      planar_ints(argument, x, y);
      result = scalar::integer(caret_index(chars, width, x, y, type == 5));
      return;
    }
    case 2: result = scalar::float_cell(1.0); return;
    default: {
      int columns = 0, lines = 0;
      measure_text(chars, width, draw_flag::wrap, columns, lines);
      if (type == 3)
        put_point(result, columns, lines);
      else
        result = scalar::integer(lines);
    }
  }
}

}  // namespace tav::tui
