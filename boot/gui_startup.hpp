// The GUI layer's steps of start-up: the last datatype, the GUI routines, the terminal helpers
// object and the words the backend and event! compare against.
#pragma once

namespace tav::boot::gui {

// Installed by the GUI backend before start-up runs: once the event and key words exist, it
// takes their symbols and makes its static flags block. Without a backend the program has no
// GUI layer and these steps are left out.
inline void (*words_interned)() = nullptr;

inline bool installed() { return words_interned != nullptr; }

// With new-word collection on, event! joins the datatype registry.
void register_last_datatype();
// `TUI-helpers` made from the routines of the GUI source, whose global words are then unset.
void make_terminal_helpers();
// The backend's symbols and the event and key words, interned with new-word collection on,
// then the Draw dialect's symbols; the collector is on afterwards.
void intern_words();

}  // namespace tav::boot::gui
