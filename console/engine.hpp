// Console engine: the C++ side of console/engine.tav, the binding of the code it loads.
#pragma once

namespace tav::terminal::engine {

// Registers the engine's routine `_bind-global`; the console's install calls it.
void install();

// The engine's start-up step: `_bind-global`, then the system/console object.
void define();

}  // namespace tav::terminal::engine
