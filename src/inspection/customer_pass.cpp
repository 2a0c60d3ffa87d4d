#include "inspection/accepted_values.h"
#include "inspection/errors.h"
#include "inspection/passes.h"
#include "inspection/tag_scan.h"
#include "inspection/text_util.h"
#include "inspection/validators.h"

namespace verifax {

namespace {

constexpr std::string_view kUnknown = "Desconhecido";

void Repair(InspectionContext& ctx, WorkingBlock& block, std::string_view name,
            const std::string& customer_id, std::string_view label, const std::string& old_value) {
  ReplaceTagValue(name, block, ctx.doc, kUnknown);
  ctx.LogRepair("> Cliente #" + customer_id + std::string(label) + "\"" + old_value + "\" -> \"" +
                std::string(kUnknown) + "\"");
}

}  // namespace

void InspectCustomers(InspectionContext& ctx) {
  ScanElements(
      ctx.doc, 0, [&] { return ctx.doc.size(); }, kCustomerOpening,
      [&](std::int64_t offset) { return InspectCustomer(ctx, offset); });
}

std::int64_t InspectCustomer(InspectionContext& ctx, std::int64_t offset) {
  Document& doc = ctx.doc;
  if (offset <= 0) throw InspectionError("Erro ao processar cliente! (" + ToDecimal(offset) + ")");

  const std::string_view kClosing = "</CUSTOMER>";
  std::int64_t closing = FindClosingTag(doc, offset, kClosing);
  if (closing < 0) return doc.size() - offset;
  // The advance is measured to the closing tag, which repairs inside the customer move.
  Document::Anchor closing_anchor(doc, closing);
  WorkingBlock block = WorkingBlock::Of(offset, closing + std::int64_t(kClosing.size()));

  auto id = TagValue(doc, block, "CUSTOMERID");
  if (!id || IsBlank(*id)) throw InspectionError(InvalidFileMessage("c0"));

  auto name = TagValue(doc, block, "COMPANYNAME");
  if (!name) throw InspectionError(InvalidFileMessage("c1"));
  if (IsBlank(*name)) Repair(ctx, block, "COMPANYNAME", *id, " (companyname): ", *name);

  auto city = TagValue(doc, block, "CITY");
  if (!city) throw InspectionError(InvalidFileMessage("c1"));
  if (IsBlank(*city)) Repair(ctx, block, "CITY", *id, " (cidade): ", *city);

  auto postalcode = TagValue(doc, block, "POSTALCODE");
  if (!postalcode) throw InspectionError(InvalidFileMessage("c2"));
  if (*postalcode != kUnknown && !IsPostalCodeValid(*postalcode))
    Repair(ctx, block, "POSTALCODE", *id, " (cód. postal): ", *postalcode);

  bool tax_id_valid = true;
  auto tax_id = TagValue(doc, block, "CUSTOMERTAXID");
  if (!tax_id) throw InspectionError(InvalidFileMessage("c2"));
  if (*tax_id != "999999990" && !IsNIFValid(*tax_id, "PT", false)) tax_id_valid = false;

  auto country = TagValue(doc, block, "COUNTRY");
  if (!country) throw InspectionError(InvalidFileMessage("c3"));
  bool keep = *country == kUnknown ||
              (!IsBlank(*country) && tax_id_valid && InList(CountriesAllowed(), *country)) ||
              Utf16Left(*tax_id, 2) == *country;
  if (!keep) Repair(ctx, block, "COUNTRY", *id, " (país): ", *country);

  return closing_anchor.pos() + 1 - offset;
}

}  // namespace verifax
