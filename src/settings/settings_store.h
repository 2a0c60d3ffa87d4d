#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "inspection/inspection_run.h"
#include "settings/settings_error.h"

namespace verifax {

/// A value that goes into or comes out of the settings file.
using SettingValue = std::variant<std::monostate, std::string, std::int32_t, double, bool>;

/// Type codes of WriteSetting and ReadSetting. Any other code reads nothing and writes
/// nothing.
inline constexpr std::uint8_t kSettingInteger = 0;  ///< 32-bit signed integer
inline constexpr std::uint8_t kSettingFloat = 1;    ///< double, in the locale's format
inline constexpr std::uint8_t kSettingBoolean = 2;  ///< "1" or "0"
inline constexpr std::uint8_t kSettingString = 3;   ///< text, stored unchanged

/// Stores one value under [section] key in the settings file: loads the whole file (a
/// missing file is empty), sets the value by type code and saves the whole file again
/// (for an unknown type code, unchanged), all under the process-wide settings lock.
/// - 3: the value's text. 0: the value's text as an integer, 0 when it is no whole number.
/// - 1: the value's text read with `format`, written in general format with up to 15
///   significant digits and `format`'s decimal separator; a text that does not convert
///   throws SettingsConversionError before anything is saved.
/// - 2: the value as a Boolean ("true"/"false" in any letter case or a number for a
///   string, non-zero for numbers, false for nothing), written "1" or "0"; a string that
///   is neither throws SettingsConversionError before anything is saved.
/// The value's text is: a string as is, an integer in decimal, a double as for code 1, a
/// Boolean "True" or "False", nothing "". A blank `file_name` means the default file
/// (SettingsFileName). Throws SettingsFileError when the file cannot be read or written.
void WriteSetting(std::uint8_t type_code, std::string_view section, std::string_view key,
                  const SettingValue& value, const std::string& file_name,
                  const NumberFormat& format = NumberFormat());

/// Reads one value from the settings file under the process-wide settings lock; never
/// writes the file, and a missing file reads as empty.
/// - 3: the stored text, or `default_text`; holds a string.
/// - 0: the stored integer (decimal, or hexadecimal after "0x"), or `default_text` as a
///   decimal integer (0 when it is none); holds an int32_t.
/// - 1: the stored text read with `format`, or StrToFloatLoose(`default_text`); holds a
///   double.
/// - 2: whether the stored integer (as for 0) is non-zero, the default being whether
///   `default_text` is a non-zero decimal integer ("True" gives false); holds a bool.
/// - any other code: holds nothing.
/// A blank `file_name` means the default file. Throws SettingsFileError when the file
/// exists but cannot be read.
SettingValue ReadSetting(std::uint8_t type_code, std::string_view section, std::string_view key,
                         std::string_view default_text, const std::string& file_name,
                         const NumberFormat& format = NumberFormat());

/// The settings file to use: `file_name` unchanged (untrimmed) when it is not blank, else
/// SettingsFolder() + DefaultIniName().
std::string SettingsFileName(const std::string& file_name);

/// The full path (UTF-8) of the folder that holds the running executable, ending with the
/// platform's path separator. Throws SettingsFileError when the path cannot be found.
std::string SettingsFolder();

/// The executable's file name without its folder, with its extension replaced by ".ini"
/// ("verifax.exe" → "verifax.ini"); where executables have no extension (not Windows),
/// ".ini" is appended to the whole name ("verifax" → "verifax.ini").
/// Throws SettingsFileError when the path cannot be found.
std::string DefaultIniName();

/// The full path (UTF-8) of the running executable; empty when the system cannot say.
std::string ExecutablePath();

/// A tolerant conversion to a number. A text without `format`'s thousands separator that
/// reads as a number with `format`'s rules gives that number. Otherwise only the digits
/// and decimal separators are kept, in their order, and converted; 0 when nothing is kept
/// or the kept text does not convert ("1.234,56" → 1234.56 and "-1.234,5" → 1234.5 with
/// a decimal comma and thousands full stop).
double StrToFloatLoose(std::string_view text, const NumberFormat& format);

/// A double as text in general format: up to 15 significant digits, fixed notation for
/// decimal exponents from -4 to 14, else "d,dddE-n" style; `format`'s decimal separator.
std::string FloatToStrGeneral(double value, const NumberFormat& format);

}  // namespace verifax
