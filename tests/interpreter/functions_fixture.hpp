// Test fixture for paths and the function-making, selection, do and apply natives.
#pragma once
#include "evaluation_fixture.hpp"

namespace tav::testing {

using functions = evaluation;

}  // namespace tav::testing
