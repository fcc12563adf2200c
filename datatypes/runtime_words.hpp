// Runtime words: every word the runtime's own code tests or produces, interned once at
// start-up and kept in globals, so that later code compares symbol ids, never text.
#pragma once
#include <cstdint>

#include "runtime/cell.hpp"

namespace tav {

// C++ name, spelling; in interning order. A spelling listed twice is interned twice and both
// globals hold the same id.
#define TAV_RUNTIME_SYMBOLS(X) \
  X(spec, "spec") \
  X(body, "body") \
  X(words, "words") \
  X(class_, "class") \
  X(logic_type, "logic!") \
  X(integer_type, "integer!") \
  X(char_type, "char!") \
  X(float_type, "float!") \
  X(percent_type, "percent!") \
  X(any_type_type, "any-type!") \
  X(exit_, "exit") \
  X(return_, "return") \
  X(windows, "Windows") \
  X(syllable, "Syllable") \
  X(macos, "macOS") \
  X(linux_, "Linux") \
  X(netbsd, "NetBSD") \
  X(repeat, "repeat") \
  X(foreach, "foreach") \
  X(map_each, "map-each") \
  X(remove_each, "remove-each") \
  X(any, "any") \
  X(break_, "break") \
  X(copy, "copy") \
  X(end, "end") \
  X(fail, "fail") \
  X(into, "into") \
  X(opt, "opt") \
  X(not_, "not") \
  X(quote, "quote") \
  X(case_, "case") \
  X(reject, "reject") \
  X(set, "set") \
  X(skip, "skip") \
  X(some, "some") \
  X(thru, "thru") \
  X(to, "to") \
  X(none, "none") \
  X(bar, "|") \
  X(minus, "-") \
  X(if_, "if") \
  X(remove, "remove") \
  X(while_, "while") \
  X(insert, "insert") \
  X(only, "only") \
  X(collect, "collect") \
  X(keep, "keep") \
  X(pick, "pick") \
  X(ahead, "ahead") \
  X(after, "after") \
  X(x, "x") \
  X(y, "y") \
  X(z, "z") \
  X(self, "self") \
  X(values, "values") \
  X(owner, "owner") \
  X(owned, "owned") \
  X(events_p, "events?") \
  X(true_, "true") \
  X(false_, "false") \
  X(yes, "yes") \
  X(no, "no") \
  X(on, "on") \
  X(off, "off") \
  X(type, "type") \
  X(face, "face") \
  X(window, "window") \
  X(offset, "offset") \
  X(key, "key") \
  X(flag, "flag") \
  X(code, "code") \
  X(picked, "picked") \
  X(flags, "flags") \
  X(away_p, "away?") \
  X(ctrl_p, "ctrl?") \
  X(shift_p, "shift?") \
  X(down_p, "down?") \
  X(mid_down_p, "mid-down?") \
  X(alt_down_p, "alt-down?") \
  X(aux_down_p, "aux-down?") \
  X(orientation, "orientation") \
  X(get, "get") \
  X(put, "put") \
  X(post, "post") \
  X(head, "head") \
  X(size, "size") \
  X(rgb, "rgb") \
  X(alpha, "alpha") \
  X(argb, "argb") \
  X(date, "date") \
  X(year, "year") \
  X(month, "month") \
  X(day, "day") \
  X(zone, "zone") \
  X(isoweek, "isoweek") \
  X(week, "week") \
  X(weekday, "weekday") \
  X(yearday, "yearday") \
  X(julian, "julian") \
  X(time, "time") \
  X(hour, "hour") \
  X(minute, "minute") \
  X(second, "second") \
  X(timezone, "timezone") \
  X(code_2, "code") \
  X(amount, "amount") \
  X(user, "user") \
  X(host, "host") \
  X(system, "system") \
  X(system_global, "system-global") \
  X(trace, "trace") \
  X(no_trace, "no-trace")
// Global words made from symbols above: C++ name, the symbol's C++ name.
#define TAV_RUNTIME_GLOBAL_WORDS(X) \
  X(windows, windows) \
  X(syllable, syllable) \
  X(macos, macos) \
  X(linux_, linux_) \
  X(netbsd, netbsd) \
  X(to, to) \
  X(thru, thru) \
  X(not_, not_) \
  X(remove, remove) \
  X(while_, while_) \
  X(collect, collect) \
  X(keep, keep) \
  X(ahead, ahead) \
  X(bar, bar) \
  X(any, any) \
  X(some, some) \
  X(copy, copy) \
  X(opt, opt) \
  X(into, into) \
  X(insert, insert) \
  X(if_, if_) \
  X(quote, quote) \
  X(collect_2, collect) \
  X(set, set) \
  X(case_, case_) \
  X(end, end)

// Words interned with `word::load`: C++ name, spelling.
#define TAV_RUNTIME_WORDS(X) \
  X(at, "at") \
  X(back, "back") \
  X(find, "find") \
  X(head, "head") \
  X(head_p, "head?") \
  X(index_p, "index?") \
  X(length_p, "length?") \
  X(next, "next") \
  X(pick, "pick") \
  X(skip, "skip") \
  X(select, "select") \
  X(tail, "tail") \
  X(tail_p, "tail?") \
  X(change, "change") \
  X(changed, "changed") \
  X(clear, "clear") \
  X(cleared, "cleared") \
  X(set_path, "set-path") \
  X(append, "append") \
  X(appended, "appended") \
  X(move, "move") \
  X(moved, "moved") \
  X(poke, "poke") \
  X(poked, "poked") \
  X(put, "put") \
  X(put_ed, "put-ed") \
  X(removed, "removed") \
  X(random, "random") \
  X(randomized, "randomized") \
  X(reverse, "reverse") \
  X(reversed, "reversed") \
  X(sort, "sort") \
  X(sorted, "sorted") \
  X(swap, "swap") \
  X(swaped, "swaped") \
  X(take, "take") \
  X(taken, "taken") \
  X(trim, "trim") \
  X(trimmed, "trimmed") \
  X(inserted, "inserted") \
  X(uppercase, "uppercase") \
  X(lowercase, "lowercase") \
  X(checksum, "checksum") \
  X(push, "push") \
  X(pop, "pop") \
  X(fetch, "fetch") \
  X(match, "match") \
  X(iterate, "iterate") \
  X(paren, "paren") \
  X(anon, "<anon>") \
  X(body, "<body>") \
  X(not_found, "<not-found>") \
  X(add, "add") \
  X(subtract, "subtract") \
  X(divide, "divide") \
  X(on_parse_event, "on-parse-event") \
  X(on_change, "on-change*") \
  X(on_deep_change, "on-deep-change*") \
  X(type, "type") \
  X(id, "id") \
  X(try_, "try") \
  X(catch_, "catch") \
  X(name, "name") \
  X(multiply, "multiply") \
  X(browse, "browse") \
  X(open, "open") \
  X(create, "create") \
  X(close, "close") \
  X(delete_, "delete") \
  X(modify, "modify") \
  X(query, "query") \
  X(read, "read") \
  X(rename, "rename") \
  X(update, "update") \
  X(write, "write") \
  X(prescan, "prescan") \
  X(scan, "scan") \
  X(load, "load") \
  X(error, "error") \
  X(comment, "comment") \
  X(init, "init") \
  X(exec, "exec") \
  X(call, "call") \
  X(return_, "return") \
  X(enter, "enter") \
  X(exit_, "exit") \
  X(prolog, "prolog") \
  X(epilog, "epilog") \
  X(throw_, "throw") \
  X(expr, "expr") \
  X(interp_callback, "<interp-callback>") \
  X(lexer_callback, "<lexer-callback>") \
  X(parse_callback, "<parse-callback>") \
  X(compare_callback, "<compare-callback>") \
  X(throw_2, "throw") \
  X(note, "note") \
  X(syntax, "syntax") \
  X(script, "script") \
  X(math, "math") \
  X(access, "access") \
  X(user, "user") \
  X(internal, "internal") \
  X(invalid_error, "invalid-error") \
  X(local, "local") \
  X(applied, "<applied>")

#define TAV_REFINEMENT_VALUES(X) \
  X(local, "local") X(extern_, "extern") X(compare, "compare") X(part, "part") X(skip, "skip") X(with, "with")

namespace symbols {
#define TAV_DECLARE(name, text) extern uint32_t name;
TAV_RUNTIME_SYMBOLS(TAV_DECLARE)
#undef TAV_DECLARE
}  // namespace symbols

namespace global_words {
#define TAV_DECLARE(name, symbol) extern cell name;
TAV_RUNTIME_GLOBAL_WORDS(TAV_DECLARE)
#undef TAV_DECLARE
}  // namespace global_words

namespace words {
#define TAV_DECLARE(name, text) extern cell name;
TAV_RUNTIME_WORDS(TAV_DECLARE)
#undef TAV_DECLARE
}  // namespace words

// Unbound refinement! values.
namespace refinements {
#define TAV_DECLARE(name, text) extern cell name;
TAV_REFINEMENT_VALUES(TAV_DECLARE)
#undef TAV_DECLARE
}  // namespace refinements

// The issue! #ooo.
extern cell ooo_marker;

// Symbols, then the global words, then the word globals.
void init_runtime_words();
void init_refinement_values();
void init_ooo_marker();

}  // namespace tav
