#pragma once

#include <string>
#include <vector>

namespace verifax::testing {

/// Builds small SAF-T documents whose parts tests replace one at a time. The defaults
/// make a document without defects.
struct SaftBuilder {
  std::string certificate = "3301/AT";
  std::string city = "Lisboa";
  std::string postal_code = "1000-001";
  std::string country = "PT";
  std::string nif = "999999990";
  std::vector<std::string> customers = {
      Customer("C1", "Ana", "Porto", "4000-001", "123456789", "PT")};
  std::vector<std::string> tax_entries = {TaxEntry("IVA", "PT", "NOR", "Normal", "23")};
  std::vector<std::string> invoices = {Invoice("FT A/1", {Line("1", "UN")})};

  static std::string Customer(const std::string& id, const std::string& name,
                              const std::string& city, const std::string& postal,
                              const std::string& tax_id, const std::string& country) {
    return "<Customer>\r\n<CustomerID>" + id + "</CustomerID>\r\n<CustomerTaxID>" + tax_id +
           "</CustomerTaxID>\r\n<CompanyName>" + name +
           "</CompanyName>\r\n<BillingAddress>\r\n<City>" + city + "</City>\r\n<PostalCode>" +
           postal + "</PostalCode>\r\n<Country>" + country +
           "</Country>\r\n</BillingAddress>\r\n</Customer>\r\n";
  }

  static std::string TaxEntry(const std::string& type, const std::string& region,
                              const std::string& code, const std::string& description,
                              const std::string& percentage) {
    return "<TaxTableEntry>\r\n<TaxType>" + type + "</TaxType>\r\n<TaxCountryRegion>" + region +
           "</TaxCountryRegion>\r\n<TaxCode>" + code + "</TaxCode>\r\n<Description>" + description +
           "</Description>\r\n<TaxPercentage>" + percentage +
           "</TaxPercentage>\r\n</TaxTableEntry>\r\n";
  }

  static std::string Line(const std::string& number, const std::string& unit) {
    return "<Line>\r\n<LineNumber>" + number + "</LineNumber>\r\n<UnitOfMeasure>" + unit +
           "</UnitOfMeasure>\r\n</Line>\r\n";
  }

  static std::string Invoice(const std::string& number, const std::vector<std::string>& lines) {
    std::string text = "<Invoice>\r\n<InvoiceNo>" + number + "</InvoiceNo>\r\n";
    for (const auto& line : lines) text += line;
    return text + "</Invoice>\r\n";
  }

  std::string Header() const {
    return "<Header>\r\n<SoftwareCertificateNumber>" + certificate +
           "</SoftwareCertificateNumber>\r\n<CompanyAddress>\r\n<City>" + city +
           "</City>\r\n<PostalCode>" + postal_code + "</PostalCode>\r\n<Country>" + country +
           "</Country>\r\n</CompanyAddress>\r\n<TaxRegistrationNumber>" + nif +
           "</TaxRegistrationNumber>\r\n</Header>\r\n";
  }

  std::string Build() const {
    std::string text = "<?xml version=\"1.0\" encoding=\"Windows-1252\"?>\r\n<AuditFile>\r\n" +
                       Header() + "<MasterFiles>\r\n";
    for (const auto& c : customers) text += c;
    text += "<TaxTable>\r\n";
    for (const auto& e : tax_entries) text += e;
    text += "</TaxTable>\r\n</MasterFiles>\r\n<SourceDocuments>\r\n<SalesInvoices>\r\n";
    for (const auto& i : invoices) text += i;
    return text + "</SalesInvoices>\r\n</SourceDocuments>\r\n</AuditFile>\r\n";
  }
};

}  // namespace verifax::testing
