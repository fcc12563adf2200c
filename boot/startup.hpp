// Start-up sequence: prepares the process and runs the runtime on its own thread.
#pragma once

namespace tav::boot {

int main(int argc, char** argv);

}  // namespace tav::boot
