#pragma once

#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "inspection/inspection_run.h"

namespace verifax::testing {

/// Answers the run's questions from a script and records what was asked.
class ScriptedPrompts : public UserPrompts {
 public:
  bool confirm = true;
  /// Answers in order; nullopt means the dialog was cancelled.
  std::deque<std::optional<TCompany>> company_answers;
  std::deque<std::optional<std::string>> tax_codes;

  std::vector<TCompany> company_questions;
  std::vector<TTax> tax_questions;

  bool ConfirmInspection() override { return confirm; }

  bool EditCompanyInfo(const TCompany& question, TCompany& answer) override {
    company_questions.push_back(question);
    if (company_answers.empty()) return false;
    auto next = company_answers.front();
    company_answers.pop_front();
    if (!next) return false;
    answer = *next;
    return true;
  }

  bool EditTaxInfo(const TTax& question, TTax& answer) override {
    tax_questions.push_back(question);
    answer = question;
    if (tax_codes.empty()) return false;
    auto next = tax_codes.front();
    tax_codes.pop_front();
    if (!next) return false;
    answer.code = *next;
    return true;
  }
};

/// The results pane as lines: every log text split at CR LF.
class MemoryLog : public LogSink {
 public:
  std::vector<std::string> lines;
  void Log(std::string_view text) override {
    std::size_t start = 0;
    for (;;) {
      std::size_t br = text.find("\r\n", start);
      lines.emplace_back(text.substr(start, br == std::string_view::npos ? br : br - start));
      if (br == std::string_view::npos) break;
      start = br + 2;
    }
  }
  void Clear() override { lines.clear(); }
};

}  // namespace verifax::testing
