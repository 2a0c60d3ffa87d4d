#include <cstdint>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#endif
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// The tags of an invoice that its walk notes.
enum class Mark : std::uint8_t {
  kNumber,         // <INVOICENO>
  kNumberEnd,      // </INVOICENO>
  kLine,           // <LINE>
  kLineEnd,        // </LINE>
  kLineNumber,     // <LINENUMBER>
  kLineNumberEnd,  // </LINENUMBER>
  kUnit,           // <UNITOFMEASURE>
  kUnitEnd,        // </UNITOFMEASURE>
};

struct Marked {
  std::int64_t pos;
  Mark mark;
};

bool StartsWithTag(std::string_view text, std::string_view tag) {
  if (text.size() < tag.size()) return false;
  for (std::size_t k = 0; k < tag.size(); ++k)
    if (AsciiUpperChar(text[k]) != tag[k]) return false;
  return true;
}

// The next '<' at or after `i` that may open one of the tags WalkInvoice wants: "<I",
// "<L", "<U", "</I", "</L" or "</U" in either case. Other tags are passed over without a
// look.
std::size_t NextInvoiceTag(std::string_view text, std::size_t i);

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
const bool kHaveAvx2 = __builtin_cpu_supports("avx2");

// Bytes that are 'i', 'l' or 'u' once made lower case (or with 0x20).
__attribute__((target("avx2"))) inline __m256i WantedLetter(__m256i bytes) {
  const __m256i folded = _mm256_or_si256(bytes, _mm256_set1_epi8(0x20));
  return _mm256_or_si256(_mm256_or_si256(_mm256_cmpeq_epi8(folded, _mm256_set1_epi8('i')),
                                         _mm256_cmpeq_epi8(folded, _mm256_set1_epi8('l'))),
                         _mm256_cmpeq_epi8(folded, _mm256_set1_epi8('u')));
}

__attribute__((target("avx2"))) std::size_t NextInvoiceTagAvx2(std::string_view text,
                                                               std::size_t& i) {
  const char* data = text.data();
  const __m256i lt = _mm256_set1_epi8('<');
  const __m256i slash = _mm256_set1_epi8('/');
  for (; i + 34 <= text.size(); i += 32) {
    __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i));
    __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i + 1));
    __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i + 2));
    __m256i opening = WantedLetter(b);
    __m256i closing = _mm256_and_si256(_mm256_cmpeq_epi8(b, slash), WantedLetter(c));
    __m256i hit = _mm256_and_si256(_mm256_cmpeq_epi8(a, lt), _mm256_or_si256(opening, closing));
    unsigned mask = static_cast<unsigned>(_mm256_movemask_epi8(hit));
    if (mask != 0) return i + static_cast<std::size_t>(__builtin_ctz(mask));
  }
  return std::string_view::npos;
}
#endif

std::size_t NextInvoiceTag(std::string_view text, std::size_t i) {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
  if (kHaveAvx2) {
    std::size_t hit = NextInvoiceTagAvx2(text, i);
    if (hit != std::string_view::npos) return hit;
  }
#endif
  auto wanted = [](char c) {
    c = AsciiUpperChar(c);
    return c == 'I' || c == 'L' || c == 'U';
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

// One walk over an invoice that lies in one stretch of memory (`text` starts at its
// opening tag, at document offset `base`), in place of a search per tag: notes in `marks`
// the first "<INVOICENO>" and "</INVOICENO>" and every tag of the lines, up to the first
// "</INVOICE>", whose offset it returns. -1 when the stretch ends first; the caller then
// searches. No tag the searches look for can straddle the closing tag's '<', so what lies
// before it is what the searches of the invoice's block and of its lines' blocks see.
std::int64_t WalkInvoice(std::string_view text, std::int64_t base, std::vector<Marked>& marks) {
  constexpr std::size_t kLongestTag = 16;  // "</UNITOFMEASURE>"
  bool number = false, number_end = false;
  for (std::size_t i = 1;; ++i) {
    i = NextInvoiceTag(text, i);
    if (i == std::string_view::npos) return -1;
    std::string_view rest = text.substr(i);
    if (rest.size() < kLongestTag) return -1;  // a tag may run on past this stretch
    const std::int64_t at = base + static_cast<std::int64_t>(i);
    auto note = [&](Mark mark) { marks.push_back(Marked{at, mark}); };
    const char c1 = AsciiUpperChar(rest[1]);
    const char c = c1 == '/' ? AsciiUpperChar(rest[2]) : c1;
    if (c1 == '/') {
      if (c == 'L') {
        if (StartsWithTag(rest, kLineClosing))
          note(Mark::kLineEnd);
        else if (StartsWithTag(rest, "</LINENUMBER>"))
          note(Mark::kLineNumberEnd);
      } else if (c == 'U') {
        if (StartsWithTag(rest, "</UNITOFMEASURE>")) note(Mark::kUnitEnd);
      } else if (StartsWithTag(rest, kInvoiceClosing)) {
        return at;
      } else if (!number_end && StartsWithTag(rest, "</INVOICENO>")) {
        number_end = true;
        note(Mark::kNumberEnd);
      }
    } else if (c == 'L') {
      if (StartsWithTag(rest, "<LINE>"))
        note(Mark::kLine);
      else if (StartsWithTag(rest, "<LINENUMBER>"))
        note(Mark::kLineNumber);
    } else if (c == 'U') {
      if (StartsWithTag(rest, "<UNITOFMEASURE>")) note(Mark::kUnit);
    } else if (!number && StartsWithTag(rest, "<INVOICENO>")) {
      number = true;
      note(Mark::kNumber);
    }
  }
}

// The first of each tag a line's handler needs, from the marks of a walked invoice.
struct LineMarks {
  std::int64_t closing = -1;
  TagPair number;
  TagPair unit;
};

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
    // An invoice is read in one walk where it lies in one stretch of memory (nearly
    // always: the passes before this one do not repair invoices), otherwise by searches.
    marks_.clear();
    const std::string_view stretch = doc_.ContiguousFrom(offset);
    const std::int64_t walked_closing = WalkInvoice(stretch, offset, marks_);
    const bool walked = walked_closing >= 0;
    std::int64_t closing = walked ? walked_closing : FindClosingTag(doc_, offset, kInvoiceClosing);
    if (closing < 0) return doc_.size() - offset;
    // Both the advance and the end of the line scan follow the closing tag through the
    // repairs of the invoice's lines.
    Document::Anchor closing_anchor(doc_, closing);

    std::optional<std::string> number;
    if (walked) {
      TagPair pair = PairOf(Mark::kNumber, Mark::kNumberEnd, 11, 0, marks_.size());
      if (pair.usable()) number = doc_.Decode(ValueOf(stretch, offset, pair));
    } else {
      WorkingBlock block = WorkingBlock::Of(offset, closing + std::int64_t(kInvoiceClosing.size()));
      number = TagValue(doc_, block, "INVOICENO");
    }
    if (!number || IsBlank(*number)) throw InspectionError(InvalidFileMessage("i0"));

    std::int64_t from = offset;
    if (walked) {
      // Returns where the searches take over: at a line whose closing tag lies beyond
      // the invoice, or (none) at the invoice's end.
      from = InspectWalkedLines(stretch, offset, *number, closing_anchor, walked_closing);
    }
    if (from < closing_anchor.pos()) {
      ScanElements(
          doc_, from, [&] { return closing_anchor.pos(); }, "<LINE>",
          [&](std::int64_t line) { return InspectInvoiceLine(line, *number); });
    }
    return closing_anchor.pos() + 1 - offset;
  }

  // The first `open` and the first `close` mark among marks_[from, to), as a tag pair
  // whose opening tag is `open_length` long.
  TagPair PairOf(Mark open, Mark close, std::int64_t open_length, std::size_t from,
                 std::size_t to) const {
    TagPair pair;
    for (std::size_t k = from; k < to && (pair.open < 0 || pair.close < 0); ++k) {
      if (marks_[k].mark == open && pair.open < 0) pair.open = marks_[k].pos;
      if (marks_[k].mark == close && pair.close < 0) pair.close = marks_[k].pos;
    }
    if (pair.open >= 0) pair.value_start = pair.open + open_length;
    return pair;
  }

  // The raw value of a usable pair, from the walked stretch (which starts at offset
  // `base` as walked).
  static std::string_view ValueOf(std::string_view stretch, std::int64_t base,
                                  const TagPair& pair) {
    return stretch.substr(static_cast<std::size_t>(pair.value_start - base),
                          static_cast<std::size_t>(pair.close - pair.value_start));
  }

  // The lines of a walked invoice, from its marks; the same steps as the line scan below
  // with InspectInvoiceLine. The stretch stays readable through the repairs (they add new
  // pieces and leave the loaded bytes where they are), and since they lie inside lines
  // and put no tags in or out, a walked position p stands at p + (how far the closing
  // tag has moved) in the document. Returns the document offset at which the searches
  // take over: a line whose closing tag the walk did not meet, or the invoice's closing
  // tag.
  std::int64_t InspectWalkedLines(std::string_view stretch, std::int64_t base,
                                  const std::string& invoice_number,
                                  const Document::Anchor& closing_anchor,
                                  std::int64_t walked_closing) {
    for (std::size_t k = 0; k < marks_.size(); ++k) {
      if (marks_[k].mark != Mark::kLine) continue;
      const std::int64_t line = marks_[k].pos;
      std::size_t end = k + 1;
      while (end < marks_.size() && marks_[end].mark != Mark::kLineEnd) ++end;
      const std::int64_t shift = closing_anchor.pos() - walked_closing;
      if (end == marks_.size()) return line + shift;
      const TagPair number = PairOf(Mark::kLineNumber, Mark::kLineNumberEnd, 12, k + 1, end);
      const TagPair unit = PairOf(Mark::kUnit, Mark::kUnitEnd, 15, k + 1, end);
      if (!number.usable() || IsBlank(ValueOf(stretch, base, number)))
        throw InspectionError(InvalidFileMessage("l0"));
      if (!unit.usable()) throw InspectionError(InvalidFileMessage("i1"));
      const std::string_view old_unit = ValueOf(stretch, base, unit);
      if (IsBlank(old_unit))
        Repair(unit.value_start + shift, invoice_number, ValueOf(stretch, base, number), old_unit);
      k = end;  // the next line opens after this one's closing tag
    }
    return closing_anchor.pos();
  }

  // A line's closing tag is the first one after it, even beyond the invoice.
  std::int64_t InspectInvoiceLine(std::int64_t offset, const std::string& invoice_number) {
    if (offset <= 0) throw InspectionError("Erro ao processar linha! (" + ToDecimal(offset) + ")");
    std::int64_t closing = lines_.Find(offset);
    if (closing < 0) return doc_.size() - offset;
    WorkingBlock block = WorkingBlock::Of(offset, closing + std::int64_t(kLineClosing.size()));
    const TagPair number = FindTagPair(doc_, block, "LINENUMBER");
    const TagPair unit = FindTagPair(doc_, block, "UNITOFMEASURE");
    const std::int64_t advance = closing + 1 - offset;

    // Raw bytes: blanks are the same bytes in every storage form; the values are decoded
    // only for a repair's log line.
    if (!number.usable()) throw InspectionError(InvalidFileMessage("l0"));
    std::string line_number = doc_.Slice(number.value_start, number.close);
    if (IsBlank(line_number)) throw InspectionError(InvalidFileMessage("l0"));
    if (!unit.usable()) throw InspectionError(InvalidFileMessage("i1"));
    std::string old_unit = doc_.Slice(unit.value_start, unit.close);
    if (!IsBlank(old_unit)) return advance;
    Repair(unit.value_start, invoice_number, line_number, old_unit);
    return advance + 2 - static_cast<std::int64_t>(old_unit.size());
  }

  // What ReplaceTagValue does with a line's block, whose first unit tags these are: the
  // blank `old_unit` at `value_start` becomes "Un". The repair lies inside the line,
  // before its closing tag.
  void Repair(std::int64_t value_start, const std::string& invoice_number,
              std::string_view line_number, std::string_view old_unit) {
    // Decoded before the replacement: the views may be the document's own bytes.
    std::string message = "> Doc. #" + invoice_number + "  Linha #" + doc_.Decode(line_number) +
                          " (UnitOfMeasure): \"" + doc_.Decode(old_unit) + "\" -> \"Un\"";
    doc_.Replace(value_start, static_cast<std::int64_t>(old_unit.size()), "Un");
    ctx_.LogRepair(message);
  }

  InspectionContext& ctx_;
  Document& doc_;
  LineClosingCache lines_;
  std::vector<Marked> marks_;  // of the invoice being inspected, when it was walked
};

}  // namespace

void InspectInvoices(InspectionContext& ctx) {
  InvoicePass(ctx).Run();
}

}  // namespace verifax
