// money!: the digit helpers, the currency lookup, conversions from and to text, integers and
// floats, and the actions other than arithmetic.
#include "datatypes/money.hpp"

#include <cmath>
#include <cstring>

#include "datatypes/actions.hpp"
#include "datatypes/context.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/number_handoff.hpp"
#include "datatypes/object.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/runtime_words.hpp"
#include "datatypes/scalar_support.hpp"
#include "datatypes/symbol.hpp"
#include "datatypes/text_output.hpp"
#include "datatypes/values.hpp"
#include "datatypes/word.hpp"
#include "interpreter/stack.hpp"
#include "runtime/errors.hpp"
#include "runtime/float_text.hpp"
#include "runtime/random.hpp"
#include "runtime/series.hpp"

namespace tav::money {
namespace {

using scalar_support::datatype_of;

constexpr uint64_t ten_to_12 = 1000000000000ull;
// The position of money-digits among the fields of system/options (0-based).
constexpr uint32_t money_digits_field = 13;

[[gnu::cold, noreturn]] void bad_make_arg(const cell& spec) {
  fire(error_id::script_bad_make_arg, datatype_of(TYPE_MONEY), spec);
}

// ---- The system object --------------------------------------------------------------------

const cell* field_of(const cell* object, const char* name) {
  if (!object || object->type() != TYPE_OBJECT) return nullptr;
  return context::find_value(object::context_of(*object), symbol::make(name));
}

const cell* system_object() {
  if (!context::global) return nullptr;
  return context::find_value(context::global, symbols::system);
}

// The currency list, or null when the system object does not hold a block there.
const cell* currency_list() {
  const cell* list = field_of(field_of(field_of(system_object(), "locale"), "currencies"), "list");
  return list && list->type() == TYPE_BLOCK ? list : nullptr;
}

// Fraction digits to write: system/options/money-digits when it is an integer, else 2.
int32_t money_digits() {
  const cell* options = field_of(system_object(), "options");
  if (!options || options->type() != TYPE_OBJECT) return 2;
  node_id context = object::context_of(*options);
  if (context::word_count(context) <= money_digits_field) return 2;
  const cell* digits = context::value_at(context, money_digits_field);
  if (!digits || digits->type() != TYPE_INTEGER) return 2;
  return integer::get(*digits);
}

template <class Match>
int32_t find_currency(Match match) {
  const cell* list = currency_list();
  if (!list) return -1;
  series_buffer* buffer = buffer_of(list->payload2);
  uint32_t count = buffer->count();
  const cell* cells = buffer->cells();
  for (uint32_t i = list->payload1; i < count; ++i) {
    uint32_t position = i - list->payload1 + 1;
    if (position > 255) return -1;
    if (any_word_p(cells[i].type()) && match(word::symbol_of(cells[i]))) return static_cast<int32_t>(position);
  }
  return -1;
}

char upper_ascii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

// ---- Text -----------------------------------------------------------------------------------

// The words of the currency list are plain ASCII.
void append_currency(cell& buffer, uint32_t index) {
  cell code = currency_code(index);
  if (!any_word_p(code.type())) return;
  text::append_c_string(buffer, symbol::name(word::symbol_of(code)));
}

// ---- Float conversion ------------------------------------------------------------------------

wide power_of_ten(int32_t n) {
  wide p = 1;
  while (n-- > 0) p *= 10;
  return p;
}

}  // namespace

// ---- Cell and digit helpers ---------------------------------------------------------------------

void set_digits(cell& m, const uint8_t* bytes) { std::memcpy(digits(m), bytes, digit_bytes); }

int32_t compare_digits(const uint8_t* digits1, const uint8_t* digits2) {
  return std::memcmp(digits1, digits2, digit_bytes);
}

void clear(cell& m) { m.payload1 = m.payload2 = m.payload3 = 0; }

void set_digit(uint8_t* d, int32_t i, uint32_t digit) {
  uint8_t& byte = d[(i - 1) >> 1];
  byte = (i & 1) ? static_cast<uint8_t>((byte & 0x0F) | (digit << 4)) : static_cast<uint8_t>((byte & 0xF0) | digit);
}

int32_t significant_digits(const uint8_t* d) {
  for (int32_t k = 0; k < digit_bytes; ++k) {
    if (!d[k]) continue;
    return digit_count - 2 * k - ((d[k] & 0xF0) ? 0 : 1);
  }
  return 1;
}

bool zero_digits_p(const uint8_t* d) {
  for (int32_t k = 0; k < digit_bytes; ++k)
    if (d[k]) return false;
  return true;
}

wide get_amount(const cell& m) {
  const uint8_t* d = digits(m);
  uint64_t high = 0, low = 0;
  for (int32_t k = 0; k < 5; ++k) high = high * 100 + (d[k] >> 4) * 10 + (d[k] & 0x0F);
  for (int32_t k = 5; k < digit_bytes; ++k) low = low * 100 + (d[k] >> 4) * 10 + (d[k] & 0x0F);
  return wide{high} * ten_to_12 + low;
}

void set_amount(cell& m, wide amount) {
  uint8_t* d = digits(m);
  auto high = static_cast<uint64_t>(amount / ten_to_12);
  auto low = static_cast<uint64_t>(amount % ten_to_12);
  for (int32_t k = digit_bytes - 1; k >= 5; --k, low /= 100) {
    auto pair = static_cast<uint32_t>(low % 100);
    d[k] = static_cast<uint8_t>(((pair / 10) << 4) | (pair % 10));
  }
  for (int32_t k = 4; k >= 0; --k, high /= 100) {
    auto pair = static_cast<uint32_t>(high % 100);
    d[k] = static_cast<uint8_t>(((pair / 10) << 4) | (pair % 10));
  }
}

int32_t sign_p(const cell& m) {
  if (zero_digits_p(digits(m))) return 0;
  return get_sign(m) ? -1 : 1;
}

int32_t compare_amounts(const cell& m1, const cell& m2) {
  int32_t sign1 = sign_p(m1), sign2 = sign_p(m2);
  auto order = [](int32_t x) { return x < 0 ? -1 : x > 0 ? 1 : 0; };
  if (sign1 != sign2 || sign1 == 0) return order(sign1 - sign2);
  if (sign1 > 0) return order(compare_digits(digits(m1), digits(m2)));
  return order(compare_digits(digits(m2), digits(m1)));
}

bool same_currency_p(const cell& m1, const cell& m2, bool strict) {
  uint32_t c1 = get_currency(m1), c2 = get_currency(m2);
  if (strict) return c1 == c2;
  return c1 == 0 || c2 == 0 || c1 == c2;
}

// ---- Currencies ---------------------------------------------------------------------------------

int32_t currency_index(uint32_t symbol) {
  uint32_t wanted = symbol::resolve(symbol);
  return find_currency([wanted](uint32_t s) { return symbol::resolve(s) == wanted; });
}

int32_t currency_index_of_text(const char* text) {
  return find_currency([text](uint32_t s) {
    const char* name = symbol::name(s);
    for (int32_t i = 0; i < 3; ++i)
      if (!name[i] || upper_ascii(name[i]) != upper_ascii(text[i])) return false;
    return name[3] == 0;
  });
}

cell currency_code(uint32_t index) {
  const cell* list = currency_list();
  if (!list || index == 0) return none::value;
  series_buffer* buffer = buffer_of(list->payload2);
  uint32_t position = list->payload1 + index - 1;
  if (position >= buffer->count()) return none::value;
  return buffer->cells()[position];
}

cell code_of(const cell& m) {
  uint32_t index = get_currency(m);
  return index ? currency_code(index) : none::value;
}

cell* amount_of(const cell& m) {
  cell* slot = stack::push_cell();
  *slot = m;
  set_currency(*slot, 0);
  return slot;
}

// ---- Constructors and conversions ---------------------------------------------------------------

bool from_string(cell& out, bool negative, const char* currency, const uint8_t* start, const uint8_t* point,
                 const uint8_t* end) {
  int32_t index = 0;
  if (currency && (index = currency_index_of_text(currency)) < 0) return false;
  cell m{TYPE_MONEY, 0, 0, 0};
  set_sign(m, negative);
  uint8_t* d = digits(m);
  int32_t position = integer_digits;
  for (const uint8_t* p = point ? point : end; p > start;) {
    uint8_t c = *--p;
    if (c < '0' || c > '9') continue;
    if (position == 0) {
      if (c != '0') return false;
      continue;
    }
    set_digit(d, position--, c - '0');
  }
  if (point) {
    position = integer_digits + 1;
    for (const uint8_t* p = point + 1; p < end && position <= digit_count; ++p)
      if (*p >= '0' && *p <= '9') set_digit(d, position++, *p - '0');
  }
  set_currency(m, static_cast<uint32_t>(index));
  out = m;
  return true;
}

cell from_binary(bool negative, uint32_t currency, const uint8_t* bytes) {
  cell m{TYPE_MONEY, 0, 0, 0};
  set_sign(m, negative);
  set_currency(m, currency);
  set_digits(m, bytes);
  return m;
}

cell make_integer(int32_t n) {
  cell m{TYPE_MONEY, 0, 0, 0};
  set_sign(m, n < 0);
  uint64_t magnitude = n < 0 ? 0 - static_cast<uint64_t>(static_cast<int64_t>(n)) : static_cast<uint64_t>(n);
  set_amount(m, wide{magnitude} * scale);
  return m;
}

cell* from_integer(int32_t n) {
  cell* slot = stack::push_cell();
  *slot = make_integer(n);
  return slot;
}

int32_t to_integer(const cell& m) {
  wide whole = get_amount(m) / scale;
  uint64_t limit = get_sign(m) ? 2147483648ull : 2147483647ull;
  if (whole > limit) fire(error_id::script_type_limit, datatype_of(TYPE_INTEGER));
  auto magnitude = static_cast<int64_t>(whole);
  return static_cast<int32_t>(get_sign(m) ? -magnitude : magnitude);
}

cell make_float(double x, bool strict) {
  double magnitude = std::fabs(x);
  if (!std::isfinite(x) || (magnitude > 0 && magnitude < 1e-5) || magnitude >= 1e17)
    bad_make_arg(scalar::float_cell(x));
  cell m{TYPE_MONEY, 0, 0, 0};
  if (magnitude == 0) return m;
  int exponent = 0, sign = 0, length = 0;
  const char* text = float_to_digits(x, 0, &exponent, &sign, &length, false);
  // x is 0.d1d2...dn x 10^exponent; the amount is d1..dn x 10^(exponent - n + 5).
  if (strict && length - exponent > fraction_digits) bad_make_arg(scalar::float_cell(x));
  wide whole = 0;
  for (int i = 0; i < length; ++i) whole = whole * 10 + static_cast<uint32_t>(text[i] - '0');
  int32_t shift = exponent - length + fraction_digits;
  whole = shift >= 0 ? whole * power_of_ten(shift) : whole / power_of_ten(-shift);
  set_sign(m, x < 0);
  set_amount(m, whole);
  return m;
}

cell* from_float(double x, bool strict) {
  cell m = make_float(x, strict);
  cell* slot = stack::push_cell();
  *slot = m;
  return slot;
}

double to_float(const cell& m) {
  if (zero_p(m)) return 0.0;
  char text[digit_count + 1];
  const uint8_t* d = digits(m);
  for (int32_t i = 0; i < digit_count; ++i) text[i] = static_cast<char>('0' + get_digit(d, i + 1));
  size_t left = 0;
  double x = strtod(text, text + digit_count, -fraction_digits, &left);
  if (left) fire(error_id::script_bad_make_arg, datatype_of(TYPE_FLOAT), m);
  return get_sign(m) ? -x : x;
}

int32_t serialize(const cell& m, cell& buffer, int32_t part, bool all, bool grouping) {
  char text[64];
  int32_t n = 0;
  if (sign_p(m) < 0) text[n++] = '-';
  if (uint32_t index = get_currency(m)) {
    text[n] = 0;
    text::append_c_string(buffer, text);
    part -= n + 3;
    n = 0;
    append_currency(buffer, index);
  }
  text[n++] = '$';
  const uint8_t* d = digits(m);
  int32_t significant = significant_digits(d);
  if (significant > fraction_digits) {
    for (int32_t i = digit_count + 1 - significant; i <= integer_digits; ++i) {
      text[n++] = static_cast<char>('0' + get_digit(d, i));
      if (grouping && (i + 1) % 3 == 0 && i != integer_digits) text[n++] = '\'';
    }
  } else {
    text[n++] = '0';
  }
  int32_t decimals = money_digits();
  if (all || decimals > fraction_digits) decimals = fraction_digits;
  if (decimals >= 1) {
    text[n++] = '.';
    for (int32_t i = 0; i < decimals; ++i) text[n++] = static_cast<char>('0' + get_digit(d, integer_digits + 1 + i));
  }
  text[n] = 0;
  text::append_c_string(buffer, text);
  return part - n;
}

// ---- Actions --------------------------------------------------------------------------------------

cell* make(cell* prototype, cell* spec, int32_t type) {
  if (spec->type() == TYPE_WORD) {
    int32_t index = currency_index(word::symbol_of(*spec));
    if (index < 0) bad_make_arg(*spec);
    cell* slot = from_integer(0);
    set_currency(*slot, static_cast<uint32_t>(index));
    return slot;
  }
  if (spec->type() != TYPE_BLOCK) return to(prototype, spec, type);
  series_buffer* buffer = buffer_of(spec->payload2);
  uint32_t head = spec->payload1, count = buffer->count();
  uint32_t length = head < count ? count - head : 0;
  if (length < 1 || length > 3) bad_make_arg(*spec);
  const cell* values = buffer->cells() + head;
  uint32_t i = 0;
  int32_t currency = 0;
  if (values[0].type() == TYPE_WORD) {
    currency = currency_index(word::symbol_of(values[0]));
    if (currency < 0 || length == 1) bad_make_arg(*spec);
    i = 1;
  }
  cell amount;
  switch (values[i].type()) {
    case TYPE_INTEGER: amount = make_integer(integer::get(values[i])); break;
    case TYPE_FLOAT:
      amount = make_float(float_::get(values[i]), true);
      if (i + 1 < length) bad_make_arg(*spec);
      break;
    default: bad_make_arg(*spec);
  }
  if (++i < length) {
    if (values[i].type() != TYPE_INTEGER) bad_make_arg(*spec);
    int32_t fraction = integer::get(values[i]);
    if (fraction < 0 || fraction > largest_fraction) bad_make_arg(*spec);
    cell part{TYPE_MONEY, 0, 0, 0};
    set_amount(part, static_cast<wide>(fraction));
    set_sign(part, get_sign(amount));
    add_amounts(amount, part);
  }
  set_currency(amount, static_cast<uint32_t>(currency));
  cell* slot = stack::push_cell();
  *slot = amount;
  return slot;
}

cell* random(cell* value, bool seed, bool secure, bool) {
  if (seed) {
    rng::seed(static_cast<int32_t>(value->payload1 ^ value->payload2 ^ value->payload3 ^ get_sign(*value)));
    *value = unset::value;
    return value;
  }
  auto draw = [secure] { return static_cast<uint32_t>(secure ? rng::secure_next() : rng::next()); };
  uint8_t* d = digits(*value);
  int32_t i = digit_count + 1 - significant_digits(d);
  for (; i <= digit_count; ++i) {
    uint32_t top = get_digit(d, i), r;
    for (;;) {
      r = draw() % (top + 1);
      if (r != top) break;
      uint32_t a = draw(), b = draw();
      if (a % 1000 == b % 1000) break;
    }
    set_digit(d, i, r);
    if (r < top) break;
  }
  for (++i; i <= digit_count; ++i) set_digit(d, i, draw() % 10);
  return value;
}

cell* to(cell*, cell* spec, int32_t) {
  switch (spec->type()) {
    case TYPE_STRING:
    case TYPE_FILE:
    case TYPE_URL:
    case TYPE_TAG:
    case TYPE_EMAIL:
    case TYPE_REF: {
      cell* slot = stack::push_cell();
      *slot = handoff::need(handoff::string_to_money)(*spec);
      if (slot->type() != TYPE_MONEY) fire(error_id::script_bad_to_arg, datatype_of(TYPE_MONEY), *spec);
      return slot;
    }
    case TYPE_INTEGER: return from_integer(integer::get(*spec));
    case TYPE_FLOAT: return from_float(float_::get(*spec), true);
    case TYPE_MONEY: return spec;
    default: fire(error_id::script_bad_to_arg, datatype_of(TYPE_MONEY), *spec);
  }
}

int32_t form(cell* value, cell* buffer, cell*, int32_t limit) { return serialize(*value, *buffer, limit, false, true); }

int32_t mold(cell* value, cell* buffer, bool, bool all, bool, cell*, int32_t limit, int32_t) {
  return serialize(*value, *buffer, limit, all, false);
}

namespace {

// 1 the currency, 2 the amount, 0 for anything else.
int32_t field_index(const cell& element) {
  if (element.type() == TYPE_INTEGER) {
    int32_t i = integer::get(element);
    return i == 1 || i == 2 ? i : 0;
  }
  if (!plain_word_p(element.type())) return 0;
  uint32_t symbol = symbol::resolve(word::symbol_of(element));
  if (symbol == symbol::resolve(symbols::code)) return 1;
  if (symbol == symbol::resolve(symbols::amount)) return 2;
  return 0;
}

cell* push_field(const cell& m, int32_t index) {
  if (index == 2) return amount_of(m);
  cell code = code_of(m);
  cell* slot = stack::push_cell();
  *slot = code;
  return slot;
}

// The order of two currencies for sorting: none first, then by their words.
int32_t currency_order(const cell& m1, const cell& m2, int32_t op) {
  uint32_t c1 = get_currency(m1), c2 = get_currency(m2);
  if (c1 == c2) return 0;
  if (c1 == 0 || c2 == 0) return c1 == 0 ? -1 : 1;
  cell w1 = currency_code(c1), w2 = currency_code(c2);
  if (!any_word_p(w1.type()) || !any_word_p(w2.type())) return c1 < c2 ? -1 : 1;
  return word::compare(&w1, &w2, op);
}

// The order of an amount and a float outside the money range: the sign of their difference.
int32_t order_beyond_range(const cell& m, double x) {
  if (std::fabs(x) >= 1e17) return x < 0 ? 1 : -1;
  int32_t sign = sign_p(m);
  if (sign) return sign;
  return x < 0 ? 1 : -1;
}

}  // namespace

cell* eval_path(cell* parent, cell* element, cell* value, cell* path, cell*, cell*, int32_t, bool, bool, bool,
                bool) {
  if (value) fire(error_id::script_bad_path_set, scalar_support::path_or_none(path), *element);
  int32_t index = field_index(*element);
  if (!index) fire(error_id::script_invalid_path, scalar_support::path_or_none(path), *element);
  return push_field(*parent, index);
}

int32_t compare(cell* value1, cell* value2, int32_t op) {
  bool identity = op == actions::op::strict_equal || op == actions::op::same || op == actions::op::find;
  switch (value2->type()) {
    case TYPE_MONEY: break;
    case TYPE_INTEGER: {
      if (identity) return 1;
      cell m = make_integer(integer::get(*value2));
      return compare_amounts(*value1, m);
    }
    case TYPE_FLOAT: {
      if (identity) return 1;
      double x = float_::get(*value2), magnitude = std::fabs(x);
      if ((magnitude > 0 && magnitude < 1e-5) || magnitude >= 1e17) return order_beyond_range(*value1, x);
      cell m = make_float(x, true);
      return compare_amounts(*value1, m);
    }
    default: return identity ? 1 : actions::not_comparable;
  }
  switch (op) {
    case actions::op::lesser:
    case actions::op::lesser_or_equal:
    case actions::op::greater:
    case actions::op::greater_or_equal:
      if (!same_currency_p(*value1, *value2, false)) fire(error_id::script_wrong_denom, *value1, *value2);
      break;
    case actions::op::sort:
    case actions::op::case_sort:
      if (int32_t order = currency_order(*value1, *value2, op)) return order;
      break;
    case actions::op::find:
      if (get_currency(*value2) && !same_currency_p(*value1, *value2, true)) return 1;
      break;
    default:
      if (!same_currency_p(*value1, *value2, op == actions::op::strict_equal || op == actions::op::same)) return 1;
  }
  return compare_amounts(*value1, *value2);
}

cell* absolute() {
  cell* value = stack::argument(0);
  clear_sign(*value);
  return value;
}

cell* negate(cell* number) {
  flip_sign(*number);
  return number;
}

bool even_p(cell* number) { return !odd_p(number); }
bool odd_p(cell* number) { return get_digit(digits(*number), integer_digits) & 1; }

cell* pick(cell* series, int32_t index, cell* index_cell) {
  int32_t field = index_cell ? field_index(*index_cell) : (index == 1 || index == 2 ? index : 0);
  if (!field) fire(error_id::script_out_of_range, index_cell ? *index_cell : scalar::integer(index));
  return push_field(*series, field);
}

void init() {
  datatype::register_type(TYPE_MONEY, datatype::actions_row(
      // make random reflect to form mold eval-path set-path compare
      &make, &random, unsupported, &to, &form, &mold, &eval_path, unsupported, &compare,
      // absolute add divide multiply negate power remainder round subtract
      &absolute, &add, &divide, &multiply, &negate, unsupported, &remainder, &round, &subtract,
      // even? odd? and~ complement or~ xor~
      &even_p, &odd_p, unsupported, unsupported, unsupported, unsupported,
      // append at back change clear copy find head head? index? insert length? move next
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      // pick poke put remove reverse select sort skip swap tail tail? take trim
      &pick, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported, unsupported,
      // create close delete modify open open? query read rename update write
      unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
      unsupported, unsupported, unsupported));
  handoff::money_do_math = &do_math;
  handoff::money_compare = &compare;
  handoff::money_from_integer = &make_integer;
  handoff::money_from_float = &make_float;
  handoff::money_to_integer = &to_integer;
  handoff::money_to_float = &to_float;
  handoff::money_sign = &sign_p;
  handoff::money_zero_p = [](const cell& m) { return zero_p(m); };
}

}  // namespace tav::money
