// Start-up sequence: prepares the process and runs the runtime on its own thread.
#pragma once

namespace tav::boot {

int main(int argc, char** argv);

// The runtime initialiser: every subsystem in its start-up order, the collector last.
// The program and the unit tests both start through it.
void init_runtime();

}  // namespace tav::boot
