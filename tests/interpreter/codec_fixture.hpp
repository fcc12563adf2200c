// Evaluation of source text read by the real lexer, with the codec and set natives defined by
// their specs, for the tests of those natives.
#pragma once
#include "interpreter/evaluation_fixture.hpp"
#include "interpreter/load_helpers.hpp"

namespace tav::testing {

class codec_evaluation : public evaluation {
 protected:
  void SetUp() override {
    evaluation::SetUp();
    source::define("any-string!", source::typeset_of({TYPE_STRING, TYPE_FILE, TYPE_EMAIL, TYPE_URL, TYPE_TAG}));
    source::define("series!", source::typeset_of({TYPE_BLOCK, TYPE_PAREN, TYPE_PATH, TYPE_LIT_PATH, TYPE_SET_PATH,
                                          TYPE_GET_PATH, TYPE_STRING, TYPE_FILE, TYPE_EMAIL, TYPE_URL, TYPE_TAG,
                                          TYPE_BINARY, TYPE_HASH}));
    source::define_action("next", "[series [series!]]");
    source::define_action("length?", "[series [series!]]");
    source::define_action("make", "[type [any-type!] spec [any-type!]]");
    source::define_action("complement", "[value [any-type!]]");
    const char* set2 = "[set1 [block! hash! string! bitset! typeset!] set2 [block! hash! string! bitset! typeset!]"
                       " /case /skip size [integer!]]";
    source::define_native("union", set2);
    source::define_native("intersect", set2);
    source::define_native("exclude", set2);
    source::define_native("difference",
                          "[set1 [block! hash! string! bitset! typeset! date!] set2 [block! hash! string! bitset!"
                          " typeset! date!] /case /skip size [integer!]]");
    source::define_native("unique", "[set [block! hash! string!] /case /skip size [integer!]]");
    source::define_native("complement?", "[bits [bitset!]]");
    source::define_native("transcode",
                          "[src [string! binary!] /next /one /prescan /scan /part length [integer! string! binary!]"
                          " /into dst [block!] /trace callback [function!]]");
    source::define_native("checksum", "[data [string! binary! file!] method [word!] /with spec [any-type!]]");
    source::define_native("compress", "[data [string! binary!] method [word!]]");
    source::define_native("dehex", "[value [any-string!]]");
    source::define_native("enhex", "[value [any-string!]]");
    source::define_native("debase", "[value [string!] /base base-value [integer!]]");
    source::define_native("enbase", "[value [binary! string!] /base base-value [integer!]]");
    source::define_native("decompress", "[data [binary!] method [word!] /size sz [integer!]]");
  }

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
