// Running a script: the command line's options, reading the script (the file named on the
// command line, else standard input), its header, loading and evaluating it, and the status
// the program ends with.
#pragma once

namespace tav::boot {

// The statuses a run ends with.
inline constexpr int status_ok = 0;
inline constexpr int status_failed = -2 & 0xFF;  // an error that reached the top, no header

// Runs the script the arguments name (argv[0] is the program) and answers the exit status. An
// error raised while the script is evaluated is reported and ends the process at once with
// `status_failed`.
int launch(int argc, char** argv);

}  // namespace tav::boot
