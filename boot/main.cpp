// The tav program's entry point: the layers above start-up add their built-ins, then it starts.
#include "boot/startup.hpp"
#include "library/routines.hpp"

int main(int argc, char** argv) {
  tav::library::install();
  return tav::boot::main(argc, argv);
}
