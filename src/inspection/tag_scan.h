#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "inspection/document.h"

namespace verifax {

/// An element's working block: the stretch of the document from its opening tag through
/// its closing tag, as the element's tag searches see it. `end` follows the repairs made
/// through ReplaceTagValue, so the block and the document stay aligned.
///
/// Usually the block is the document itself between `start` and `end`, searched with
/// letter case ignored. A materialised block also keeps its own upper-cased copy `text`
/// (used for the header, where a value typed by the user goes into the copy as typed and
/// later searches of the block must not see it upper-cased).
struct WorkingBlock {
  std::int64_t start = 0;
  std::int64_t end = 0;
  std::optional<std::string> text;

  static WorkingBlock Of(std::int64_t start, std::int64_t end) { return {start, end, {}}; }
  static WorkingBlock Materialized(const Document& doc, std::int64_t start, std::int64_t end);
};

/// First-occurrence positions (document offsets, -1 when absent) of "<NAME>" and
/// "</NAME>" in a block; usable when the opening tag comes first.
struct TagPair {
  std::int64_t open = -1;
  std::int64_t close = -1;
  std::int64_t value_start = -1;  ///< just after the opening tag
  bool usable() const { return open >= 0 && open < close; }
};

TagPair FindTagPair(const Document& doc, const WorkingBlock& block, std::string_view name);

/// The value between the first usable tag pair of `name` (upper case, no brackets), in
/// the document's own letter case and untrimmed; nullopt when the pair is not usable.
std::optional<std::string> TagValue(const Document& doc, const WorkingBlock& block,
                                    std::string_view name);

/// Puts `value` (UTF-8) between the first "<NAME>" and the first "</NAME>" of the block,
/// in the document and in the block alike. Does nothing when either tag is missing.
void ReplaceTagValue(std::string_view name, WorkingBlock& block, Document& doc,
                     std::string_view value);

/// The closing-tag scan: the offset of the first `closing` tag at or after `start`, or -1
/// when the rest of the document has none.
std::int64_t FindClosingTag(const Document& doc, std::int64_t start, std::string_view closing);

/// The element scan: for each `opening` tag found from `from` on while the position is
/// before `end()` (re-read on every step, since repairs move it), calls `handler` with
/// its offset and moves on by the advance it returns.
void ScanElements(const Document& doc, std::int64_t from, const std::function<std::int64_t()>& end,
                  std::string_view opening,
                  const std::function<std::int64_t(std::int64_t)>& handler);

/// "Ficheiro SAFT inválido! (<code>)".
std::string InvalidFileMessage(std::string_view code);

}  // namespace verifax
