// Sorting: a stable natural merge sort and an unstable three-way quicksort over arrays of
// fixed-size records, both driven by a comparator.
#pragma once
#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace tav {

// Answers below 0, 0 or above 0 when `a` sorts before, with or after `b`. The two
// arguments are handed through unchanged from the caller of the sort.
using sort_comparator = int (*)(const void* a, const void* b, intptr_t arg1, intptr_t arg2);

namespace sorting {

// Both sorts may be abandoned by an exception from the comparator; the array is then
// left a permutation of its input and nothing is leaked.

// Stable. Raises script/too-long when (n / 2) x s exceeds 2^31 - 1 and internal/no-memory
// when its work buffer cannot be had.
void merge_sort(void* base, size_t n, size_t s, intptr_t arg1, intptr_t arg2, sort_comparator compare);

// Unstable, in place, without a work buffer.
void quick_sort(void* base, size_t n, size_t s, intptr_t arg1, intptr_t arg2, sort_comparator compare);

namespace detail {
template <class Compare>
int call_compare(const void* a, const void* b, intptr_t callable, intptr_t) {
  return (*reinterpret_cast<Compare*>(callable))(a, b);
}
}  // namespace detail

// For C++ callables `int compare(const void* a, const void* b)`.
template <class Compare>
void merge_sort(void* base, size_t n, size_t s, Compare&& compare) {
  using callable = std::remove_reference_t<Compare>;
  merge_sort(base, n, s, reinterpret_cast<intptr_t>(&compare), 0, &detail::call_compare<callable>);
}

template <class Compare>
void quick_sort(void* base, size_t n, size_t s, Compare&& compare) {
  using callable = std::remove_reference_t<Compare>;
  quick_sort(base, n, s, reinterpret_cast<intptr_t>(&compare), 0, &detail::call_compare<callable>);
}

}  // namespace sorting
}  // namespace tav
