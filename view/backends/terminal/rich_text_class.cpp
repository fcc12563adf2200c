// The rich-text class: its text laid out into styled cells and drawn from them.
#include <span>

#include "view/backends/terminal/rich_text.hpp"
#include "view/backends/terminal/screen.hpp"
#include "view/backends/terminal/widget.hpp"

namespace tav::tui {

void layout_rich_text(widget_id id) {
  widget* record = widget_of(id);
  if (!record) return;
  const cell face = record->face;
  layout_rich_text(record->styled, face);
}

// The cells wrap at the face's width, as the text-box metrics measure them.
void render_rich_text(int x, int y, widget_id id) {
  const widget* record = widget_of(id);
  if (!record) return;
  if (record->styled.empty()) return render_face(x, y, id, 0);
  render_face(x, y, id, draw_flag::no_text);
  const clip_rect clip = clip_to_parents(x, y, id);
  render_text(std::span<const tui_cell>(record->styled), x, y, clip, draw_flag::wrap);
}

}  // namespace tav::tui
