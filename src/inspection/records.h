#pragma once

#include <string>

namespace verifax {

// All strings in the engine's interface are UTF-8. Text read from a UTF-16 document can
// hold unpaired surrogates; those travel as their three-byte forms (WTF-8), so every
// document character survives a round trip.

/// Question and answer between the header pass and the company data dialog.
struct TCompany {
  std::string city;
  std::string postalcode;
  std::string nif;
  bool edit_address = false;
  bool edit_nif = false;
};

/// Question and answer between the tax table pass and the tax rate dialog; also the
/// element type of the remembered answers `tax_info`.
struct TTax {
  std::string code;
  std::string description;
  std::string percentage;

  bool operator==(const TTax&) const = default;
};

}  // namespace verifax
