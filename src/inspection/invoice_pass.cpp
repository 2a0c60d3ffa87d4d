#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <stdexcept>
#include <thread>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#endif
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "inspection/errors.h"
#include "inspection/passes.h"
#include "inspection/tag_index.h"
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

constexpr std::size_t kLongestWalkedTag = 16;  // "</UNITOFMEASURE>"

// A hint that the bytes at `p` will be read soon.
inline void Prefetch(const char* p) {
#if defined(__GNUC__) || defined(__clang__)
  __builtin_prefetch(p);
#else
  (void)p;
#endif
}

// One walk over an invoice that lies in one stretch of memory (`text` starts at its
// opening tag, at document offset `base`), in place of a search per tag: notes in `marks`
// the first "<INVOICENO>" and "</INVOICENO>" and every tag of the lines, up to the first
// "</INVOICE>", whose offset it returns. -1 when the stretch ends first; the caller then
// searches. No tag the searches look for can straddle the closing tag's '<', so what lies
// before it is what the searches of the invoice's block and of its lines' blocks see.

std::int64_t WalkInvoice(std::string_view text, std::int64_t base, std::vector<Marked>& marks) {
  bool number = false, number_end = false;
  for (std::size_t i = 1;; ++i) {
    i = NextInvoiceTag(text, i);
    if (i == std::string_view::npos) return -1;
    std::string_view rest = text.substr(i);
    if (rest.size() < kLongestWalkedTag) return -1;  // a tag may run on past this stretch
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

// The first `open` and the first `close` among marks[from, to), as a tag pair whose
// opening tag is `open_length` long.
TagPair PairOf(const std::vector<Marked>& marks, Mark open, Mark close, std::int64_t open_length,
               std::size_t from, std::size_t to) {
  TagPair pair;
  for (std::size_t k = from; k < to && (pair.open < 0 || pair.close < 0); ++k) {
    if (marks[k].mark == open && pair.open < 0) pair.open = marks[k].pos;
    if (marks[k].mark == close && pair.close < 0) pair.close = marks[k].pos;
  }
  if (pair.open >= 0) pair.value_start = pair.open + open_length;
  return pair;
}

// The raw value of a usable pair, in the text `walked` (which starts at offset `base`).
std::string_view ValueOf(std::string_view walked, std::int64_t base, const TagPair& pair) {
  return walked.substr(static_cast<std::size_t>(pair.value_start - base),
                       static_cast<std::size_t>(pair.close - pair.value_start));
}

// One step of a walked invoice's lines that asks for more than a look: the lines in
// between are sound.
struct LineStep {
  enum class Kind : std::uint8_t {
    kRepair,     // a blank unit of measure
    kBadNumber,  // "l0"
    kBadUnit,    // "i1"
    kSearch,     // a line whose closing tag lies beyond the invoice: searched from here on
  };
  Kind kind;
  std::int64_t at = 0;      // kRepair: where the blank starts; kSearch: the line's opening tag
  std::int64_t length = 0;  // kRepair: the blank's length
  TagPair number;           // kRepair: the line's number
};

// What an invoice asks of the pass, worked out from its bytes alone: the steps the line
// scan would take, in walked offsets.
struct InvoicePlan {
  std::int64_t opening = -1;
  std::int64_t closing = -1;
  TagPair number;  // the invoice's number
  bool number_ok = false;
  std::size_t first_step = 0;  // its steps: [first_step, first_step + step_count)
  std::size_t step_count = 0;
  // Where the next invoice opens (the first opening after `closing`), when the planner
  // went on to it; -1 when not known.
  std::int64_t next_opening = -1;
};

// Walks the invoice that opens at the start of `text` (at offset `base`) and plans it;
// false when the walk cannot finish in `text`. `marks` is room to work in; the steps are
// added to `steps`. The lines are taken as the line scan takes them (the next line opens
// after the closing tag of the one before, which is the first closing tag after its
// opening), each with the first number and unit tags before its closing tag.
bool PlanInvoice(std::string_view text, std::int64_t base, std::vector<Marked>& marks,
                 InvoicePlan& plan, std::vector<LineStep>& steps) {
  marks.clear();
  plan.opening = base;
  plan.closing = WalkInvoice(text, base, marks);
  if (plan.closing < 0) return false;
  plan.number = PairOf(marks, Mark::kNumber, Mark::kNumberEnd, 11, 0, marks.size());
  plan.number_ok = plan.number.usable() && !IsBlank(ValueOf(text, base, plan.number));
  plan.first_step = steps.size();
  for (std::size_t k = 0; plan.number_ok && k < marks.size(); ++k) {
    if (marks[k].mark != Mark::kLine) continue;
    std::size_t end = k + 1;
    while (end < marks.size() && marks[end].mark != Mark::kLineEnd) ++end;
    if (end == marks.size()) {
      steps.push_back(LineStep{LineStep::Kind::kSearch, marks[k].pos, 0, {}});
      break;
    }
    const TagPair number = PairOf(marks, Mark::kLineNumber, Mark::kLineNumberEnd, 12, k + 1, end);
    const TagPair unit = PairOf(marks, Mark::kUnit, Mark::kUnitEnd, 15, k + 1, end);
    if (!number.usable() || IsBlank(ValueOf(text, base, number))) {
      steps.push_back(LineStep{LineStep::Kind::kBadNumber, marks[k].pos, 0, {}});
      break;
    }
    if (!unit.usable()) {
      steps.push_back(LineStep{LineStep::Kind::kBadUnit, marks[k].pos, 0, {}});
      break;
    }
    if (IsBlank(ValueOf(text, base, unit)))
      steps.push_back(LineStep{LineStep::Kind::kRepair, unit.value_start,
                               unit.close - unit.value_start, number});
    k = end;  // the next line opens after this one's closing tag
  }
  plan.step_count = steps.size() - plan.first_step;
  return true;
}

// Invoices planned ahead on a thread of their own, over the text as loaded, from an offset
// on: while the pass walks the invoices before it, the ones after it are walked
// alongside. A plan depends only on the bytes from the invoice's opening tag on, so it
// holds for the document wherever the document still has those bytes there.
class InvoiceLookahead {
 public:
  // Starts on `text` (which must outlive the lookahead) from the first invoice opening at
  // or after `from`. Throws std::system_error when no thread can be had.
  InvoiceLookahead(std::string_view text, std::int64_t from)
      : text_(text),
        from_(from),
        batches_(static_cast<std::size_t>((std::int64_t(text.size()) - from) / kRegion + 1)) {
    thread_ = std::thread([this] { Run(); });
  }

  ~InvoiceLookahead() {
    stop_.store(true, std::memory_order_relaxed);
    thread_.join();
  }

  InvoiceLookahead(const InvoiceLookahead&) = delete;
  InvoiceLookahead& operator=(const InvoiceLookahead&) = delete;

  // The plan of the invoice whose opening tag is at `opening` in the loaded text, waiting
  // for it when the thread has not got there yet; null when there is none (before the
  // start, not an opening the thread came to, or the thread stopped short). `steps` is
  // set to the steps the plan counts in. Openings must ascend from call to call.
  const InvoicePlan* Find(std::int64_t opening, const std::vector<LineStep>*& steps) {
    if (opening < from_) return nullptr;
    const auto batch = static_cast<std::size_t>((opening - from_) / kRegion);
    if (batch >= batches_.size()) return nullptr;
    std::int64_t state = state_.load(std::memory_order_acquire);
    while (!(state & kEnded) && Done(state) <= batch) {
      state_.wait(state, std::memory_order_acquire);
      state = state_.load(std::memory_order_acquire);
    }
    if (Done(state) <= batch) return nullptr;
    if (batch != batch_) {
      batch_ = batch;
      next_ = 0;
    }
    const std::vector<InvoicePlan>& plans = batches_[batch].plans;
    while (next_ < plans.size() && plans[next_].opening < opening) ++next_;
    if (next_ == plans.size() || plans[next_].opening != opening) return nullptr;
    steps = &batches_[batch].steps;
    return &plans[next_];
  }

 private:
  // Plans are published in batches: those of the invoices opening in one region of this
  // many bytes.
  static constexpr std::int64_t kRegion = 1 << 20;
  // state_: twice the number of batches done, plus kEnded once the thread has stopped.
  static constexpr std::int64_t kEnded = 1;
  static std::size_t Done(std::int64_t state) { return static_cast<std::size_t>(state >> 1); }

  struct Batch {
    std::vector<InvoicePlan> plans;
    std::vector<LineStep> steps;
  };

  void Run() {
    const auto size = static_cast<std::int64_t>(text_.size());
    const auto opening_size = static_cast<std::int64_t>(kInvoiceOpening.size());
    std::vector<Marked> marks;
    std::int64_t pos = from_;
    std::size_t done = 0;
    try {
      for (; done < batches_.size(); ++done) {
        if (stop_.load(std::memory_order_relaxed)) break;
        Batch& batch = batches_[done];
        const std::int64_t region_end = from_ + (std::int64_t(done) + 1) * kRegion;
        while (pos < region_end) {
          const std::int64_t last = std::min(region_end, size - opening_size + 1) - 1;
          const std::int64_t opening =
              pos <= last ? FindTagInText(text_.data(), pos, last, kInvoiceOpening) : -1;
          if (opening < 0) {
            pos = region_end;
            break;
          }
          // Searched from just after the last plan's closing tag.
          if (!batch.plans.empty()) batch.plans.back().next_opening = opening;
          InvoicePlan plan;
          if (!PlanInvoice(text_.substr(std::size_t(opening)), opening, marks, plan, batch.steps))
            throw std::length_error("the text ends inside an invoice");
          batch.plans.push_back(plan);
          pos = plan.closing + 1;
        }
        state_.store(std::int64_t(done + 1) << 1, std::memory_order_release);
        state_.notify_all();
      }
    } catch (const std::exception&) {
      // Out of memory, or an invoice that runs to the end: the pass plans the rest itself.
    }
    state_.store((std::int64_t(done) << 1) | kEnded, std::memory_order_release);
    state_.notify_all();
  }

  std::string_view text_;
  std::int64_t from_;
  std::vector<Batch> batches_;
  std::atomic<std::int64_t> state_{0};
  std::atomic<bool> stop_{false};
  std::thread thread_;
  // Where the last Find left off.
  std::size_t batch_ = 0;
  std::size_t next_ = 0;
};

class InvoicePass {
 public:
  InvoicePass(InspectionContext& ctx, WalkAhead walk_ahead)
      : ctx_(ctx), doc_(ctx.doc), lines_(ctx.doc), walk_ahead_(walk_ahead) {}

  // The element scan over the invoices, which takes the next opening from the plan of the
  // last invoice where that knows it.
  void Run() {
    for (std::int64_t pos = 0; pos < doc_.size();) {
      const std::int64_t hit =
          next_known_ >= 0 ? next_known_ : doc_.FindTag(pos, doc_.size(), kInvoiceOpening);
      next_known_ = -1;
      if (hit < 0) return;
      pos = hit + InspectInvoice(hit);
    }
  }

 private:
  std::int64_t InspectInvoice(std::int64_t offset) {
    if (offset <= 0)
      throw InspectionError("Erro ao processar documento! (" + ToDecimal(offset) + ")");
    // An invoice is planned in one walk where it lies in one stretch of memory (nearly
    // always: the passes before this one do not repair invoices), by this thread or
    // ahead of it by another; otherwise it is read by searches.
    const std::string_view stretch = doc_.ContiguousFrom(offset);
    if (!walk_ahead_tried_) StartWalkingAhead(offset);
    const std::int64_t loaded = ahead_ ? doc_.LoadedOffset(offset) : -1;
    if (loaded >= 0) {
      const std::vector<LineStep>* steps = nullptr;
      const InvoicePlan* plan = ahead_->Find(loaded, steps);
      // That plan's walk went over the loaded text to its end; the stretch may end sooner,
      // and the plan holds for it only where a walk of the stretch gets as far.
      const auto reach = static_cast<std::int64_t>(stretch.size()) + loaded;
      if (plan && plan->closing + std::int64_t(kLongestWalkedTag) <= reach) {
        const std::int64_t advance = Carry(offset, *plan, *steps, doc_.LoadedText(), 0);
        // The next opening holds too where the stretch reaches it and no step searched
        // (and so maybe repaired) beyond the invoice: what lies between is then as loaded,
        // moved as far as the closing tag.
        if (plan->next_opening >= 0 &&
            plan->next_opening + std::int64_t(kInvoiceOpening.size()) <= reach &&
            !HasSearch(*plan, *steps))
          next_known_ = plan->next_opening + (offset + advance - 1 - plan->closing);
        return advance;
      }
    }
    steps_.clear();
    if (PlanInvoice(stretch, offset, marks_, plan_, steps_))
      return Carry(offset, plan_, steps_, stretch, offset);
    return InspectBySearches(offset);
  }

  static bool HasSearch(const InvoicePlan& plan, const std::vector<LineStep>& steps) {
    for (std::size_t k = plan.first_step; k < plan.first_step + plan.step_count; ++k)
      if (steps[k].kind == LineStep::Kind::kSearch) return true;
    return false;
  }

  // On a large document, the invoices from halfway between the first one and the end on
  // are planned ahead on another thread.
  void StartWalkingAhead(std::int64_t first_invoice) {
    walk_ahead_tried_ = true;
    const std::string_view text = doc_.LoadedText();
    const std::int64_t first = doc_.LoadedOffset(first_invoice);
    if (walk_ahead_ == WalkAhead::kNever || first < 0 ||
        (walk_ahead_ == WalkAhead::kLargeDocuments && doc_.size() < kWalkAheadSize))
      return;
    try {
      ahead_ = std::make_unique<InvoiceLookahead>(
          text, first + (static_cast<std::int64_t>(text.size()) - first) / 2);
    } catch (const std::exception&) {
      // No thread or no memory for one: every invoice is planned here.
    }
  }

  // Carries out the plan of the invoice at `offset`. `walked` is the text the plan was
  // made on, starting at walked offset `walked_base`: it stays readable through the
  // repairs (they add new pieces and leave the bytes they replace where they are). The
  // repairs lie inside lines and put no tags in or out, so a walked position p stands at
  // p + (how far the closing tag has moved from its walked offset) in the document.
  std::int64_t Carry(std::int64_t offset, const InvoicePlan& plan,
                     const std::vector<LineStep>& steps, std::string_view walked,
                     std::int64_t walked_base) {
    Document::Anchor closing_anchor(doc_, plan.closing + (offset - plan.opening));
    if (!plan.number_ok) throw InspectionError(InvalidFileMessage("i0"));
    // The values a repair's log line shows may lie in memory this thread has not read
    // (a plan made on the other thread): ask for them all at once rather than wait for
    // each in turn.
    if (plan.number_ok && plan.step_count > 0)
      Prefetch(walked.data() + (plan.number.value_start - walked_base));
    for (std::size_t k = plan.first_step; k < plan.first_step + plan.step_count; ++k) {
      if (steps[k].kind != LineStep::Kind::kRepair) continue;
      Prefetch(walked.data() + (steps[k].at - walked_base));
      Prefetch(walked.data() + (steps[k].number.value_start - walked_base));
    }
    std::optional<std::string> number;  // decoded when first needed
    auto invoice_number = [&]() -> const std::string& {
      if (!number) number = doc_.Decode(ValueOf(walked, walked_base, plan.number));
      return *number;
    };
    for (std::size_t k = plan.first_step; k < plan.first_step + plan.step_count; ++k) {
      const LineStep& step = steps[k];
      const std::int64_t shift = closing_anchor.pos() - plan.closing;
      switch (step.kind) {
        case LineStep::Kind::kBadNumber:
          throw InspectionError(InvalidFileMessage("l0"));
        case LineStep::Kind::kBadUnit:
          throw InspectionError(InvalidFileMessage("i1"));
        case LineStep::Kind::kRepair:
          Repair(step.at + shift, invoice_number(), ValueOf(walked, walked_base, step.number),
                 walked.substr(static_cast<std::size_t>(step.at - walked_base),
                               static_cast<std::size_t>(step.length)));
          break;
        case LineStep::Kind::kSearch:
          ScanLines(step.at + shift, invoice_number(), closing_anchor);
          break;
      }
    }
    return closing_anchor.pos() + 1 - offset;
  }

  // The pass where an invoice cannot be walked: a search for each tag.
  std::int64_t InspectBySearches(std::int64_t offset) {
    std::int64_t closing = FindClosingTag(doc_, offset, kInvoiceClosing);
    if (closing < 0) return doc_.size() - offset;
    Document::Anchor closing_anchor(doc_, closing);
    WorkingBlock block = WorkingBlock::Of(offset, closing + std::int64_t(kInvoiceClosing.size()));
    auto number = TagValue(doc_, block, "INVOICENO");
    if (!number || IsBlank(*number)) throw InspectionError(InvalidFileMessage("i0"));
    ScanLines(offset, *number, closing_anchor);
    return closing_anchor.pos() + 1 - offset;
  }

  // The line scan from `from` to the invoice's closing tag, a search for each tag.
  void ScanLines(std::int64_t from, const std::string& invoice_number,
                 const Document::Anchor& closing_anchor) {
    ScanElements(
        doc_, from, [&] { return closing_anchor.pos(); }, "<LINE>",
        [&](std::int64_t line) { return InspectInvoiceLine(line, invoice_number); });
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
  // Room for planning here.
  std::vector<Marked> marks_;
  InvoicePlan plan_;
  std::vector<LineStep> steps_;
  const WalkAhead walk_ahead_;
  bool walk_ahead_tried_ = false;
  std::int64_t next_known_ = -1;             // where the next invoice opens, when a plan said so
  std::unique_ptr<InvoiceLookahead> ahead_;  // last: its thread stops before the rest goes
};

}  // namespace

void InspectInvoices(InspectionContext& ctx, WalkAhead walk_ahead) {
  InvoicePass(ctx, walk_ahead).Run();
}

}  // namespace verifax
