// What the GUI layer's terminal helpers read of a face's widget. A face reaches its widget
// through its `state` facet; a face without a widget answers false, 0 and nothing.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace tav::tui {

bool widget_focused_p(const cell& face);
// The widget's class data: the first visible index of a text-list.
int32_t widget_data(const cell& face);
// Keeps the string as the widget's ui value.
void set_widget_ui(const cell& face, const cell& ui);

}  // namespace tav::tui
