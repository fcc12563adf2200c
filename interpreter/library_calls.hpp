// Library functions that native code calls by name: the value each name held when start-up
// ended, kept in a rooted table, so a script that defines its own `do-file` or
// `show-memory-stats` does not change what `do %script` or `stats/show` run.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace tav::interpreter::library {

enum class entry : uint32_t {
  do_file,            // do of a file! or url!
  expand,             // do/expand: the preprocessor
  parse_url,          // URL actions and the URL parser
  show_memory_stats,  // stats/show
  face_p,             // to image! of an object
  launch,             // the console
  complete_input,     // TAB in the line editor
  make_progress_ui,   // the text of a terminal widget
  make_text_list_ui,
  make_checkbox_ui,
  make_radio_ui,
  awake,  // every event the terminal backend dispatches
  count
};

// The name as written in code: a word, or a path through objects of the global context.
const char* name_of(entry which);
// Takes the value every name holds now; from then on calls go to these values. Before the
// table is filled, each call reads its name when it is made.
void fill();
// The value the entry calls: from the table once filled, else what its name holds now (unset
// when it holds nothing).
cell value_of(entry which);
// Calls the entry in a call frame named by the last word of its name with these arguments
// (taken as values, not evaluated) and leaves its result pushed. A value that is not callable
// raises what a call of a word holding it would.
void call(entry which, const cell* arguments, uint32_t count);

}  // namespace tav::interpreter::library
