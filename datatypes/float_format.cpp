// Text of float-based numbers: the one writer of doubles outside mold of float!, with its
// per-kind precision, the re-format that hides binary noise, pretty zeros and a normalised
// exponent; form and mold of float!.
#include <cstdio>
#include <cstring>

#include "datatypes/float.hpp"
#include "datatypes/text_output.hpp"
#include "runtime/float_text.hpp"

namespace tav::float_ {

bool pretty_print = true;
bool full_support = false;

namespace {

struct kind_format {
  const char* first;  // null: the round-trip writer with six digits
  const char* again;
  const char* pretty_zero;
};

constexpr kind_format kinds[] = {
    {"%.7g", "%.5g", "0.0"},  {"%.16g", "%.14g", "0.0"}, {"%.7g", "%.14g", "0%"},
    {"%.13g", "%.14g", "0%"}, {nullptr, "%.5g", "0.0"},  {"%.7g", "%.5g", "0"},
};

// Room for the longest general-format text of a double and the ".0" or "%" added to it.
char text[32];

struct layout {
  bool point = false;
  int e = -1;  // position of the 'e', or -1
};

layout scan() {
  layout found;
  for (int i = 0; text[i]; ++i) {
    if (text[i] == '.') found.point = true;
    if (text[i] == 'e') found.e = i;
  }
  return found;
}

bool noise_p(const char* two) { return (two[0] == '0' && two[1] == '1') || (two[0] == '9' && two[1] == '9'); }

// A run of 9s or of 0s ending in 1 at the last printed digits is the binary value showing
// through: print again with fewer digits.
void hide_noise(double x, const kind_format& format, layout& found) {
  size_t length = std::strlen(text);
  const char* candidate = nullptr;
  if (found.e < 0) {
    const char* digits = text[0] == '-' ? text + 1 : text;
    if (length > 16 && (digits[0] != '0' || length > 17)) candidate = text + length - 2;
  } else if (found.e > 16) {
    candidate = text + found.e - 2;
  }
  if (!candidate || !noise_p(candidate)) return;
  std::snprintf(text, sizeof text, format.again, x);
  found = scan();
}

// e+020 becomes e20, e-007 becomes e-7.
void normalise_exponent(const layout& found) {
  char* p = text + found.e + 1;
  if (*p == '+') std::memmove(p, p + 1, std::strlen(p + 1) + 1);
  if (*p == '-') ++p;
  char* first = p;
  while (*first == '0' && first[1]) ++first;
  if (first != p) std::memmove(p, first, std::strlen(first) + 1);
}

void add_point_zero(const layout& found) {
  if (found.e < 0) {
    std::strcat(text, ".0");
    return;
  }
  char* e = text + found.e;
  std::memmove(e + 2, e, std::strlen(e) + 1);
  e[0] = '.';
  e[1] = '0';
}

}  // namespace

const char* format(double x, int32_t kind) {
  if (special_p(x)) return nan_p(x) ? "1.#NaN" : x > 0 ? "1.#INF" : "-1.#INF";
  const kind_format& format = kinds[kind];
  bool percent = kind == 2 || kind == 3;
  if (pretty_print && abs(x) < epsilon) return format.pretty_zero;
  if (format.first) {
    std::snprintf(text, sizeof text, format.first, x);
  } else {
    std::snprintf(text, sizeof text, "%s", form_float(x, 6, false));
  }
  layout found = scan();
  if (pretty_print) hide_noise(x, format, found);
  if (found.e >= 0) normalise_exponent(found);
  if (percent)
    std::strcat(text, "%");
  else if (!found.point && kind != 4 && kind != 5)
    add_point_zero(found);
  return text;
}

int32_t form(cell* value, cell* buffer, cell*, int32_t limit) {
  const char* written = format(get(*value), 1);
  text::append_c_string(*buffer, written);
  return limit - static_cast<int32_t>(std::strlen(written));
}

int32_t mold(cell* value, cell* buffer, bool, bool, bool, cell*, int32_t limit, int32_t) {
  const char* written = form_float(get(*value), 0, true);
  text::append_c_string(*buffer, written);
  return limit - static_cast<int32_t>(std::strlen(written));
}

}  // namespace tav::float_
