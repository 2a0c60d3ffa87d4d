#include <charconv>
#include <cmath>

#include "inspection/accepted_values.h"
#include "inspection/errors.h"
#include "inspection/passes.h"
#include "inspection/tag_scan.h"
#include "inspection/text_util.h"

namespace verifax {

bool ConvertRegionalNumber(std::string_view text, const NumberFormat& format, double& value) {
  text = Trim(text);
  std::string normalized;
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) normalized += text[i++];
  bool digits = false;
  auto take_digits = [&] {
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
      normalized += text[i++];
      digits = true;
    }
  };
  take_digits();
  const std::string& separator = format.decimal_separator;
  if (!separator.empty() && text.substr(i, separator.size()) == separator) {
    i += separator.size();
    normalized += '.';
    take_digits();
  }
  if (!digits) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    normalized += 'e';
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) normalized += text[i++];
    std::size_t before = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') normalized += text[i++];
    if (i == before) return false;
  }
  if (i != text.size()) return false;
  const char* first = normalized.data();
  const char* last = first + normalized.size();
  if (*first == '+') ++first;  // from_chars takes no plus sign
  auto [end, error] = std::from_chars(first, last, value);
  return error == std::errc() && end == last && std::isfinite(value);
}

namespace {

// A number brought to two decimals, ties to the even neighbour; -1 when it does not
// convert.
double TwoDecimals(std::string_view text, const NumberFormat& format) {
  double value = 0;
  if (!ConvertRegionalNumber(text, format, value)) return -1;
  return std::nearbyint(value * 100) / 100;
}

}  // namespace

void InspectTaxTable(InspectionContext& ctx) {
  ScanElements(
      ctx.doc, 0, [&] { return ctx.doc.size(); }, kTaxEntryOpening,
      [&](std::int64_t offset) { return InspectTaxEntry(ctx, offset); });
}

std::int64_t InspectTaxEntry(InspectionContext& ctx, std::int64_t offset) {
  Document& doc = ctx.doc;
  if (offset <= 0)
    throw InspectionError("Erro ao processar taxa de iva! (" + ToDecimal(offset) + ")");

  const std::string_view kClosing = "</TAXTABLEENTRY>";
  std::int64_t closing = FindClosingTag(doc, offset, kClosing);
  if (closing < 0) return doc.size() - offset;
  Document::Anchor closing_anchor(doc, closing);
  WorkingBlock block = WorkingBlock::Of(offset, closing + std::int64_t(kClosing.size()));
  auto advance = [&] { return closing_anchor.pos() + 1 - offset; };

  auto description = TagValue(doc, block, "DESCRIPTION");
  if (!description || IsBlank(*description)) throw InspectionError(InvalidFileMessage("t0"));

  auto type = TagValue(doc, block, "TAXTYPE");
  if (!type) throw InspectionError(InvalidFileMessage("t1"));
  std::string_view trimmed_type = Trim(*type);
  if (trimmed_type != "IVA" && trimmed_type != "IS")
    throw InspectionError(InvalidFileMessage("t1"));

  auto region = TagValue(doc, block, "TAXCOUNTRYREGION");
  if (!region || !InList(TaxCountriesAllowed(), *region))
    throw InspectionError(InvalidFileMessage("t2"));
  if (region->find("PT") == std::string::npos) return advance();

  auto percentage = TagValue(doc, block, "TAXPERCENTAGE");
  if (!percentage) throw InspectionError(InvalidFileMessage("t3"));
  auto code = TagValue(doc, block, "TAXCODE");
  if (!code) throw InspectionError(InvalidFileMessage("t4"));

  auto log_code_choice = [&](const std::string& new_code) {
    ctx.LogRepair("> Taxa \"" + *description + " (" + *percentage + ")\" (código): \"" + *code +
                  "\" -> \"" + new_code + "\"");
  };

  if (!InList(TaxCodesAllowed(), *code) && *type == "IVA") {
    std::string key = AsciiUpper(Trim(*percentage));
    for (const TTax& known : ctx.tax_info) {
      if (AsciiUpper(Trim(known.percentage)) == key) {
        std::string new_code(Trim(known.code));
        ReplaceTagValue("TAXCODE", block, doc, new_code);
        log_code_choice(new_code);
        return advance();
      }
    }
    TTax question{*code, *description, *percentage};
    TTax answer;
    if (!ctx.prompts.EditTaxInfo(question, answer)) throw InspectionError(kNothingUpdatedMessage);
    std::string new_code(Trim(answer.code));
    if (!InList(TaxCodesAllowed(), new_code)) throw InspectionError(kNothingUpdatedMessage);
    ReplaceTagValue("TAXCODE", block, doc, new_code);
    log_code_choice(new_code);
    ctx.tax_info.push_back(TTax{answer.code, *description, *percentage});
  } else if (*type == "IS") {
    double percentage_number = TwoDecimals(*percentage, ctx.number_format);
    double code_number = TwoDecimals(*code, ctx.number_format);
    if (percentage_number < 0 || code_number < 0 || percentage_number != code_number) {
      ReplaceTagValue("TAXCODE", block, doc, *percentage);
      ctx.LogRepair("> Taxa #" + *description + " (código): \"" + *code + "\" -> \"" + *percentage +
                    "\"");
    }
  }
  return advance();
}

}  // namespace verifax
