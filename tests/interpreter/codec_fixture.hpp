// Evaluation of source text read by the real lexer, for the tests of the codec and set natives.
#pragma once
#include "interpreter/evaluation_fixture.hpp"
#include "interpreter/load_helpers.hpp"

namespace tav::testing {

class codec_evaluation : public evaluation {
 protected:
  // Every word, in paths too, bound to the global context.
  static void bind_global(const cell& block) {
    series_buffer* buffer = buffer_of(block.payload2);
    for (uint32_t i = 0; i < buffer->count(); ++i) {
      cell& value = buffer->cells()[i];
      uint8_t type = value.type();
      if (type == TYPE_WORD || type == TYPE_SET_WORD || type == TYPE_GET_WORD || type == TYPE_LIT_WORD) {
        cell word;
        word::make_at(word, word::symbol_of(value));
        set_type(word, type);
        value = word;
      } else if (type == TYPE_BLOCK || type == TYPE_PAREN || (type >= TYPE_PATH && type <= TYPE_GET_PATH)) {
        bind_global(value);
      }
    }
  }

  // Code read by the lexer and bound to the global context as loading binds it, evaluated.
  // Paths do not evaluate yet, so code starting with one is the call it makes: the function
  // named by its first word, its other elements as refinements, the arguments from the rest.
  static outcome run(const char* text) {
    cell block = load_text(text);
    bind_global(block);
    series_buffer* buffer = buffer_of(block.payload2);
    if (buffer->count() == 0 || buffer->cells()[0].type() != TYPE_PATH) return evaluate_block(block);
    const cell path = buffer->cells()[0];
    cell code_block;
    block::make_at(code_block, buffer->count());
    for (uint32_t i = 1; i < buffer_of(block.payload2)->count(); ++i)
      block::append_cell(code_block, buffer_of(block.payload2)->cells()[i]);
    const cell first = buffer_of(path.payload2)->cells()[0];
    cell* base = stack::top;
    outcome result{none::value, std::nullopt};
    bool stopped = stack::catch_error(words::try_, false, [&] {
      const cell callable = *context::get(first);
      const interpreter::code source = interpreter::code_of(code_block);
      interpreter::call_options options;
      options.push = true;
      options.name = &first;
      options.path = &path;
      options.path_index = 1;
      uint32_t consumed = interpreter::apply_block(callable, &source, 0, options);
      EXPECT_EQ(consumed, buffer_of(code_block.payload2)->count()) << text;
    });
    if (stopped)
      result.error = last_fired.id;
    else
      result.value = *stack::last_pushed();
    stack::top = base;
    return result;
  }
  static std::string run_mold(const char* text) {
    outcome result = run(text);
    EXPECT_FALSE(result.error) << text << " raised " << error_info(*result.error).word;
    return molded(result.value);
  }
  static std::optional<error_id> run_error(const char* text) { return run(text).error; }
};

}  // namespace tav::testing
