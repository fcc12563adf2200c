// Command line, environment and operating-system information: the process's arguments as one
// text, the environment as a map!, the argument type check and the os-info object.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "runtime/cell.hpp"

namespace tav::os {

// One argument as the command line writes it: between double quotes when it is empty or holds
// a space or a tab, else as it is.
std::string quote_argument(const char* argument);
// The arguments joined by single spaces, each written as `quote_argument` does.
std::string join_arguments(int count, char* const* arguments);
// Each maker below puts a new value in `target`, which must be a place the collector sees (a
// local, a stack cell or a rooted cell).

// A new string!: the process's command line joined from its arguments.
void get_command_line(cell& target);

// A new string! from system text: UTF-8 when the bytes are UTF-8, else one character per byte,
// so that no name or value the system hands over is refused.
void load_text(const char* bytes, size_t length, cell& target);

// A new map!: every "name=value" entry of the null-ended list, the name ending at the first "="
// after its first character. Names are case-sensitive keys.
void environment_map_of(char* const* entries, cell& target);
// The map of the process's own environment.
void environment_map(cell& target);

// Returns when the value is of the datatype `type`; else raises script/invalid-arg with it.
void check_arg_type(const cell& value, uint8_t type);

// What os-info reports, from the kernel and the distribution's release file.
struct system_facts {
  std::string name;       // "Linux " and the distribution's name, or the kernel release
  const char* arch;       // x86-32, ARM, IA-64, x86-64, ARM64 or Unknown
  uint8_t version[3];     // kernel major.minor.patch, each at most 255
  int32_t build;          // the number after "#" in the kernel's version text, else 0
};
// The architecture word for a `uname` machine name.
const char* arch_of_machine(const char* machine);
// The version bytes of a kernel release text ("6.1.0-18-amd64" gives 6.1.0).
void parse_release(const char* release, uint8_t version[3]);
// The build number of a kernel version text ("#1 SMP ..." gives 1).
int32_t parse_build(const char* version);
// PRETTY_NAME of an os-release text, its quotes taken off; empty when there is none.
std::string pretty_name_of(const std::string& os_release);
system_facts read_system_facts();

// The os-info object: name, arch, version and build, in that order.
void get_os_info(cell& target);

}  // namespace tav::os
