// The rich-text class: its text laid out into styled cells and drawn from them.
#include "view/backends/terminal/screen.hpp"
#include "view/backends/terminal/widget.hpp"

namespace tav::tui {

// Styles come with the rich-text dialect; until it lays them out the face shows its text plainly.
void layout_rich_text(widget_id id) {
  if (widget* record = widget_of(id)) record->styled.clear();
}

void render_rich_text(int x, int y, widget_id id) { render_face(x, y, id, 0); }

}  // namespace tav::tui
