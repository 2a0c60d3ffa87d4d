#include "settings/settings_store.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <mutex>

#include "inspection/passes.h"
#include "inspection/text_util.h"
#include "settings/ini_file.h"

#ifdef _WIN32
#include <windows.h>
#elif defined(__APPLE__)
#include <mach-o/dyld.h>

#include <climits>
#include <vector>
#else
#include <filesystem>
#include <system_error>
#endif

namespace verifax {

namespace {

#ifdef _WIN32
constexpr std::string_view kPathSeparators = "\\/";
constexpr char kPathSeparator = '\\';
#else
constexpr std::string_view kPathSeparators = "/";
constexpr char kPathSeparator = '/';
#endif

// Held by each typed read or write for its whole load, change and save of the file.
std::mutex& SettingsLock() {
  static std::mutex lock;
  return lock;
}

std::string ConversionFailure(std::string_view text, std::string_view type) {
  return "'" + std::string(text) + "' is not a valid " + std::string(type) + " value";
}

std::string ValueText(const SettingValue& value, const NumberFormat& format) {
  struct Visitor {
    const NumberFormat& format;
    std::string operator()(std::monostate) const { return std::string(); }
    std::string operator()(const std::string& text) const { return text; }
    std::string operator()(std::int32_t number) const { return ToDecimal(number); }
    std::string operator()(double number) const { return FloatToStrGeneral(number, format); }
    std::string operator()(bool flag) const { return flag ? "True" : "False"; }
  };
  return std::visit(Visitor{format}, value);
}

bool ValueAsBoolean(const SettingValue& value, const NumberFormat& format) {
  struct Visitor {
    const NumberFormat& format;
    bool operator()(std::monostate) const { return false; }
    bool operator()(std::int32_t number) const { return number != 0; }
    bool operator()(double number) const { return number != 0; }
    bool operator()(bool flag) const { return flag; }
    bool operator()(const std::string& text) const {
      std::string upper = AsciiUpper(Trim(text));
      if (upper == "TRUE") return true;
      if (upper == "FALSE") return false;
      double number = 0;
      if (ConvertRegionalNumber(text, format, number)) return number != 0;
      throw SettingsConversionError(ConversionFailure(text, "boolean"));
    }
  };
  return std::visit(Visitor{format}, value);
}

std::int32_t DecimalOrZero(std::string_view text) {
  std::int32_t value = 0;
  return ParseDecimalInt32(text, value) ? value : 0;
}

}  // namespace

void WriteSetting(std::uint8_t type_code, std::string_view section, std::string_view key,
                  const SettingValue& value, const std::string& file_name,
                  const NumberFormat& format) {
  std::lock_guard<std::mutex> hold(SettingsLock());
  const std::string path = SettingsFileName(file_name);
  IniFile ini = IniFile::Load(path);
  switch (type_code) {
    case kSettingString:
      ini.WriteString(section, key, ValueText(value, format));
      break;
    case kSettingInteger:
      ini.WriteInteger(section, key, DecimalOrZero(ValueText(value, format)));
      break;
    case kSettingFloat: {
      const std::string text = ValueText(value, format);
      double number = 0;
      if (!ConvertRegionalNumber(text, format, number))
        throw SettingsConversionError(ConversionFailure(text, "floating point"));
      ini.WriteString(section, key, FloatToStrGeneral(number, format));
      break;
    }
    case kSettingBoolean:
      ini.WriteString(section, key, ValueAsBoolean(value, format) ? "1" : "0");
      break;
    default:
      break;
  }
  ini.Save(path);
}

SettingValue ReadSetting(std::uint8_t type_code, std::string_view section, std::string_view key,
                         std::string_view default_text, const std::string& file_name,
                         const NumberFormat& format) {
  std::lock_guard<std::mutex> hold(SettingsLock());
  const std::string path = SettingsFileName(file_name);
  const IniFile ini = IniFile::Load(path);
  switch (type_code) {
    case kSettingString:
      return ini.ReadString(section, key, default_text);
    case kSettingInteger:
      return ini.ReadInteger(section, key, DecimalOrZero(default_text));
    case kSettingFloat: {
      const std::string text = ini.ReadString(section, key, "");
      double number = 0;
      if (!text.empty() && ConvertRegionalNumber(text, format, number)) return number;
      return StrToFloatLoose(default_text, format);
    }
    case kSettingBoolean: {
      const std::int32_t fallback = DecimalOrZero(default_text) != 0 ? 1 : 0;
      return ini.ReadInteger(section, key, fallback) != 0;
    }
    default:
      return SettingValue();
  }
}

std::string SettingsFileName(const std::string& file_name) {
  if (!IsBlank(file_name)) return file_name;
  return SettingsFolder() + DefaultIniName();
}

std::string ExecutablePath() {
#ifdef _WIN32
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    DWORD length = GetModuleFileNameW(nullptr, buffer.data(), DWORD(buffer.size()));
    if (length == 0) return std::string();
    if (length < buffer.size()) {
      buffer.resize(length);
      break;
    }
    buffer.resize(buffer.size() * 2);  // truncated: try a larger buffer
  }
  int size = WideCharToMultiByte(CP_UTF8, 0, buffer.data(), int(buffer.size()), nullptr, 0, nullptr,
                                 nullptr);
  std::string path(std::size_t(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, buffer.data(), int(buffer.size()), path.data(), size, nullptr,
                      nullptr);
  return path;
#elif defined(__APPLE__)
  std::uint32_t size = 0;
  _NSGetExecutablePath(nullptr, &size);
  std::vector<char> buffer(size + 1, '\0');
  if (_NSGetExecutablePath(buffer.data(), &size) != 0) return std::string();
  char resolved[PATH_MAX];
  if (realpath(buffer.data(), resolved) == nullptr) return std::string(buffer.data());
  return std::string(resolved);
#else
  std::error_code ec;
  auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return std::string();
  auto utf8 = path.u8string();
  return std::string(utf8.begin(), utf8.end());
#endif
}

namespace {

// The executable's path split at its last separator.
void SplitExecutablePath(std::string& folder, std::string& name) {
  const std::string path = ExecutablePath();
  std::size_t separator = path.find_last_of(kPathSeparators);
  if (path.empty() || separator == std::string::npos)
    throw SettingsFileError("Cannot find the program's own path.");
  folder = path.substr(0, separator + 1);
  name = path.substr(separator + 1);
}

}  // namespace

std::string SettingsFolder() {
  std::string folder, name;
  SplitExecutablePath(folder, name);
  if (folder.back() != kPathSeparator) folder.back() = kPathSeparator;
  return folder;
}

std::string DefaultIniName() {
  std::string folder, name;
  SplitExecutablePath(folder, name);
#ifdef _WIN32
  std::size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
#endif
  return name + ".ini";
}

double StrToFloatLoose(std::string_view text, const NumberFormat& format) {
  const std::string& thousands = format.thousands_separator;
  const std::string& decimal = format.decimal_separator;
  double number = 0;
  if (thousands.empty() || text.find(thousands) == std::string_view::npos) {
    if (ConvertRegionalNumber(text, format, number)) return number;
  }
  std::string kept;
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] >= '0' && text[i] <= '9') {
      kept += text[i++];
    } else if (!decimal.empty() && text.substr(i, decimal.size()) == decimal) {
      kept += decimal;
      i += decimal.size();
    } else {
      ++i;
    }
  }
  if (kept.empty()) return 0;
  return ConvertRegionalNumber(kept, format, number) ? number : 0;
}

std::string FloatToStrGeneral(double value, const NumberFormat& format) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  if (value == 0) return "0";
  // Fifteen significant digits, correctly rounded: "d.dddddddddddddde±x".
  char buffer[64];
  const char* end =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 14).ptr;
  std::string_view scientific(buffer, std::size_t(end - buffer));
  bool negative = scientific.front() == '-';
  if (negative) scientific.remove_prefix(1);
  std::size_t e = scientific.find('e');
  std::string digits;
  for (char c : scientific.substr(0, e))
    if (c != '.') digits += c;
  int exponent = std::atoi(std::string(scientific.substr(e + 1)).c_str());
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  std::string text = negative ? "-" : "";
  if (exponent < -4 || exponent >= 15) {
    text += digits[0];
    if (digits.size() > 1) text += format.decimal_separator + digits.substr(1);
    text += 'E';
    text += std::to_string(exponent);
  } else if (exponent < 0) {
    text += "0" + format.decimal_separator + std::string(std::size_t(-exponent - 1), '0') + digits;
  } else {
    std::size_t whole = std::size_t(exponent) + 1;
    if (digits.size() <= whole) {
      text += digits + std::string(whole - digits.size(), '0');
    } else {
      text += digits.substr(0, whole) + format.decimal_separator + digits.substr(whole);
    }
  }
  return text;
}

}  // namespace verifax
