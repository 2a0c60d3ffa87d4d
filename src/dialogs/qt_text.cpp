#include "dialogs/qt_text.h"

#include <QSysInfo>

#include "inspection/text_codec.h"

namespace verifax {

namespace {

// A WTF-8 surrogate starts with ED A0..ED BF; plain UTF-8 never holds one.
bool HoldsSurrogate(std::string_view text) {
  for (std::size_t i = 0; i + 1 < text.size(); ++i) {
    if (static_cast<unsigned char>(text[i]) == 0xED &&
        (static_cast<unsigned char>(text[i + 1]) & 0xE0) == 0xA0)
      return true;
  }
  return false;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

QString FromEngineText(std::string_view text) {
  if (!HoldsSurrogate(text)) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  }
  const bool big_endian = QSysInfo::ByteOrder == QSysInfo::BigEndian;
  std::string utf16;
  AppendWtf8AsUtf16(utf16, text, big_endian);
  return QString(reinterpret_cast<const QChar*>(utf16.data()),
                 static_cast<qsizetype>(utf16.size() / 2));
}

std::string ToEngineText(const QString& text) {
  std::string out;
  out.reserve(static_cast<std::size_t>(text.size()));
  const qsizetype n = text.size();
  for (qsizetype i = 0; i < n; ++i) {
    const char16_t unit = text.at(i).unicode();
    if (QChar::isHighSurrogate(unit) && i + 1 < n &&
        QChar::isLowSurrogate(text.at(i + 1).unicode())) {
      AppendUtf8(out, QChar::surrogateToUcs4(unit, text.at(i + 1).unicode()));
      ++i;
    } else {
      AppendUtf8(out, unit);  // an unpaired surrogate keeps its three-byte form
    }
  }
  return out;
}

}  // namespace verifax
