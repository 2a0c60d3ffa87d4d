#include "inspection/document.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define VERIFAX_SSE2 1
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define VERIFAX_AVX2 1
#endif

#include "inspection/errors.h"
#include "inspection/file_io.h"
#include "inspection/mapped_file.h"
#include "inspection/tag_index.h"
#include "inspection/text_util.h"

namespace verifax {

namespace {

char* Allocate(std::int64_t bytes) {
  void* p = std::malloc(static_cast<std::size_t>(std::max<std::int64_t>(bytes, 1)));
  if (!p) throw std::bad_alloc();
  return static_cast<char*>(p);
}

void FreeBuffer(char* p) {
  std::free(p);
}

using Buffer = std::unique_ptr<char, void (*)(char*)>;

Buffer Owned(char* p) {
  return Buffer(p, &FreeBuffer);
}

// Size of the blocks that hold repaired values.
constexpr std::size_t kAddedBlock = 64 * 1024;

// Extra bytes that line-break normalisation adds to `text`: one for each lone CR or LF,
// two for a missing final break.
#ifdef VERIFAX_AVX2
const bool kHaveAvx2 = __builtin_cpu_supports("avx2");

// LineBreakGrowth's block loop, 64 bytes at a time with AVX2. Returns the growth of the
// blocks it took and leaves `i` after them; `pending_cr` carries a CR in a block's last
// byte to the next.
__attribute__((target("avx2,popcnt"))) std::int64_t LineBreakBlocksAvx2(const char* text,
                                                                        std::int64_t length,
                                                                        std::int64_t& i,
                                                                        std::uint64_t& pending_cr) {
  const __m256i k_lf = _mm256_set1_epi8('\n');
  const __m256i k_cr = _mm256_set1_epi8('\r');
  std::int64_t growth = 0;
  for (; i + 64 <= length; i += 64) {
    __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text + i));
    __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text + i + 32));
    std::uint64_t m_lf =
        std::uint64_t(std::uint32_t(_mm256_movemask_epi8(_mm256_cmpeq_epi8(a, k_lf)))) |
        std::uint64_t(std::uint32_t(_mm256_movemask_epi8(_mm256_cmpeq_epi8(b, k_lf)))) << 32;
    std::uint64_t m_cr =
        std::uint64_t(std::uint32_t(_mm256_movemask_epi8(_mm256_cmpeq_epi8(a, k_cr)))) |
        std::uint64_t(std::uint32_t(_mm256_movemask_epi8(_mm256_cmpeq_epi8(b, k_cr)))) << 32;
    std::uint64_t lone_lf = m_lf & ~((m_cr << 1) | pending_cr);
    std::uint64_t lone_cr = m_cr & ~(m_lf >> 1) & 0x7FFFFFFFFFFFFFFFull;
    if (pending_cr && !(m_lf & 1)) ++growth;
    if (lone_lf | lone_cr) growth += std::popcount(lone_lf) + std::popcount(lone_cr);
    pending_cr = m_cr >> 63;
  }
  return growth;
}
#endif

std::int64_t LineBreakGrowth(const char* text, std::int64_t length) {
  // Every LF without a CR before it and every CR without an LF after it gains a byte.
  std::int64_t growth = 0;
  std::int64_t i = 0;
  auto bits = [](std::uint32_t m) { return std::int64_t(std::popcount(m)); };
#ifdef VERIFAX_SSE2
  const __m128i k_lf = _mm_set1_epi8('\n');
  const __m128i k_cr = _mm_set1_epi8('\r');
  std::uint32_t pending_cr = 0;  // a CR in the last byte of the previous block
#ifdef VERIFAX_AVX2
  if (kHaveAvx2) {
    std::uint64_t pending = 0;
    growth += LineBreakBlocksAvx2(text, length, i, pending);
    pending_cr = static_cast<std::uint32_t>(pending);
  }
#endif
  for (; i + 32 <= length; i += 32) {
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i + 16));
    std::uint32_t m_lf = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, k_lf))) |
                         static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(b, k_lf)))
                             << 16;
    std::uint32_t m_cr = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, k_cr))) |
                         static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(b, k_cr)))
                             << 16;
    std::uint32_t lone_lf = m_lf & ~((m_cr << 1) | pending_cr);
    std::uint32_t lone_cr = m_cr & ~(m_lf >> 1) & 0x7FFFFFFFu;
    if (pending_cr && !(m_lf & 1)) ++growth;
    // Rare in a file that is already CR LF throughout, so counting bits costs nothing.
    if (lone_lf | lone_cr) growth += bits(lone_lf) + bits(lone_cr);
    pending_cr = m_cr >> 31;
  }
  if (pending_cr && !(i < length && text[i] == '\n')) ++growth;
#endif
  for (; i < length; ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) ++growth;
    if (text[i] == '\r' && (i + 1 == length || text[i + 1] != '\n')) ++growth;
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

int Utf8Length(char32_t cp) {
  return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
}

// Length of the UTF-8 sequence led by `lead` (1 for anything that is not a lead byte).
int SequenceLength(unsigned char lead) {
  if (lead < 0xC0) return 1;
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  if (lead < 0xF8) return 4;
  return 1;
}

// The first position in [0, limit] of `data` where `tag` may start: '<', the tag's next
// two characters and its last one (letters in either case), read at i, i + 1, i + 2 and
// i + size - 1, which must all lie in `data`. Those three rule out nearly every other tag
// ("<InvoiceNo>" for "<INVOICE>", "<TaxType>" for "<TAXTABLEENTRY>"). The caller
// confirms the whole tag.
struct CandidateTest {
  unsigned char first, fold1, want1, fold2, want2, foldl, wantl;
  std::int64_t last_index;

  explicit CandidateTest(std::string_view tag) {
    auto is_letter = [](unsigned char c) { return c >= 'A' && c <= 'Z'; };
    last_index = static_cast<std::int64_t>(tag.size()) - 1;
    first = static_cast<unsigned char>(tag[0]);
    unsigned char c1 = static_cast<unsigned char>(tag[1]);
    unsigned char c2 = static_cast<unsigned char>(tag[2]);
    unsigned char cl = static_cast<unsigned char>(tag[static_cast<std::size_t>(last_index)]);
    fold1 = is_letter(c1) ? 0x20 : 0;
    fold2 = is_letter(c2) ? 0x20 : 0;
    foldl = is_letter(cl) ? 0x20 : 0;
    want1 = c1 | fold1;
    want2 = c2 | fold2;
    wantl = cl | foldl;
  }
};

#ifdef VERIFAX_AVX2
// The same test as below, 32 positions at a time, on processors that have AVX2.
__attribute__((target("avx2"))) std::int64_t FindCandidateAvx2(const char* data, std::int64_t limit,
                                                               const CandidateTest& t,
                                                               std::int64_t& i) {
  const __m256i lt = _mm256_set1_epi8(static_cast<char>(t.first));
  const __m256i f1 = _mm256_set1_epi8(static_cast<char>(t.fold1));
  const __m256i fl = _mm256_set1_epi8(static_cast<char>(t.foldl));
  const __m256i w1 = _mm256_set1_epi8(static_cast<char>(t.want1));
  const __m256i wl = _mm256_set1_epi8(static_cast<char>(t.wantl));
  const __m256i f2 = _mm256_set1_epi8(static_cast<char>(t.fold2));
  const __m256i w2 = _mm256_set1_epi8(static_cast<char>(t.want2));
  for (; i + 31 <= limit; i += 32) {
    __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i));
    __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i + 1));
    __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i + 2));
    __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i + t.last_index));
    __m256i hit = _mm256_and_si256(
        _mm256_and_si256(_mm256_cmpeq_epi8(a, lt), _mm256_cmpeq_epi8(_mm256_or_si256(d, f2), w2)),
        _mm256_and_si256(_mm256_cmpeq_epi8(_mm256_or_si256(b, f1), w1),
                         _mm256_cmpeq_epi8(_mm256_or_si256(c, fl), wl)));
    unsigned mask = static_cast<unsigned>(_mm256_movemask_epi8(hit));
    if (mask != 0) return i + __builtin_ctz(mask);
  }
  return -1;
}

#endif

std::int64_t FindCandidate(const char* data, std::int64_t limit, std::string_view tag) {
  const CandidateTest test(tag);
  const std::int64_t last_index = test.last_index;
  const unsigned char fold1 = test.fold1, want1 = test.want1;
  const unsigned char fold2 = test.fold2, want2 = test.want2;
  const unsigned char foldl = test.foldl, wantl = test.wantl;
  std::int64_t i = 0;
#ifdef VERIFAX_AVX2
  if (kHaveAvx2) {
    std::int64_t hit = FindCandidateAvx2(data, limit, test, i);
    if (hit >= 0) return hit;
  }
#endif
#ifdef VERIFAX_SSE2
  const __m128i lt = _mm_set1_epi8(static_cast<char>(tag[0]));
  const __m128i f1 = _mm_set1_epi8(static_cast<char>(fold1));
  const __m128i fl = _mm_set1_epi8(static_cast<char>(foldl));
  const __m128i w1 = _mm_set1_epi8(static_cast<char>(want1));
  const __m128i wl = _mm_set1_epi8(static_cast<char>(wantl));
  for (; i + 15 <= limit; i += 16) {  // 16 starting positions at a time
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 1));
    __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + last_index));
    __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 2));
    __m128i hit = _mm_and_si128(
        _mm_and_si128(_mm_cmpeq_epi8(a, lt),
                      _mm_cmpeq_epi8(_mm_or_si128(d, _mm_set1_epi8(static_cast<char>(fold2))),
                                     _mm_set1_epi8(static_cast<char>(want2)))),
        _mm_and_si128(_mm_cmpeq_epi8(_mm_or_si128(b, f1), w1),
                      _mm_cmpeq_epi8(_mm_or_si128(c, fl), wl)));
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
    if (mask != 0) {
      int bit = 0;
      while (!((mask >> bit) & 1)) ++bit;
      return i + bit;
    }
  }
#endif
  for (; i <= limit; ++i) {
    const void* hit = std::memchr(data + i, tag[0], static_cast<std::size_t>(limit - i + 1));
    if (!hit) return -1;
    i = static_cast<const char*>(hit) - data;
    if ((static_cast<unsigned char>(data[i + 1]) | fold1) == want1 &&
        (static_cast<unsigned char>(data[i + 2]) | fold2) == want2 &&
        (static_cast<unsigned char>(data[i + last_index]) | foldl) == wantl)
      return i;
  }
  return -1;
}

}  // namespace

std::int64_t FindTagInText(const char* data, std::int64_t from, std::int64_t last,
                           std::string_view tag) {
  const std::int64_t n = static_cast<std::int64_t>(tag.size());
  while (from <= last) {
    std::int64_t hit = FindCandidate(data + from, last - from, tag);
    if (hit < 0) return -1;
    const char* at_hit = data + from + hit;
    std::int64_t k = 3;
    while (k < n && AsciiUpperChar(at_hit[k]) == tag[static_cast<std::size_t>(k)]) ++k;
    if (k == n) return from + hit;
    from += hit + 1;
  }
  return -1;
}

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

Document::Document() = default;
Document::~Document() = default;

Document::Document(Document&& other) noexcept {
  *this = std::move(other);
}

Document& Document::operator=(Document&& other) noexcept {
  index_.reset();  // its search reads the text this document is about to let go
  index_ = std::move(other.index_);
  loaded_ = other.loaded_;
  other.loaded_ = {};
  original_ = std::move(other.original_);
  mapping_ = std::move(other.mapping_);
  added_blocks_ = std::move(other.added_blocks_);
  added_free_ = other.added_free_;
  before_ = std::move(other.before_);
  after_ = std::move(other.after_);
  cursor_pos_ = other.cursor_pos_;
  size_ = other.size_;
  source_encoding_ = other.source_encoding_;
  storage_ = other.storage_;
  source_identity_ = other.source_identity_;
  needs_line_break_pass_ = other.needs_line_break_pass_;
  anchors_.clear();
  other.before_.clear();
  other.after_.clear();
  other.size_ = other.cursor_pos_ = 0;
  return *this;
}

void Document::SetOriginal(Buffer buffer, std::int64_t length) {
  index_.reset();
  original_ = std::move(buffer);
  loaded_ = std::string_view(original_.get(), static_cast<std::size_t>(length));
  before_.clear();
  after_.clear();
  cursor_pos_ = 0;
  size_ = length;
  if (length > 0) after_.push_back(Piece{original_.get(), length, 0});
}

namespace {

// Copies `text` into a buffer with room for its line-break growth and normalises there.
Buffer NormalizedCopy(std::string_view text, std::int64_t& length) {
  std::int64_t n = static_cast<std::int64_t>(text.size());
  std::int64_t growth = LineBreakGrowth(text.data(), n);
  Buffer buffer = Owned(Allocate(n + growth));
  if (n > 0) std::memcpy(buffer.get(), text.data(), text.size());  // data() may be null
  NormalizeInPlace(buffer.get(), n, growth);
  length = n + growth;
  return buffer;
}

}  // namespace

Document Document::FromBytes(std::string_view bytes) {
  Document doc;
  std::size_t bom = 0;
  doc.source_encoding_ = DetectEncoding(bytes, bom);
  std::string_view body = bytes.substr(bom);
  std::string decoded;
  switch (doc.source_encoding_) {
    case SourceEncoding::kAnsi:
      doc.storage_ = Storage::kSingleByte;
      break;
    case SourceEncoding::kUtf8:
      doc.storage_ = Storage::kUtf8;
      if (!IsValidUtf8(body)) body = {};
      break;
    case SourceEncoding::kUtf16LE:
    case SourceEncoding::kUtf16BE:
      doc.storage_ = Storage::kUtf8;
      AppendUtf16AsWtf8(decoded, body, doc.source_encoding_ == SourceEncoding::kUtf16BE);
      body = decoded;
      break;
  }
  std::int64_t length = 0;
  Buffer normalized = NormalizedCopy(body, length);
  doc.SetOriginal(std::move(normalized), length);
  return doc;
}

Document Document::Load(const std::string& path,
                        const std::vector<std::vector<std::string>>& index_tags) {
  // Where it can, the text is read straight from the file's mapping: no copy of it is
  // made, and a document without defects is never copied at all. Elsewhere the file is
  // read in one go.
  std::string error_message;
  std::shared_ptr<MappedFile> mapping = MappedFile::Open(path, error_message);
  if (!error_message.empty()) throw InspectionError(error_message);
  ReadFileResult file;
  std::string_view bytes;
  if (mapping) {
    bytes = std::string_view(mapping->data(), mapping->size());
  } else {
    file = ReadWholeFile(path, 0);
    if (!file.ok) throw InspectionError(file.error_message);
    bytes = std::string_view(file.data.get(), static_cast<std::size_t>(file.size));
  }

  std::size_t bom = 0;
  SourceEncoding encoding = DetectEncoding(bytes, bom);
  std::string_view body = bytes.substr(bom);
  // The search for the tags starts at once, on the bytes as they are: they are nearly
  // always the text, and the checks below take a sweep over the file of their own.
  std::unique_ptr<TagIndex> index;
  if ((encoding == SourceEncoding::kAnsi || encoding == SourceEncoding::kUtf8) &&
      !index_tags.empty())
    index = std::make_unique<TagIndex>(body, index_tags);
  // The checks take the back half of the text first, while the search starts at the
  // front: the pages of the mapping are brought in by both threads, half each. The
  // halves meet just after a line feed, which no character or line break straddles, so
  // the checks of the halves add up to the check of the whole.
  const std::size_t half = body.size() / 2;
  const std::size_t newline = body.find('\n', half);
  const std::size_t split = newline == std::string_view::npos ? 0 : newline + 1;
  const std::string_view back = body.substr(split), front = body.substr(0, split);
  auto sound = [&](std::string_view part) {
    if (encoding == SourceEncoding::kUtf8 && !IsValidUtf8(part)) return false;
    return LineBreakGrowth(part.data(), std::int64_t(part.size())) == 0;
  };
  bool as_read = encoding == SourceEncoding::kAnsi || encoding == SourceEncoding::kUtf8;
  if (as_read && sound(back) && sound(front)) {
    // The text is the file's bytes after the mark, used where they are.
    Document doc;
    doc.source_encoding_ = encoding;
    doc.storage_ = encoding == SourceEncoding::kAnsi ? Storage::kSingleByte : Storage::kUtf8;
    doc.source_identity_ = mapping ? mapping->identity() : file.identity;
    doc.size_ = std::int64_t(body.size());
    if (!body.empty()) doc.after_.push_back(Piece{body.data(), doc.size_, 0});
    doc.mapping_ = std::move(mapping);
    if (file.data) doc.original_ = Owned(file.data.release());
    // The passes want the search's results before anything else: this thread helps it
    // finish.
    if (index) index->Help();
    doc.index_ = std::move(index);
    doc.loaded_ = body;
    return doc;
  }
  index.reset();
  Document doc = FromBytes(bytes);
  if (mapping && !mapping->intact()) throw InspectionError(FileChangedMessage(path));
  return doc;
}

void Document::Locate(std::int64_t pos) const {
  // Afterwards after_.back() is the piece holding `pos` (or after_ is empty at the end).
  while (!before_.empty() && pos < cursor_pos_) {
    after_.push_back(before_.back());
    before_.pop_back();
    cursor_pos_ -= after_.back().length;
  }
  while (!after_.empty() && pos >= cursor_pos_ + after_.back().length && after_.size() > 1) {
    cursor_pos_ += after_.back().length;
    before_.push_back(after_.back());
    after_.pop_back();
  }
}

char Document::at(std::int64_t pos) const {
  Locate(pos);
  return after_.back().data[pos - cursor_pos_];
}

bool Document::MatchAt(std::int64_t pos, std::string_view tag) const {
  Locate(pos);
  const Piece& piece = after_.back();
  std::int64_t offset = pos - cursor_pos_;
  std::int64_t n = static_cast<std::int64_t>(tag.size());
  if (offset + n <= piece.length) {
    const char* p = piece.data + offset;
    for (std::int64_t k = 0; k < n; ++k)
      if (AsciiUpperChar(p[k]) != tag[k]) return false;
    return true;
  }
  for (std::int64_t k = 0; k < n; ++k)
    if (AsciiUpperChar(at(pos + k)) != tag[k]) return false;
  return true;
}

bool Document::IsTagAt(std::int64_t pos, std::string_view tag) const {
  if (pos < 0 || tag.empty() || pos + static_cast<std::int64_t>(tag.size()) > size_) return false;
  return MatchAt(pos, tag);
}

std::int64_t Document::FindTag(std::int64_t from, std::int64_t end, std::string_view tag) const {
  if (tag.empty()) return -1;
  const std::int64_t n = static_cast<std::int64_t>(tag.size());
  const std::int64_t last = std::min(end, size_) - n;  // last possible start
  std::int64_t pos = std::max<std::int64_t>(from, 0);
  if (pos > last) return -1;
  const int slot = index_ && n >= 3 ? index_->Slot(tag) : -1;
  while (pos <= last) {
    Locate(pos);
    if (after_.empty()) break;
    // Copies: confirming a match may move the cursor.
    const Piece piece = after_.back();
    const std::int64_t base = cursor_pos_;
    if (pos >= base + piece.length) break;
    std::int64_t offset = pos - base;
    // Candidates that lie wholly in this piece are found fast; one that runs on into the
    // next piece is confirmed character by character.
    const std::int64_t piece_last = std::min(piece.length - 1, last - base);
    const std::int64_t inside_last = n >= 3 ? std::min(piece.length - n, piece_last) : -1;
    std::int64_t candidate = -1;
    if (offset <= inside_last) {
      std::int64_t hit = TagIndex::kUnavailable;
      if (slot >= 0 && piece.source_offset >= 0 &&
          piece.data == loaded_.data() + piece.source_offset) {
        // Bytes as loaded: the index knows where the tag stands in them.
        hit = index_->Next(slot, piece.source_offset + offset, piece.source_offset + inside_last);
        if (hit >= 0) {
          hit -= piece.source_offset;
          const char* at_hit = piece.data + hit;
          for (std::int64_t k = 0; k < n && hit >= 0; ++k)
            if (AsciiUpperChar(at_hit[k]) != tag[static_cast<std::size_t>(k)])
              hit = TagIndex::kUnavailable;  // the mapping changed under us: look again
        }
      }
      if (hit == TagIndex::kUnavailable) hit = FindTagInText(piece.data, offset, inside_last, tag);
      if (hit >= 0) return base + hit;
      offset = inside_last + 1;
    }
    for (; candidate < 0 && offset <= piece_last; ++offset)
      if (piece.data[offset] == '<') candidate = base + offset;
    if (candidate < 0) {
      pos = base + piece.length;
      continue;
    }
    if (MatchAt(candidate, tag)) return candidate;
    pos = candidate + 1;
  }
  return -1;
}

std::string_view Document::ContiguousFrom(std::int64_t pos) const {
  if (pos < 0 || pos >= size_) return {};
  Locate(pos);
  const Piece& piece = after_.back();
  std::int64_t offset = pos - cursor_pos_;
  return std::string_view(piece.data + offset, static_cast<std::size_t>(piece.length - offset));
}

std::int64_t Document::LoadedOffset(std::int64_t pos) const {
  if (pos < 0 || pos >= size_) return -1;
  Locate(pos);
  const Piece& piece = after_.back();
  if (piece.source_offset < 0 || piece.data != loaded_.data() + piece.source_offset) return -1;
  return piece.source_offset + (pos - cursor_pos_);
}

std::string Document::Slice(std::int64_t from, std::int64_t to) const {
  from = std::clamp<std::int64_t>(from, 0, size_);
  to = std::clamp<std::int64_t>(to, from, size_);
  std::string out;
  out.reserve(static_cast<std::size_t>(to - from));
  std::int64_t pos = from;
  while (pos < to) {
    Locate(pos);
    const Piece& piece = after_.back();
    std::int64_t offset = pos - cursor_pos_;
    std::int64_t take = std::min(piece.length - offset, to - pos);
    out.append(piece.data + offset, static_cast<std::size_t>(take));
    pos += take;
  }
  return out;
}

std::string Document::Contents() const {
  return Slice(0, size_);
}

bool Document::SourceIntact() const {
  if (!mapping_) return true;
  return mapping_->intact();
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
  std::string prefix = Slice(0, pos);
  std::int64_t result = 0;
  for (char c : prefix) result += Utf8Length(Cp1252ToUnicode(static_cast<unsigned char>(c)));
  return result;
}

void Document::UpgradeToUtf8() {
  if (storage_ == Storage::kUtf8) return;
  for (Anchor* anchor : anchors_) anchor->pos_ = UpgradedOffset(anchor->pos_);
  std::string text;
  AppendCp1252AsUtf8(text, Contents());
  Buffer buffer = Owned(Allocate(static_cast<std::int64_t>(text.size())));
  std::memcpy(buffer.get(), text.data(), text.size());
  added_blocks_.clear();
  added_free_ = 0;
  SetOriginal(std::move(buffer), static_cast<std::int64_t>(text.size()));
  // The text no longer consists of the file's bytes.
  source_identity_.reset();
  storage_ = Storage::kUtf8;
}

const char* Document::StoreAdded(std::string_view raw) {
  if (raw.size() > kAddedBlock / 8) {
    // A large value gets a block of its own, kept before the block being filled.
    auto block = std::make_unique<char[]>(raw.size());
    std::memcpy(block.get(), raw.data(), raw.size());
    const char* stored = block.get();
    auto where = added_blocks_.empty() ? added_blocks_.end() : added_blocks_.end() - 1;
    added_blocks_.insert(where, std::move(block));
    return stored;
  }
  if (raw.size() > added_free_) {
    added_blocks_.push_back(std::make_unique<char[]>(kAddedBlock));
    added_free_ = kAddedBlock;
  }
  char* stored = added_blocks_.back().get() + (kAddedBlock - added_free_);
  std::memcpy(stored, raw.data(), raw.size());
  added_free_ -= raw.size();
  return stored;
}

void Document::Replace(std::int64_t pos, std::int64_t count, std::string_view raw) {
  pos = std::clamp<std::int64_t>(pos, 0, size_);
  count = std::clamp<std::int64_t>(count, 0, size_ - pos);
  std::int64_t inserted = static_cast<std::int64_t>(raw.size());

  Locate(pos);
  // Split the piece at `pos` so that `pos` starts a piece.
  if (!after_.empty() && pos > cursor_pos_) {
    Piece& piece = after_.back();
    std::int64_t head = pos - cursor_pos_;
    Piece first{piece.data, head, piece.source_offset};
    piece.data += head;
    piece.length -= head;
    if (piece.source_offset >= 0) piece.source_offset += head;
    before_.push_back(first);
    cursor_pos_ = pos;
    if (piece.length == 0) after_.pop_back();
  }
  // Drop `count` bytes from the pieces that follow.
  for (std::int64_t left = count; left > 0 && !after_.empty();) {
    Piece& piece = after_.back();
    if (piece.length <= left) {
      left -= piece.length;
      after_.pop_back();
    } else {
      piece.data += left;
      piece.length -= left;
      if (piece.source_offset >= 0) piece.source_offset += left;
      left = 0;
    }
  }
  if (inserted > 0) {
    before_.push_back(Piece{StoreAdded(raw), inserted, -1});
    cursor_pos_ += inserted;
  }
  size_ += inserted - count;
  if (raw.find_first_of("\r\n") != std::string_view::npos) needs_line_break_pass_ = true;
  std::int64_t delta = inserted - count;
  if (delta != 0) {
    for (Anchor* anchor : anchors_)
      if (anchor->pos_ >= pos + count) anchor->pos_ += delta;
  }
}

std::int64_t Document::Utf16Offset(std::int64_t pos) const {
  if (storage_ == Storage::kSingleByte) return pos;
  std::string prefix = Slice(0, pos);
  std::int64_t units = 0;
  for (char ch : prefix) {
    unsigned char c = static_cast<unsigned char>(ch);
    if ((c & 0xC0) != 0x80) units += (c >= 0xF0 && c < 0xF8) ? 2 : 1;
  }
  return units;
}

std::int64_t Document::OffsetOfUtf16Unit(std::int64_t units) const {
  if (storage_ == Storage::kSingleByte) return std::min(units, size_);
  // Each unit takes at most three bytes.
  std::string prefix = Slice(0, std::min(size_, units * 3 + 4));
  std::int64_t counted = 0;
  std::int64_t i = 0;
  const std::int64_t n = static_cast<std::int64_t>(prefix.size());
  while (i < n && counted < units) {
    int len = SequenceLength(static_cast<unsigned char>(prefix[static_cast<std::size_t>(i)]));
    counted += len == 4 ? 2 : 1;
    i += len;
  }
  return std::min(i, size_);
}

Document::Anchor::Anchor(Document& doc, std::int64_t pos) : doc_(doc), pos_(pos) {
  doc_.anchors_.push_back(this);
}

Document::Anchor::~Anchor() {
  auto& list = doc_.anchors_;
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

void Document::Write(WriteSink& sink) const {
  sink.Bytes(ByteOrderMark(source_encoding_));
  bool raw_is_output = source_encoding_ == SourceEncoding::kAnsi
                           ? storage_ == Storage::kSingleByte
                           : source_encoding_ == SourceEncoding::kUtf8;
  if (raw_is_output && !needs_line_break_pass_) {
    // The stored bytes are the file's bytes: hand the pieces over as they are.
    auto emit = [&](const Piece& piece) {
      sink.Bytes(std::string_view(piece.data, static_cast<std::size_t>(piece.length)));
    };
    for (const Piece& piece : before_) emit(piece);
    for (auto it = after_.rbegin(); it != after_.rend(); ++it) emit(*it);
    return;
  }
  std::string text = Contents();
  if (needs_line_break_pass_) text = NormalizeLineBreaks(text);
  if (raw_is_output) {
    sink.Bytes(text);
    return;
  }
  // Convert in chunks that end on a character boundary.
  constexpr std::size_t kChunk = 1 << 20;
  std::string out;
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t end = std::min(text.size(), pos + kChunk);
    while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
    out.clear();
    std::string_view piece = std::string_view(text).substr(pos, end - pos);
    if (source_encoding_ == SourceEncoding::kAnsi)
      AppendUtf8AsCp1252(out, piece);
    else
      AppendWtf8AsUtf16(out, piece, source_encoding_ == SourceEncoding::kUtf16BE);
    sink.Bytes(out);
    pos = end;
  }
}

namespace {

class FunctionSink : public WriteSink {
 public:
  explicit FunctionSink(const std::function<void(std::string_view)>& f) : f_(f) {}
  void Bytes(std::string_view bytes) override {
    if (!bytes.empty()) f_(bytes);
  }

 private:
  const std::function<void(std::string_view)>& f_;
};

}  // namespace

void Document::Write(const std::function<void(std::string_view)>& sink) const {
  FunctionSink adapter(sink);
  Write(adapter);
}

std::string Document::Serialize() const {
  std::string out;
  Write([&out](std::string_view chunk) { out.append(chunk); });
  return out;
}

}  // namespace verifax
