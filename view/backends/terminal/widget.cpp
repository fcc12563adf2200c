// Widget records: a table of slots with generations, and the collector's view of their faces.
#include "view/backends/terminal/widget.hpp"

#include <algorithm>

#include "datatypes/values.hpp"
#include "runtime/collector.hpp"

namespace tav::tui {
namespace {

inline constexpr uint32_t generation_bits = 12;
inline constexpr uint32_t generation_mask = (1u << generation_bits) - 1;

struct slot {
  widget record;
  uint16_t generation = 1;
  bool live = false;
};

std::vector<slot> slots;
std::vector<uint32_t> free_slots;
uint32_t live_count = 0;

void mark_widgets() {
  for (const slot& entry : slots) {
    if (!entry.live) continue;
    collector::mark_cell(entry.record.face);
    collector::mark_cell(entry.record.ui);
  }
}

slot* slot_of(widget_id id) {
  const uint32_t index = id >> generation_bits;
  if (id == no_widget || index >= slots.size()) return nullptr;
  slot& entry = slots[index];
  return entry.live && entry.generation == (id & generation_mask) ? &entry : nullptr;
}

}  // namespace

void register_widget_marker() {
  static bool registered = false;
  if (registered) return;
  registered = true;
  collector::register_callback(mark_widgets);
}

widget_id make_widget(const cell& face, widget_id parent) {
  register_widget_marker();
  uint32_t index;
  if (free_slots.empty()) {
    index = static_cast<uint32_t>(slots.size());
    slots.emplace_back();
  } else {
    index = free_slots.back();
    free_slots.pop_back();
  }
  slot& entry = slots[index];
  entry.record = widget{};
  entry.record.face = face;
  entry.record.ui = none::value;
  entry.record.parent = parent;
  entry.live = true;
  ++live_count;
  const widget_id id = index << generation_bits | entry.generation;
  if (widget* owner = widget_of(parent)) owner->children.push_back(id);
  return id;
}

widget* widget_of(widget_id id) {
  slot* entry = slot_of(id);
  return entry ? &entry->record : nullptr;
}

void free_widget(widget_id id) {
  slot* entry = slot_of(id);
  if (!entry) return;
  const std::vector<widget_id> children = std::move(entry->record.children);
  for (widget_id child : children) free_widget(child);
  if (widget* owner = widget_of(entry->record.parent)) std::erase(owner->children, id);
  entry->record = widget{};
  entry->live = false;
  uint16_t generation = static_cast<uint16_t>((entry->generation + 1) & generation_mask);
  entry->generation = generation ? generation : 1;
  free_slots.push_back(static_cast<uint32_t>(entry - slots.data()));
  --live_count;
}

uint32_t live_widgets() { return live_count; }

widget_id window_of(widget_id id) {
  for (;;) {
    widget* record = widget_of(id);
    if (!record) return no_widget;
    if (!record->parent) return id;
    id = record->parent;
  }
}

}  // namespace tav::tui
