// Path evaluation: path!, get-path! and set-path! met by the interpreter. Selecting through
// paths comes with the path datatype; until then evaluating one raises internal/not-done.
#include "interpreter/interpreter.hpp"
#include "runtime/errors.hpp"

namespace tav::interpreter {

uint32_t do_path(const code*, uint32_t, const cell&, bool, bool, bool) { fire(error_id::internal_not_done); }

}  // namespace tav::interpreter
