// The JSON decoder's native part: resolving the backslash escapes of a decoded string.
#pragma once
#include "datatypes/function.hpp"
#include "runtime/cell.hpp"

namespace tav::library::json {

// unescape str: rewrites the string from its position to its tail with every escape resolved
// and answers it; a high surrogate escape without a low one after it raises script/invalid-data.
routine::answer unescape(cell* arguments);

}  // namespace tav::library::json
