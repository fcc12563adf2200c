// The Draw dialect on cells: one recursive walker over a commands block, with the shape
// sub-dialect, the pen and font state, the dialect's errors and the entries that run it.
#include "view/backends/terminal/draw.hpp"

#include <iterator>
#include <utility>

#include "boot/system_object.hpp"
#include "datatypes/context.hpp"
#include "datatypes/object.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/types.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/cell_helpers.hpp"
#include "runtime/cycle_stack.hpp"
#include "runtime/errors.hpp"
#include "runtime/memory.hpp"
#include "runtime/throw.hpp"

namespace tav::tui {
namespace {

// ---- The dialect's words --------------------------------------------------------------------

#define TAV_DRAW_WORDS(X)                                                                       \
  X(line, "line") X(line_width, "line-width") X(box, "box") X(triangle, "triangle") X(pen, "pen") \
  X(fill_pen, "fill-pen") X(polygon, "polygon") X(circle, "circle") X(anti_alias, "anti-alias")   \
  X(font, "font") X(text, "text") X(ellipse, "ellipse") X(arc, "arc") X(curve, "curve")           \
  X(spline, "spline") X(line_join, "line-join") X(line_cap, "line-cap")                           \
  X(line_pattern, "line-pattern") X(matrix, "matrix") X(invert_matrix, "invert-matrix")           \
  X(reset_matrix, "reset-matrix") X(push, "push") X(clip, "clip") X(crop, "crop")                 \
  X(replace, "replace") X(intersect, "intersect") X(union_, "union") X(xor_, "xor")               \
  X(exclude, "exclude") X(rotate, "rotate") X(scale, "scale") X(translate, "translate")           \
  X(skew, "skew") X(transform, "transform") X(shape, "shape") X(curv, "curv") X(hline, "hline")   \
  X(vline, "vline") X(move, "move") X(qcurv, "qcurv") X(qcurve, "qcurve") X(sweep, "sweep")       \
  X(large, "large") X(close, "close") X(off, "off") X(closed, "closed") X(border, "border")        \
  X(repeat, "repeat") X(reflect, "reflect") X(linear, "linear") X(radial, "radial")               \
  X(diamond, "diamond") X(pattern, "pattern") X(bitmap, "bitmap") X(pad, "pad") X(tile, "tile")   \
  X(flip_x, "flip-x") X(flip_y, "flip-y") X(flip_xy, "flip-xy") X(clamp, "clamp")                 \
  X(shadow, "shadow") X(inset, "inset") X(image, "image") X(color, "color") X(draw, "draw")        \
  X(view, "view") X(silent, "silent?")

enum class dw : uint8_t {
#define TAV_DRAW_ENUM(name, text) name,
  TAV_DRAW_WORDS(TAV_DRAW_ENUM)
#undef TAV_DRAW_ENUM
      count
};

constexpr const char* draw_word_names[] = {
#define TAV_DRAW_NAME(name, text) text,
    TAV_DRAW_WORDS(TAV_DRAW_NAME)
#undef TAV_DRAW_NAME
};
static_assert(std::size(draw_word_names) == static_cast<size_t>(dw::count));

// Resolved symbols: case variants of a word share them.
uint32_t word_ids[static_cast<size_t>(dw::count)] = {};

uint32_t id(dw word) {
  if (!word_ids[0]) bind_draw_words();
  return word_ids[static_cast<size_t>(word)];
}

// ---- Values ---------------------------------------------------------------------------------

bool point_p(const cell& value) { return value.type() == TYPE_PAIR || value.type() == TYPE_POINT2D; }
bool number_p(const cell& value) { return value.type() == TYPE_INTEGER || value.type() == TYPE_FLOAT; }
bool scale_p(const cell& value) { return number_p(value) || value.type() == TYPE_PERCENT; }
bool integer_p(const cell& value) { return value.type() == TYPE_INTEGER; }
bool float_p(const cell& value) { return value.type() == TYPE_FLOAT; }
bool pair_p(const cell& value) { return value.type() == TYPE_PAIR; }
bool block_p(const cell& value) { return value.type() == TYPE_BLOCK; }
bool word_p(const cell& value) { return value.type() == TYPE_WORD; }

uint32_t tail_of(const cell& block) { return buffer_of(block.payload2)->count(); }

bool word_is_p(const cell& value, dw word) {
  return value.type() == TYPE_WORD && symbol::resolve(word::symbol_of(value)) == id(word);
}

// The value a word holds, or null for a word that holds none (unbound, or its context gone):
// asking never raises an error.
const cell* held_value(const cell& word) {
  if (word.payload1 == 0 || word::index_of(word) < 0) return nullptr;
  if (!context::values(word.payload1)) return nullptr;
  if (static_cast<uint32_t>(word::index_of(word)) >= context::word_count(word.payload1)) return nullptr;
  return context::get(word);
}

// The value itself, or for a word the value it holds when that is of the type.
const cell* value_as(const cell& value, uint8_t type) {
  if (value.type() == type) return &value;
  if (value.type() != TYPE_WORD) return nullptr;
  const cell* held = held_value(value);
  return held && held->type() == type ? held : nullptr;
}

bool colour_p(const cell& value) { return value_as(value, TYPE_TUPLE) != nullptr; }

uint32_t colour_of(const cell& value) { return rgb_to_256(color_of_tuple(*value_as(value, TYPE_TUPLE))); }

bool silent_p() {
  const cell& system = system_object::value;
  if (system.type() != TYPE_OBJECT) return false;
  const cell* view = context::find_value(object::context_of(system), id(dw::view));
  if (!view || view->type() != TYPE_OBJECT) return false;
  const cell* silent = context::find_value(object::context_of(*view), id(dw::silent));
  return silent && !logic::false_p(*silent) && silent->type() != TYPE_UNSET;
}

// ---- Errors ---------------------------------------------------------------------------------

// The cycle stack's depth when the running walk began.
uint32_t run_cycle_base = 0;

// The walk's blocks leave the cycle stack first: the report molds them, and a block still on
// the stack would mold as "[...]".
[[noreturn]] void draw_raise(error_id error, const cell& argument, bool catch_p) {
  if (cycles::depth() > run_cycle_base) cycles::pop_n(cycles::depth() - run_cycle_base);
  if (silent_p()) system_throw(catch_p ? code::error : 1);
  if (!catch_p) fire(error, argument);
  print_error(error, 1, &argument);
  system_throw(code::error);
}

// ---- State ----------------------------------------------------------------------------------

void set_pen(draw_context& context, uint32_t colour) {
  context.pen_color = colour;
  context.pen_on = 1;
  if (!context.font_color_set) context.text_color = colour;
}

void set_fill_pen(draw_context& context, uint32_t colour) {
  context.fill_color = colour;
  context.fill_on = 1;
}

// A font's `color`: a tuple becomes the text colour, which later pens leave alone; anything
// else gives the text colour back to the pen.
void set_font_pen(draw_context& context, const cell& font) {
  const cell* colour = context::find_value(object::context_of(font), id(dw::color));
  if (colour && colour->type() == TYPE_TUPLE) {
    context.text_color = rgb_to_256(color_of_tuple(*colour));
    context.font_color_set = 1;
  } else {
    context.font_color_set = 0;
  }
}

// ---- Cells ----------------------------------------------------------------------------------

// What the drawing commands put on the cells, each given its checked arguments (the points of
// a line where the walker found them). No cell is painted yet.
void draw_line(draw_context&, const cell& /*commands*/, uint32_t /*first*/, uint32_t /*count*/) {}
void draw_box(draw_context&, const cell& /*from*/, const cell& /*to*/) {}
void draw_triangle(draw_context&, const cell& /*a*/, const cell& /*b*/, const cell& /*c*/) {}
void draw_circle(draw_context&, const cell& /*centre*/, const cell& /*radius*/) {}
void draw_ellipse(draw_context&, const cell& /*corner*/, const cell& /*size*/) {}
void draw_text(draw_context&, const cell& /*position*/, const cell& /*value*/) {}

// ---- The walker -----------------------------------------------------------------------------

class walker {
 public:
  walker(draw_context& context, const cell& commands, bool catch_p)
      : context_(context), block_(commands), at_(commands.payload1), catch_p_(catch_p) {}

  void parse() { walk(false); }
  void shape() { walk(true); }

 private:
  // The loop of both dialects; the shape dialect also takes its commands as lit-words.
  void walk(bool shape_dialect) {
    const cycle_entry entry(block_, catch_p_);
    while (!ended()) {
      const cell value = peek();
      if (value.type() == TYPE_WORD || (shape_dialect && value.type() == TYPE_LIT_WORD)) {
        shape_dialect ? shape_command(value) : command(value);
      } else if (value.type() == TYPE_SET_WORD) {
        set_here(value);
      } else if (value.type() == TYPE_BLOCK) {
        ++at_;
        walker(context_, value, catch_p_).walk(shape_dialect);
      } else {
        invalid();
      }
    }
  }

  // The block's series on the cycle stack while it is read: a block reached again from
  // inside itself is infinite. An error has taken it off already.
  class cycle_entry {
   public:
    cycle_entry(const cell& block, bool catch_p) : depth_(cycles::depth()) {
      if (cycles::find(block.payload2)) draw_raise(error_id::script_draw_infinite, block, catch_p);
      cycles::push(block.payload2);
    }
    ~cycle_entry() {
      if (cycles::depth() > depth_) cycles::pop_n(cycles::depth() - depth_);
    }
    cycle_entry(const cycle_entry&) = delete;
    cycle_entry& operator=(const cycle_entry&) = delete;

   private:
    uint32_t depth_;
  };

  using predicate = bool (*)(const cell&);

  uint32_t tail() const { return buffer_of(block_.payload2)->count(); }
  bool ended() const { return at_ >= tail(); }
  // The value at the walk's position; at the tail a cell of no type, which nothing accepts.
  cell peek() const { return ended() ? cell{0, 0, 0, 0} : buffer_of(block_.payload2)->cells()[at_]; }

  [[noreturn]] void invalid_at(uint32_t position) const { draw_invalid(block_, position, catch_p_); }
  [[noreturn]] void invalid() const { invalid_at(at_); }

  cell take(predicate accepted) {
    const cell value = peek();
    if (!accepted(value)) invalid();
    ++at_;
    return value;
  }
  bool skip(predicate accepted) {
    if (!accepted(peek())) return false;
    ++at_;
    return true;
  }
  bool skip_word(dw word) {
    if (!word_is_p(peek(), word)) return false;
    ++at_;
    return true;
  }
  template <size_t N>
  bool skip_any_word(const dw (&words)[N]) {
    for (dw word : words)
      if (skip_word(word)) return true;
    return false;
  }
  uint32_t skip_all(predicate accepted) {
    uint32_t count = 0;
    while (skip(accepted)) ++count;
    return count;
  }
  // The value, or the value of a word, of the type.
  cell take_as(uint8_t type) {
    const cell value = peek();
    const cell* found = value_as(value, type);
    if (!found) invalid();
    ++at_;
    return *found;
  }

  void set_here(const cell& set_word) {
    cell word = set_word;
    cell here = block_;
    here.payload1 = ++at_;
    context::set(word, here);
  }

  // A nested draw block, when one follows.
  void nested_block() {
    const cell value = peek();
    if (!block_p(value)) return;
    ++at_;
    walker(context_, value, catch_p_).parse();
  }

  // The transformations' optional 'pen or 'fill-pen; any other lit-word stays to fail as the
  // next argument.
  void pen_target() {
    const cell value = peek();
    if (value.type() != TYPE_LIT_WORD) return;
    const uint32_t symbol = symbol::resolve(word::symbol_of(value));
    if (symbol == id(dw::pen) || symbol == id(dw::fill_pen)) ++at_;
  }

  void tile_word() {
    static constexpr dw tiles[] = {dw::tile, dw::flip_x, dw::flip_y, dw::flip_xy, dw::clamp};
    skip_any_word(tiles);
  }

  // ---- Commands -----------------------------------------------------------------------------

  void command(const cell& word) {
    using handler = void (walker::*)(uint32_t);
    struct row {
      dw word;
      handler run;
    };
    static constexpr row commands[] = {
        {dw::pen, &walker::pen},
        {dw::fill_pen, &walker::fill_pen},
        {dw::line, &walker::line},
        {dw::box, &walker::box},
        {dw::triangle, &walker::triangle},
        {dw::circle, &walker::circle},
        {dw::ellipse, &walker::ellipse},
        {dw::text, &walker::text},
        {dw::font, &walker::font},
        {dw::line_width, &walker::line_width},
        {dw::line_join, &walker::line_style_word},
        {dw::line_cap, &walker::line_style_word},
        {dw::line_pattern, &walker::line_pattern},
        {dw::anti_alias, &walker::anti_alias},
        {dw::polygon, &walker::polygon},
        {dw::spline, &walker::spline},
        {dw::arc, &walker::arc},
        {dw::curve, &walker::curve},
        {dw::image, &walker::image},
        {dw::shadow, &walker::shadow},
        {dw::clip, &walker::clip},
        {dw::shape, &walker::shape_command_block},
        {dw::rotate, &walker::rotate},
        {dw::scale, &walker::scale},
        {dw::translate, &walker::translate},
        {dw::skew, &walker::skew},
        {dw::transform, &walker::transform},
        {dw::matrix, &walker::matrix},
        {dw::reset_matrix, &walker::matrix_reset},
        {dw::invert_matrix, &walker::matrix_reset},
        {dw::push, &walker::push},
    };
    const uint32_t symbol = symbol::resolve(word::symbol_of(word));
    const uint32_t position = at_;
    for (const row& entry : commands) {
      if (id(entry.word) != symbol) continue;
      ++at_;
      (this->*entry.run)(position);
      return;
    }
    invalid();
  }

  void pen(uint32_t) {
    uint32_t colour = 0;
    switch (pen_options(colour)) {
      case pen_kind::colour:
        set_pen(context_, colour);
        break;
      case pen_kind::off:
        context_.pen_on = 0;
        break;
      case pen_kind::other:
        break;
    }
  }

  void fill_pen(uint32_t) {
    uint32_t colour = 0;
    switch (pen_options(colour)) {
      case pen_kind::colour:
        set_fill_pen(context_, colour);
        break;
      case pen_kind::off:
        context_.fill_on = 0;
        break;
      case pen_kind::other:
        break;
    }
  }

  void line(uint32_t) {
    const uint32_t first = at_;
    take(point_p);
    take(point_p);
    const uint32_t count = 2 + skip_all(point_p);
    draw_line(context_, block_, first, count);
  }

  void box(uint32_t) {
    const cell from = take(point_p);
    const cell to = take(point_p);
    skip(number_p);  // a corner radius, which cells cannot show
    draw_box(context_, from, to);
  }

  void triangle(uint32_t) {
    const cell a = take(point_p);
    const cell b = take(point_p);
    const cell c = take(point_p);
    draw_triangle(context_, a, b, c);
  }

  void circle(uint32_t) {
    const cell centre = take(point_p);
    cell radius = take(number_p);
    if (number_p(peek())) radius = take(number_p);
    draw_circle(context_, centre, radius);
  }

  void ellipse(uint32_t) {
    const cell corner = take(point_p);
    const cell size = take(point_p);
    draw_ellipse(context_, corner, size);
  }

  void text(uint32_t) {
    const cell position = take(point_p);
    const cell value = peek();
    if (value.type() != TYPE_STRING && value.type() != TYPE_OBJECT) invalid();
    ++at_;
    draw_text(context_, position, value);
  }

  void font(uint32_t) { set_font_pen(context_, take_as(TYPE_OBJECT)); }

  void line_width(uint32_t) { take(number_p); }
  void line_style_word(uint32_t) { take(word_p); }
  void line_pattern(uint32_t) { skip_all(integer_p); }

  void anti_alias(uint32_t command_at) {
    if (!skip(word_p)) invalid_at(command_at);
  }

  void polygon(uint32_t) {
    take(point_p);
    take(point_p);
    take(point_p);
    skip_all(point_p);
  }

  void spline(uint32_t) {
    take(point_p);
    take(point_p);
    skip_all(point_p);
    skip_word(dw::closed);
  }

  void arc(uint32_t) {
    take(point_p);
    take(point_p);
    take(number_p);
    take(number_p);
    skip_word(dw::closed);
  }

  void curve(uint32_t) {
    take(point_p);
    take(point_p);
    take(point_p);
    skip(point_p);
  }

  void image(uint32_t) {
    take_as(TYPE_IMAGE);
    skip_all(point_p);
    skip(colour_p);
    if (skip_word(dw::crop)) {
      take(point_p);
      take(point_p);
    } else {
      skip_word(dw::border);
    }
  }

  void shadow(uint32_t) {
    if (skip_word(dw::off)) return;
    take(pair_p);
    if (skip(integer_p)) skip(integer_p);
    if (skip(colour_p)) skip_word(dw::inset);
  }

  void clip(uint32_t) {
    const cell value = peek();
    if (block_p(value)) {
      ++at_;
      walker(context_, value, catch_p_).shape();
    } else {
      take(point_p);
      take(point_p);
    }
    static constexpr dw modes[] = {dw::replace, dw::intersect, dw::union_, dw::xor_, dw::exclude};
    skip_any_word(modes);
    nested_block();
  }

  void shape_command_block(uint32_t) {
    const cell value = take(block_p);
    walker(context_, value, catch_p_).shape();
  }

  void rotate(uint32_t) {
    pen_target();
    take(number_p);
    skip(point_p);
    nested_block();
  }

  void scale(uint32_t) {
    pen_target();
    take(scale_p);
    take(scale_p);
    skip(point_p);
    nested_block();
  }

  void translate(uint32_t) {
    pen_target();
    take(point_p);
    nested_block();
  }

  void skew(uint32_t) {
    pen_target();
    take(number_p);
    skip(number_p);
    skip(point_p);
    nested_block();
  }

  void transform(uint32_t) {
    pen_target();
    skip(point_p);
    take(number_p);
    take(scale_p);
    take(scale_p);
    take(point_p);
    nested_block();
  }

  // Six numbers in a block; anything else fails at the value before it.
  void matrix(uint32_t) {
    pen_target();
    const cell value = peek();
    bool six_numbers = block_p(value) && tail_of(value) >= value.payload1 && tail_of(value) - value.payload1 == 6;
    for (uint32_t i = 0; six_numbers && i < 6; ++i)
      six_numbers = number_p(buffer_of(value.payload2)->cells()[value.payload1 + i]);
    if (!six_numbers) invalid_at(at_ - 1);
    ++at_;
  }

  void matrix_reset(uint32_t) { pen_target(); }

  void push(uint32_t) {
    const cell value = take(block_p);
    walker(context_, value, catch_p_).parse();
  }

  // ---- Pen and fill-pen arguments -----------------------------------------------------------

  enum class pen_kind : uint8_t { colour, off, other };

  pen_kind pen_options(uint32_t& colour) {
    colour = 0;
    const cell value = peek();
    if (skip_word(dw::off)) return pen_kind::off;
    if (word_is_p(value, dw::linear) || word_is_p(value, dw::radial) || word_is_p(value, dw::diamond)) {
      ++at_;
      point_p(peek()) ? gradient() : colour_stops(symbol::resolve(word::symbol_of(value)));
      return pen_kind::other;
    }
    if (skip_word(dw::pattern)) {
      take(point_p);
      if (skip(point_p)) skip(point_p);
      tile_word();
      take(block_p);
      return pen_kind::other;
    }
    if (skip_word(dw::bitmap)) {
      if (!word_p(peek())) invalid();
      take_as(TYPE_IMAGE);
      if (skip(point_p)) skip(point_p);
      tile_word();
      return pen_kind::other;
    }
    if (!colour_p(value)) invalid();
    ++at_;
    colour = colour_of(value);
    return pen_kind::colour;
  }

  // The positional form: a point, two integers, up to three numbers, then at least two
  // colours among offsets.
  void gradient() {
    take(point_p);
    take(integer_p);
    take(integer_p);
    for (int i = 0; i < 3; ++i)
      if (!skip(number_p)) break;
    uint32_t colours = 0;
    for (;;) {
      if (skip(colour_p))
        ++colours;
      else if (!skip(float_p))
        break;
    }
    if (colours < 2) invalid();
  }

  // Colour stops, each with an optional offset, then the kind's points and a spread word.
  void colour_stops(uint32_t kind) {
    for (uint32_t stop = 0;; ++stop) {
      if (!colour_p(peek())) {
        if (stop < 2) invalid();
        break;
      }
      ++at_;
      skip(float_p);
    }
    if (skip(point_p)) {
      if (kind == id(dw::radial)) {
        take(number_p);
        skip(point_p);
      } else {
        take(point_p);
        if (kind == id(dw::diamond)) skip(point_p);
      }
    }
    static constexpr dw spreads[] = {dw::pad, dw::repeat, dw::reflect};
    skip_any_word(spreads);
  }

  // ---- The shape sub-dialect ----------------------------------------------------------------

  void shape_command(const cell& word) {
    const uint32_t symbol = symbol::resolve(word::symbol_of(word));
    auto is = [symbol](dw name) { return symbol == id(name); };
    ++at_;
    if (is(dw::move)) {
      take(point_p);
    } else if (is(dw::line)) {
      take(point_p);
      skip_all(point_p);
    } else if (is(dw::hline) || is(dw::vline)) {
      take(number_p);
    } else if (is(dw::arc)) {
      take(point_p);
      take(number_p);
      take(number_p);
      take(number_p);
      static constexpr dw arc_words[] = {dw::sweep, dw::large};
      if (skip_any_word(arc_words)) skip_any_word(arc_words);
    } else if (is(dw::curve)) {
      take(point_p);
      take(point_p);
      take(point_p);
      skip_all(point_p);
    } else if (is(dw::curv) || is(dw::qcurve)) {
      take(point_p);
      take(point_p);
      skip_all(point_p);
    } else if (is(dw::qcurv)) {
      take(point_p);
      skip_all(point_p);
    } else if (!is(dw::close)) {
      invalid_at(at_ - 1);
    }
  }

  draw_context& context_;
  cell block_;
  uint32_t at_;
  bool catch_p_;
};

}  // namespace

void bind_draw_words() {
  for (size_t i = 0; i < std::size(draw_word_names); ++i)
    word_ids[i] = symbol::resolve(symbol::make(draw_word_names[i]));
}

void draw_begin(draw_context& context) {
  context.pen_on = 1;
  context.pen_color = 0;
  context.fill_on = 0;
  context.font_color_set = 0;
}

void draw_end(draw_context&) {}

void draw_parse(draw_context& context, const cell& commands, bool catch_p) {
  struct base_scope {
    uint32_t saved = std::exchange(run_cycle_base, cycles::depth());
    ~base_scope() { run_cycle_base = saved; }
  } base;
  walker(context, commands, catch_p).parse();
}

[[noreturn]] void draw_invalid(const cell& commands, uint32_t position, bool catch_p) {
  cell at = commands;
  at.payload1 = position;
  draw_raise(error_id::script_draw_invalid, at, catch_p);
}

void draw(const cell&, const cell& commands) {
  if (commands.type() != TYPE_BLOCK || commands.payload1 >= tail_of(commands)) return;
  draw_context context;
  draw_begin(context);
  try {
    draw_parse(context, commands, false);
  } catch (const system_throw_signal&) {
    draw_end(context);
    // A silent error ends the run and nothing more.
    if (thrown_code != 1) throw;
    thrown_code = 0;
    return;
  }
  draw_end(context);
}

void draw_face(int x, int y, widget_id face_widget, const clip_rect& clip, uint32_t attr_flags) {
  const widget* record = widget_of(face_widget);
  if (!record || record->face.type() != TYPE_OBJECT) return;
  const cell* facet = context::find_value(object::context_of(record->face), id(dw::draw));
  if (!facet || facet->type() != TYPE_BLOCK || facet->payload1 >= tail_of(*facet)) return;
  const cell commands = *facet;
  draw_context context;
  context.widget = face_widget;
  context.origin_x = x;
  context.origin_y = y;
  context.clip = clip;
  context.attr_flags = attr_flags;
  draw_begin(context);
  draw_parse(context, commands, true);
  draw_end(context);
}

}  // namespace tav::tui
