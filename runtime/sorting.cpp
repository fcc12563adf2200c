// Sorting: record movers, the natural merge sort with the powersort merge policy, and the
// three-way quicksort that grows a sorted sample on large ranges.
#include "runtime/sorting.hpp"

#include <algorithm>
#include <cstring>
#include <utility>

#include "runtime/errors.hpp"
#include "runtime/heap.hpp"

namespace tav::sorting {
namespace {

using byte = uint8_t;

// Records whose size is fixed at compile time move as one value; 0 stands for a size
// known only at run time, exchanged by 32-bit words when it allows, else by bytes.
template <size_t Fixed>
struct records {
  static constexpr size_t fixed = Fixed;
  size_t runtime_size;

  size_t size() const {
    if constexpr (Fixed != 0)
      return Fixed;
    else
      return runtime_size;
  }

  void swap(byte* a, byte* b) const {
    if constexpr (Fixed != 0) {
      byte t[Fixed];
      std::memcpy(t, a, Fixed);
      std::memcpy(a, b, Fixed);
      std::memcpy(b, t, Fixed);
    } else if (runtime_size % 4 == 0) {
      for (size_t i = 0; i < runtime_size; i += 4) {
        uint32_t x, y;
        std::memcpy(&x, a + i, 4);
        std::memcpy(&y, b + i, 4);
        std::memcpy(a + i, &y, 4);
        std::memcpy(b + i, &x, 4);
      }
    } else {
      for (size_t i = 0; i < runtime_size; ++i) std::swap(a[i], b[i]);
    }
  }

  void copy(byte* to, const byte* from, size_t count) const { std::memcpy(to, from, count * size()); }
};

struct order {
  sort_comparator compare;
  intptr_t arg1, arg2;
  int operator()(const byte* a, const byte* b) const { return compare(a, b, arg1, arg2); }
};

// The merge sort's work buffer, taken at the first merge and always given back.
class work_buffer {
 public:
  explicit work_buffer(size_t bytes) : bytes_(bytes) {}
  work_buffer(const work_buffer&) = delete;
  work_buffer& operator=(const work_buffer&) = delete;
  ~work_buffer() { heap_free(data_); }

  byte* get() {
    if (!data_) {
      data_ = static_cast<byte*>(heap_try_alloc(bytes_));
      if (!data_) fire(error_id::internal_no_memory);
    }
    return data_;
  }

 private:
  size_t bytes_;
  byte* data_ = nullptr;
};

constexpr size_t min_run = 24;
constexpr size_t insertion_limit = 7;
constexpr size_t first_sample = 63;
constexpr size_t largest_unsampled = 511;
// Powers on the merge stack rise strictly and never exceed 64.
constexpr size_t merge_stack_depth = 66;

struct range {
  size_t lo, n, sample;
};

template <size_t Fixed>
struct sorter {
  byte* base;
  size_t n;
  records<Fixed> rec;
  order cmp;
  work_buffer* buffer;

  byte* at(size_t i) const { return base + i * rec.size(); }
  void swap(size_t i, size_t j) const { rec.swap(at(i), at(j)); }

  void reverse(size_t lo, size_t hi) const {
    while (lo + 1 < hi) swap(lo++, --hi);
  }

  // [lo, sorted) is in order; each later record up to hi moves left past every record
  // that compares above it. Exchanges only, so an abandoned sort loses nothing.
  void insertion_sort(size_t lo, size_t sorted, size_t hi) const {
    for (size_t i = sorted; i < hi; ++i)
      for (size_t j = i; j > lo && cmp(at(j - 1), at(j)) > 0; --j) swap(j - 1, j);
  }

  void swap_blocks(size_t a, size_t b, size_t count) const {
    for (size_t k = 0; k < count; ++k) swap(a + k, b + k);
  }

  // [lo, lo + k) and [lo + k, hi) change places, each keeping its order.
  void rotate(size_t lo, size_t hi, size_t k) const {
    reverse(lo, lo + k);
    reverse(lo + k, hi);
    reverse(lo, hi);
  }

  // ---- merge sort ----

  size_t find_run(size_t start) const {
    size_t end = start + 1;
    if (end < n) {
      if (cmp(at(start), at(end)) > 0) {
        for (++end; end < n && cmp(at(end - 1), at(end)) > 0;) ++end;
        reverse(start, end);
      } else {
        for (++end; end < n && cmp(at(end - 1), at(end)) <= 0;) ++end;
      }
    }
    size_t wanted = std::min(n, start + min_run);
    if (end < wanted) {
      insertion_sort(start, end, wanted);
      end = wanted;
    }
    return end;
  }

  // Powersort's node power of the boundary between [s1, e1) and [e1, e2).
  unsigned node_power(size_t s1, size_t e1, size_t e2) const {
    uint64_t a = s1 + e1, b = e1 + e2;
    unsigned power = 0;
    while ((a < n) == (b < n)) {
      ++power;
      if (a >= n) a -= n, b -= n;
      a *= 2;
      b *= 2;
    }
    return power + 1;
  }

  // The buffered run is written back into the gap it left whenever the merge stops, so a
  // comparator that throws leaves every record in the array exactly once.
  void merge_from_front(size_t s1, size_t e1, size_t e2, byte* buf) const {
    const size_t sz = rec.size();
    rec.copy(buf, at(s1), e1 - s1);
    byte* b = buf;
    byte* const b_end = buf + (e1 - s1) * sz;
    byte* r = at(e1);
    byte* const r_end = at(e2);
    byte* d = at(s1);
    try {
      while (b < b_end && r < r_end) {
        if (cmp(b, r) <= 0) {
          rec.copy(d, b, 1);
          b += sz;
        } else {
          rec.copy(d, r, 1);
          r += sz;
        }
        d += sz;
      }
    } catch (...) {
      std::memcpy(d, b, static_cast<size_t>(b_end - b));
      throw;
    }
    std::memcpy(d, b, static_cast<size_t>(b_end - b));
  }

  void merge_from_back(size_t s1, size_t e1, size_t e2, byte* buf) const {
    const size_t sz = rec.size();
    rec.copy(buf, at(e1), e2 - e1);
    byte* b = buf + (e2 - e1) * sz;
    byte* l = at(e1);
    byte* const l_start = at(s1);
    byte* d = at(e2);
    try {
      while (b > buf && l > l_start) {
        if (cmp(l - sz, b - sz) > 0) {
          l -= sz;
          d -= sz;
          rec.copy(d, l, 1);
        } else {
          b -= sz;
          d -= sz;
          rec.copy(d, b, 1);
        }
      }
    } catch (...) {
      std::memcpy(l, buf, static_cast<size_t>(b - buf));
      throw;
    }
    std::memcpy(l, buf, static_cast<size_t>(b - buf));
  }

  void merge(size_t s1, size_t e1, size_t e2) const {
    byte* buf = buffer->get();
    if (e2 - e1 < e1 - s1)
      merge_from_back(s1, e1, e2, buf);
    else
      merge_from_front(s1, e1, e2, buf);
  }

  void merge_sort() const {
    struct entry {
      size_t start;
      unsigned power;
    };
    entry stack[merge_stack_depth];
    size_t top = 0;
    stack[0] = {0, 0};
    size_t s1 = 0, e1 = find_run(0);
    while (e1 < n) {
      size_t e2 = find_run(e1);
      unsigned power = node_power(s1, e1, e2);
      for (; stack[top].power > power; --top) {
        merge(stack[top].start, s1, e1);
        s1 = stack[top].start;
      }
      stack[++top] = {s1, power};
      s1 = e1;
      e1 = e2;
    }
    for (; top > 0; --top) {
      merge(stack[top].start, s1, n);
      s1 = stack[top].start;
    }
  }

  // ---- quicksort ----

  // Moves `count` records taken at an even stride from [lo + h, lo + total) into
  // [lo + h, lo + h + count), so that a sorted prefix stands for the whole range.
  void gather(size_t lo, size_t total, size_t h, size_t count) const {
    const size_t span = total - h;
    for (size_t t = 0; t < count; ++t) {
      auto j = static_cast<size_t>(static_cast<unsigned __int128>(t) * span / count);
      swap(lo + h + t, lo + h + j);
    }
  }

  // Three-way scan of [first, last) against the pivot at p (p < first). Records equal to
  // the pivot gather at the front, next to it. Answers {e, i}: [first, e) equal,
  // [e, i) below, [i, last) above. Each record is compared once.
  std::pair<size_t, size_t> scan(size_t p, size_t first, size_t last) const {
    const byte* pivot = at(p);
    size_t e = first, i = first, j = last;
    for (;;) {
      int ci = 0;
      while (i < j && (ci = cmp(at(i), pivot)) <= 0) {
        if (ci == 0) swap(e++, i);
        ++i;
      }
      if (i == j) break;
      int cj = 0;
      while (j - 1 > i && (cj = cmp(at(j - 1), pivot)) > 0) --j;
      if (j - 1 == i) {
        j = i;
        break;
      }
      swap(i, --j);
      if (cj == 0) swap(e++, i);
      ++i;
    }
    return {e, i};
  }

  // The pivot at p with its equals in [p, e) and the records below it in [e, i): the
  // equals move behind the lower records. Answers where the lower records end.
  size_t center_equals(size_t p, size_t e, size_t i) const {
    size_t k = std::min(e - p, i - e);
    swap_blocks(p, i - k, k);
    return p + (i - e);
  }

  std::pair<range, range> partition_median_of_three(size_t lo, size_t n_) const {
    size_t mid = lo + n_ / 2, last = lo + n_ - 1;
    if (cmp(at(lo), at(mid)) > 0) swap(lo, mid);
    if (cmp(at(mid), at(last)) > 0) {
      swap(mid, last);
      if (cmp(at(lo), at(mid)) > 0) swap(lo, mid);
    }
    swap(mid, lo + 1);
    auto [e, i] = scan(lo + 1, lo + 2, last);
    size_t lower_end = center_equals(lo + 1, e, i);
    return {{lo, lower_end - lo, 0}, {i, lo + n_ - i, 0}};
  }

  // [lo, lo + n_) starts with a sorted sample of h records; its median is the pivot and
  // its halves go to the fronts of the two sides, in order, as their samples.
  std::pair<range, range> partition_with_sample(size_t lo, size_t n_, size_t h) const {
    const size_t below = h / 2, above = h - below - 1, p = lo + below, end = lo + n_;
    const bool keep_above = above > 2;
    size_t last = end;
    if (keep_above) {
      if (n_ - h >= above)
        swap_blocks(p + 1, end - above, above);
      else
        rotate(p + 1, end, above);
      last = end - above;
    }
    auto [e, i] = scan(p, p + 1, last);
    size_t lower_end = center_equals(p, e, i);
    if (keep_above) {
      if (last - i >= above)
        swap_blocks(i, last, above);
      else
        rotate(i, end, last - i);
    }
    return {{lo, lower_end - lo, below}, {i, end - i, keep_above ? above : 0}};
  }

  // Sorts [lo, lo + n_), whose first h records are already in order.
  void quick(size_t lo, size_t n_, size_t h) const {
    for (;;) {
      if (h >= n_) return;
      if (n_ <= insertion_limit) {
        insertion_sort(lo, lo + std::max<size_t>(h, 1), lo + n_);
        return;
      }
      std::pair<range, range> sides;
      if (h < 3 && n_ <= largest_unsampled) {
        sides = partition_median_of_three(lo, n_);
      } else {
        if (h < 3) {
          gather(lo, n_, 0, first_sample);
          quick(lo, first_sample, 0);
          h = first_sample;
        }
        if (n_ / 256 >= h) {
          size_t m = 16 * h - 1;
          gather(lo, n_, h, m - h);
          sides = partition_with_sample(lo, m, h);
          quick(sides.first.lo, sides.first.n, sides.first.sample);
          quick(sides.second.lo, sides.second.n, sides.second.sample);
          h = m;
          continue;
        }
        sides = partition_with_sample(lo, n_, h);
      }
      // The smaller side recurses, so the depth stays logarithmic whatever the input.
      auto [small, large] = sides.first.n < sides.second.n ? sides : std::pair{sides.second, sides.first};
      quick(small.lo, small.n, small.sample);
      lo = large.lo;
      n_ = large.n;
      h = large.sample;
    }
  }

  void quick_sort() const {
    // An input already in order either way costs one pass.
    size_t i = 1;
    int direction = 0;
    for (; i < n; ++i) {
      int c = cmp(at(i - 1), at(i));
      if (c == 0) continue;
      int d = c < 0 ? -1 : 1;
      if (direction == 0)
        direction = d;
      else if (d != direction)
        break;
    }
    if (i == n) {
      if (direction > 0) reverse(0, n);
      return;
    }
    // Mostly descending input is turned round first: the scan then finds most records
    // already on their side and exchanges few.
    long long estimate = 0;
    for (size_t j = i + 97; j < n; j += 97) {
      int c = cmp(at(j - 1), at(j));
      estimate += (c < 0) - (c > 0);
    }
    if (estimate < 0 && static_cast<size_t>(-estimate) > n / 512) reverse(0, n);
    quick(0, n, 0);
  }
};

template <class Run>
void by_record_size(size_t s, Run&& run) {
  switch (s) {
    case 1: return run(records<1>{1});
    case 2: return run(records<2>{2});
    case 4: return run(records<4>{4});
    case 8: return run(records<8>{8});
    case 16: return run(records<16>{16});
    default: return run(records<0>{s});
  }
}

constexpr size_t largest_work_buffer = 0x7FFFFFFF;

}  // namespace

void merge_sort(void* base, size_t n, size_t s, intptr_t arg1, intptr_t arg2, sort_comparator compare) {
  if (n < 2 || s == 0) return;
  if (n / 2 > largest_work_buffer / s) fire(error_id::script_too_long);
  work_buffer buffer((n / 2) * s);
  by_record_size(s, [&](auto rec) {
    sorter<decltype(rec)::fixed> sort{static_cast<byte*>(base), n, rec, {compare, arg1, arg2}, &buffer};
    sort.merge_sort();
  });
}

void quick_sort(void* base, size_t n, size_t s, intptr_t arg1, intptr_t arg2, sort_comparator compare) {
  if (n < 2 || s == 0) return;
  by_record_size(s, [&](auto rec) {
    sorter<decltype(rec)::fixed> sort{static_cast<byte*>(base), n, rec, {compare, arg1, arg2}, nullptr};
    sort.quick_sort();
  });
}

}  // namespace tav::sorting
