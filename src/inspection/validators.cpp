#include "inspection/validators.h"

#include <cstdint>
#include <limits>
#include <string>

#include "inspection/accepted_values.h"
#include "inspection/text_util.h"

namespace verifax {

namespace {

constexpr bool IsAsciiDigit(char c) {
  return c >= '0' && c <= '9';
}

// The whole text as a signed decimal integer: an optional sign, then ASCII digits and
// nothing else. Anything that is not such an integer, or does not fit, counts as 0.
std::int64_t IntegerOrZero(std::string_view text) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i == text.size()) return 0;
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  std::int64_t value = 0;
  for (; i < text.size(); ++i) {
    if (!IsAsciiDigit(text[i])) return 0;
    const int digit = text[i] - '0';
    if (value > (kMax - digit) / 10) return 0;
    value = value * 10 + digit;
  }
  return negative ? -value : value;
}

}  // namespace

bool IsPostalCodeValid(std::string_view postalcode) {
  // Eight bytes of ASCII are also eight UTF-16 units; any other byte fails the pattern.
  if (postalcode.size() != 8) return false;
  for (std::size_t i = 0; i < 8; ++i) {
    const char c = postalcode[i];
    if (i == 4 ? c != '-' : !IsAsciiDigit(c)) return false;
  }
  return true;
}

bool IsNIFValid(std::string_view nif, std::string_view country, bool /*iscompany*/) {
  std::string number(nif);
  // A bare nine-character number is always read as Portuguese, whatever the country.
  if (Utf16Length(number) == 9 && IntegerOrZero(number) != 0) number.insert(0, "PT");

  const std::string head = Utf16Left(number, 2);
  const std::string prefix = AsciiUpper(head);
  if (prefix != "PT") return prefix == AsciiUpper(country) && InList(CountriesAllowed(), prefix);

  std::int64_t v = IntegerOrZero(Utf16Left(std::string_view(number).substr(head.size()), 9));
  if (v == 0) return false;

  const std::int64_t first_digit = v / 100000000;
  if (first_digit == 0 || first_digit == 3 || first_digit == 4 || first_digit == 7) return false;

  const std::int64_t last_digit = v % 10;
  std::int64_t sum = 0;
  for (int weight = 1; weight <= 9; ++weight) {
    sum += (v % 10) * weight;
    v /= 10;
  }
  const std::int64_t r = sum % 11;
  // A computed check digit of 10 is written as 0.
  return r == 0 || (r == 1 && last_digit == 0);
}

}  // namespace verifax
