// The library's built-in routines, which its start-up sources bind by name.
#pragma once

namespace tav::library {

// Adds the routines to start-up's built-ins; the program calls it once before start-up.
void install();

}  // namespace tav::library
