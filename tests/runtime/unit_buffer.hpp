// A unit sink over a heap block of exactly the room asked for, so that writing past the
// room is caught; it widens like a string does.
#pragma once
#include <cstring>
#include <memory>
#include <vector>

#include "runtime/unicode.hpp"

namespace tav {

struct unit_buffer {
  std::unique_ptr<uint8_t[]> block;
  unit_sink sink;
  int room_calls = 0;

  unit_buffer(uint32_t width, size_t capacity) : block(new uint8_t[capacity * width + 1]) {
    sink = {block.get(), width, 0, capacity, make_room, this};
  }

  // Fills the buffer with these code points at the given width, with room for exactly them.
  unit_buffer(uint32_t width, const std::vector<uint32_t>& cps) : unit_buffer(width, cps.size()) {
    for (uint32_t cp : cps) unicode::set_unit(sink.data, sink.count++, width, cp);
  }

  static void make_room(unit_sink& sink, uint32_t new_width, size_t min_units) {
    auto* self = static_cast<unit_buffer*>(sink.context);
    ++self->room_calls;
    if (new_width < sink.width && sink.count != 0) throw "narrowing units in use";
    size_t units = std::max(min_units, sink.count);
    std::unique_ptr<uint8_t[]> grown(new uint8_t[units * new_width + 1]);
    std::memcpy(grown.get(), sink.data, sink.count * sink.width);
    unicode::widen_units(grown.get(), sink.count, sink.width, new_width);
    self->block = std::move(grown);
    sink.data = self->block.get();
    sink.width = new_width;
    sink.capacity = units;
  }

  std::vector<uint32_t> code_points() const {
    std::vector<uint32_t> out;
    for (size_t i = 0; i < sink.count; ++i) out.push_back(unicode::get_unit(sink.data, i, sink.width));
    return out;
  }
};

}  // namespace tav
