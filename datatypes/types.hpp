// Datatype ids: the one table of type ids, their registration names and parents.
#pragma once
#include <cstdint>

namespace tav {

// id, constant suffix, name as registered, parent id (0: none). A parent is always registered
// before its children.
#define TAV_TYPES(X)                \
  X(1, DATATYPE, "datatype!", 0)    \
  X(2, UNSET, "unset!", 0)          \
  X(3, NONE, "none!", 0)            \
  X(4, LOGIC, "logic!", 0)          \
  X(5, BLOCK, "block!", 42)         \
  X(6, PAREN, "paren!", 5)          \
  X(7, STRING, "string!", 42)       \
  X(8, FILE, "file!", 9)            \
  X(9, URL, "url!", 7)              \
  X(10, CHAR, "char!", 11)          \
  X(11, INTEGER, "integer!", 0)     \
  X(12, FLOAT, "float!", 0)         \
  X(13, SYMBOL, "symbol!", 0)       \
  X(14, CONTEXT, "context!", 0)     \
  X(15, WORD, "word!", 13)          \
  X(16, SET_WORD, "set-word!", 15)  \
  X(17, LIT_WORD, "lit-word!", 15)  \
  X(18, GET_WORD, "get-word!", 15)  \
  X(19, REFINEMENT, "refinement!", 15) \
  X(20, ISSUE, "issue!", 15)        \
  X(21, NATIVE, "native!", 0)       \
  X(22, ACTION, "action!", 21)      \
  X(23, OP, "op!", 21)              \
  X(24, FUNCTION, "function!", 14)  \
  X(25, PATH, "path!", 5)           \
  X(26, LIT_PATH, "lit-path!", 25)  \
  X(27, SET_PATH, "set-path!", 25)  \
  X(28, GET_PATH, "get-path!", 25)  \
  X(29, ROUTINE, "routine!", 24)    \
  X(30, BITSET, "bitset!", 0)       \
  X(31, TRIPLE, "triple!", 0)       \
  X(32, OBJECT, "object!", 0)       \
  X(33, TYPESET, "typeset!", 0)     \
  X(34, ERROR, "error!", 32)        \
  X(35, VECTOR, "vector!", 7)       \
  X(36, HASH, "hash!", 5)           \
  X(37, PAIR, "pair!", 0)           \
  X(38, PERCENT, "percent!", 12)    \
  X(39, TUPLE, "tuple!", 0)         \
  X(40, MAP, "map!", 0)             \
  X(41, BINARY, "binary!", 7)       \
  X(42, SERIES, "series!", 0)       \
  X(43, TIME, "time!", 12)          \
  X(44, TAG, "tag!", 7)             \
  X(45, EMAIL, "email!", 7)         \
  X(46, HANDLE, "handle!", 11)      \
  X(47, DATE, "date!", 0)           \
  X(48, PORT, "port!", 32)          \
  X(49, MONEY, "money!", 0)         \
  X(50, REF, "ref!", 7)             \
  X(51, POINT2D, "point2D!", 0)     \
  X(52, POINT3D, "point3D!", 0)     \
  X(53, IMAGE, "image!", 42)        \
  X(54, EVENT, "event!", 0)

#define TAV_TYPE_CONSTANT(id, suffix, name, parent) inline constexpr uint8_t TYPE_##suffix = id;
TAV_TYPES(TAV_TYPE_CONSTANT)
#undef TAV_TYPE_CONSTANT

// Tables are sized for ids 0 to 56; 0 never names a type.
inline constexpr uint32_t type_table_size = 57;

struct type_description {
  const char* name;  // with its "!"; null for ids no type uses
  uint8_t parent;
};

inline constexpr auto type_descriptions = [] {
  struct table {
    type_description rows[type_table_size];
  } result{};
#define TAV_TYPE_ROW(id, suffix, name, parent) result.rows[id] = {name, parent};
  TAV_TYPES(TAV_TYPE_ROW)
#undef TAV_TYPE_ROW
  return result;
}();

constexpr const type_description& describe_type(uint8_t id) { return type_descriptions.rows[id]; }

// Types whose cells share the word layout (context node, symbol id, index).
constexpr bool any_word_p(uint8_t type) { return type >= TYPE_WORD && type <= TYPE_ISSUE; }
// word!, set-word!, lit-word!, get-word!: the types a word spelling scans to.
constexpr bool plain_word_p(uint8_t type) { return type >= TYPE_WORD && type <= TYPE_GET_WORD; }

}  // namespace tav
