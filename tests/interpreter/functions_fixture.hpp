// Test fixture for paths and the function-making, selection, do and apply natives: the
// evaluation fixture's core plus these natives and the actions the cases call, with code
// loaded by the lexer and its words bound in the global context, as `load` leaves them.
#pragma once
#include <string_view>

#include "datatypes/word.hpp"
#include "evaluation_fixture.hpp"
#include "interpreter/transcode.hpp"
#include "runtime/cycle_stack.hpp"

namespace tav::testing {

class functions : public evaluation {
 protected:
  void SetUp() override {
    evaluation::SetUp();
    source::define_native("func", "[spec [block!] body [block!]]");
    source::define_native("function", "[spec [block!] body [block!] /extern]");
    source::define_native("does", "[body [block!]]");
    source::define_native("has", "[vars [block!] body [block!]]");
    source::define_native("switch", "[value [any-type!] cases [block!] /default case [block!]]");
    source::define_native("case", "[cases [block!] /all]");
    source::define_native("do",
                          "[value [any-type!] /expand /args arg /next position [word!] /trace callback [function!]]");
    source::define_native("apply", "[func [any-type!] args [block!] /all /safer]");
    source::define_action("make", "[type [any-type!] spec [any-type!]]");
    source::define_action("append",
                          "[series [block! paren! path! string!] value [any-type!] /part length [number! block!] /only"
                          " /dup count [number!]]");
    source::define_action("pick", "[series [any-type!] index [any-type!]]");
    source::define_action("length?", "[series [any-type!]]");
    source::define_action("next", "[series [any-type!]]");
  }

  // Binds every word of the block, nested blocks, parens and paths included, in the global
  // context (adding the words it lacks).
  static void bind_global(const cell& block) {
    node_id node = block.payload2;
    if (cycles::find(node)) return;
    cycles::guard walking(node);
    for (uint32_t i = block.payload1; i < buffer_of(node)->count(); ++i) {
      cell value = buffer_of(node)->cells()[i];
      uint8_t type = value.type();
      if (type == TYPE_BLOCK || type == TYPE_PAREN || series::any_path_p(type)) {
        bind_global(value);
      } else if (type >= TYPE_WORD && type <= TYPE_REFINEMENT && !value.payload1) {
        cell bound;
        word::make_at(bound, word::symbol_of(value));
        buffer_of(node)->cells()[i].payload1 = bound.payload1;
        buffer_of(node)->cells()[i].payload3 = bound.payload3;
      }
    }
  }

  static cell load_text(std::string_view text) {
    cell block = none::value;
    lexer::transcode(block, reinterpret_cast<const uint8_t*>(text.data()), static_cast<uint32_t>(text.size()),
                     lexer::load_options{}, nullptr);
    bind_global(block);
    return block;
  }

  static outcome run(const char* text) { return evaluate_block(load_text(text)); }

  static cell value_of(const char* text) {
    outcome result = run(text);
    EXPECT_FALSE(result.error) << text << " raised " << error_info(*result.error).word;
    return result.value;
  }
  static std::optional<error_id> error_of(const char* text) { return run(text).error; }
  static std::string result_of(const char* text) { return molded(value_of(text)); }
};

}  // namespace tav::testing
