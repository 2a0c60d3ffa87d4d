#include "inspection/tag_index.h"

#include <algorithm>
#include <new>
#include <system_error>

namespace verifax {

TagIndex::TagIndex(std::string_view text, const std::vector<std::vector<std::string>>& groups)
    : text_(text), done_(groups.size()) {
  chunks_ = (static_cast<std::int64_t>(text_.size()) + kChunk - 1) / kChunk;
  for (std::size_t g = 0; g < groups.size(); ++g)
    for (const std::string& tag : groups[g])
      tags_.push_back(Tag{tag, g, std::vector<std::vector<std::int64_t>>(std::size_t(chunks_))});
  try {
    thread_ = std::thread([this] { Search(); });
  } catch (const std::system_error&) {
    // No thread to be had: every question goes back to the caller.
    for (auto& progress : done_) progress.store(-1);
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

void TagIndex::Search() {
  const auto size = static_cast<std::int64_t>(text_.size());
  std::size_t group = 0;
  try {
    for (; group < done_.size(); ++group) {
      for (std::int64_t chunk = 0; chunk < chunks_; ++chunk) {
        if (stop_.load(std::memory_order_relaxed)) return;
        const std::int64_t begin = chunk * kChunk;
        const std::int64_t end = std::min(size, begin + kChunk);  // of the starting positions
        // In blocks that stay in the cache while each tag of the group is looked for in
        // them: the text comes from memory once for the whole group.
        for (std::int64_t block = begin; block < end; block += kBlock) {
          const std::int64_t block_end = std::min(end, block + kBlock);
          for (Tag& tag : tags_) {
            if (tag.group != group) continue;
            const std::int64_t last =
                std::min(block_end, size - static_cast<std::int64_t>(tag.text.size()) + 1) - 1;
            auto& list = tag.hits[static_cast<std::size_t>(chunk)];
            for (std::int64_t p = block; (p = FindTagInText(text_.data(), p, last, tag.text)) >= 0;
                 ++p)
              list.push_back(p);
          }
        }
        done_[group].store(chunk + 1, std::memory_order_release);
        done_[group].notify_all();
      }
    }
  } catch (const std::bad_alloc&) {
    for (; group < done_.size(); ++group) {
      done_[group].store(-1, std::memory_order_release);
      done_[group].notify_all();
    }
  }
}

std::int64_t TagIndex::Next(int slot, std::int64_t from, std::int64_t last) const {
  const Tag& tag = tags_[static_cast<std::size_t>(slot)];
  const std::atomic<std::int64_t>& progress = done_[tag.group];
  from = std::max<std::int64_t>(from, 0);
  for (std::int64_t chunk = from / kChunk; chunk < chunks_ && chunk * kChunk <= last; ++chunk) {
    std::int64_t done = progress.load(std::memory_order_acquire);
    while (done >= 0 && done <= chunk) {
      progress.wait(done, std::memory_order_acquire);
      done = progress.load(std::memory_order_acquire);
    }
    if (done < 0) return kUnavailable;
    const auto& list = tag.hits[static_cast<std::size_t>(chunk)];
    auto it = std::lower_bound(list.begin(), list.end(), from);
    if (it != list.end()) return *it <= last ? *it : -1;
  }
  return -1;
}

}  // namespace verifax
