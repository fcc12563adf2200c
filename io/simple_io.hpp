// Files and directories: the thin layer over the system's file calls and, on top of it, the
// whole-file reads and writes, directory listings, queries, deletes and renames behind the
// file! actions, with the byte-to-text conversions the HTTP client shares.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "runtime/cell.hpp"

namespace tav::simple_io {

// ---- Low-level layer: descriptors, -1 for failure everywhere ------------------------------

// Bits of the open mode: 1 read, 2 write, 4 append, 8 positioned write (a /seek was given).
namespace mode {
inline constexpr int read = 1, write = 2, append = 4, seek = 8;
}  // namespace mode

int open_file(const char* path, int mode);
// The size the system reports: 0 for anything but a regular file (pipes, devices, /proc).
int64_t file_size_p(int file);
// From the start of the file; the new position, or -1.
int64_t seek(int file, int64_t offset);
// One read, retried when a signal interrupts it: the bytes read (0 at the end), or -1.
int64_t read_data(int file, uint8_t* buffer, size_t n);
// Reads until `n` bytes or the end: the bytes read, or -1 when a read failed.
int64_t read_fully(int file, uint8_t* buffer, size_t n);
// Writes all `n` bytes, piece after piece: `n`, or -1 when a write failed.
int64_t write_data(int file, const uint8_t* buffer, size_t n);
void close_file(int file);
bool make_dir(const char* path);
bool file_exists_p(const char* path);

// The system's form of a file! value, copied out of the conversion cache.
std::string os_path(cell& file);

// ---- Value-level operations --------------------------------------------------------------

// True when the path's text names a directory: it ends in "/" or "\", or it is "." or "..",
// or it ends in "/.", "\.", "/.." or "\..".
bool dir_p(const cell& file);

// The answers are left in `result`, a cell the caller keeps reachable (on the stack).

// The file's contents as text, lines or bytes (`part` and `seek` null when absent), or the
// listing of a directory path. Raises access/cannot-open.
void read(cell& file, const cell* part, const cell* seek, bool binary, bool lines, cell& result);
// Writes the value (to standard output when `file` is null); the answer is the byte count of
// the last piece written. Raises access/cannot-open when a piece could not be written.
void write(cell* file, const cell& value, const cell* part, const cell* seek, bool binary, bool append, bool lines,
           cell& result);
// The modification time as a date! in UTC, or none.
void query(cell& file, cell& result);
bool delete_(cell& file);
// Never replaces an existing target.
bool rename(cell& from, cell& to);

// A system path's bytes as a new string! at the block's tail: a byte outside valid UTF-8 is
// kept as U+DC80..U+DCFF, as in the listing of a folder.
cell* load_path_name(const std::string& name, cell& block);

// UTF-8 bytes as a new string!: a leading byte-order mark dropped, CR LF and lone CR turned
// into LF.
void load_text(const uint8_t* bytes, size_t n, cell& result);
// A block! of one string! per line: lines end at LF, a CR before the LF is dropped, and a
// last LF adds no empty line.
void split_lines(const uint8_t* bytes, size_t n, cell& result);

// The header lines of an HTTP response as a map! of word! names to their string! values, a
// block! of strings for a name that comes more than once.
void parse_headers(const uint8_t* bytes, size_t n, cell& result);
// Connects url! reads and writes of http and https to the HTTP client.
void init_http();

// Connects the file! actions (and the HTTP client) to these services.
void init();

}  // namespace tav::simple_io
