#include "inspection/errors.h"
#include "inspection/passes.h"
#include "inspection/tag_scan.h"
#include "inspection/text_util.h"
#include "inspection/validators.h"

namespace verifax {

const char* const kNothingUpdatedMessage =
    "Não foi atualizada qualquer informação!\r\nO ficheiro SAFT continua inválido.";

void InspectionContext::LogRepair(std::string_view text) {
  ++error_cnt;
  log.Log(ToDecimal(error_cnt) + std::string(text));
}

namespace {

// The header must close within the first 100000 characters of the text.
constexpr std::int64_t kHeaderBound = 100000;

bool IsAcceptedCertificate(std::string_view number) {
  return number == "3301/AT" || number == "3302/AT" || number == "3304/AT" || number == "5817/AT";
}

std::string Quoted(std::string_view old_value, std::string_view new_value) {
  return "\"" + std::string(old_value) + "\" -> \"" + std::string(new_value) + "\"";
}

}  // namespace

void InspectHeader(InspectionContext& ctx) {
  Document& doc = ctx.doc;
  const std::string_view kClosing = "</HEADER>";

  // A closing tag that starts at one of the first kHeaderBound character offsets.
  std::int64_t limit = doc.OffsetOfUtf16Unit(kHeaderBound);
  std::int64_t closing = doc.FindTag(0, limit - 1 + std::int64_t(kClosing.size()), kClosing);
  if (closing < 0 || closing >= limit) throw InspectionError(InvalidFileMessage("h0"));

  WorkingBlock block = WorkingBlock::Materialized(doc, 0, closing + std::int64_t(kClosing.size()));

  TagPair header = FindTagPair(doc, block, "HEADER");
  if (!header.usable()) throw InspectionError(InvalidFileMessage("h1"));
  if (IsBlank(doc.Text(header.value_start, header.close)))
    throw InspectionError(InvalidFileMessage("h2"));

  auto certificate = TagValue(doc, block, "SOFTWARECERTIFICATENUMBER");
  if (!certificate) throw InspectionError(InvalidFileMessage("h3"));
  if (!IsAcceptedCertificate(AsciiUpper(*certificate)))
    throw InspectionError(InvalidFileMessage("h4"));

  auto old_city = TagValue(doc, block, "CITY");
  if (!old_city) throw InspectionError(InvalidFileMessage("h5"));
  auto old_postalcode = TagValue(doc, block, "POSTALCODE");
  if (!old_postalcode) throw InspectionError(InvalidFileMessage("h6"));
  auto old_country = TagValue(doc, block, "COUNTRY");
  if (!old_country) throw InspectionError(InvalidFileMessage("h7"));
  auto old_nif = TagValue(doc, block, "TAXREGISTRATIONNUMBER");
  if (!old_nif) throw InspectionError(InvalidFileMessage("h8"));

  if (AsciiUpper(*old_country) != "PT") {
    ReplaceTagValue("COUNTRY", block, doc, "PT");
    ctx.LogRepair("> Empresa (país): " + Quoted(*old_country, "PT"));
  }

  TCompany question;
  question.city = *old_city;
  question.postalcode = *old_postalcode;
  question.nif = *old_nif;
  question.edit_address = IsBlank(*old_city) || !IsPostalCodeValid(*old_postalcode);
  question.edit_nif = !IsNIFValid(*old_nif, "PT", true);
  if (!question.edit_address && !question.edit_nif) return;

  TCompany answer;
  if (!ctx.prompts.EditCompanyInfo(question, answer)) throw InspectionError(kNothingUpdatedMessage);

  if (question.edit_address) {
    if (IsBlank(Trim(answer.city)) || !IsPostalCodeValid(answer.postalcode))
      throw InspectionError("Informações introduzidas estão incorrectas! (Cód. Postal / Cidade)");
    ReplaceTagValue("CITY", block, doc, answer.city);
    ReplaceTagValue("POSTALCODE", block, doc, answer.postalcode);
    ctx.LogRepair("> Empresa (Cidade): " + Quoted(*old_city, answer.city));
    ctx.LogRepair("> Empresa (Cód. Postal): " + Quoted(*old_postalcode, answer.postalcode));
  }
  if (question.edit_nif) {
    if (!IsNIFValid(answer.nif, "PT", true))
      throw InspectionError("Informações introduzidas estão incorrectas! (NIF)");
    ReplaceTagValue("TAXREGISTRATIONNUMBER", block, doc, answer.nif);
    ctx.LogRepair("> Empresa (NIF): " + Quoted(*old_nif, answer.nif));
  }
}

}  // namespace verifax
