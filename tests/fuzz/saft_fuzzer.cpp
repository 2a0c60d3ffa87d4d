// libFuzzer target: arbitrary bytes through the load, the four passes and the write to
// memory. The first kControlBytes bytes of an input drive the answers of the correction
// dialogs and the number format; the rest is the document file.
//
// Besides what the sanitisers catch, it checks that
//  - a file read from disk (here a memory file) decodes and writes back exactly as the
//    same bytes handed over in memory;
//  - a freshly loaded text holds only CR LF line breaks and survives its own write-back;
//  - a run without repairs writes bytes that decode to the same text;
//  - a run with repairs writes bytes that decode to the repaired text (line breaks put in
//    by an answer made CR LF, characters Windows-1252 cannot hold made "?");
//  - every failure is an InspectionError whose message is one of the system's.

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "inspection/document.h"
#include "inspection/errors.h"
#include "inspection/inspection_run.h"
#include "inspection/passes.h"
#include "inspection/text_codec.h"

namespace {

using verifax::Document;

constexpr std::size_t kControlBytes = 4;

// The target's own checks are left out of the coverage instrumentation: their branches
// tell the fuzzer nothing about the engine and cost time on every byte.
#define VERIFAX_NO_COVERAGE __attribute__((no_sanitize("coverage")))

[[noreturn]] void Fail(const char* what, std::string_view detail = {}) {
  std::fprintf(stderr, "saft_fuzzer: %s", what);
  if (!detail.empty()) std::fprintf(stderr, ": %.*s", int(detail.size()), detail.data());
  std::fputc('\n', stderr);
  std::abort();
}

std::string WholeText(const Document& doc) {
  return doc.Text(0, doc.size());
}

// Answers of the correction dialogs: each question takes the next control byte (round
// robin); its low bit says Ok or Cancel, the rest picks from tables of valid and invalid
// values, accented and non-Windows-1252 text and line breaks included.
class FuzzPrompts : public verifax::UserPrompts {
 public:
  explicit FuzzPrompts(std::string_view control) : control_(control) {}

  bool ConfirmInspection() override { return true; }

  bool EditCompanyInfo(const verifax::TCompany& question, verifax::TCompany& answer) override {
    static const char* const kCities[] = {"Lisboa", "", "  ", "Évora", "東京", "Ab\ncd", "\x7f"};
    static const char* const kPostalCodes[] = {"1000-001", "1000",      "",
                                               "9999-999", "1000-0011", "１０００-００1"};
    static const char* const kNifs[] = {"999999990", "123456789",  "",          "PT501964843",
                                        "abc",       "ES12345678", "5019648430"};
    unsigned char c = Next();
    answer = question;
    answer.city = Pick(kCities, c >> 1);
    answer.postalcode = Pick(kPostalCodes, c >> 3);
    answer.nif = Pick(kNifs, c >> 5);
    return (c & 1) != 0;
  }

  bool EditTaxInfo(const verifax::TTax& question, verifax::TTax& answer) override {
    static const char* const kCodes[] = {"NOR",   "RED", "INT", "ISE", "OUT",
                                         " nor ", "XYZ", "",    "ÍSE", "NOR\r\n"};
    unsigned char c = Next();
    answer = question;
    answer.code = Pick(kCodes, c >> 1);
    return (c & 1) != 0;
  }

 private:
  template <std::size_t N>
  static const char* Pick(const char* const (&table)[N], unsigned value) {
    return table[value % N];
  }
  unsigned char Next() {
    if (control_.empty()) return 0;
    return static_cast<unsigned char>(control_[next_++ % control_.size()]);
  }

  std::string_view control_;
  std::size_t next_ = 0;
};

class NullLog : public verifax::LogSink {
 public:
  void Log(std::string_view text) override { bytes += text.size(); }
  void Clear() override {}
  std::size_t bytes = 0;
};

VERIFAX_NO_COVERAGE bool OnlyCrLf(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n')) return false;
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) return false;
  }
  return true;
}

VERIFAX_NO_COVERAGE bool IsSystemMessage(std::string_view m) {
  static const char* const kPrefixes[] = {
      "Ficheiro SAFT inválido! (",
      "Não foi atualizada qualquer informação!\r\nO ficheiro SAFT continua inválido.",
      "Informações introduzidas estão incorrectas! (",
      "Erro ao processar documento! (",
      "Erro ao processar linha! (",
      "Erro ao processar cliente! (",
      "Erro ao processar taxa de iva! (",
  };
  for (const char* prefix : kPrefixes)
    if (m.starts_with(prefix)) return true;
  return false;
}

// The bytes as a file read by Document::Load: a memory file, so that the fuzzer never
// waits for a disk.
VERIFAX_NO_COVERAGE Document LoadThroughFile(std::string_view bytes) {
  int fd = ::memfd_create("saft", MFD_CLOEXEC);
  if (fd < 0) Fail("memfd_create failed");
  for (std::string_view rest = bytes; !rest.empty();) {
    ssize_t n = ::write(fd, rest.data(), rest.size());
    if (n <= 0) Fail("write to the memory file failed");
    rest.remove_prefix(static_cast<std::size_t>(n));
  }
  Document doc = Document::Load("/proc/self/fd/" + std::to_string(fd));
  ::close(fd);
  return doc;
}

// What the written bytes of `doc` must decode to: its text with line breaks made CR LF
// and, for a Windows-1252 file, every character the code page cannot hold made "?".
std::string ExpectedAfterWrite(const Document& doc) {
  std::string text = verifax::NormalizeLineBreaks(WholeText(doc));
  if (doc.source_encoding() != verifax::SourceEncoding::kAnsi) return text;
  std::string cp1252;
  verifax::AppendUtf8AsCp1252(cp1252, text);
  std::string back;
  verifax::AppendCp1252AsUtf8(back, cp1252);
  return back;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string_view control = input.substr(0, std::min(size, kControlBytes));
  std::string_view file = input.substr(control.size());

  // Loading and writing back without a pass in between.
  Document doc = Document::FromBytes(file);
  const std::string loaded = WholeText(doc);
  if (!OnlyCrLf(loaded)) Fail("loaded text has a lone CR or LF");
  const std::string fresh_bytes = doc.Serialize();
  if (doc.Serialize() != fresh_bytes) Fail("two writes of one document differ");
  {
    Document again = Document::FromBytes(fresh_bytes);
    if (again.source_encoding() != doc.source_encoding()) Fail("write-back changed the encoding");
    if (WholeText(again) != loaded) Fail("write-back of a fresh document changed its text");
  }

  // The file reading path must agree with the decoding in memory; the passes then run on
  // one or the other, as the input chooses.
  Document from_file = LoadThroughFile(file);
  if (from_file.source_encoding() != doc.source_encoding())
    Fail("Load and FromBytes see different encodings");
  if (WholeText(from_file) != loaded) Fail("Load and FromBytes decode differently");
  if (from_file.Serialize() != fresh_bytes) Fail("Load and FromBytes write differently");
  if (control.size() > 1 && (control[1] & 0x40)) doc = std::move(from_file);

  // The four passes, with the number format also chosen by the input.
  FuzzPrompts prompts(control);
  NullLog log;
  std::vector<verifax::TTax> tax_info;
  if (!control.empty() && (control[0] & 0x80)) tax_info.push_back({"NOR", "Normal", "23"});
  verifax::NumberFormat format;
  if (control.size() > 1 && (control[1] & 0x80)) format = {",", "."};
  verifax::InspectionContext ctx{doc, log, prompts, tax_info, format};
  // The invoice pass shares its work with a second thread as the input chooses (on small
  // documents it would not otherwise).
  const auto walk_ahead = control.size() > 1 && (control[1] & 0x20) ? verifax::WalkAhead::kAlways
                                                                    : verifax::WalkAhead::kNever;
  try {
    verifax::InspectHeader(ctx);
    verifax::InspectCustomers(ctx);
    verifax::InspectTaxTable(ctx);
    verifax::InspectInvoices(ctx, walk_ahead);
  } catch (const verifax::InspectionError& error) {
    if (!IsSystemMessage(error.what())) Fail("unknown failure message", error.what());
  }

  const std::string written = doc.Serialize();
  Document reread = Document::FromBytes(written);
  if (ctx.error_cnt == 0) {
    if (written != fresh_bytes) Fail("a run without repairs changed the written bytes");
    if (WholeText(reread) != loaded) Fail("a run without repairs changed the text");
  } else {
    if (WholeText(reread) != ExpectedAfterWrite(doc))
      Fail("the written file does not hold the repaired text");
  }
  return 0;
}
