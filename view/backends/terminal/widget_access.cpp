// Widget accessors for the GUI layer's terminal helpers, through the face's `state` facet.
#include "view/backends/terminal/widget_access.hpp"

#include "view/backends/terminal/widget.hpp"

namespace tav::tui {

bool widget_focused_p(const cell& face) {
  const widget* record = widget_of(get_widget(face));
  return record && record->flags & widget_flag::focused;
}

int32_t widget_data(const cell& face) {
  const widget* record = widget_of(get_widget(face));
  return record ? record->data : 0;
}

void set_widget_ui(const cell& face, const cell& ui) {
  if (widget* record = widget_of(get_widget(face))) record->ui = ui;
}

}  // namespace tav::tui
