// The tav program's entry point.
#include "boot/startup.hpp"

int main(int argc, char** argv) { return tav::boot::main(argc, argv); }
