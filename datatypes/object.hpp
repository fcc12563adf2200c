// object!: records of named fields with a class identity and change handlers; making,
// construct, copying with rebinding, path access, the text forms, comparison and reflection.
#pragma once
#include <cstdint>

#include "datatypes/types.hpp"
#include "runtime/cell.hpp"

namespace tav::object {

// Object cell: payload 1 the context node (whose `self` cell holds the object), payload 2 the
// class id, payload 3 the node of the on-change info or 0.
inline node_id context_of(const cell& object) { return object.payload1; }
inline uint32_t class_of(const cell& object) { return object.payload2; }
inline node_id info_of(const cell& object) { return object.payload3; }
inline cell make_cell(node_id context, uint32_t class_id, node_id info, uint8_t type = TYPE_OBJECT) {
  return cell{type, context, class_id, info};
}

// Class ids: fresh ones count up from here; objects of compiled code bring smaller ones and
// errors carry class 1.
inline constexpr uint32_t class_counter_start = 1000000;
extern uint32_t class_counter;
uint32_t next_class_id();

// The on-change info: two pair!-typed cells, 0 for on-change*, 1 for on-deep-change*, each with
// (position of the handler among the values << 16 | its local slots) in payload 2 and its spec
// node the local count was taken from in payload 3. Position 0xFFFF: no such handler.
inline constexpr uint32_t no_handler = 0xFFFF;
inline constexpr uint32_t on_change_info = 0, on_deep_change_info = 1;

cell* push(node_id context, uint32_t class_id, node_id info);
cell* init_push(node_id context, uint32_t class_id);
// An empty object with a fresh class id and a new context of that many slots.
void make_at(cell& target, uint32_t slots);
// Attaches the handlers found at these positions (-1: none) to the object of the context and
// answers the info node; with an on-deep-change* handler the object owns its field values.
node_id init_events(node_id context, int32_t on_change, int32_t on_change_locals, int32_t on_deep_change,
                    int32_t on_deep_change_locals);

cell* get_values(const cell& object);
// The field's value cell, or the shared none cell.
cell* select_word(const cell& object, const cell& word);
bool word_of_class_p(const cell& word, uint32_t class_id);
bool value_of_class_p(node_id context, uint32_t index, uint32_t class_id);

// Change handlers. The old value may sit on the argument stack; nothing is kept of it.
void fire_on_change(const cell& object, const cell& word, const cell& old_value, const cell& new_value);
// Old and new value are the two top cells of the argument stack.
void fire_on_change_top(const cell& object, const cell& word);
void fire_on_change_word(const cell& word);
void fire_on_deep_change(const cell& owner, const cell& word, const cell& target, const cell& action,
                         const cell& new_value, int32_t index, int32_t part);

// Scans the fields for on-change* and on-deep-change*, checks that they hold functions,
// stores the new info in the cell (and in the context's owner cell) and, with an
// on-deep-change* handler, makes the object the owner of its field values.
void discover_handlers(cell& object);

// The body writer of form and mold (for objects, errors and ports): answers the budget left.
int32_t serialize(const cell& object, cell& output, bool only, bool all, bool flat, cell* part, int32_t limit,
                  int32_t indent, bool mold);
// `set` on an object: a block's values in field order, another object's fields by name, or the
// one value in every field.
void set_many(const cell& object, const cell& value, bool any, bool only, bool some);
// `construct`: the object made from the block's set-words and the values after them, without
// evaluation; answers it pushed on the argument stack.
cell* construct(const cell& spec, const cell* prototype, bool only);
// A copy with its own context: functions rebuilt on it, series copied when deep (or those of
// the types filter), handlers discovered again. Answers the pushed copy.
cell* copy_object(const cell& object, bool deep, const cell* types);
// A function value rebuilt with its body copied and bound to the object's context.
void rebind_function(cell& function, node_id context);

// ---- What the interpreter connects --------------------------------------------------------
// Evaluates its spec block of `make object!` (already bound to the new object); the result
// is dropped. Until it is connected, making an object from a block raises internal/not-done.
using spec_evaluator = void (*)(const cell& block);
extern spec_evaluator evaluate_spec_hook;
// Calls a handler function: pushes a call frame named by `name` (a word), pushes the `count`
// arguments, then the locals frame of `locals` slots when `locals` is at least 1, runs the
// function and pops the frame. Until it is connected, firing a handler raises
// internal/not-done.
using function_caller = void (*)(const cell& function, const cell& name, const cell* arguments, uint32_t count,
                                 int32_t locals);
extern function_caller call_function_hook;

// ---- Handlers -------------------------------------------------------------------------------
cell* make(cell* prototype, cell* spec, int32_t type);
cell* reflect(cell* value, int32_t field);
int32_t form(cell* value, cell* buffer, cell* part, int32_t limit);
int32_t mold(cell* value, cell* buffer, bool only, bool all, bool flat, cell* part, int32_t limit, int32_t indent);
cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell* container, cell* previous, int32_t index,
                bool case_sensitive, bool get, bool last, bool store_back);
int32_t compare(cell* value1, cell* value2, int32_t op);
cell* copy(cell* value, cell* result, cell* part, bool deep, cell* types);
cell* put(cell* series, cell* key, cell* value, bool case_sensitive);
cell* select(cell* series, cell* value, cell* part, bool only, bool case_sensitive, bool same, bool any, cell* with,
             cell* skip, bool last, bool reverse);
cell* modify(cell* target, cell* field, cell* value, bool case_sensitive);
void init();

}  // namespace tav::object
