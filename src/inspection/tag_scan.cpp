#include "inspection/tag_scan.h"

#include <algorithm>
#include <cstring>

#include "inspection/text_util.h"

namespace verifax {

WorkingBlock WorkingBlock::Materialized(const Document& doc, std::int64_t start, std::int64_t end) {
  WorkingBlock block{start, end, AsciiUpper(doc.Slice(start, end))};
  return block;
}

namespace {

std::int64_t FindInBlock(const Document& doc, const WorkingBlock& block, std::string_view tag) {
  if (block.text) {
    auto hit = block.text->find(tag);
    return hit == std::string::npos ? -1 : block.start + static_cast<std::int64_t>(hit);
  }
  return doc.FindTag(block.start, block.end, tag);
}

}  // namespace

TagPair FindTagPair(const Document& doc, const WorkingBlock& block, std::string_view name) {
  // Built on the stack: this runs for every value of every element.
  char buffer[80];
  std::string opening_text;
  std::string_view opening, closing;
  if (name.size() + 3 <= sizeof(buffer) / 2) {
    char* o = buffer;
    o[0] = '<';
    std::memcpy(o + 1, name.data(), name.size());
    o[name.size() + 1] = '>';
    opening = std::string_view(o, name.size() + 2);
    char* c = buffer + sizeof(buffer) / 2;
    c[0] = '<';
    c[1] = '/';
    std::memcpy(c + 2, name.data(), name.size());
    c[name.size() + 2] = '>';
    closing = std::string_view(c, name.size() + 3);
  } else {
    opening_text = "<" + std::string(name) + ">" + "</" + std::string(name) + ">";
    opening = std::string_view(opening_text).substr(0, name.size() + 2);
    closing = std::string_view(opening_text).substr(name.size() + 2);
  }
  TagPair pair;
  pair.open = FindInBlock(doc, block, opening);
  pair.close = FindInBlock(doc, block, closing);
  if (pair.open >= 0) pair.value_start = pair.open + static_cast<std::int64_t>(opening.size());
  return pair;
}

std::optional<std::string> TagValue(const Document& doc, const WorkingBlock& block,
                                    std::string_view name) {
  TagPair pair = FindTagPair(doc, block, name);
  if (!pair.usable()) return std::nullopt;
  // An opening tag that overlaps the closing one ("<X></X>" read as "<X>" at a later
  // position cannot happen, but a negative length must still give an empty value).
  return doc.Text(pair.value_start, std::max(pair.value_start, pair.close));
}

void ReplaceTagValue(std::string_view name, WorkingBlock& block, Document& doc,
                     std::string_view value) {
  TagPair pair = FindTagPair(doc, block, name);
  if (pair.open < 0 || pair.close < 0) return;
  if (!doc.CanHold(value)) {
    // Windows-1252 cannot hold the value: move the document (and this block) to UTF-8.
    std::int64_t start = doc.UpgradedOffset(block.start);
    std::int64_t end = doc.UpgradedOffset(block.end);
    if (block.text) {
      std::string converted;
      AppendCp1252AsUtf8(converted, *block.text);
      block.text = std::move(converted);
    }
    doc.UpgradeToUtf8();
    block.start = start;
    block.end = end;
    pair = FindTagPair(doc, block, name);
  }
  std::int64_t removed = std::max<std::int64_t>(0, pair.close - pair.value_start);
  std::string raw = doc.Encode(value);
  doc.Replace(pair.value_start, removed, raw);
  if (block.text) {
    block.text->replace(static_cast<std::size_t>(pair.value_start - block.start),
                        static_cast<std::size_t>(removed), raw);
  }
  block.end += static_cast<std::int64_t>(raw.size()) - removed;
}

std::int64_t FindClosingTag(const Document& doc, std::int64_t start, std::string_view closing) {
  return doc.FindTag(start, doc.size(), closing);
}

void ScanElements(const Document& doc, std::int64_t from, const std::function<std::int64_t()>& end,
                  std::string_view opening,
                  const std::function<std::int64_t(std::int64_t)>& handler) {
  std::int64_t pos = from;
  while (pos < end()) {
    // A tag that starts before `end` lies wholly before it: `end` is the size of the
    // text or the '<' of an enclosing closing tag, which no opening tag can overlap.
    std::int64_t hit = doc.FindTag(pos, end(), opening);
    if (hit < 0) return;
    pos = hit + handler(hit);
  }
}

std::string InvalidFileMessage(std::string_view code) {
  return "Ficheiro SAFT inválido! (" + std::string(code) + ")";
}

}  // namespace verifax
