// verifax-gen-saft: writes a large, structurally sound SAF-T (PT) file for benchmarks.
//
// The file has a valid header, customers, products, a tax table and sales invoices whose
// lines all carry a unit of measure; a chosen number of lines, spread evenly through the
// invoices by byte position, get an empty <UnitOfMeasure></UnitOfMeasure> instead. Nothing
// else in the file needs repairing. The output depends only on the options (seed included).

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::string_view kUsage =
    "Usage: verifax-gen-saft [options] -o FILE\n"
    "Writes a structurally valid SAF-T (PT) file of about the requested size.\n"
    "\n"
    "  --size BYTES          approximate size (suffixes K, M, G: binary units; default 64M)\n"
    "  --blank-units N       lines given an empty <UnitOfMeasure>, spread evenly (default 0)\n"
    "  --encoding ENC        cp1252 (default) or utf8bom (EF BB BF, then UTF-8)\n"
    "  --crlf | --lf         line ends (default --crlf)\n"
    "  --seed N              seed of the pseudo-random content (default 1)\n"
    "  -o, --output FILE     file to write\n"
    "  -h, --help            show this text\n"
    "\n"
    "Prints one summary line on stdout. Exit status: 0 written, 1 I/O error, 64 bad usage.\n";

constexpr std::uint64_t kMaxBlankUnits = 1000000000;

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class Encoding { kCp1252, kUtf8Bom };

struct Options {
  std::uint64_t size = 64ull << 20;
  std::uint64_t blank_units = 0;
  Encoding encoding = Encoding::kCp1252;
  bool crlf = true;
  std::uint64_t seed = 1;
  std::string output;
};

std::uint64_t ParseCount(std::string_view name, std::string_view text, bool allow_suffix) {
  std::uint64_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  std::string_view rest(end, text.data() + text.size() - end);
  if (ec != std::errc() || end == text.data()) {
    throw UsageError("invalid number for " + std::string(name) + ": " + std::string(text));
  }
  if (allow_suffix && rest.size() == 1) {
    static constexpr std::string_view kSuffixes = "KMG";
    if (auto unit = kSuffixes.find(static_cast<char>(rest[0] & ~0x20));
        unit != std::string_view::npos) {
      const int shift = 10 * static_cast<int>(unit + 1);
      if (value <= (UINT64_MAX >> shift)) return value << shift;
    }
  }
  if (!rest.empty()) {
    throw UsageError("invalid number for " + std::string(name) + ": " + std::string(text));
  }
  return value;
}

/// Parses the command line; returns false when only the help text was asked for.
bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    std::string_view name = arg;
    std::string_view inline_value;
    bool has_inline = false;
    if (arg.starts_with("--")) {
      if (auto eq = arg.find('='); eq != std::string_view::npos) {
        name = arg.substr(0, eq);
        inline_value = arg.substr(eq + 1);
        has_inline = true;
      }
    }
    auto value = [&]() -> std::string_view {
      if (has_inline) return inline_value;
      if (i + 1 >= argc) throw UsageError("missing value for " + std::string(name));
      return argv[++i];
    };
    if (name == "-h" || name == "--help") {
      std::cout << kUsage;
      return false;
    } else if (name == "--size") {
      options.size = ParseCount(name, value(), true);
    } else if (name == "--blank-units") {
      options.blank_units = ParseCount(name, value(), false);
      if (options.blank_units > kMaxBlankUnits) throw UsageError("too many blank units");
    } else if (name == "--encoding") {
      std::string_view v = value();
      if (v == "cp1252") {
        options.encoding = Encoding::kCp1252;
      } else if (v == "utf8bom") {
        options.encoding = Encoding::kUtf8Bom;
      } else {
        throw UsageError("unknown encoding: " + std::string(v));
      }
    } else if (name == "--crlf" && !has_inline) {
      options.crlf = true;
    } else if (name == "--lf" && !has_inline) {
      options.crlf = false;
    } else if (name == "--seed") {
      options.seed = ParseCount(name, value(), false);
    } else if (name == "-o" || name == "--output") {
      options.output = std::string(value());
    } else {
      throw UsageError("unknown option: " + std::string(arg));
    }
  }
  if (options.output.empty()) throw UsageError("no output file given (-o FILE)");
  return true;
}

/// Converts UTF-8 text to the output encoding. Only characters that Windows-1252 can hold
/// may appear in the generator's texts, so both encodings carry the same characters.
std::string Encode(std::string_view utf8, Encoding encoding) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    char32_t cp = 0;
    std::size_t len = 1;
    if (c < 0x80) {
      cp = c;
    } else if ((c & 0xE0) == 0xC0 && i + 1 < utf8.size()) {
      cp = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu);
      len = 2;
    } else if ((c & 0xF0) == 0xE0 && i + 2 < utf8.size()) {
      cp = ((c & 0x0Fu) << 12) | ((static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu) << 6) |
           (static_cast<unsigned char>(utf8[i + 2]) & 0x3Fu);
      len = 3;
    } else {
      throw std::logic_error("unsupported text in generator table");
    }
    if (encoding == Encoding::kUtf8Bom) {
      out.append(utf8.substr(i, len));
    } else if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
      out.push_back(static_cast<char>(cp));
    } else if (cp == U'€') {
      out.push_back('\x80');
    } else {
      throw std::logic_error("character outside Windows-1252 in generator table");
    }
    i += len;
  }
  return out;
}

/// xoshiro256** seeded through splitmix64: the same sequence on every platform, unlike the
/// standard distributions.
class Rng {
 public:
  explicit Rng(std::uint64_t seed) {
    for (auto& s : state_) {
      seed += 0x9E3779B97F4A7C15ull;
      std::uint64_t z = seed;
      z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
      z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
      s = z ^ (z >> 31);
    }
  }

  std::uint64_t Next() {
    const std::uint64_t result = Rotl(state_[1] * 5, 7) * 9;
    const std::uint64_t t = state_[1] << 17;
    state_[2] ^= state_[0];
    state_[3] ^= state_[1];
    state_[1] ^= state_[2];
    state_[0] ^= state_[3];
    state_[2] ^= t;
    state_[3] = Rotl(state_[3], 45);
    return result;
  }

  /// A number in [0, n).
  std::uint32_t Below(std::uint32_t n) {
    return static_cast<std::uint32_t>(((Next() >> 32) * n) >> 32);
  }

 private:
  static std::uint64_t Rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
  std::array<std::uint64_t, 4> state_;
};

/// Buffered writer of indented XML elements. Appends into one reused buffer and writes it
/// out in large blocks, so no element costs an allocation or a system call.
class XmlWriter {
 public:
  XmlWriter(std::ofstream& file, bool crlf) : file_(file), eol_(crlf ? "\r\n" : "\n") {
    buffer_.reserve(kFlushAt + (1 << 16));
  }

  std::uint64_t Offset() const { return flushed_ + buffer_.size(); }

  void Raw(std::string_view text) { buffer_.append(text); }
  void Eol() {
    buffer_.append(eol_);
    if (buffer_.size() >= kFlushAt) Flush();
  }

  /// Starts an element whose value the caller appends piecewise; End finishes it.
  void Begin(int depth, std::string_view tag) {
    Indent(depth);
    OpenTag(tag);
  }
  void End(std::string_view tag) {
    CloseTag(tag);
    Eol();
  }

  void Open(int depth, std::string_view tag) {
    Indent(depth);
    OpenTag(tag);
    Eol();
  }
  void Close(int depth, std::string_view tag) {
    Indent(depth);
    CloseTag(tag);
    Eol();
  }
  void Leaf(int depth, std::string_view tag, std::string_view value) {
    Indent(depth);
    OpenTag(tag);
    buffer_.append(value);
    CloseTag(tag);
    Eol();
  }
  void LeafInt(int depth, std::string_view tag, std::uint64_t value) {
    Indent(depth);
    OpenTag(tag);
    Int(value);
    CloseTag(tag);
    Eol();
  }
  /// Writes an amount in cents as units with two decimals ("12.05").
  void LeafMoney(int depth, std::string_view tag, std::uint64_t cents) {
    Indent(depth);
    OpenTag(tag);
    Money(cents);
    CloseTag(tag);
    Eol();
  }

  void Int(std::uint64_t value) {
    char digits[24];
    auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
    buffer_.append(digits, static_cast<std::size_t>(end - digits));
  }
  void Money(std::uint64_t cents) {
    Int(cents / 100);
    buffer_.push_back('.');
    buffer_.push_back(static_cast<char>('0' + cents / 10 % 10));
    buffer_.push_back(static_cast<char>('0' + cents % 10));
  }

  /// Overwrites bytes already written (the file must be seekable); used for totals that
  /// are only known at the end.
  void Patch(std::uint64_t offset, std::string_view bytes) {
    Flush();
    file_.seekp(static_cast<std::streamoff>(offset));
    file_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file_.seekp(0, std::ios::end);
  }

  void Flush() {
    file_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    flushed_ += buffer_.size();
    buffer_.clear();
  }

 private:
  static constexpr std::size_t kFlushAt = 8u << 20;
  static constexpr int kIndentWidth = 2;

  void Indent(int depth) { buffer_.append(static_cast<std::size_t>(depth * kIndentWidth), ' '); }
  void OpenTag(std::string_view tag) {
    buffer_.push_back('<');
    buffer_.append(tag);
    buffer_.push_back('>');
  }
  void CloseTag(std::string_view tag) {
    buffer_.append("</");
    buffer_.append(tag);
    buffer_.push_back('>');
  }

  std::ofstream& file_;
  std::string_view eol_;
  std::string buffer_;
  std::uint64_t flushed_ = 0;
};

// Texts are written here in UTF-8 and converted once, at start-up, to the output encoding.
// They contain no characters that need escaping beyond the "&amp;" written out.

struct City {
  std::string_view name;
  std::string_view postal_prefix;  // first four digits of its postal codes
};

constexpr City kCities[] = {
    {"Lisboa", "1000"},          {"Porto", "4000"},
    {"Ponta Delgada", "9500"},   {"Angra do Heroísmo", "9700"},
    {"Funchal", "9000"},         {"Évora", "7000"},
    {"Setúbal", "2900"},         {"Olhão", "8700"},
    {"Coimbra", "3000"},         {"Braga", "4700"},
    {"Guimarães", "4800"},       {"Santarém", "2000"},
    {"Portimão", "8500"},        {"Vila Nova de Gaia", "4400"},
    {"Póvoa de Varzim", "4490"}, {"Viseu", "3500"},
};

constexpr std::string_view kStreets[] = {
    "Rua de São João",     "Avenida da Liberdade", "Travessa do Carmo", "Largo da Sé",
    "Rua da Conceição",    "Praça do Comércio",    "Rua Açores",        "Avenida João XXI",
    "Rua dos Combatentes", "Calçada da Glória",    "Rua Direita",       "Estrada de Benfica",
};

constexpr std::string_view kFirstNames[] = {
    "João",      "Maria",  "José",  "Ana",       "António", "Inês",    "Gonçalo", "Beatriz",
    "Sebastião", "Leonor", "Tomás", "Conceição", "Luís",    "Matilde", "Simão",   "Lúcia",
};

constexpr std::string_view kSurnames[] = {
    "Silva", "Gonçalves", "Simões",  "Araújo",  "Magalhães", "Conceição", "Fernandes",
    "Gomes", "Lopes",     "Brandão", "Pestana", "Sequeira",  "Antunes",   "Falcão",
};

constexpr std::string_view kBusinesses[] = {
    "Pastelaria", "Mercearia", "Restaurante", "Café", "Padaria", "Talho", "Frutaria", "Papelaria",
};

struct TaxRate {
  std::string_view code;
  std::string_view percentage;
  std::uint32_t per_mille;  // percentage * 10
};

constexpr TaxRate kRates[] = {
    {"NOR", "23", 230}, {"INT", "13", 130}, {"RED", "6", 60}, {"ISE", "0", 0}};
enum RateIndex { kNor, kInt, kRed, kIse };

struct Product {
  std::string_view code;
  std::string_view description;
  std::string_view unit;
  std::uint32_t price_cents;
  RateIndex rate;
  std::string_view group;
};

constexpr Product kProducts[] = {
    {"PAS001", "Pão de Ló de Ovar", "UN", 1450, kRed, "Pastelaria"},
    {"PAS002", "Pastéis de nata (caixa de 6)", "CX", 720, kRed, "Pastelaria"},
    {"PAS003", "Queijadas de Sintra", "UN", 180, kRed, "Pastelaria"},
    {"PAS004", "Bolo-rei", "KG", 1690, kRed, "Pastelaria"},
    {"PAS005", "Broa de milho", "UN", 260, kRed, "Padaria"},
    {"PAS006", "Pão alentejano", "UN", 310, kRed, "Padaria"},
    {"MER001", "Açúcar amarelo", "KG", 145, kRed, "Mercearia"},
    {"MER002", "Café moído torra média", "UN", 499, kInt, "Mercearia"},
    {"MER003", "Azeite virgem extra 0,75 L", "UN", 789, kRed, "Mercearia"},
    {"MER004", "Mel de rosmaninho", "UN", 650, kRed, "Mercearia"},
    {"MER005", "Amêndoas torradas", "KG", 1290, kInt, "Mercearia"},
    {"MER006", "Bacalhau crescido", "KG", 1399, kRed, "Mercearia"},
    {"FRU001", "Maçã de Alcobaça", "KG", 189, kRed, "Frutaria"},
    {"FRU002", "Pêra Rocha do Oeste", "KG", 175, kRed, "Frutaria"},
    {"FRU003", "Ananás dos Açores", "UN", 590, kRed, "Frutaria"},
    {"LAC001", "Queijo São Jorge", "KG", 1845, kRed, "Lacticínios"},
    {"LAC002", "Leite meio-gordo", "LT", 89, kRed, "Lacticínios"},
    {"CHA001", "Chouriço de Évora", "UN", 425, kRed, "Charcutaria"},
    {"BEB001", "Vinho do Porto Tawny", "UN", 1250, kNor, "Bebidas"},
    {"BEB002", "Água mineral 1,5 L", "UN", 45, kRed, "Bebidas"},
    {"BEB003", "Sumo de laranja natural", "LT", 399, kNor, "Bebidas"},
    {"SER001", "Serviço de entrega ao domicílio", "UN", 500, kNor, "Serviços"},
    {"SER002", "Consultoria técnica", "HR", 4500, kNor, "Serviços"},
    {"SER003", "Formação profissional certificada", "HR", 3000, kIse, "Serviços"},
};

constexpr std::string_view kExemptionReason = "Isento artigo 9.º do CIVA";
constexpr std::string_view kExemptionCode = "M07";

/// Makes a valid Portuguese tax number (modulus-11 check digit) with an accepted first
/// digit.
std::string MakeNif(Rng& rng) {
  static constexpr char kFirst[] = {'1', '2', '5', '6', '8', '9'};
  char digits[9];
  digits[0] = kFirst[rng.Below(6)];
  for (int i = 1; i < 8; ++i) digits[i] = static_cast<char>('0' + rng.Below(10));
  int sum = 0;
  for (int i = 0; i < 8; ++i) sum += (digits[i] - '0') * (9 - i);
  int check = 11 - sum % 11;
  digits[8] = static_cast<char>('0' + (check >= 10 ? 0 : check));
  return std::string(digits, 9);
}

struct EncodedTables {
  std::vector<std::string> city_names;
  std::vector<std::string> streets;
  std::vector<std::string> first_names;
  std::vector<std::string> surnames;
  std::vector<std::string> businesses;
  std::vector<std::string> product_descriptions;
  std::vector<std::string> product_groups;
  std::string exemption_reason;
};

EncodedTables EncodeTables(Encoding encoding) {
  EncodedTables t;
  for (const auto& c : kCities) t.city_names.push_back(Encode(c.name, encoding));
  for (auto s : kStreets) t.streets.push_back(Encode(s, encoding));
  for (auto s : kFirstNames) t.first_names.push_back(Encode(s, encoding));
  for (auto s : kSurnames) t.surnames.push_back(Encode(s, encoding));
  for (auto s : kBusinesses) t.businesses.push_back(Encode(s, encoding));
  for (const auto& p : kProducts) {
    t.product_descriptions.push_back(Encode(p.description, encoding));
    t.product_groups.push_back(Encode(p.group, encoding));
  }
  t.exemption_reason = Encode(kExemptionReason, encoding);
  return t;
}

/// "YYYY-MM-DD" for each day of 2023, indexed from 0.
std::vector<std::string> DaysOf2023() {
  static constexpr int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  std::vector<std::string> days;
  char text[32];
  for (int m = 0; m < 12; ++m) {
    for (int d = 1; d <= kMonthDays[m]; ++d) {
      std::snprintf(text, sizeof text, "2023-%02d-%02d", m + 1, d);
      days.emplace_back(text);
    }
  }
  return days;
}

struct Summary {
  std::uint64_t customers = 0;
  std::uint64_t invoices = 0;
  std::uint64_t lines = 0;
  std::uint64_t blank_units = 0;
};

class Generator {
 public:
  Generator(const Options& options, XmlWriter& out)
      : options_(options),
        out_(out),
        rng_(options.seed),
        text_(EncodeTables(options.encoding)),
        days_(DaysOf2023()) {
    static constexpr char kBase64[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    hash_pool_.resize(8192);
    for (auto& c : hash_pool_) c = kBase64[rng_.Below(64)];
  }

  Summary Run() {
    WriteHeader();
    out_.Open(1, "MasterFiles");
    WriteCustomers();
    WriteProducts();
    WriteTaxTable();
    out_.Close(1, "MasterFiles");
    WriteInvoices();
    out_.Raw("</AuditFile>");
    out_.Eol();
    out_.Flush();
    return summary_;
  }

 private:
  static constexpr std::size_t kHashLength = 172;
  static constexpr int kCountWidth = 10;
  static constexpr int kAmountWidth = 15;

  std::string_view Text(std::string_view utf8) {
    scratch_ = Encode(utf8, options_.encoding);
    return scratch_;
  }

  void WriteHeader() {
    if (options_.encoding == Encoding::kUtf8Bom) {
      out_.Raw("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
    } else {
      out_.Raw("<?xml version=\"1.0\" encoding=\"Windows-1252\"?>");
    }
    out_.Eol();
    out_.Raw(
        "<AuditFile xmlns=\"urn:OECD:StandardAuditFile-Tax:PT_1.04_01\" "
        "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">");
    out_.Eol();
    out_.Open(1, "Header");
    out_.Leaf(2, "AuditFileVersion", "1.04_01");
    out_.Leaf(2, "CompanyID", Text("Conservatória de Lisboa 999999990"));
    out_.Leaf(2, "TaxRegistrationNumber", "999999990");
    out_.Leaf(2, "TaxAccountingBasis", "F");
    out_.Leaf(2, "CompanyName", Text("Pão de Ló &amp; Companhia, Lda."));
    out_.Leaf(2, "BusinessName", Text("Pastelaria Açoriana"));
    out_.Open(2, "CompanyAddress");
    out_.Leaf(3, "AddressDetail", Text("Rua da Conceição, 15"));
    out_.Leaf(3, "City", "Lisboa");
    out_.Leaf(3, "PostalCode", "1100-152");
    out_.Leaf(3, "Region", "Lisboa");
    out_.Leaf(3, "Country", "PT");
    out_.Close(2, "CompanyAddress");
    out_.Leaf(2, "FiscalYear", "2023");
    out_.Leaf(2, "StartDate", "2023-01-01");
    out_.Leaf(2, "EndDate", "2023-12-31");
    out_.Leaf(2, "CurrencyCode", "EUR");
    out_.Leaf(2, "DateCreated", "2024-01-15");
    out_.Leaf(2, "TaxEntity", "Global");
    out_.Leaf(2, "ProductCompanyTaxID", "999999990");
    out_.Leaf(2, "SoftwareCertificateNumber", "3301/AT");
    out_.Leaf(2, "ProductID", Text("Faturação Exemplo/Verifax"));
    out_.Leaf(2, "ProductVersion", "1.0");
    out_.Leaf(2, "HeaderComment", Text("Ficheiro gerado para ensaios de desempenho"));
    out_.Leaf(2, "Telephone", "213550000");
    out_.Leaf(2, "Email", "geral@exemplo.pt");
    out_.Close(1, "Header");
  }

  void WriteCustomers() {
    // One customer per 64 KiB keeps the master files a small, realistic share of the file.
    customer_count_ = std::clamp<std::uint64_t>(options_.size >> 16, 10, 1000000);
    char id[32];
    for (std::uint64_t i = 0; i < customer_count_; ++i) {
      out_.Open(2, "Customer");
      std::snprintf(id, sizeof id, "C%07llu", static_cast<unsigned long long>(i + 1));
      out_.Leaf(3, "CustomerID", id);
      out_.LeafInt(3, "AccountID", 2111000000ull + i + 1);
      if (i == 0) {
        // The usual final-consumer customer: generic tax number, unknown address.
        out_.Leaf(3, "CustomerTaxID", "999999990");
        out_.Leaf(3, "CompanyName", "Consumidor final");
        out_.Open(3, "BillingAddress");
        out_.Leaf(4, "AddressDetail", "Desconhecido");
        out_.Leaf(4, "City", "Desconhecido");
        out_.Leaf(4, "PostalCode", "Desconhecido");
        out_.Leaf(4, "Country", "Desconhecido");
        out_.Close(3, "BillingAddress");
      } else {
        out_.Leaf(3, "CustomerTaxID", MakeNif(rng_));
        WriteCustomerName();
        std::uint32_t city = rng_.Below(std::size(kCities));
        WriteAddress(3, "BillingAddress", city);
        if (rng_.Below(8) == 0) WriteAddress(3, "ShipToAddress", rng_.Below(std::size(kCities)));
      }
      out_.Leaf(3, "SelfBillingIndicator", "0");
      out_.Close(2, "Customer");
    }
    summary_.customers = customer_count_;
  }

  void WriteCustomerName() {
    out_.Begin(3, "CompanyName");
    if (rng_.Below(3) == 0) {
      out_.Raw(text_.businesses[rng_.Below(text_.businesses.size())]);
      out_.Raw(" ");
      out_.Raw(text_.surnames[rng_.Below(text_.surnames.size())]);
      out_.Raw(rng_.Below(2) ? " &amp; Filhos, Lda." : ", Unipessoal Lda.");
    } else {
      out_.Raw(text_.first_names[rng_.Below(text_.first_names.size())]);
      out_.Raw(" ");
      out_.Raw(text_.surnames[rng_.Below(text_.surnames.size())]);
      out_.Raw(" ");
      out_.Raw(text_.surnames[rng_.Below(text_.surnames.size())]);
    }
    out_.End("CompanyName");
  }

  void WriteAddress(int depth, std::string_view tag, std::uint32_t city) {
    out_.Open(depth, tag);
    out_.Begin(depth + 1, "AddressDetail");
    out_.Raw(text_.streets[rng_.Below(text_.streets.size())]);
    out_.Raw(", ");
    out_.Int(1 + rng_.Below(250));
    out_.End("AddressDetail");
    out_.Leaf(depth + 1, "City", text_.city_names[city]);
    char postal[9];
    std::copy(kCities[city].postal_prefix.begin(), kCities[city].postal_prefix.end(), postal);
    postal[4] = '-';
    std::uint32_t suffix = rng_.Below(1000);
    postal[5] = static_cast<char>('0' + suffix / 100);
    postal[6] = static_cast<char>('0' + suffix / 10 % 10);
    postal[7] = static_cast<char>('0' + suffix % 10);
    out_.Leaf(depth + 1, "PostalCode", std::string_view(postal, 8));
    out_.Leaf(depth + 1, "Country", "PT");
    out_.Close(depth, tag);
  }

  void WriteProducts() {
    for (std::size_t i = 0; i < std::size(kProducts); ++i) {
      const Product& p = kProducts[i];
      out_.Open(2, "Product");
      out_.Leaf(3, "ProductType", p.code.starts_with("SER") ? "S" : "P");
      out_.Leaf(3, "ProductCode", p.code);
      out_.Leaf(3, "ProductGroup", text_.product_groups[i]);
      out_.Leaf(3, "ProductDescription", text_.product_descriptions[i]);
      out_.LeafInt(3, "ProductNumberCode", 5601234000000ull + i * 17);
      out_.Close(2, "Product");
    }
  }

  void WriteTaxTable() {
    struct Entry {
      std::string_view region;
      std::string_view code;
      std::string_view description;
      std::string_view percentage;
    };
    static constexpr Entry kEntries[] = {
        {"PT", "NOR", "Taxa Normal", "23"},
        {"PT", "INT", "Taxa Intermédia", "13"},
        {"PT", "RED", "Taxa Reduzida", "6"},
        {"PT", "ISE", "Isenta", "0"},
        {"PT-AC", "NOR", "Taxa Normal Açores", "16"},
        {"PT-AC", "INT", "Taxa Intermédia Açores", "9"},
        {"PT-AC", "RED", "Taxa Reduzida Açores", "4"},
        {"PT-MA", "NOR", "Taxa Normal Madeira", "22"},
        {"PT-MA", "INT", "Taxa Intermédia Madeira", "12"},
        {"PT-MA", "RED", "Taxa Reduzida Madeira", "5"},
    };
    out_.Open(2, "TaxTable");
    for (const Entry& e : kEntries) {
      out_.Open(3, "TaxTableEntry");
      out_.Leaf(4, "TaxType", "IVA");
      out_.Leaf(4, "TaxCountryRegion", e.region);
      out_.Leaf(4, "TaxCode", e.code);
      out_.Leaf(4, "Description", Text(e.description));
      out_.Leaf(4, "TaxPercentage", e.percentage);
      out_.Close(3, "TaxTableEntry");
    }
    out_.Close(2, "TaxTable");
  }

  /// Writes an element whose value is patched at the end: returns the value's offset.
  std::uint64_t Placeholder(int depth, std::string_view tag, int width) {
    out_.Begin(depth, tag);
    std::uint64_t at = out_.Offset();
    out_.Raw(std::string(static_cast<std::size_t>(width), '0'));
    out_.End(tag);
    return at;
  }

  static std::string ZeroPadded(std::uint64_t value, int width) {
    std::string digits = std::to_string(value);
    return std::string(static_cast<std::size_t>(width) - digits.size(), '0') + digits;
  }

  void WriteInvoices() {
    out_.Open(1, "SourceDocuments");
    out_.Open(2, "SalesInvoices");
    const std::uint64_t count_at = Placeholder(3, "NumberOfEntries", kCountWidth);
    out_.Leaf(3, "TotalDebit", "0.00");
    const std::uint64_t credit_at = Placeholder(3, "TotalCredit", kAmountWidth + 3);

    // Blank units go to the first line at or after each of N evenly spaced byte positions
    // of the invoice section; the section grows past the target size when it must to hold
    // them all.
    static constexpr std::uint64_t kTailSize = 64;
    invoices_start_ = out_.Offset();
    invoices_end_ =
        std::max(options_.size > kTailSize ? options_.size - kTailSize : 0, invoices_start_ + 1);
    std::uint64_t total_net = 0;
    while (out_.Offset() < invoices_end_ || summary_.blank_units < options_.blank_units) {
      total_net += WriteInvoice();
    }
    out_.Close(2, "SalesInvoices");
    out_.Close(1, "SourceDocuments");

    std::string credit = ZeroPadded(total_net / 100, kAmountWidth) + "." +
                         static_cast<char>('0' + total_net / 10 % 10) +
                         static_cast<char>('0' + total_net % 10);
    out_.Patch(count_at, ZeroPadded(summary_.invoices, kCountWidth));
    out_.Patch(credit_at, credit);
  }

  bool NextLineIsBlank() {
    if (summary_.blank_units >= options_.blank_units) return false;
    // Position of blank unit k: the middle of the k-th of N equal slices of the section,
    // span * (2k + 1) / 2N computed without overflow (N is at most kMaxBlankUnits).
    const std::uint64_t span = invoices_end_ - invoices_start_;
    const std::uint64_t slices = 2 * options_.blank_units;
    const std::uint64_t odd = 2 * summary_.blank_units + 1;
    const std::uint64_t position = span / slices * odd + span % slices * odd / slices;
    return out_.Offset() >= invoices_start_ + position;
  }

  /// Writes one invoice and returns its net total in cents.
  std::uint64_t WriteInvoice() {
    const std::uint64_t number = ++summary_.invoices;
    const std::uint64_t day = std::min<std::uint64_t>(
        days_.size() - 1, (out_.Offset() - invoices_start_) * days_.size() /
                              std::max<std::uint64_t>(invoices_end_ - invoices_start_, 1));
    const std::string& date = days_[day];
    char time[32];
    std::uint32_t seconds = 8 * 3600 + rng_.Below(12 * 3600);
    std::snprintf(time, sizeof time, "T%02u:%02u:%02u", seconds / 3600, seconds / 60 % 60,
                  seconds % 60);

    out_.Open(3, "Invoice");
    out_.Begin(4, "InvoiceNo");
    out_.Raw("FT 2023A/");
    out_.Int(number);
    out_.End("InvoiceNo");
    out_.Begin(4, "ATCUD");
    out_.Raw("JFM3XT4K-");
    out_.Int(number);
    out_.End("ATCUD");
    out_.Open(4, "DocumentStatus");
    out_.Leaf(5, "InvoiceStatus", "N");
    out_.Begin(5, "InvoiceStatusDate");
    out_.Raw(date);
    out_.Raw(time);
    out_.End("InvoiceStatusDate");
    out_.Leaf(5, "SourceID", "Operador 1");
    out_.Leaf(5, "SourceBilling", "P");
    out_.Close(4, "DocumentStatus");
    out_.Leaf(4, "Hash",
              std::string_view(hash_pool_)
                  .substr(rng_.Below(hash_pool_.size() - kHashLength), kHashLength));
    out_.Leaf(4, "HashControl", "1");
    out_.LeafInt(4, "Period", day * 12 / days_.size() + 1);
    out_.Leaf(4, "InvoiceDate", date);
    out_.Leaf(4, "InvoiceType", "FT");
    out_.Open(4, "SpecialRegimes");
    out_.Leaf(5, "SelfBillingIndicator", "0");
    out_.Leaf(5, "CashVATSchemeIndicator", "0");
    out_.Leaf(5, "ThirdPartiesBillingIndicator", "0");
    out_.Close(4, "SpecialRegimes");
    out_.Leaf(4, "SourceID", "Operador 1");
    out_.Begin(4, "SystemEntryDate");
    out_.Raw(date);
    out_.Raw(time);
    out_.End("SystemEntryDate");
    char customer[32];
    std::snprintf(customer, sizeof customer, "C%07u", 1 + rng_.Below(customer_count_));
    out_.Leaf(4, "CustomerID", customer);

    std::uint64_t net = 0;
    std::uint64_t tax = 0;
    const std::uint32_t lines = 1 + rng_.Below(8);
    for (std::uint32_t n = 1; n <= lines; ++n) {
      const std::uint32_t index = rng_.Below(std::size(kProducts));
      const Product& p = kProducts[index];
      const TaxRate& rate = kRates[p.rate];
      const std::uint32_t quantity = 1 + rng_.Below(rng_.Below(4) == 0 ? 50 : 5);
      const std::uint64_t amount = std::uint64_t{quantity} * p.price_cents;
      net += amount;
      tax += (amount * rate.per_mille + 500) / 1000;

      out_.Open(4, "Line");
      out_.LeafInt(5, "LineNumber", n);
      out_.Leaf(5, "ProductCode", p.code);
      out_.Leaf(5, "ProductDescription", text_.product_descriptions[index]);
      out_.LeafInt(5, "Quantity", quantity);
      if (NextLineIsBlank()) {
        out_.Leaf(5, "UnitOfMeasure", "");
        ++summary_.blank_units;
      } else {
        out_.Leaf(5, "UnitOfMeasure", p.unit);
      }
      out_.LeafMoney(5, "UnitPrice", p.price_cents);
      out_.Leaf(5, "TaxPointDate", date);
      out_.Leaf(5, "Description", text_.product_descriptions[index]);
      out_.LeafMoney(5, "CreditAmount", amount);
      out_.Open(5, "Tax");
      out_.Leaf(6, "TaxType", "IVA");
      out_.Leaf(6, "TaxCountryRegion", "PT");
      out_.Leaf(6, "TaxCode", rate.code);
      out_.Leaf(6, "TaxPercentage", rate.percentage);
      out_.Close(5, "Tax");
      if (p.rate == kIse) {
        out_.Leaf(5, "TaxExemptionReason", text_.exemption_reason);
        out_.Leaf(5, "TaxExemptionCode", kExemptionCode);
      }
      out_.Close(4, "Line");
    }
    summary_.lines += lines;

    out_.Open(4, "DocumentTotals");
    out_.LeafMoney(5, "TaxPayable", tax);
    out_.LeafMoney(5, "NetTotal", net);
    out_.LeafMoney(5, "GrossTotal", net + tax);
    out_.Close(4, "DocumentTotals");
    out_.Close(3, "Invoice");
    return net;
  }

  const Options& options_;
  XmlWriter& out_;
  Rng rng_;
  EncodedTables text_;
  std::vector<std::string> days_;
  std::string hash_pool_;
  std::string scratch_;
  std::uint64_t customer_count_ = 0;
  std::uint64_t invoices_start_ = 0;
  std::uint64_t invoices_end_ = 0;
  Summary summary_;
};

}  // namespace

int main(int argc, char** argv) {
  Options options;
  try {
    if (!ParseOptions(argc, argv, options)) return 0;
  } catch (const UsageError& e) {
    std::cerr << "verifax-gen-saft: " << e.what() << "\n\n" << kUsage;
    return 64;
  }

  std::ofstream file(options.output, std::ios::binary | std::ios::trunc);
  if (!file) {
    std::cerr << "verifax-gen-saft: cannot create " << options.output << "\n";
    return 1;
  }
  XmlWriter out(file, options.crlf);
  Summary summary;
  try {
    Generator generator(options, out);
    summary = generator.Run();
  } catch (const std::exception& e) {
    std::cerr << "verifax-gen-saft: " << e.what() << "\n";
    return 1;
  }
  const std::uint64_t bytes = out.Offset();
  file.close();
  if (!file) {
    std::cerr << "verifax-gen-saft: error writing " << options.output << "\n";
    return 1;
  }
  std::cout << "bytes=" << bytes << " customers=" << summary.customers
            << " invoices=" << summary.invoices << " lines=" << summary.lines
            << " blank_units=" << summary.blank_units << "\n";
  return 0;
}
