// Files and directories: POSIX descriptors under whole-file reads and writes, directory
// listings, queries, deletes and renames, and the text and line conversions of read bytes.
#include "io/simple_io.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include "datatypes/actions.hpp"
#include "datatypes/any_string.hpp"
#include "datatypes/binary.hpp"
#include "datatypes/block.hpp"
#include "datatypes/date.hpp"
#include "datatypes/scalar_support.hpp"
#include "datatypes/string.hpp"
#include "datatypes/text_output.hpp"
#include "datatypes/types.hpp"
#include "datatypes/values.hpp"
#include "runtime/errors.hpp"
#include "runtime/memory.hpp"
#include "runtime/unicode.hpp"
#include "runtime/unicode_string.hpp"

namespace tav::simple_io {
namespace {

// Reads of files whose size the system does not know grow their buffer by this much at least.
constexpr size_t chunk = 65536;
// The most bytes one read may answer: a series holds at most this much.
constexpr int64_t most_read = INT32_MAX;

struct descriptor {
  int fd;
  explicit descriptor(int file) : fd(file) {}
  ~descriptor() {
    if (fd >= 0) close_file(fd);
  }
  descriptor(const descriptor&) = delete;
  descriptor& operator=(const descriptor&) = delete;
};

[[noreturn, gnu::cold]] void cannot_open(const cell& file) { fire(error_id::access_cannot_open, file); }

// The integer of a refinement argument; anything else raises script/invalid-refine-arg.
int64_t refinement_integer(const char* name, const cell* value) {
  if (!value) return -1;
  if (value->type() != TYPE_INTEGER) fire(error_id::script_invalid_refine_arg, scalar_support::word_named(name), *value);
  return scalar::integer_value(*value);
}

void empty_result(bool binary, bool lines, cell& result) {
  if (binary)
    binary::make_at(result, 0);
  else if (lines)
    block::make_at(result, 1);
  else
    text::make_at(result, 0);
}

void convert(const uint8_t* bytes, size_t n, bool binary, bool lines, cell& result) {
  if (n == 0) return empty_result(binary, lines, result);
  if (binary) {
    result = *binary::load_in(bytes, n, nullptr);
  } else if (lines) {
    split_lines(bytes, n, result);
  } else {
    load_text(bytes, n, result);
  }
}

// ---- Reading a file ------------------------------------------------------------------------

// A file of known size: the bytes after `seek`, at most `part` of them, read in place. A file
// that shrank since its size was read gives what it still holds.
bool read_sized(int fd, int64_t size, int64_t part, int64_t seek_to, bool binary, bool lines, cell& result) {
  if (seek_to > 0 && seek(fd, seek_to) < 0) return false;
  int64_t n = size - std::max<int64_t>(seek_to, 0);
  if (part >= 0 && part < n) n = part;
  if (n <= 0) {
    empty_result(binary, lines, result);
    return true;
  }
  if (n > most_read) return false;
  if (binary) {
    binary::make_at(result, static_cast<uint32_t>(n));
    series_buffer* buffer = buffer_of(result.payload2);
    int64_t got = read_fully(fd, buffer->head(), static_cast<size_t>(n));
    if (got < 0) return false;
    buffer->tail = buffer->offset + static_cast<uint32_t>(got);
    return true;
  }
  std::unique_ptr<uint8_t[]> bytes(new uint8_t[static_cast<size_t>(n)]);
  int64_t got = read_fully(fd, bytes.get(), static_cast<size_t>(n));
  if (got < 0) return false;
  convert(bytes.get(), static_cast<size_t>(got), binary, lines, result);
  return true;
}

// Pipes, devices and /proc files report no size: read to the end, or only as far as `seek` +
// `part` reaches when a part is given (so /dev/zero ends), then drop the first `seek` bytes.
bool read_streamed(int fd, int64_t part, int64_t seek_to, bool binary, bool lines, cell& result) {
  const int64_t skip = std::max<int64_t>(seek_to, 0);
  const int64_t want = part >= 0 ? skip + part : INT64_MAX;
  std::vector<uint8_t> bytes;
  int64_t have = 0;
  while (have < want) {
    if (bytes.size() - static_cast<size_t>(have) < chunk) bytes.resize(std::max(bytes.size() * 2, have + chunk));
    const int64_t room = std::min<int64_t>(want - have, static_cast<int64_t>(bytes.size()) - have);
    const int64_t got = read_data(fd, bytes.data() + have, static_cast<size_t>(room));
    if (got < 0) return false;
    if (got == 0) break;
    have += got;
    if (have - skip > most_read) return false;
  }
  if (have <= skip) {
    empty_result(binary, lines, result);
    return true;
  }
  convert(bytes.data() + skip, static_cast<size_t>(have - skip), binary, lines, result);
  return true;
}

bool read_file(const char* path, int64_t part, int64_t seek_to, bool binary, bool lines, cell& result) {
  descriptor file(open_file(path, mode::read));
  if (file.fd < 0) return false;
  const int64_t size = file_size_p(file.fd);
  if (size < 0) return false;
  if (part == 0) {
    empty_result(binary, lines, result);
    return true;
  }
  if (size == 0) return read_streamed(file.fd, part, seek_to, binary, lines, result);
  return read_sized(file.fd, size, part, seek_to, binary, lines, result);
}

// ---- Directory listing ---------------------------------------------------------------------

struct directory {
  DIR* handle;
  explicit directory(const char* path) : handle(::opendir(path)) {}
  ~directory() {
    if (handle) ::closedir(handle);
  }
  directory(const directory&) = delete;
  directory& operator=(const directory&) = delete;
};

bool entry_is_dir_p(DIR* handle, const dirent* entry) {
  if (entry->d_type == DT_DIR) return true;
  if (entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN) return false;
  struct stat info {};
  return ::fstatat(::dirfd(handle), entry->d_name, &info, 0) == 0 && S_ISDIR(info.st_mode);
}

bool utf8_p(const std::string& name) {
  uint32_t state = unicode::utf8_accept;
  for (const char byte : name) {
    state = unicode::utf8_dfa[256 + state + unicode::utf8_dfa[static_cast<uint8_t>(byte)]];
    if (state == unicode::utf8_reject) return false;
  }
  return state == unicode::utf8_accept;
}

void append_utf16(std::string& out, uint32_t unit) {
  out += static_cast<char>(unit & 0xFF);
  out += static_cast<char>(unit >> 8);
}

// A name that is not UTF-8 keeps its bytes: each byte outside a valid sequence becomes
// U+DC80..U+DCFF, which the system form of the path turns back into that byte. Built as
// UTF-16, where such a lone unit stays as it is.
std::string stray_bytes_as_utf16(const std::string& name) {
  std::string out;
  const auto* bytes = reinterpret_cast<const uint8_t*>(name.data());
  const size_t n = name.size();
  for (size_t i = 0; i < n;) {
    uint32_t state = unicode::utf8_accept, cp = 0;
    size_t j = i;
    do {
      const uint8_t byte = bytes[j++];
      const uint32_t type = unicode::utf8_dfa[byte];
      cp = state != unicode::utf8_accept ? (byte & 0x3Fu) | (cp << 6) : (0xFFu >> type) & byte;
      state = unicode::utf8_dfa[256 + state + type];
    } while (state != unicode::utf8_accept && state != unicode::utf8_reject && j < n);
    if (state != unicode::utf8_accept) {
      append_utf16(out, 0xDC00u + bytes[i++]);
      continue;
    }
    if (cp >= 0x10000) {
      append_utf16(out, 0xD800u + ((cp - 0x10000) >> 10));
      append_utf16(out, 0xDC00u + ((cp - 0x10000) & 0x3FF));
    } else {
      append_utf16(out, cp);
    }
    i = j;
  }
  return out;
}

cell* load_name(const std::string& name, cell& block) {
  if (utf8_p(name))
    return string::load_in(reinterpret_cast<const uint8_t*>(name.data()), name.size(), block, string::encoding::utf8);
  const std::string units = stray_bytes_as_utf16(name);
  return string::load_in(reinterpret_cast<const uint8_t*>(units.data()), units.size(), block,
                         string::encoding::utf16le);
}

void read_dir(cell& file, cell& result) {
  std::string path = os_path(file);
  if (!path.empty() && path.back() == '.') path += '/';
  directory listing(path.c_str());
  if (!listing.handle) cannot_open(file);
  block::make_at(result, 16);
  std::string name;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(listing.handle);
    if (!entry) {
      if (errno != 0) cannot_open(file);
      break;
    }
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    name.assign(entry->d_name);
    if (entry_is_dir_p(listing.handle, entry)) name += '/';
    set_type(*load_name(name, result), TYPE_FILE);
  }
}

// ---- Writing ---------------------------------------------------------------------------------

constexpr uint8_t line_end = '\n';

struct byte_run {
  const uint8_t* bytes;
  size_t length;
};

// One-byte units below 128 are their own UTF-8: such a text is written where it lies, without
// a converted copy. Null bytes when the text needs converting.
byte_run ascii_run(const cell& text, int64_t part) {
  const series_buffer* buffer = buffer_of(text.payload2);
  if (buffer->unit() != 1) return {nullptr, 0};
  const uint32_t count = buffer->count();
  const uint32_t head = std::min<uint32_t>(static_cast<uint32_t>(std::max(static_cast<int32_t>(text.payload1), 0)), count);
  size_t length = count - head;
  if (part >= 0 && static_cast<uint64_t>(part) < length) length = static_cast<size_t>(part);
  const uint8_t* units = buffer_of(text.payload2)->head() + head;
  uint64_t high = 0;
  size_t i = 0;
  for (; i + 8 <= length; i += 8) {
    uint64_t word;
    std::memcpy(&word, units + i, 8);
    high |= word;
  }
  for (; i < length; ++i) high |= units[i];
  return high & 0x8080808080808080u ? byte_run{nullptr, 0} : byte_run{units, length};
}

// The value's bytes: a string! as UTF-8 up to `part` characters, a binary! from its head up to
// `part` bytes, anything else molded into `scratch` (a reachable cell) and then taken as a
// string. Valid until the next allocation.
byte_run value_bytes(const cell& value, int64_t part, cell& scratch) {
  if (value.type() == TYPE_BINARY) {
    size_t length = binary::ts_length_p(value);
    if (part >= 0 && static_cast<uint64_t>(part) < length) length = static_cast<size_t>(part);
    return {binary::ts_head(value), length};
  }
  cell text = value;
  if (value.type() != TYPE_STRING) {
    text::make_at(scratch, 16);
    cell molded = value;
    actions::mold(&molded, &scratch, false, false, false, nullptr, INT32_MAX, 0);
    text = scratch;
  }
  if (const byte_run ascii = ascii_run(text, part); ascii.bytes) return ascii;
  int64_t length = part;
  const uint8_t* bytes = unicode::to_utf8(text, &length);
  return {bytes, static_cast<size_t>(length)};
}

// Standard output when there is no file.
int open_for_write(const cell* file, const std::string& path, bool append, int64_t seek_to) {
  if (!file) return STDOUT_FILENO;
  int fd = open_file(path.c_str(), mode::write | (append ? mode::append : 0) | (seek_to >= 0 ? mode::seek : 0));
  if (fd >= 0 && seek_to > 0 && !append && seek(fd, seek_to) < 0) {
    close_file(fd);
    return -1;
  }
  return fd;
}

// Opens, writes the pieces and closes; the answer is `last`, the count of the last piece. A
// piece that could not be written raises access/cannot-open. Nothing here allocates until the
// answer, so the pieces stay where they are.
void write_pieces(cell* file, const std::string& path, bool append, int64_t seek_to, const byte_run* pieces,
                  size_t count, int64_t last, cell& result) {
  const int fd = open_for_write(file, path, append, seek_to);
  bool written = fd >= 0;
  for (size_t i = 0; written && i < count; ++i) written = write_data(fd, pieces[i].bytes, pieces[i].length) >= 0;
  if (file && fd >= 0) close_file(fd);
  if (!written) cannot_open(file ? *file : none::value);
  result = scalar::integer(static_cast<int32_t>(std::min<int64_t>(last, INT32_MAX)));
}

}  // namespace

cell* load_path_name(const std::string& name, cell& block) { return load_name(name, block); }

// ---- Low-level layer -------------------------------------------------------------------------

int open_file(const char* path, int mode) {
  int flags = O_CLOEXEC;
  if (mode == mode::read) {
    flags |= O_RDONLY;
  } else {
    flags |= O_WRONLY | O_CREAT;
    if (mode & mode::append) flags |= O_APPEND;
    if (!(mode & (mode::append | mode::seek))) flags |= O_TRUNC;
  }
  int fd;
  do fd = ::open(path, flags, 0666);
  while (fd < 0 && errno == EINTR);
  return fd;
}

int64_t file_size_p(int file) {
  struct stat info {};
  if (::fstat(file, &info) != 0) return -1;
  return S_ISREG(info.st_mode) ? static_cast<int64_t>(info.st_size) : 0;
}

int64_t seek(int file, int64_t offset) { return ::lseek(file, static_cast<off_t>(offset), SEEK_SET); }

int64_t read_data(int file, uint8_t* buffer, size_t n) {
  ssize_t got;
  do got = ::read(file, buffer, n);
  while (got < 0 && errno == EINTR);
  return got;
}

int64_t read_fully(int file, uint8_t* buffer, size_t n) {
  size_t have = 0;
  while (have < n) {
    const int64_t got = read_data(file, buffer + have, n - have);
    if (got < 0) return -1;
    if (got == 0) break;
    have += static_cast<size_t>(got);
  }
  return static_cast<int64_t>(have);
}

int64_t write_data(int file, const uint8_t* buffer, size_t n) {
  size_t done = 0;
  while (done < n) {
    const ssize_t put = ::write(file, buffer + done, n - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return -1;
    done += static_cast<size_t>(put);
  }
  return static_cast<int64_t>(n);
}

void close_file(int file) { ::close(file); }

bool make_dir(const char* path) { return ::mkdir(path, 0777) == 0; }

// A link that points nowhere is still an entry of its folder.
bool file_exists_p(const char* path) {
  struct stat info {};
  return ::lstat(path, &info) == 0;
}

std::string os_path(cell& file) { return file::to_os_path(file); }

// ---- Value-level operations --------------------------------------------------------------

bool dir_p(const cell& file) {
  const uint32_t length = string::ts_length_p(file);
  if (length == 0) return false;
  cell text = file;
  auto at_end = [&](uint32_t back) {
    return string::ts_abs_at(text, static_cast<uint32_t>(text.payload1) + length - back);
  };
  auto slash_p = [](uint32_t cp) { return cp == '/' || cp == '\\'; };
  const uint32_t last = at_end(1);
  if (slash_p(last)) return true;
  if (last != '.') return false;
  if (length == 1 || slash_p(at_end(2))) return true;
  if (at_end(2) != '.') return false;
  return length == 2 || slash_p(at_end(3));
}

void read(cell& file, const cell* part, const cell* seek_at, bool binary, bool lines, cell& result) {
  const int64_t part_value = refinement_integer("part", part);
  const int64_t seek_value = refinement_integer("seek", seek_at);
  if (dir_p(file)) return read_dir(file, result);
  const std::string path = os_path(file);
  if (!read_file(path.c_str(), part_value, seek_value, binary, lines, result)) cannot_open(file);
}

void write(cell* file, const cell& value, const cell* part, const cell* seek_at, bool binary, bool append, bool lines,
           cell& result) {
  const int64_t part_value = refinement_integer("part", part);
  const int64_t seek_value = refinement_integer("seek", seek_at);
  result = scalar::integer(-1);
  if (part && part_value < 0) return;
  const std::string path = file ? os_path(*file) : std::string();
  // Lines end with LF on this system, so /binary changes nothing in what a string! gives.
  (void)binary;
  const cell data = value;
  if (!lines || data.type() != TYPE_BLOCK) {
    const byte_run run = value_bytes(data, part_value, result);
    if (!lines) return write_pieces(file, path, append, seek_value, &run, 1, static_cast<int64_t>(run.length), result);
    const byte_run pieces[] = {run, {&line_end, 1}};
    return write_pieces(file, path, append, seek_value, pieces, 2, 1, result);
  }
  std::vector<uint8_t> bytes;
  for (uint32_t i = data.payload1; i < buffer_of(data.payload2)->count(); ++i) {
    const cell item = buffer_of(data.payload2)->cells()[i];
    const byte_run run = value_bytes(item, -1, result);
    bytes.insert(bytes.end(), run.bytes, run.bytes + run.length);
    bytes.push_back(line_end);
  }
  const byte_run all = {bytes.data(), bytes.size()};
  write_pieces(file, path, append, seek_value, &all, 1, 1, result);
}

void query(cell& file, cell& result) {
  result = none::value;
  const std::string path = os_path(file);
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return;
  if (!path.empty() && path.back() == '/' && !S_ISDIR(info.st_mode)) return;
  std::tm parts {};
  const time_t seconds = info.st_mtim.tv_sec;
  if (!::gmtime_r(&seconds, &parts)) return;
  const auto milliseconds = static_cast<int32_t>(info.st_mtim.tv_nsec / 1000000);
  date::make_at_hms(result, parts.tm_year + 1900, static_cast<uint32_t>(parts.tm_mon + 1),
                    static_cast<uint32_t>(parts.tm_mday), parts.tm_hour, parts.tm_min, parts.tm_sec,
                    milliseconds * 1000000);
}

bool delete_(cell& file) {
  const std::string path = os_path(file);
  return dir_p(file) ? ::rmdir(path.c_str()) == 0 : ::unlink(path.c_str()) == 0;
}

// Where the file system cannot rename without replacing, a link and an unlink do the same for
// files; a folder is then renamed only when nothing holds the new name.
bool rename(cell& from, cell& to) {
  const std::string old_path = os_path(from);
  const std::string new_path = os_path(to);
  if (::renameat2(AT_FDCWD, old_path.c_str(), AT_FDCWD, new_path.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return false;
  if (::link(old_path.c_str(), new_path.c_str()) == 0) return ::unlink(old_path.c_str()) == 0;
  if (errno != EPERM || file_exists_p(new_path.c_str())) return false;
  return ::rename(old_path.c_str(), new_path.c_str()) == 0;
}

void load_text(const uint8_t* bytes, size_t n, cell& result) {
  size_t left = 0;
  const node_id node = unicode::load_utf8(bytes, n, 0, &left, true);
  result = cell{TYPE_STRING, 0, node, 0};
}

void split_lines(const uint8_t* bytes, size_t n, cell& result) {
  block::make_at(result, 1);
  const uint8_t* end = bytes + n;
  const uint8_t* start = bytes;
  while (start < end) {
    const auto* lf = static_cast<const uint8_t*>(std::memchr(start, '\n', static_cast<size_t>(end - start)));
    const uint8_t* stop = lf ? lf : end;
    size_t length = static_cast<size_t>(stop - start);
    if (lf && length > 0 && stop[-1] == '\r') --length;
    string::load_in(start, length, result, string::encoding::utf8);
    if (!lf) break;
    start = lf + 1;
  }
}

void init() {
  file::io = {
      .read = read,
      .write = write,
      .query = query,
      .delete_ = delete_,
      .rename = rename,
  };
  init_http();
}

}  // namespace tav::simple_io
