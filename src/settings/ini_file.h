#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "inspection/text_codec.h"

namespace verifax {

/// An in-memory copy of a settings file. Sections keep the order of their first creation
/// and entries the order of their first write; section and key names match with ASCII
/// letter case ignored. Text is held as UTF-8 (WTF-8 for a UTF-16 file).
class IniFile {
 public:
  /// Loads the file at `path` (UTF-8). A missing file gives an empty copy. Every line is
  /// trimmed; empty lines, lines beginning with ";" and lines before the first section
  /// are dropped; in an entry the key and the value are trimmed each.
  /// Throws SettingsFileError when the file exists but cannot be read.
  static IniFile Load(const std::string& path);

  /// Parses the bytes of a settings file, decoding them by their byte-order mark
  /// (Windows-1252 without one).
  static IniFile Parse(std::string_view bytes);

  /// The bytes of the file: each section as "[name]", its entries and an empty line, all
  /// lines ending in CR LF, in the encoding the file was read in.
  std::string Serialize() const;

  /// Writes Serialize() over the file at `path`. Throws SettingsFileError when the file
  /// cannot be created or written.
  void Save(const std::string& path) const;

  /// The stored value of the first entry named `key` in the first section named
  /// `section`, or nothing when there is none.
  std::optional<std::string> Value(std::string_view section, std::string_view key) const;

  /// The stored value, or `default_value` when the key is missing.
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view default_value) const;

  /// The stored value as an integer (decimal, or hexadecimal after "0x"), or
  /// `default_value` when the key is missing or its text is no integer.
  std::int32_t ReadInteger(std::string_view section, std::string_view key,
                           std::int32_t default_value) const;

  /// Sets `key` to `value`: an existing entry is replaced where it stands (taking the key
  /// as written here), a new one is added at the end of its section, and a new section is
  /// added after the last one.
  void WriteString(std::string_view section, std::string_view key, std::string_view value);

  /// WriteString with the integer's decimal text.
  void WriteInteger(std::string_view section, std::string_view key, std::int32_t value);

  /// True when a section of that name exists and holds at least one key.
  bool SectionHasKeys(std::string_view section) const;

  SourceEncoding encoding() const { return encoding_; }

 private:
  struct Section {
    std::string name;
    std::vector<std::string> lines;  // "key=value", or a line without "=" kept as read
  };

  const Section* FindSection(std::string_view name) const;
  Section* FindSection(std::string_view name);

  std::vector<Section> sections_;
  SourceEncoding encoding_ = SourceEncoding::kAnsi;
};

/// Reads a whole decimal number in 32-bit range: an optional sign, then digits only.
bool ParseDecimalInt32(std::string_view text, std::int32_t& value);

}  // namespace verifax
