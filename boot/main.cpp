// The tav program's entry point: the layers above start-up add their built-ins and install their
// hooks, then it starts.
#include "boot/startup.hpp"
#include "console/terminal.hpp"
#include "library/routines.hpp"

int main(int argc, char** argv) {
  tav::library::install();
  tav::terminal::install();
  return tav::boot::main(argc, argv);
}
