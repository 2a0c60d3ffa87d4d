#include <optional>

#include "inspection/errors.h"
#include "inspection/passes.h"
#include "inspection/tag_scan.h"
#include "inspection/text_util.h"

namespace verifax {

namespace {

constexpr std::string_view kInvoiceClosing = "</INVOICE>";
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

class InvoicePass {
 public:
  explicit InvoicePass(InspectionContext& ctx) : ctx_(ctx), doc_(ctx.doc), lines_(ctx.doc) {}

  void Run() {
    ScanElements(
        doc_, 0, [&] { return doc_.size(); }, "<INVOICE>",
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
        [&](std::int64_t line) { return InspectInvoiceLine(line, *number); });
    return closing_anchor.pos() + 1 - offset;
  }

  std::int64_t InspectInvoiceLine(std::int64_t offset, const std::string& invoice_number) {
    if (offset <= 0) throw InspectionError("Erro ao processar linha! (" + ToDecimal(offset) + ")");
    std::int64_t closing = lines_.Find(offset);
    if (closing < 0) return doc_.size() - offset;
    std::int64_t advance = closing + 1 - offset;
    WorkingBlock block = WorkingBlock::Of(offset, closing + std::int64_t(kLineClosing.size()));

    auto line_number = TagValue(doc_, block, "LINENUMBER");
    if (!line_number || IsBlank(*line_number)) throw InspectionError(InvalidFileMessage("l0"));
    auto unit = TagValue(doc_, block, "UNITOFMEASURE");
    if (!unit) throw InspectionError(InvalidFileMessage("i1"));
    if (!IsBlank(*unit)) return advance;

    // The repair lies inside the line, before its closing tag.
    std::int64_t before = doc_.size();
    ReplaceTagValue("UNITOFMEASURE", block, doc_, "Un");
    ctx_.LogRepair("> Doc. #" + invoice_number + "  Linha #" + *line_number +
                   " (UnitOfMeasure): \"" + *unit + "\" -> \"Un\"");
    return advance + (doc_.size() - before);
  }

  InspectionContext& ctx_;
  Document& doc_;
  LineClosingCache lines_;
};

}  // namespace

void InspectInvoices(InspectionContext& ctx) { InvoicePass(ctx).Run(); }

}  // namespace verifax
