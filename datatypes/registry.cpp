// Datatype registry: the type-name and action tables and the registration of a type.
#include "datatypes/registry.hpp"

#include <cstdio>
#include <cstring>

#include "datatypes/word.hpp"
#include "runtime/throw.hpp"

namespace tav::datatype {

type_name_entry type_name_table[type_table_size];
erased_handler action_table[type_table_size * row_stride];
uint32_t max_type_id = 0;

namespace {

// A registration with the wrong number of entries is a build fault: report it and stop.
[[gnu::cold, noreturn]] void bad_count(uint32_t type, int64_t found) {
  std::printf("*** Datatype Error: invalid actions count for type: %u\n", type);
  std::printf("*** Found: %lld\n", static_cast<long long>(found));
  std::printf("*** Expected: %u\n", action_count);
  std::fflush(stdout);
  runtime_error(0);
}

}  // namespace

void register_buffer(uint32_t word_count, const registration_word* buffer) {
  auto type = static_cast<uint8_t>(buffer[0]);
  auto parent = static_cast<uint8_t>(buffer[1]);
  if (type > max_type_id) max_type_id = type;

  type_name_entry& entry = type_name_table[type];
  entry.name = reinterpret_cast<const char*>(buffer[2]);
  entry.length = static_cast<uint32_t>(std::strlen(entry.name)) - 1;
  entry.word = cell{unset_header, 0, 0, 0};
  if (word::ready_p()) entry.word = *word::load(entry.name);

  int64_t count = int64_t{word_count} - registration_header;
  if (count != action_count) bad_count(type, count);

  erased_handler* row = action_table + type * row_stride;
  const erased_handler* parent_row = action_table + parent * row_stride;
  for (uint32_t k = 0; k < action_count; ++k) {
    registration_word handler = buffer[registration_header + k];
    if (handler == inherit_entry)
      row[k] = parent ? parent_row[k] : nullptr;  // without a parent there is nothing to inherit
    else
      row[k] = reinterpret_cast<erased_handler>(handler);
  }
}

void register_type(uint8_t id, const action_row& row) {
  registration_word buffer[registration_words];
  buffer[0] = id;
  buffer[1] = describe_type(id).parent;
  buffer[2] = reinterpret_cast<registration_word>(describe_type(id).name);
  std::memcpy(buffer + registration_header, row.entries, sizeof row.entries);
  register_buffer(registration_words, buffer);
}

}  // namespace tav::datatype
