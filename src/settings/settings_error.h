#pragma once

#include <stdexcept>

namespace verifax {

/// A failure of the settings store or of window placement. The message is the platform's
/// or the conversion's text; callers in the program catch these and go on silently.
class SettingsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// The settings file could not be read, created or written, or the program's own path
/// could not be found.
class SettingsFileError : public SettingsError {
 public:
  using SettingsError::SettingsError;
};

/// A value could not be converted to the type its type code asks for.
class SettingsConversionError : public SettingsError {
 public:
  using SettingsError::SettingsError;
};

}  // namespace verifax
