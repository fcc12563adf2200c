// The Tav sources of start-up, embedded in the program when it is built.
#pragma once
#include <cstdint>
#include <string_view>

namespace tav::boot {

struct embedded_source {
  const char* name;  // the file name without its extension
  const unsigned char* text;
  uint32_t length;
};
extern const embedded_source embedded_sources[];
extern const uint32_t embedded_source_count;

// The text of the named source; empty when there is none.
inline std::string_view embedded_text(std::string_view name) {
  for (uint32_t i = 0; i < embedded_source_count; ++i)
    if (name == embedded_sources[i].name)
      return {reinterpret_cast<const char*>(embedded_sources[i].text), embedded_sources[i].length};
  return {};
}

}  // namespace tav::boot
