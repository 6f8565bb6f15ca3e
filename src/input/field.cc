#include "input/field.h"

#include <charconv>
#include <cstring>
#include <limits>
#include <string>

#include "input/exact_powers_of_ten.h"

namespace pdsplit {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

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

// The mantissa of a real field as read so far: its significant digits
// (leading zeros dropped), the first 19 of them also as an integer for the
// fast conversion, and where the decimal point stood.
class Mantissa {
 public:
  // Room for every digit of a field of `field_size` characters.
  explicit Mantissa(std::size_t field_size) {
    if (field_size > sizeof stack_digits_) {
      heap_digits_.resize(field_size);
      digits_ = heap_digits_.data();
    }
  }
  Mantissa(const Mantissa&) = delete;
  Mantissa& operator=(const Mantissa&) = delete;

  // Takes digits and one decimal point from text[pos..), blanks ignored;
  // stops at the first other character.
  void read(std::string_view text, std::size_t& pos) {
    for (; pos < text.size(); ++pos) {
      char c = text[pos];
      if (c == ' ') continue;
      if (is_digit(c)) {
        take_digit(c);
      } else if (c == '.' && !seen_point_) {
        seen_point_ = true;
      } else {
        break;
      }
    }
  }

  bool any_digit() const { return any_digit_; }
  bool seen_point() const { return seen_point_; }
  long fraction_digits() const { return fraction_digits_; }

  // The correctly rounded double of the digits x 10^exp10.
  double value(long exp10, bool negative) const {
    if (count_ == 0) return negative ? -0.0 : 0.0;
    if (count_ <= 19 && first19_ <= (std::uint64_t{1} << 53) &&
        exp10 >= -kMaxExactPower && exp10 <= kMaxExactPower) {
      double m = static_cast<double>(first19_);
      double v = exp10 >= 0 ? m * kExactPowers[exp10] : m / kExactPowers[-exp10];
      return negative ? -v : v;
    }
    return exact_value(exp10, negative);
  }

 private:
  void take_digit(char c) {
    any_digit_ = true;
    if (seen_point_) ++fraction_digits_;
    if (count_ == 0 && c == '0') return;
    if (count_ < 19) first19_ = first19_ * 10 + static_cast<unsigned>(c - '0');
    digits_[count_++] = c;
  }

  // The value of digits the fast conversion cannot take, by the library's
  // correctly rounded conversion of their text.
  double exact_value(long exp10, bool negative) const {
    char stack_text[96];
    std::string heap_text;
    char* text = stack_text;
    if (count_ + 24 > sizeof stack_text) {
      heap_text.resize(count_ + 24);
      text = heap_text.data();
    }
    std::memcpy(text, digits_, count_);
    char* end = text + count_;
    *end++ = 'e';
    end = std::to_chars(end, end + 22, exp10).ptr;
    double v = 0;
    auto [ptr, ec] = std::from_chars(text, end, v);
    if (ec == std::errc::result_out_of_range) {
      // The magnitude is either beyond the largest double or below half the
      // smallest one; which one is told by where the decimal point falls.
      long magnitude = exp10 + static_cast<long>(count_);
      v = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    }
    return negative ? -v : v;
  }

  char stack_digits_[64];
  std::string heap_digits_;
  char* digits_ = stack_digits_;
  std::size_t count_ = 0;
  std::uint64_t first19_ = 0;
  bool any_digit_ = false, seen_point_ = false;
  long fraction_digits_ = 0;  // digits after the point, zeros included
};

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
  bool negative = c == '-';
  bool any = false;
  for (; pos < n; ++pos) {
    char e = text[pos];
    if (e == ' ') continue;
    if (!is_digit(e)) return false;
    any = true;
    if (exponent < kExponentClamp) exponent = exponent * 10 + (e - '0');
  }
  if (negative) exponent = -exponent;
  return any;
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
  std::size_t pos = 0, n = text.size();
  bool negative = false;
  if (!begin_number(text, pos, negative)) {
    value = 0;
    return true;
  }
  std::int64_t magnitude = 0;
  bool any = false;
  for (; pos < n; ++pos) {
    char c = text[pos];
    if (c == ' ') continue;
    if (!is_digit(c)) return false;
    any = true;
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > std::int64_t{1} << 31) return false;
  }
  if (!any) return false;
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
  Mantissa mantissa(text.size());
  mantissa.read(text, pos);
  if (!mantissa.any_digit())
    return !mantissa.seen_point() && read_special(text, pos, negative, value);
  long exponent = 0;
  if (!read_exponent(text, pos, exponent)) return false;
  long exp10 = exponent - (mantissa.seen_point() ? mantissa.fraction_digits() : implied_decimals);
  value = mantissa.value(exp10, negative);
  return true;
}

}  // namespace pdsplit
