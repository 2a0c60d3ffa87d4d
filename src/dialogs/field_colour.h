#pragma once

namespace verifax {

/// Background of a correction dialog's field, as the dialog logic decides it.
enum class FieldColour {
  kWindow,  ///< the system window colour (enabled, not yet verified)
  kGreen,   ///< RGB 204, 255, 204: valid
  kOrange,  ///< RGB 255, 204, 102: invalid
  kSilver,  ///< RGB 192, 192, 192: disabled, not asked
};

}  // namespace verifax
