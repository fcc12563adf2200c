// Widget timers in one list, ticked by the event loop.
#include "view/backends/terminal/timers.hpp"

#include <algorithm>

#include "view/backends/terminal/screen.hpp"

namespace tav::tui {
namespace {

std::vector<widget_timer> list;

// Answers whether the timer fired.
bool tick_timer(widget_timer& timer, uint32_t ms) {
  timer.elapsed_ms += ms;
  if (timer.done || timer.elapsed_ms < timer.interval_ms) return false;
  timer.elapsed_ms = 0;
  if (timer.one_shot) timer.done = true;
  return true;
}

}  // namespace

const std::vector<widget_timer>& timers() { return list; }

void add_timer(widget_id widget, uint32_t interval_ms) {
  if (list.capacity() == 0) list.reserve(8);
  list.push_back(widget_timer{interval_ms, 0, false, false, widget});
}

bool remove_timer(widget_id widget) {
  const auto found = std::find_if(list.rbegin(), list.rend(), [&](const widget_timer& t) { return t.widget == widget; });
  if (found == list.rend()) return false;
  list.erase(std::next(found).base());
  return true;
}

void fire_timers(uint32_t elapsed_ms) {
  // A handler may add or remove timers: the list is walked by index and each widget read
  // before its event is sent.
  for (size_t i = 0; i < list.size(); ++i) {
    if (!tick_timer(list[i], elapsed_ms)) continue;
    send_widget_event(list[i].widget, widget_event::time);
  }
}

void clear_timers() { list.clear(); }

}  // namespace tav::tui
