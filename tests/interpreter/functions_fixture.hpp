// Test fixture for paths and the function-making, selection, do and apply natives: the
// evaluation fixture's core plus these natives and the actions the cases call.
#pragma once
#include "evaluation_fixture.hpp"

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
};

}  // namespace tav::testing
