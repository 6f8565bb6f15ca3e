#include "numbers/field.h"

#include <cfloat>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "numbers/powers_of_ten.h"

namespace pdsplit {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Reads the digits of text[pos..) to its end, blanks ignored, into `value`,
// which stops growing once above `cap`; false when another character
// stands there or no digit does.
bool read_digits_to_end(std::string_view text, std::size_t pos, std::int64_t cap,
                        std::int64_t& value) {
  bool any = false;
  value = 0;
  for (; pos < text.size(); ++pos) {
    char c = text[pos];
    if (c == ' ') continue;
    if (!is_digit(c)) return false;
    any = true;
    if (value <= cap) value = value * 10 + (c - '0');
  }
  return any;
}

// An exponent beyond this magnitude over- or underflows whatever the digits
// are; clamping keeps the arithmetic on it safe.
constexpr int kExponentClamp = 100000;

// Skips the leading blanks and takes an optional sign; false when the
// field holds nothing but blanks (which reads as 0).
bool begin_number(std::string_view text, std::size_t& pos, bool& negative) {
  while (pos < text.size() && text[pos] == ' ') ++pos;
  if (pos == text.size()) return false;
  if (text[pos] == '+' || text[pos] == '-') negative = text[pos++] == '-';
  return true;
}

// Room for the significant digits of a field: on the stack, or for a
// field of more than 64 characters on the heap.
class DigitBuffer {
 public:
  explicit DigitBuffer(std::size_t field_size) {
    if (field_size > sizeof stack_) {
      heap_.resize(field_size);
      data_ = heap_.data();
    }
  }
  DigitBuffer(const DigitBuffer&) = delete;
  DigitBuffer& operator=(const DigitBuffer&) = delete;
  char* data() { return data_; }

 private:
  char stack_[64];
  std::string heap_;
  char* data_ = stack_;
};

// What the mantissa of a real field holds: how many significant digits
// (leading zeros dropped; the digits themselves go to a DigitBuffer) and
// where the decimal point stood.
struct Mantissa {
  std::size_t count = 0;
  bool any_digit = false, seen_point = false;
  long fraction_digits = 0;  // digits after the point, zeros included
};

// Reads digits and one decimal point from text[pos..), blanks ignored,
// up to the first other character; the significant digits go to `digits`.
Mantissa read_mantissa(std::string_view text, std::size_t& pos, char* digits) {
  Mantissa m;
  for (; pos < text.size(); ++pos) {
    char c = text[pos];
    if (c == ' ') continue;
    if (is_digit(c)) {
      m.any_digit = true;
      if (m.seen_point) ++m.fraction_digits;
      if (m.count == 0 && c == '0') continue;
      digits[m.count++] = c;
    } else if (c == '.' && !m.seen_point) {
      m.seen_point = true;
    } else {
      break;
    }
  }
  return m;
}

// The correctly rounded double of digits x 10^exp10 (no digits: zero), by
// the library's conversion of their text, "digitse-exp10", which is exact.
double decimal_value(std::string_view digits, long exp10, bool negative) {
  if (digits.empty()) return negative ? -0.0 : 0.0;
  // Clinger's fast path: up to 15 digits are a double exactly, and so is
  // 10^0..10^22 (the shared table's high part), so one multiplication or
  // division rounds once, to the correctly rounded value. Only where
  // doubles are computed as doubles (no wider registers rounding twice).
  if (FLT_EVAL_METHOD == 0 && digits.size() <= 15 && exp10 >= -22 && exp10 <= 22) {
    std::uint64_t w = 0;
    for (char c : digits) w = w * 10 + static_cast<std::uint64_t>(c - '0');
    double x = static_cast<double>(w), p = power_of_ten(static_cast<int>(exp10 < 0 ? -exp10 : exp10)).high;
    x = exp10 < 0 ? x / p : x * p;
    return negative ? -x : x;
  }
  char stack_text[96];
  std::string heap_text;
  char* text = stack_text;
  if (digits.size() + 24 > sizeof stack_text) {
    heap_text.resize(digits.size() + 24);
    text = heap_text.data();
  }
  std::memcpy(text, digits.data(), digits.size());
  char* end = text + digits.size();
  *end++ = 'e';
  end = std::to_chars(end, end + 22, exp10).ptr;
  double v = 0;
  auto [ptr, ec] = std::from_chars(text, end, v);
  if (ec == std::errc::result_out_of_range) {
    // The magnitude is either beyond the largest double or below half the
    // smallest one; which one is told by where the decimal point falls.
    long magnitude = exp10 + static_cast<long>(digits.size());
    v = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  }
  return negative ? -v : v;
}

// Reads the exponent that follows a mantissa at text[pos..), if any: a
// letter and an optionally signed integer, or a bare sign and an integer,
// blanks ignored. False when what follows is no exponent.
bool read_exponent(std::string_view text, std::size_t pos, long& exponent) {
  std::size_t n = text.size();
  exponent = 0;
  if (pos == n) return true;
  char c = text[pos];
  if (c == 'E' || c == 'e' || c == 'D' || c == 'd') {
    ++pos;
    while (pos < n && text[pos] == ' ') ++pos;
    if (pos < n && (text[pos] == '+' || text[pos] == '-')) c = text[pos++];
  } else if (c == '+' || c == '-') {
    ++pos;
  } else {
    return false;
  }
  std::int64_t magnitude = 0;
  if (!read_digits_to_end(text, pos, kExponentClamp, magnitude)) return false;
  exponent = static_cast<long>(c == '-' ? -magnitude : magnitude);
  return true;
}

// Matches Inf, Infinity or NaN (any case, blanks ignored) in text[pos..).
bool read_special(std::string_view text, std::size_t pos, bool negative,
                  double& value) {
  char word[9];
  std::size_t len = 0;
  for (; pos < text.size(); ++pos) {
    char c = text[pos];
    if (c == ' ') continue;
    if (len == sizeof word) return false;
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    word[len++] = c;
  }
  std::string_view w(word, len);
  if (w == "inf" || w == "infinity") {
    value = negative ? -std::numeric_limits<double>::infinity()
                     : std::numeric_limits<double>::infinity();
    return true;
  }
  if (w == "nan") {
    value = std::numeric_limits<double>::quiet_NaN();
    return true;
  }
  return false;
}

}  // namespace

std::string_view field_text(std::string_view line, std::size_t first,
                            std::size_t width) {
  if (first >= line.size()) return {};
  return line.substr(first, width);
}

bool read_int_field(std::string_view text, std::int32_t& value) {
  std::size_t pos = 0;
  bool negative = false;
  if (!begin_number(text, pos, negative)) {
    value = 0;
    return true;
  }
  std::int64_t magnitude = 0;
  if (!read_digits_to_end(text, pos, std::int64_t{1} << 31, magnitude)) return false;
  if (magnitude > std::int64_t{1} << 31) return false;
  std::int64_t v = negative ? -magnitude : magnitude;
  if (v > std::numeric_limits<std::int32_t>::max()) return false;
  value = static_cast<std::int32_t>(v);
  return true;
}

bool read_real_field(std::string_view text, int implied_decimals,
                     double& value) {
  std::size_t pos = 0;
  bool negative = false;
  if (!begin_number(text, pos, negative)) {
    value = 0;
    return true;
  }
  // Text the library reads as it stands (a decimal point, no blank within
  // or after, an exponent with its letter E): read so at once.
  if (pos < text.size() && (is_digit(text[pos]) || text[pos] == '.')) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data() + pos, end, value);
    if (ptr == end && ec == std::errc{} && text.find('.', pos) != std::string_view::npos) {
      if (negative) value = -value;
      return true;
    }
  }
  DigitBuffer digits(text.size());
  Mantissa mantissa = read_mantissa(text, pos, digits.data());
  if (!mantissa.any_digit)
    return !mantissa.seen_point && read_special(text, pos, negative, value);
  long exponent = 0;
  if (!read_exponent(text, pos, exponent)) return false;
  long exp10 = exponent - (mantissa.seen_point ? mantissa.fraction_digits : implied_decimals);
  value = decimal_value(std::string_view(digits.data(), mantissa.count), exp10, negative);
  return true;
}

}  // namespace pdsplit
