#include "inspection/tag_index.h"

#include <algorithm>
#include <new>
#include <system_error>

namespace verifax {

TagIndex::TagIndex(std::string_view text, const std::vector<std::vector<std::string>>& groups)
    : text_(text),
      chunks_((static_cast<std::int64_t>(text.size()) + kChunk - 1) / kChunk),
      groups_(groups.size()),
      state_(groups.size() * static_cast<std::size_t>(chunks_)) {
  for (std::size_t g = 0; g < groups.size(); ++g)
    for (const std::string& tag : groups[g])
      tags_.push_back(Tag{tag, g, std::vector<std::vector<std::int64_t>>(std::size_t(chunks_))});
  try {
    thread_ = std::thread([this] { Search(); });
  } catch (const std::system_error&) {
    // No thread to be had: each question searches what it needs itself.
  }
}

TagIndex::~TagIndex() {
  stop_.store(true, std::memory_order_relaxed);
  if (thread_.joinable()) thread_.join();
}

int TagIndex::Slot(std::string_view tag) const {
  for (std::size_t i = 0; i < tags_.size(); ++i)
    if (tags_[i].text == tag) return static_cast<int>(i);
  return -1;
}

bool TagIndex::Take(std::size_t group, std::int64_t chunk) {
  std::uint8_t expected = kFree;
  return StateOf(group, chunk).compare_exchange_strong(expected, kTaken, std::memory_order_acquire);
}

void TagIndex::SearchChunk(std::size_t group, std::int64_t chunk) {
  const auto size = static_cast<std::int64_t>(text_.size());
  const std::int64_t begin = chunk * kChunk;
  const std::int64_t end = std::min(size, begin + kChunk);  // of the starting positions
  State outcome = kDone;
  try {
    // In blocks that stay in the cache while each tag of the group is looked for in
    // them: the text comes from memory once for the whole group.
    for (std::int64_t block = begin; block < end; block += kBlock) {
      const std::int64_t block_end = std::min(end, block + kBlock);
      for (Tag& tag : tags_) {
        if (tag.group != group) continue;
        const std::int64_t last =
            std::min(block_end, size - static_cast<std::int64_t>(tag.text.size()) + 1) - 1;
        auto& list = tag.hits[static_cast<std::size_t>(chunk)];
        for (std::int64_t p = block; (p = FindTagInText(text_.data(), p, last, tag.text)) >= 0; ++p)
          list.push_back(p);
      }
    }
  } catch (const std::bad_alloc&) {
    outcome = kFailed;
  }
  std::atomic<std::uint8_t>& state = StateOf(group, chunk);
  state.store(outcome, std::memory_order_release);
  state.notify_all();
}

void TagIndex::Search() {
  for (std::size_t group = 0; group < groups_; ++group) {
    for (std::int64_t chunk = 0; chunk < chunks_; ++chunk) {
      if (stop_.load(std::memory_order_relaxed)) return;
      if (Take(group, chunk)) SearchChunk(group, chunk);
    }
  }
}

void TagIndex::Help() {
  for (std::size_t group = 0; group < groups_; ++group) {
    // The search's thread takes the chunks in order: once it has one, it has or had all
    // before it.
    for (std::int64_t chunk = chunks_ - 1; chunk >= 0 && Take(group, chunk); --chunk)
      SearchChunk(group, chunk);
  }
}

std::int64_t TagIndex::Next(int slot, std::int64_t from, std::int64_t last) {
  const Tag& tag = tags_[static_cast<std::size_t>(slot)];
  from = std::max<std::int64_t>(from, 0);
  for (std::int64_t chunk = from / kChunk; chunk < chunks_ && chunk * kChunk <= last; ++chunk) {
    if (Take(tag.group, chunk)) SearchChunk(tag.group, chunk);
    const std::atomic<std::uint8_t>& state = StateOf(tag.group, chunk);
    std::uint8_t now = state.load(std::memory_order_acquire);
    while (now == kTaken) {
      state.wait(now, std::memory_order_acquire);
      now = state.load(std::memory_order_acquire);
    }
    if (now == kFailed) return kUnavailable;
    const auto& list = tag.hits[static_cast<std::size_t>(chunk)];
    auto it = std::lower_bound(list.begin(), list.end(), from);
    if (it != list.end()) return *it <= last ? *it : -1;
  }
  return -1;
}

}  // namespace verifax
