#include <algorithm>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#endif
#include <optional>

#include "inspection/errors.h"
#include "inspection/passes.h"
#include "inspection/tag_scan.h"
#include "inspection/text_util.h"

namespace verifax {

namespace {

constexpr std::string_view kLineClosing = "</LINE>";

// A line's closing-tag scan runs on to the end of the document, and a line that lacks its
// own closing tag takes the next one further on; the invoices that follow then look for
// the same tag again. Remembering the last answer keeps that linear. It stays right while
// the pass runs because this pass only puts "Un" in place of blanks: no repair makes or
// breaks a tag.
class LineClosingCache {
 public:
  explicit LineClosingCache(Document& doc)
      : doc_(doc), searched_from_(doc, -1), found_(doc, -1), none_from_(doc, -1) {}

  std::int64_t Find(std::int64_t start) {
    if (none_from_.pos() >= 0 && start >= none_from_.pos()) return -1;
    if (found_.pos() >= 0 && start >= searched_from_.pos() && start <= found_.pos())
      return found_.pos();
    std::int64_t hit = FindClosingTag(doc_, start, kLineClosing);
    if (hit < 0) {
      none_from_.set(start);
    } else {
      searched_from_.set(start);
      found_.set(hit);
    }
    return hit;
  }

 private:
  Document& doc_;
  // The last search: from searched_from_ the first closing tag is found_; from none_from_
  // on there is none. All three move with the repairs.
  Document::Anchor searched_from_;
  Document::Anchor found_;
  Document::Anchor none_from_;
};

// Where the tags a line's handler needs first stand, from the line's opening tag up to
// its closing tag; -1 for a tag that does not occur there.
struct LineTags {
  std::int64_t closing = -1;
  std::int64_t number_open = -1;
  std::int64_t number_close = -1;
  std::int64_t unit_open = -1;
  std::int64_t unit_close = -1;
};

bool StartsWithTag(std::string_view text, std::string_view tag) {
  if (text.size() < tag.size()) return false;
  for (std::size_t k = 0; k < tag.size(); ++k)
    if (AsciiUpperChar(text[k]) != tag[k]) return false;
  return true;
}

// One walk over the tags of a line that lies in one stretch of memory (`text` starts at
// the line's opening tag, at document offset `base`), in place of a search per tag. Its
// answers are those of the searches: the line's working block runs to the first "</LINE>",
// and no tag can straddle that one's '<', so the first of each tag within the block is the
// first one met before it. False when the stretch ends first; the caller then searches.
// The next '<' at or after `i` that may open one of the tags WalkLine wants: "<L", "<U",
// "</L" or "</U" in either case. Other tags of a line are passed over without a look.
std::size_t NextLineTag(std::string_view text, std::size_t i);

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
const bool kHaveAvx2 = __builtin_cpu_supports("avx2");

__attribute__((target("avx2"))) std::size_t NextLineTagAvx2(std::string_view text, std::size_t& i) {
  const char* data = text.data();
  const __m256i lt = _mm256_set1_epi8('<');
  const __m256i slash = _mm256_set1_epi8('/');
  const __m256i fold = _mm256_set1_epi8(0x20);
  const __m256i l = _mm256_set1_epi8('l');
  const __m256i u = _mm256_set1_epi8('u');
  for (; i + 34 <= text.size(); i += 32) {
    __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i));
    __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i + 1));
    __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i + 2));
    __m256i bf = _mm256_or_si256(b, fold);
    __m256i cf = _mm256_or_si256(c, fold);
    __m256i opening = _mm256_or_si256(_mm256_cmpeq_epi8(bf, l), _mm256_cmpeq_epi8(bf, u));
    __m256i closing =
        _mm256_and_si256(_mm256_cmpeq_epi8(b, slash),
                         _mm256_or_si256(_mm256_cmpeq_epi8(cf, l), _mm256_cmpeq_epi8(cf, u)));
    __m256i hit = _mm256_and_si256(_mm256_cmpeq_epi8(a, lt), _mm256_or_si256(opening, closing));
    unsigned mask = static_cast<unsigned>(_mm256_movemask_epi8(hit));
    if (mask != 0) return i + static_cast<std::size_t>(__builtin_ctz(mask));
  }
  return std::string_view::npos;
}
#endif

std::size_t NextLineTag(std::string_view text, std::size_t i) {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
  if (kHaveAvx2) {
    std::size_t hit = NextLineTagAvx2(text, i);
    if (hit != std::string_view::npos) return hit;
  }
#endif
  auto wanted = [](char c) {
    c = AsciiUpperChar(c);
    return c == 'L' || c == 'U';
  };
  while (i + 2 < text.size()) {
    const void* hit = std::memchr(text.data() + i, '<', text.size() - i);
    if (!hit) return std::string_view::npos;
    i = static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
    if (i + 2 < text.size() && (wanted(text[i + 1]) || (text[i + 1] == '/' && wanted(text[i + 2]))))
      return i;
    ++i;
  }
  return std::string_view::npos;
}

// One walk over the tags of a line that lies in one stretch of memory (`text` starts at
// the line's opening tag, at document offset `base`), in place of a search per tag. Its
// answers are those of the searches: the line's working block runs to the first "</LINE>",
// and no tag can straddle that one's '<', so the first of each tag within the block is the
// first one met before it. False when the stretch ends first; the caller then searches.
bool WalkLine(std::string_view text, std::int64_t base, LineTags& tags) {
  constexpr std::size_t kLongestTag = 16;  // "</UNITOFMEASURE>"
  auto note = [](std::int64_t& slot, std::int64_t at) {
    if (slot < 0) slot = at;
  };
  for (std::size_t i = 1;; ++i) {
    i = NextLineTag(text, i);
    if (i == std::string_view::npos) return false;
    std::string_view rest = text.substr(i);
    if (rest.size() < kLongestTag) return false;  // a tag may run on past this stretch
    std::int64_t at = base + static_cast<std::int64_t>(i);
    const char c1 = AsciiUpperChar(rest[1]);
    if (c1 == '/') {
      if (AsciiUpperChar(rest[2]) == 'L') {
        if (StartsWithTag(rest, kLineClosing)) {
          tags.closing = at;
          return true;
        }
        if (StartsWithTag(rest, "</LINENUMBER>")) note(tags.number_close, at);
      } else if (StartsWithTag(rest, "</UNITOFMEASURE>")) {
        note(tags.unit_close, at);
      }
    } else if (c1 == 'L') {
      if (StartsWithTag(rest, "<LINENUMBER>")) note(tags.number_open, at);
    } else if (StartsWithTag(rest, "<UNITOFMEASURE>")) {
      note(tags.unit_open, at);
    }
  }
}

class InvoicePass {
 public:
  explicit InvoicePass(InspectionContext& ctx) : ctx_(ctx), doc_(ctx.doc), lines_(ctx.doc) {}

  void Run() {
    ScanElements(
        doc_, 0, [&] { return doc_.size(); }, kInvoiceOpening,
        [&](std::int64_t offset) { return InspectInvoice(offset); });
  }

 private:
  std::int64_t InspectInvoice(std::int64_t offset) {
    if (offset <= 0)
      throw InspectionError("Erro ao processar documento! (" + ToDecimal(offset) + ")");
    std::int64_t closing = FindClosingTag(doc_, offset, kInvoiceClosing);
    if (closing < 0) return doc_.size() - offset;
    // Both the advance and the end of the line scan follow the closing tag through the
    // repairs of the invoice's lines.
    Document::Anchor closing_anchor(doc_, closing);
    WorkingBlock block = WorkingBlock::Of(offset, closing + std::int64_t(kInvoiceClosing.size()));

    auto number = TagValue(doc_, block, "INVOICENO");
    if (!number || IsBlank(*number)) throw InspectionError(InvalidFileMessage("i0"));

    ScanElements(
        doc_, offset, [&] { return closing_anchor.pos(); }, "<LINE>",
        [&](std::int64_t line) {
          return InspectInvoiceLine(line, *number,
                                    closing_anchor.pos() + std::int64_t(kInvoiceClosing.size()));
        });
    return closing_anchor.pos() + 1 - offset;
  }

  // `invoice_end`: just past the enclosing invoice's closing tag. A line's closing tag
  // lies before it but for broken lines, which take the searches below.
  std::int64_t InspectInvoiceLine(std::int64_t offset, const std::string& invoice_number,
                                  std::int64_t invoice_end) {
    if (offset <= 0) throw InspectionError("Erro ao processar linha! (" + ToDecimal(offset) + ")");
    // Where the line closes and where its first number and unit tags stand: from one walk
    // over the line where it lies in one stretch, otherwise from the searches.
    std::int64_t closing = -1;
    TagPair number, unit;
    LineTags tags;
    std::string_view stretch = doc_.ContiguousFrom(offset);
    stretch = stretch.substr(
        0, static_cast<std::size_t>(std::max<std::int64_t>(0, invoice_end - offset)));
    if (WalkLine(stretch, offset, tags)) {
      closing = tags.closing;
      number = TagPair{tags.number_open, tags.number_close, tags.number_open + 12};
      unit = TagPair{tags.unit_open, tags.unit_close, tags.unit_open + 15};
    } else {
      closing = lines_.Find(offset);
      if (closing < 0) return doc_.size() - offset;
      WorkingBlock block = WorkingBlock::Of(offset, closing + std::int64_t(kLineClosing.size()));
      number = FindTagPair(doc_, block, "LINENUMBER");
      unit = FindTagPair(doc_, block, "UNITOFMEASURE");
    }
    const std::int64_t advance = closing + 1 - offset;

    // Raw bytes: blanks are the same bytes in every storage form; the values are decoded
    // only for a repair's log line.
    if (!number.usable()) throw InspectionError(InvalidFileMessage("l0"));
    std::string line_number = doc_.Slice(number.value_start, number.close);
    if (IsBlank(line_number)) throw InspectionError(InvalidFileMessage("l0"));
    if (!unit.usable()) throw InspectionError(InvalidFileMessage("i1"));
    std::string old_unit = doc_.Slice(unit.value_start, unit.close);
    if (!IsBlank(old_unit)) return advance;

    // What ReplaceTagValue does with the line's block, whose first unit tags these are.
    // The repair lies inside the line, before its closing tag.
    const std::int64_t removed = unit.close - unit.value_start;
    doc_.Replace(unit.value_start, removed, "Un");
    ctx_.LogRepair("> Doc. #" + invoice_number + "  Linha #" + doc_.Decode(line_number) +
                   " (UnitOfMeasure): \"" + doc_.Decode(old_unit) + "\" -> \"Un\"");
    return advance + 2 - removed;
  }

  InspectionContext& ctx_;
  Document& doc_;
  LineClosingCache lines_;
};

}  // namespace

void InspectInvoices(InspectionContext& ctx) {
  InvoicePass(ctx).Run();
}

}  // namespace verifax
