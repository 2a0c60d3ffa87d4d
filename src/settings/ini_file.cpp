#include "settings/ini_file.h"

#include <cerrno>
#include <cstdio>
#include <limits>

#include "inspection/file_io.h"
#include "inspection/text_util.h"
#include "settings/settings_error.h"

namespace verifax {

namespace {

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (AsciiUpperChar(a[i]) != AsciiUpperChar(b[i])) return false;
  return true;
}

// The key of an entry line; nothing for a line without "=".
std::optional<std::string_view> KeyOf(std::string_view line) {
  std::size_t equals = line.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  return line.substr(0, equals);
}

std::string Decode(std::string_view bytes, SourceEncoding& encoding) {
  std::size_t bom_size = 0;
  encoding = DetectEncoding(bytes, bom_size);
  bytes.remove_prefix(bom_size);
  std::string text;
  switch (encoding) {
    case SourceEncoding::kAnsi:
      AppendCp1252AsUtf8(text, bytes);
      break;
    case SourceEncoding::kUtf8:
      text.assign(bytes);
      break;
    case SourceEncoding::kUtf16LE:
    case SourceEncoding::kUtf16BE:
      AppendUtf16AsWtf8(text, bytes, encoding == SourceEncoding::kUtf16BE);
      break;
  }
  return text;
}

void Encode(std::string& out, std::string_view text, SourceEncoding encoding) {
  switch (encoding) {
    case SourceEncoding::kAnsi:
      AppendUtf8AsCp1252(out, text);
      break;
    case SourceEncoding::kUtf8:
      out.append(text);
      break;
    case SourceEncoding::kUtf16LE:
    case SourceEncoding::kUtf16BE:
      AppendWtf8AsUtf16(out, text, encoding == SourceEncoding::kUtf16BE);
      break;
  }
}

bool HexDigitValue(char c, std::uint32_t& digit) {
  if (c >= '0' && c <= '9') {
    digit = std::uint32_t(c - '0');
  } else if (c >= 'a' && c <= 'f') {
    digit = std::uint32_t(c - 'a' + 10);
  } else if (c >= 'A' && c <= 'F') {
    digit = std::uint32_t(c - 'A' + 10);
  } else {
    return false;
  }
  return true;
}

// Up to eight hexadecimal digits; the 32 bits are taken as a signed number, so
// "FFFFFFFF" is -1.
bool ParseHexInt32(std::string_view digits, std::int32_t& value) {
  if (digits.empty() || digits.size() > 8) return false;
  std::uint32_t bits = 0;
  for (char c : digits) {
    std::uint32_t digit = 0;
    if (!HexDigitValue(c, digit)) return false;
    bits = bits << 4 | digit;
  }
  value = static_cast<std::int32_t>(bits);
  return true;
}

}  // namespace

bool ParseDecimalInt32(std::string_view text, std::int32_t& value) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  std::int64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    magnitude = magnitude * 10 + (text[i] - '0');
    if (magnitude > std::int64_t(std::numeric_limits<std::int32_t>::max()) + 1) return false;
  }
  std::int64_t signed_value = negative ? -magnitude : magnitude;
  if (signed_value > std::numeric_limits<std::int32_t>::max()) return false;
  value = static_cast<std::int32_t>(signed_value);
  return true;
}

IniFile IniFile::Load(const std::string& path) {
  if (!FileExists(path)) return IniFile();
  ReadFileResult file = ReadWholeFile(path, 0);
  if (!file.ok) throw SettingsFileError(file.error_message);
  return Parse(std::string_view(file.data.get(), std::size_t(file.size)));
}

IniFile IniFile::Parse(std::string_view bytes) {
  IniFile ini;
  std::string text = Decode(bytes, ini.encoding_);
  Section* current = nullptr;
  std::size_t start = 0;
  while (start < text.size()) {
    // A line ends at CR LF, at a lone CR or at a lone LF.
    std::size_t end = text.find_first_of("\r\n", start);
    std::size_t next = end;
    if (end == std::string::npos) {
      end = next = text.size();
    } else {
      next = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
    }
    std::string_view line = Trim(std::string_view(text).substr(start, end - start));
    start = next;
    if (line.empty() || line.front() == ';') continue;
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      ini.sections_.push_back(Section{std::string(Trim(line.substr(1, line.size() - 2))), {}});
      current = &ini.sections_.back();
      continue;
    }
    if (current == nullptr) continue;
    std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
      current->lines.emplace_back(line);
    } else {
      std::string entry(Trim(line.substr(0, equals)));
      entry += '=';
      entry += Trim(line.substr(equals + 1));
      current->lines.push_back(std::move(entry));
    }
  }
  return ini;
}

std::string IniFile::Serialize() const {
  std::string text;
  for (const Section& section : sections_) {
    text += '[';
    text += section.name;
    text += "]\r\n";
    for (const std::string& line : section.lines) {
      text += line;
      text += "\r\n";
    }
    text += "\r\n";
  }
  std::string bytes(ByteOrderMark(encoding_));
  Encode(bytes, text, encoding_);
  return bytes;
}

void IniFile::Save(const std::string& path) const {
  const std::string bytes = Serialize();
  // Written in place rather than through a temporary file and a rename: a read-only
  // settings file must make the save fail and stay as it is.
  auto native = PathFromUtf8(path);
#ifdef _WIN32
  std::FILE* file = _wfopen(native.c_str(), L"wb");
#else
  std::FILE* file = std::fopen(native.c_str(), "wb");
#endif
  if (file == nullptr) {
    throw SettingsFileError("Cannot create file \"" + path + "\". " + SystemErrorText(errno));
  }
  int write_error = 0;
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size())
    write_error = errno;
  if (std::fclose(file) != 0 && write_error == 0) write_error = errno;
  if (write_error != 0) {
    throw SettingsFileError("Cannot write file \"" + path + "\". " + SystemErrorText(write_error));
  }
}

const IniFile::Section* IniFile::FindSection(std::string_view name) const {
  for (const Section& section : sections_)
    if (SameName(section.name, name)) return &section;
  return nullptr;
}

IniFile::Section* IniFile::FindSection(std::string_view name) {
  for (Section& section : sections_)
    if (SameName(section.name, name)) return &section;
  return nullptr;
}

std::optional<std::string> IniFile::Value(std::string_view section, std::string_view key) const {
  const Section* found = FindSection(section);
  if (found == nullptr) return std::nullopt;
  for (const std::string& line : found->lines) {
    auto line_key = KeyOf(line);
    if (line_key && SameName(*line_key, key)) return line.substr(line_key->size() + 1);
  }
  return std::nullopt;
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view default_value) const {
  auto value = Value(section, key);
  return value ? *value : std::string(default_value);
}

std::int32_t IniFile::ReadInteger(std::string_view section, std::string_view key,
                                  std::int32_t default_value) const {
  auto value = Value(section, key);
  if (!value) return default_value;
  std::string_view text = *value;
  std::int32_t result = 0;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    return ParseHexInt32(text.substr(2), result) ? result : default_value;
  }
  return ParseDecimalInt32(text, result) ? result : default_value;
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  Section* found = FindSection(section);
  if (found == nullptr) {
    sections_.push_back(Section{std::string(section), {}});
    found = &sections_.back();
  }
  std::string entry(key);
  entry += '=';
  entry += value;
  for (std::string& line : found->lines) {
    auto line_key = KeyOf(line);
    if (line_key && SameName(*line_key, key)) {
      line = std::move(entry);
      return;
    }
  }
  found->lines.push_back(std::move(entry));
}

void IniFile::WriteInteger(std::string_view section, std::string_view key, std::int32_t value) {
  WriteString(section, key, ToDecimal(value));
}

bool IniFile::SectionHasKeys(std::string_view section) const {
  const Section* found = FindSection(section);
  if (found == nullptr) return false;
  for (const std::string& line : found->lines)
    if (KeyOf(line)) return true;
  return false;
}

}  // namespace verifax
