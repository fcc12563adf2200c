// Widget accessors for the GUI layer's terminal helpers. No face is given a widget yet: every
// face answers as one without a widget.
#include "view/backends/terminal/widget_access.hpp"

namespace tav::tui {

bool widget_focused_p(const cell&) { return false; }

int32_t widget_data(const cell&) { return 0; }

void set_widget_ui(const cell&, const cell&) {}

}  // namespace tav::tui
