#include "inspection/document.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>

#include "inspection/errors.h"
#include "inspection/file_io.h"
#include "inspection/text_util.h"

namespace verifax {

namespace {

// Room left for repairs after loading; grows when used up.
std::int64_t InitialGap(std::int64_t size) {
  return std::max<std::int64_t>(64 * 1024, size / 256);
}

char* Allocate(std::int64_t bytes) {
  void* p = std::malloc(static_cast<std::size_t>(std::max<std::int64_t>(bytes, 1)));
  if (!p) throw std::bad_alloc();
  return static_cast<char*>(p);
}

// Extra bytes that line-break normalisation adds to `text`: one for each lone CR or LF,
// two for a missing final break.
std::int64_t LineBreakGrowth(const char* text, std::int64_t length) {
  std::int64_t growth = 0;
  const char* end = text + length;
  for (const char* p = text; p < end;) {
    const void* hit_lf = std::memchr(p, '\n', static_cast<std::size_t>(end - p));
    const char* lf = hit_lf ? static_cast<const char*>(hit_lf) : end;
    // Lone CRs before this LF (a CR directly before it belongs to it).
    for (const char* q = p; q < lf;) {
      const void* hit_cr = std::memchr(q, '\r', static_cast<std::size_t>(lf - q));
      if (!hit_cr) break;
      const char* cr = static_cast<const char*>(hit_cr);
      if (cr + 1 != lf) ++growth;
      q = cr + 1;
    }
    if (lf == end) break;
    if (lf == p || lf[-1] != '\r') ++growth;
    p = lf + 1;
  }
  if (length > 0 && text[length - 1] != '\n' && text[length - 1] != '\r') growth += 2;
  return growth;
}

// Normalises in place, from the back: `text` holds `length` bytes in a buffer of at
// least length + growth bytes.
void NormalizeInPlace(char* text, std::int64_t length, std::int64_t growth) {
  if (growth == 0) return;
  std::int64_t src = length;
  std::int64_t dst = length + growth;
  if (length > 0 && text[length - 1] != '\n' && text[length - 1] != '\r') {
    text[--dst] = '\n';
    text[--dst] = '\r';
  }
  while (src > 0 && dst > src) {
    char c = text[--src];
    if (c == '\n') {
      text[--dst] = '\n';
      if (src > 0 && text[src - 1] == '\r') --src;
      text[--dst] = '\r';
    } else if (c == '\r') {
      text[--dst] = '\n';
      text[--dst] = '\r';
    } else {
      text[--dst] = c;
    }
  }
}

int Utf8Length(char32_t cp) { return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4; }

// Length of the UTF-8 sequence led by `lead` (1 for anything that is not a lead byte).
int SequenceLength(unsigned char lead) {
  if (lead < 0xC0) return 1;
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  if (lead < 0xF8) return 4;
  return 1;
}

}  // namespace

std::string NormalizeLineBreaks(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r') {
      out += "\r\n";
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (c == '\n') {
      out += "\r\n";
    } else {
      out += c;
    }
  }
  if (!text.empty() && text.back() != '\r' && text.back() != '\n') out += "\r\n";
  return out;
}

void Document::FreeDeleter::operator()(char* p) const { std::free(p); }

Document::Document() = default;
Document::~Document() = default;

Document::Document(Document&& other) noexcept { *this = std::move(other); }

Document& Document::operator=(Document&& other) noexcept {
  buffer_owner_ = std::move(other.buffer_owner_);
  buffer_ = other.buffer_;
  capacity_ = other.capacity_;
  gap_start_ = other.gap_start_;
  gap_end_ = other.gap_end_;
  source_encoding_ = other.source_encoding_;
  storage_ = other.storage_;
  needs_line_break_pass_ = other.needs_line_break_pass_;
  anchors_.clear();
  other.buffer_ = nullptr;
  other.capacity_ = other.gap_start_ = other.gap_end_ = 0;
  return *this;
}

void Document::TakeBuffer(char* data, std::int64_t length, std::int64_t capacity) {
  buffer_owner_.reset(data);
  buffer_ = data;
  capacity_ = capacity;
  gap_start_ = length;
  gap_end_ = capacity;
}

void Document::SetContents(std::string_view text, std::int64_t extra) {
  std::int64_t length = static_cast<std::int64_t>(text.size());
  std::int64_t growth = LineBreakGrowth(text.data(), length);
  std::int64_t capacity = length + growth + extra;
  char* data = Allocate(capacity);
  std::memcpy(data, text.data(), text.size());
  NormalizeInPlace(data, length, growth);
  TakeBuffer(data, length + growth, capacity);
}

Document Document::FromBytes(std::string_view bytes) {
  Document doc;
  std::size_t bom = 0;
  doc.source_encoding_ = DetectEncoding(bytes, bom);
  std::string_view body = bytes.substr(bom);
  switch (doc.source_encoding_) {
    case SourceEncoding::kAnsi:
      doc.storage_ = Storage::kSingleByte;
      doc.SetContents(body, InitialGap(std::int64_t(body.size())));
      break;
    case SourceEncoding::kUtf8:
      doc.storage_ = Storage::kUtf8;
      if (!IsValidUtf8(body)) body = {};
      doc.SetContents(body, InitialGap(std::int64_t(body.size())));
      break;
    case SourceEncoding::kUtf16LE:
    case SourceEncoding::kUtf16BE: {
      doc.storage_ = Storage::kUtf8;
      std::string text;
      AppendUtf16AsWtf8(text, body, doc.source_encoding_ == SourceEncoding::kUtf16BE);
      doc.SetContents(text, InitialGap(std::int64_t(text.size())));
      break;
    }
  }
  return doc;
}

Document Document::Load(const std::string& path) {
  ReadFileResult file = ReadWholeFile(path, 3);
  if (!file.ok) throw InspectionError(file.error_message);
  std::size_t bom = 0;
  SourceEncoding encoding = DetectEncoding(std::string_view(file.data.get(), file.size), bom);
  if (encoding == SourceEncoding::kUtf16LE || encoding == SourceEncoding::kUtf16BE)
    return FromBytes(std::string_view(file.data.get(), file.size));

  // Single-byte and UTF-8 text is used in place: the file's buffer becomes the document.
  Document doc;
  doc.source_encoding_ = encoding;
  doc.storage_ = encoding == SourceEncoding::kAnsi ? Storage::kSingleByte : Storage::kUtf8;
  char* data = file.data.release();
  std::int64_t length = file.size;
  if (bom > 0) {
    std::memmove(data, data + bom, static_cast<std::size_t>(length) - bom);
    length -= static_cast<std::int64_t>(bom);
  }
  if (encoding == SourceEncoding::kUtf8 &&
      !IsValidUtf8(std::string_view(data, static_cast<std::size_t>(length))))
    length = 0;
  std::int64_t growth = LineBreakGrowth(data, length);
  std::int64_t capacity = length + growth + InitialGap(length);
  if (capacity > file.capacity) {
    char* bigger = static_cast<char*>(std::realloc(data, static_cast<std::size_t>(capacity)));
    if (!bigger) {
      std::free(data);
      throw std::bad_alloc();
    }
    data = bigger;
  } else {
    capacity = file.capacity;
  }
  NormalizeInPlace(data, length, growth);
  doc.TakeBuffer(data, length + growth, capacity);
  return doc;
}

bool Document::MatchRest(std::int64_t pos, std::string_view tag) const {
  std::int64_t n = static_cast<std::int64_t>(tag.size());
  if (pos + n <= gap_start_ || pos >= gap_start_) {
    const char* p = buffer_ + (pos < gap_start_ ? pos : pos + (gap_end_ - gap_start_));
    for (std::int64_t k = 1; k < n; ++k)
      if (AsciiUpperChar(p[k]) != tag[k]) return false;
    return true;
  }
  for (std::int64_t k = 1; k < n; ++k)
    if (AsciiUpperChar(at(pos + k)) != tag[k]) return false;
  return true;
}

bool Document::IsTagAt(std::int64_t pos, std::string_view tag) const {
  if (pos < 0 || tag.empty() || pos + static_cast<std::int64_t>(tag.size()) > size())
    return false;
  if (AsciiUpperChar(at(pos)) != tag[0]) return false;
  return MatchRest(pos, tag);
}

std::int64_t Document::FindTag(std::int64_t from, std::int64_t end, std::string_view tag) const {
  if (tag.empty()) return -1;
  end = std::min(end, size());
  std::int64_t last = end - static_cast<std::int64_t>(tag.size());  // last possible start
  std::int64_t pos = std::max<std::int64_t>(from, 0);
  const char first = tag[0];  // '<': no letter, so no case to fold
  while (pos <= last) {
    // Search the contiguous run that holds `pos`, up to the last possible start.
    std::int64_t run_end = pos < gap_start_ ? std::min(gap_start_, last + 1) : last + 1;
    const char* base = buffer_ + (pos < gap_start_ ? 0 : gap_end_ - gap_start_);
    const void* hit =
        std::memchr(base + pos, first, static_cast<std::size_t>(run_end - pos));
    if (!hit) {
      pos = run_end;
      continue;
    }
    std::int64_t candidate = static_cast<const char*>(hit) - base;
    if (MatchRest(candidate, tag)) return candidate;
    pos = candidate + 1;
  }
  return -1;
}

std::string Document::Slice(std::int64_t from, std::int64_t to) const {
  from = std::clamp<std::int64_t>(from, 0, size());
  to = std::clamp<std::int64_t>(to, from, size());
  std::string out;
  out.reserve(static_cast<std::size_t>(to - from));
  if (from < gap_start_) {
    std::int64_t a_end = std::min(to, gap_start_);
    out.append(buffer_ + from, static_cast<std::size_t>(a_end - from));
    from = a_end;
  }
  if (from < to) {
    std::int64_t shift = gap_end_ - gap_start_;
    out.append(buffer_ + from + shift, static_cast<std::size_t>(to - from));
  }
  return out;
}

std::string Document::Decode(std::string_view raw) const {
  if (storage_ == Storage::kUtf8) return std::string(raw);
  std::string out;
  AppendCp1252AsUtf8(out, raw);
  return out;
}

bool Document::CanHold(std::string_view utf8) const {
  return storage_ == Storage::kUtf8 || FitsCp1252(utf8);
}

std::string Document::Encode(std::string_view utf8) const {
  if (storage_ == Storage::kUtf8) return std::string(utf8);
  std::string out;
  AppendUtf8AsCp1252(out, utf8);
  return out;
}

std::int64_t Document::UpgradedOffset(std::int64_t pos) const {
  if (storage_ == Storage::kUtf8) return pos;
  std::int64_t result = 0;
  for (std::int64_t i = 0; i < pos && i < size(); ++i)
    result += Utf8Length(Cp1252ToUnicode(static_cast<unsigned char>(at(i))));
  return result;
}

void Document::UpgradeToUtf8() {
  if (storage_ == Storage::kUtf8) return;
  for (Anchor* anchor : anchors_) anchor->pos_ = UpgradedOffset(anchor->pos_);
  MoveGap(size());
  std::string text;
  AppendCp1252AsUtf8(text, std::string_view(buffer_, static_cast<std::size_t>(gap_start_)));
  std::int64_t capacity = std::int64_t(text.size()) + InitialGap(std::int64_t(text.size()));
  char* data = Allocate(capacity);
  std::memcpy(data, text.data(), text.size());
  TakeBuffer(data, std::int64_t(text.size()), capacity);
  storage_ = Storage::kUtf8;
}

void Document::MoveGap(std::int64_t pos) {
  if (pos < gap_start_) {
    std::int64_t n = gap_start_ - pos;
    std::memmove(buffer_ + gap_end_ - n, buffer_ + pos, static_cast<std::size_t>(n));
    gap_start_ -= n;
    gap_end_ -= n;
  } else if (pos > gap_start_) {
    std::int64_t n = pos - gap_start_;
    std::memmove(buffer_ + gap_start_, buffer_ + gap_end_, static_cast<std::size_t>(n));
    gap_start_ += n;
    gap_end_ += n;
  }
}

void Document::EnsureGap(std::int64_t bytes) {
  if (gap_end_ - gap_start_ >= bytes) return;
  std::int64_t length = size();
  std::int64_t gap = std::max(bytes, InitialGap(length) + length / 8);
  std::int64_t capacity = length + gap;
  std::int64_t tail = capacity_ - gap_end_;
  char* data = Allocate(capacity);
  std::memcpy(data, buffer_, static_cast<std::size_t>(gap_start_));
  std::memcpy(data + capacity - tail, buffer_ + gap_end_, static_cast<std::size_t>(tail));
  buffer_owner_.reset(data);
  buffer_ = data;
  capacity_ = capacity;
  gap_end_ = capacity - tail;
}

void Document::Replace(std::int64_t pos, std::int64_t count, std::string_view raw) {
  pos = std::clamp<std::int64_t>(pos, 0, size());
  count = std::clamp<std::int64_t>(count, 0, size() - pos);
  std::int64_t inserted = static_cast<std::int64_t>(raw.size());
  EnsureGap(inserted);
  MoveGap(pos);
  gap_end_ += count;
  std::memcpy(buffer_ + gap_start_, raw.data(), raw.size());
  gap_start_ += inserted;
  if (raw.find_first_of("\r\n") != std::string_view::npos) needs_line_break_pass_ = true;
  std::int64_t delta = inserted - count;
  if (delta != 0) {
    for (Anchor* anchor : anchors_)
      if (anchor->pos_ >= pos + count) anchor->pos_ += delta;
  }
}

std::int64_t Document::Utf16Offset(std::int64_t pos) const {
  if (storage_ == Storage::kSingleByte) return pos;
  std::int64_t units = 0;
  for (std::int64_t i = 0; i < pos && i < size(); ++i) {
    unsigned char c = static_cast<unsigned char>(at(i));
    if ((c & 0xC0) != 0x80) units += (c >= 0xF0 && c < 0xF8) ? 2 : 1;
  }
  return units;
}

std::int64_t Document::OffsetOfUtf16Unit(std::int64_t units) const {
  if (storage_ == Storage::kSingleByte) return std::min(units, size());
  std::int64_t counted = 0;
  std::int64_t i = 0;
  while (i < size() && counted < units) {
    unsigned char c = static_cast<unsigned char>(at(i));
    int len = SequenceLength(c);
    counted += len == 4 ? 2 : 1;
    i += len;
  }
  return std::min(i, size());
}

Document::Anchor::Anchor(Document& doc, std::int64_t pos) : doc_(doc), pos_(pos) {
  doc_.anchors_.push_back(this);
}

Document::Anchor::~Anchor() {
  auto& list = doc_.anchors_;
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

void Document::Write(const std::function<void(std::string_view)>& sink) {
  sink(ByteOrderMark(source_encoding_));
  bool raw_is_output = source_encoding_ == SourceEncoding::kAnsi
                           ? storage_ == Storage::kSingleByte
                           : source_encoding_ == SourceEncoding::kUtf8;
  if (raw_is_output && !needs_line_break_pass_) {
    // The stored bytes are the file's bytes: hand over both sides of the gap.
    if (gap_start_ > 0) sink(std::string_view(buffer_, static_cast<std::size_t>(gap_start_)));
    if (capacity_ > gap_end_)
      sink(std::string_view(buffer_ + gap_end_, static_cast<std::size_t>(capacity_ - gap_end_)));
    return;
  }
  MoveGap(size());
  std::string normalized;
  std::string_view text(buffer_, static_cast<std::size_t>(gap_start_));
  if (needs_line_break_pass_) {
    normalized = NormalizeLineBreaks(text);
    text = normalized;
  }
  if (raw_is_output) {
    sink(text);
    return;
  }
  // Convert in chunks that end on a character boundary.
  constexpr std::size_t kChunk = 1 << 20;
  std::string out;
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t end = std::min(text.size(), pos + kChunk);
    while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
    out.clear();
    std::string_view piece = text.substr(pos, end - pos);
    if (source_encoding_ == SourceEncoding::kAnsi)
      AppendUtf8AsCp1252(out, piece);
    else
      AppendWtf8AsUtf16(out, piece, source_encoding_ == SourceEncoding::kUtf16BE);
    sink(out);
    pos = end;
  }
}

std::string Document::Serialize() {
  std::string out;
  Write([&out](std::string_view chunk) { out.append(chunk); });
  return out;
}

}  // namespace verifax
