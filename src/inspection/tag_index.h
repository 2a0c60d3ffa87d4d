#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace verifax {

/// First position p in [from, last] at which `tag` (upper case, at least three
/// characters, starting with '<') stands in `data`, ASCII letter case ignored; -1 if none.
/// The whole tag must lie in `data` for every p up to `last`.
std::int64_t FindTagInText(const char* data, std::int64_t from, std::int64_t last,
                           std::string_view tag);

/// Where a few tags stand throughout a text that does not change while the index lives.
/// The search runs on a thread of its own, front to back, while the owner goes on with
/// other work; a question about a stretch the search has not reached yet is answered by
/// searching that stretch at once, or waits for the thread to finish it. Searching for
/// the tags a run looks for over the whole file (the customers, the tax entries) then
/// costs the run little more than a look-up.
class TagIndex {
 public:
  /// Starts searching `text` (which must outlive the index) for the tags in `groups`,
  /// each upper case, at least three characters long and starting with '<'. The groups
  /// are searched one after the other, each over the whole text, in the order in which
  /// the owner will want them; the tags of a group are searched together.
  TagIndex(std::string_view text, const std::vector<std::vector<std::string>>& groups);
  /// Stops the search and waits for its thread.
  ~TagIndex();
  TagIndex(const TagIndex&) = delete;
  TagIndex& operator=(const TagIndex&) = delete;

  /// Which of the indexed tags `tag` is, or -1.
  int Slot(std::string_view tag) const;

  /// First position p in [from, last] at which tag `slot` stands in the text, or -1.
  /// kUnavailable when the search of that stretch could not be completed (out of
  /// memory): the caller then searches itself.
  std::int64_t Next(int slot, std::int64_t from, std::int64_t last);

  /// Lends the calling thread to the search until the two meet: it takes the stretches
  /// from the back of the text while the search's thread goes on from the front.
  void Help();

  static constexpr std::int64_t kUnavailable = -2;

 private:
  // The text is searched in chunks of this many starting positions; a chunk's hits are
  // published together.
  static constexpr std::int64_t kChunk = 1 << 20;
  // Within a chunk, the tags of a group are looked for block by block.
  static constexpr std::int64_t kBlock = 64 << 10;
  // What has become of a group's chunk.
  enum State : std::uint8_t { kFree, kTaken, kDone, kFailed };

  struct Tag {
    std::string text;
    std::size_t group;
    // Positions, ascending, of the tag in each chunk. A chunk's list is written only by
    // the thread that took the chunk, and only before the chunk is done.
    std::vector<std::vector<std::int64_t>> hits;
  };

  std::atomic<std::uint8_t>& StateOf(std::size_t group, std::int64_t chunk) {
    return state_[group * static_cast<std::size_t>(chunks_) + static_cast<std::size_t>(chunk)];
  }
  // Takes the chunk if it is free; false when another thread has it or had it.
  bool Take(std::size_t group, std::int64_t chunk);
  // Searches a taken chunk and publishes what it found.
  void SearchChunk(std::size_t group, std::int64_t chunk);
  void Search();

  std::string_view text_;
  std::int64_t chunks_ = 0;
  std::size_t groups_ = 0;
  std::vector<Tag> tags_;
  std::vector<std::atomic<std::uint8_t>> state_;  // per group, per chunk
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace verifax
