// Number hand-offs: the entries other modules install, empty until they do.
#include "datatypes/number_handoff.hpp"

#include "runtime/errors.hpp"

namespace tav::handoff {

integer_reader string_to_integer = nullptr;
float_reader string_to_float = nullptr;
money_reader string_to_money = nullptr;
text_scanner transcode_first = nullptr;

do_math pair_do_math = nullptr;
do_math point2d_do_math = nullptr;
do_math point3d_do_math = nullptr;
do_math tuple_do_math = nullptr;
do_math date_do_math = nullptr;
do_math money_do_math = nullptr;
vector_math vector_do_math_op = nullptr;

money_compare_fn money_compare = nullptr;
money_from_integer_fn money_from_integer = nullptr;
money_from_float_fn money_from_float = nullptr;
money_to_integer_fn money_to_integer = nullptr;
money_to_float_fn money_to_float = nullptr;
money_sign_fn money_sign = nullptr;
money_zero_p_fn money_zero_p = nullptr;
date_to_epoch_fn date_to_epoch = nullptr;

void not_installed() { fire(error_id::internal_not_done); }

}  // namespace tav::handoff
