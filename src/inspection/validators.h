#pragma once

#include <string_view>

namespace verifax {

/// Exactly four ASCII digits, "-", three ASCII digits; nothing trimmed.
bool IsPostalCodeValid(std::string_view postalcode);

/// The Portuguese tax number test (nine digits, bare or behind "PT", first digit not
/// 0, 3, 4 or 7, modulus-11 check digit); a foreign number is valid only when its
/// two-letter prefix equals `country` upper-cased and is an accepted country. Lengths
/// count UTF-16 code units, as the user's platform does. `iscompany` does not change
/// the answer. Never throws.
bool IsNIFValid(std::string_view nif, std::string_view country, bool iscompany);

}  // namespace verifax
