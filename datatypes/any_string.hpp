// file!, url!, tag! and email!: the text types with a syntax of their own. They share the
// string! cell and buffer and take most of their actions from string! (file! through url!).
// Files and URLs are also where file and network I/O start; until those services exist their
// I/O actions raise internal/not-done.
#pragma once
#include <cstddef>
#include <cstdint>

#include "datatypes/percent_coding.hpp"
#include "datatypes/string.hpp"
#include "runtime/cell.hpp"

namespace tav {

namespace url {

// A new url! pushed on the stack from raw text, percent-decoded.
cell* load(const uint8_t* bytes, size_t length, string::encoding from);
cell* push(const cell& value);
// Appends the percent-decoded text of the string (from its head) to `output`.
void decode(const cell& string, cell& output);
// Appends the text of the string (from its head) percent-encoded in `mode` to `output`.
void encode(const cell& string, cell& output, uint32_t mode);

// ---- What the network services connect ----------------------------------------------------
// One HTTP request: the method word, the headers block and the data (none, a block, a string
// or a binary) or null for none; the answer goes to `result`. False when no answer came
// (access/no-connect follows). Until it is connected, reads and writes of http URLs raise
// internal/not-done.
using http_requester = bool (*)(cell& url, const cell& method, const cell* headers, const cell* data, bool binary,
                                bool lines, bool info, cell& result);
extern http_requester http_request;

// The library's URL parser: the URL's parts as an object (or whatever else it answers), pushed.
// Until it is connected, opening, reading and writing URLs of schemes other than HTTP raise
// internal/not-done.
using url_parser = cell* (*)(const cell& url);
extern url_parser parse_url;

cell* make(cell* prototype, cell* spec, int32_t type);
cell* to(cell* prototype, cell* spec, int32_t type);
int32_t mold(cell* value, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit, int32_t indent);
cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell* container, cell* previous, int32_t index,
                bool case_sensitive, bool get, bool last, bool store_back);
cell* open(cell* port, bool new_, bool read, bool write, bool seek, cell* allow);
cell* read(cell* source, cell* part, cell* seek, bool binary, bool lines, bool info, cell* as);
cell* write(cell* destination, cell* data, bool binary, bool lines, bool info, bool append, cell* part, cell* seek,
            cell* allow, cell* as);
// Registers url!; string! must be registered first.
void init();

}  // namespace url

namespace file {

// A new file! pushed on the stack from raw text.
cell* load(const uint8_t* bytes, size_t length, string::encoding from);
cell* push(const cell& value);
// Appends the system's form of the path (from the file's head) to `output`: the POSIX path
// itself; with `full` a relative path gets the current directory before it.
void to_local_path(const cell& file, cell& output, bool full);
// The system's form of the path as NUL-terminated UTF-8, for system calls; valid until the
// next allocation. A name holding a NUL raises access/cannot-open with the file.
const char* to_os_path(cell& file);
// A new string! pushed on the stack: the current directory, ending in "/".
cell* get_current_dir();
// Turns every "\" of the text into "/", in place.
void normalize_slashes(cell& string);

// ---- What the file services connect ----------------------------------------------------
// The disk is reached through these; until they are connected, read, write, query, delete and
// rename raise internal/not-done. `read`, `write` and `query` leave their answer in `result`,
// a cell on the stack; `part` and `seek` are null when the refinement is absent.
struct services {
  void (*read)(cell& file, const cell* part, const cell* seek, bool binary, bool lines, cell& result);
  void (*write)(cell* file, const cell& data, const cell* part, const cell* seek, bool binary, bool append,
                bool lines, cell& result);
  void (*query)(cell& file, cell& result);
  bool (*delete_)(cell& file);
  bool (*rename)(cell& from, cell& to);
};
extern services io;

int32_t mold(cell* value, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit, int32_t indent);
cell* delete_(cell* port);
cell* query(cell* target);
cell* read(cell* source, cell* part, cell* seek, bool binary, bool lines, bool info, cell* as);
cell* rename(cell* from, cell* to);
cell* write(cell* destination, cell* data, bool binary, bool lines, bool info, bool append, cell* part, cell* seek,
            cell* allow, cell* as);
// Registers file!; url! must be registered first.
void init();

}  // namespace file

namespace tag {
cell* push(const cell& value);
int32_t form(cell* value, cell* buffer, cell* part, int32_t limit);
int32_t mold(cell* value, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit, int32_t indent);
void init();
}  // namespace tag

namespace email {
cell* push(const cell& value);
int32_t mold(cell* value, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit, int32_t indent);
// An integer! picks or pokes a character; the words user and host read or replace the text
// before and after the first "@".
cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell* container, cell* previous, int32_t index,
                bool case_sensitive, bool get, bool last, bool store_back);
void init();
}  // namespace email

}  // namespace tav
