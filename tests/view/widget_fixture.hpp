// Faces with every facet the terminal backend reads, and widgets made from them the way showing
// a face makes them.
#pragma once

#include <string>

#include "datatypes/block.hpp"
#include "datatypes/handle.hpp"
#include "datatypes/values.hpp"
#include "view/backends/terminal/face_access.hpp"
#include "view/backends/terminal/widget.hpp"

namespace tav::testing {

// The source of a face object: every facet none or at its plain value; `extra` sets some again.
inline std::string face_source(const std::string& type, const std::string& size, const std::string& extra) {
  return "make object! [type: '" + type + " offset: 0x0 size: " + size +
         " text: none image: none color: none data: none enabled?: true visible?: true selected: none flags: none "
         "options: none rate: none state: none pane: none font: none para: none parent: none " +
         extra + "]";
}

// Makes the widget and keeps its handle in the face's `state`, as showing a face does.
inline tui::widget_id show_widget(const cell& made, tui::widget_id parent) {
  const tui::widget_id id = tui::make_view(made, parent);
  cell state;
  block::make_at(state, 4);
  cell handle_cell;
  handle::make_at(handle_cell, id, handle::CLASS_WINDOW);
  block::append_cell(state, handle_cell);
  block::append_cell(state, scalar::integer(0));
  tui::set_facet(made, tui::names().state, state);
  return id;
}

}  // namespace tav::testing
