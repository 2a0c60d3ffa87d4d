#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace verifax {

/// How a document file was stored, decided by its first bytes.
enum class SourceEncoding {
  kAnsi,     ///< no byte-order mark: Windows-1252
  kUtf8,     ///< EF BB BF
  kUtf16LE,  ///< FF FE
  kUtf16BE,  ///< FE FF
};

/// Detects the byte-order mark (tested in the order FF FE, FE FF, EF BB BF) and returns
/// its length in `bom_size` (0 for kAnsi).
SourceEncoding DetectEncoding(std::string_view bytes, std::size_t& bom_size);

/// The byte-order mark written back for an encoding ("" for kAnsi).
std::string_view ByteOrderMark(SourceEncoding encoding);

// --- Windows-1252 -----------------------------------------------------------------
// Every byte maps to one BMP character. The five bytes Windows-1252 leaves unassigned
// (0x81 0x8D 0x8F 0x90 0x9D) map to U+0081 U+008D U+008F U+0090 U+009D and back, so
// every byte round-trips.

/// The character for one Windows-1252 byte.
char32_t Cp1252ToUnicode(unsigned char byte);

/// The Windows-1252 byte of a character; false when the code page cannot hold it.
bool UnicodeToCp1252(char32_t ch, unsigned char& byte);

/// Appends Windows-1252 bytes to `out` as UTF-8.
void AppendCp1252AsUtf8(std::string& out, std::string_view cp1252);

/// True when every character of the UTF-8 (or WTF-8) text has a Windows-1252 byte.
bool FitsCp1252(std::string_view utf8);

/// Appends a UTF-8 (or WTF-8) text to `out` in Windows-1252; a character the code page
/// cannot hold becomes one "?" per code point (an unpaired surrogate counts as one).
void AppendUtf8AsCp1252(std::string& out, std::string_view utf8);

// --- UTF-8 ------------------------------------------------------------------------

/// Strict UTF-8 check: overlong forms, encoded surrogates, code points past U+10FFFF
/// and truncated sequences are invalid.
bool IsValidUtf8(std::string_view bytes);

/// Copies a WTF-8 text to UTF-8 proper, writing U+FFFD for each unpaired surrogate
/// (for output to terminals and other programs).
std::string Wtf8ToUtf8(std::string_view wtf8);

// --- UTF-16 -----------------------------------------------------------------------
// Inside the engine, text decoded from UTF-16 is held as WTF-8: UTF-8 in which an
// unpaired surrogate is written as its own three-byte sequence (ED A0..BF xx). That keeps
// every 16-bit unit of a document, paired or not, for the write-back.

/// Appends UTF-16 bytes (without the byte-order mark) to `out` as WTF-8. A trailing odd
/// byte is not part of any unit and is dropped.
void AppendUtf16AsWtf8(std::string& out, std::string_view bytes, bool big_endian);

/// Appends a WTF-8 text to `out` as UTF-16 bytes in the given byte order.
void AppendWtf8AsUtf16(std::string& out, std::string_view wtf8, bool big_endian);

}  // namespace verifax
