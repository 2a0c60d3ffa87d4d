#pragma once

#include <string_view>

namespace verifax {

// The accepted-value lists. Every entry is enclosed in "|"; a value v belongs to a list
// when "|" + v + "|" occurs in it, letter case significant.

/// 246 two-letter country codes and "Desconhecido".
std::string_view CountriesAllowed();
/// CountriesAllowed() followed by "PT-AC|PT-MA|".
std::string_view TaxCountriesAllowed();
/// "|RED|INT|NOR|ISE|OUT|".
std::string_view TaxCodesAllowed();

/// Whether "|" + value + "|" occurs in `list`.
bool InList(std::string_view list, std::string_view value);

}  // namespace verifax
