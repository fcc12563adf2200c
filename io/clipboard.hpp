// The desktop clipboard through the programs that reach it: wl-copy and wl-paste on Wayland,
// xclip on X11. Data crosses as bytes of a named type; file lists cross as text/uri-list.
#pragma once
#include <string>
#include <vector>

namespace tav::clipboard {

enum class program { none, wayland, xclip };

// wl-copy and wl-paste when WAYLAND_DISPLAY is set and both are on PATH; else xclip when
// DISPLAY is set and it is on PATH; else none.
program reach();

// How long a clipboard program may run before it is killed and the call fails.
inline int timeout_ms = 2000;

enum class answer { done, nothing, failed };

// The types the clipboard offers now: nothing when it has no owner, failed when the program
// could not be run or did not answer in time.
answer list_types(program through, std::vector<std::string>& types);
// The bytes of one offered type.
answer fetch(program through, const std::string& type, std::vector<unsigned char>& bytes);
// Hands the bytes to the clipboard as the only type it offers; false when the program fails
// or, on X11, when the clipboard does not hand them out in time.
bool offer(program through, const std::string& type, const std::vector<unsigned char>& bytes);
// Leaves the clipboard offering nothing a read takes.
bool clear(program through);

// Absolute paths (UTF-8) as a text/uri-list: file:// and the percent-encoded path, CR LF
// between.
std::string uri_list(const std::vector<std::string>& paths);
// The paths of the list's file: URIs, decoded; other schemes, comments and blank lines are
// skipped.
std::vector<std::string> paths_of(const std::string& uri_list);

}  // namespace tav::clipboard
