// Operating-system services: pages, directory, environment, sleep and clock.
#include "runtime/platform.hpp"

#include <sys/mman.h>
#include <sys/random.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "runtime/console_out.hpp"
#include "runtime/errors.hpp"
#include "runtime/heap.hpp"
#include "runtime/throw.hpp"

// Defined only in a build instrumented for profiling: the process ends through _exit, which skips
// the exit handler that would write the counts.
extern "C" [[gnu::weak]] void __gcov_dump();

namespace tav::platform {

// Outside the address checker, as the fatal report that calls it: by then the tracked heap, which
// may hold the stack in use, is freed.
TAV_SIGNAL_SAFE void end_process(int status) {
  if (__gcov_dump) __gcov_dump();
  _exit(status);
}

void* allocate_pages(size_t size, bool executable) {
  int protection = PROT_READ | PROT_WRITE | (executable ? PROT_EXEC : 0);
  void* address = ::mmap(nullptr, size, protection, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (address == MAP_FAILED) system_throw(code::page_alloc_failed);
  return address;
}

void free_pages(void* address, size_t size) {
  if (::munmap(address, size) != 0) system_throw(code::page_free_failed);
}

size_t page_size() {
  static const size_t size = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
  return size;
}

void* reserve_pages(size_t size) {
  void* address = ::mmap(nullptr, size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (address == MAP_FAILED) system_throw(code::page_alloc_failed);
  return address;
}

void commit_pages(void* address, size_t size) {
  if (::mprotect(address, size, PROT_READ | PROT_WRITE) != 0) system_throw(code::page_alloc_failed);
}

void discard_pages(void* address, size_t size) { ::madvise(address, size, MADV_DONTNEED); }

char* get_current_dir(size_t& length) {
  size_t capacity = 256;
  for (;;) {
    char* buffer = static_cast<char*>(heap_alloc(capacity));
    if (::getcwd(buffer, capacity)) {
      length = std::strlen(buffer);
      return buffer;
    }
    heap_free(buffer);
    if (errno != ERANGE) {
      length = 0;
      return nullptr;
    }
    capacity *= 2;
  }
}

bool set_current_dir(const char* path) { return ::chdir(path) == 0; }

bool set_env(const char* name, const char* value) {
  return (value ? ::setenv(name, value, 1) : ::unsetenv(name)) == 0;
}

size_t get_env(const char* name, char* buffer, size_t buffer_size) {
  const char* value = std::getenv(name);
  if (!value) return 0;
  size_t length = std::strlen(value);
  if (length + 1 > buffer_size) return length + 1;
  std::memcpy(buffer, value, length + 1);
  return length;
}

void random_bytes(uint8_t* buffer, size_t n) {
  while (n > 0) {
    ssize_t got = getrandom(buffer, n, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      fire(error_id::internal_feature_na);
    }
    buffer += got;
    n -= static_cast<size_t>(got);
  }
}

void sleep(double seconds) {
  double ms = seconds * 1000.0;
  long whole = ms < 1.0 ? 1 : static_cast<long>(ms);
  timespec request{whole / 1000, (whole % 1000) * 1000000L};
  while (::nanosleep(&request, &request) != 0 && errno == EINTR) {
  }
}

double get_time(bool precise) {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  double seconds = static_cast<double>(now.tv_sec % 86400);
  if (precise) {
    // 100-nanosecond resolution, as the clock of the original system had.
    long hundreds = now.tv_nsec / 100;
    seconds += static_cast<double>(hundreds * 100) / 1e9;
  }
  return seconds;
}

// The sign comes from the total minutes and the quarters from the remainder's magnitude,
// so zones such as -03:15 and -00:30 keep both.
uint32_t pack_zone(int minutes_east) {
  int magnitude = minutes_east < 0 ? -minutes_east : minutes_east;
  uint32_t hours = static_cast<uint32_t>(magnitude / 60) & 0x0F;
  uint32_t quarters = static_cast<uint32_t>((magnitude % 60) / 15);
  if (minutes_east < 0) hours |= 0x10;
  return (hours << 2) | quarters;
}

uint32_t get_date(bool utc) { return get_date_at(::time(nullptr), utc); }

uint32_t get_date_at(int64_t unix_seconds, bool utc) {
  auto now = static_cast<time_t>(unix_seconds);
  tm parts{};
  uint32_t zone = 0;
  if (utc) {
    ::gmtime_r(&now, &parts);
  } else {
    ::localtime_r(&now, &parts);
    zone = pack_zone(static_cast<int>(parts.tm_gmtoff / 60));
  }
  auto year = static_cast<uint32_t>(parts.tm_year + 1900);
  auto month = static_cast<uint32_t>(parts.tm_mon + 1);
  auto day = static_cast<uint32_t>(parts.tm_mday);
  return (year << 17) | (month << 12) | (day << 7) | zone;
}

void init() {
  // The graphics and COM steps belong to the image backend.
  ::tzset();
  console_out::init();
}

}  // namespace tav::platform
