#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "inspection/file_io.h"
#include "inspection/text_codec.h"

namespace verifax {

/// Where the bytes of a written document go.
class WriteSink {
 public:
  virtual ~WriteSink() = default;
  virtual void Bytes(std::string_view bytes) = 0;
};

/// The document text `saftcontent`: the whole file, decoded, with every line break made
/// CR LF and a final CR LF.
///
/// The text is kept in the file's own bytes where that is exact: a Windows-1252 file as
/// its bytes (one byte, one character), UTF-8 and UTF-16 files as UTF-8 (WTF-8). Every
/// character the scans look at (tag letters, brackets, blanks) is ASCII, and in both
/// forms an ASCII byte is always that character, so scanning bytes finds exactly what
/// scanning characters finds. Offsets are byte offsets into that form.
///
/// Storage is a piece table: the text as loaded stays where it was read, and a repair
/// only splits the piece it falls in and adds a piece for its new value. A repair costs
/// the size of its value, not of the document, and the write knows which stretches are
/// still the file's own bytes.
class Document {
 public:
  /// How the text is held in memory.
  enum class Storage { kSingleByte, kUtf8 };

  Document();
  ~Document();
  Document(Document&&) noexcept;
  Document& operator=(Document&&) noexcept;
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;

  /// Decodes a file's bytes (byte-order mark decides the encoding; an invalid UTF-8 file
  /// gives the empty text) and normalises the line breaks.
  static Document FromBytes(std::string_view file_bytes);

  /// Reads and decodes a file. Throws InspectionError ("Cannot open file ...") when it
  /// cannot be opened or read. `index_tags` are the tags the caller will search for over
  /// long stretches, in groups in the order it will want them (see TagIndex): where the
  /// text is the file's bytes, they are looked for ahead on another thread.
  static Document Load(const std::string& path,
                       const std::vector<std::vector<std::string>>& index_tags = {});

  SourceEncoding source_encoding() const { return source_encoding_; }
  Storage storage() const { return storage_; }

  /// False when the text as loaded can no longer be trusted: it is read straight from
  /// the file's mapping, and the file was changed or cut short since it was loaded.
  bool SourceIntact() const;

  /// Length of the text in bytes of its storage form.
  std::int64_t size() const { return size_; }

  char at(std::int64_t pos) const;

  /// Whether `tag` (upper case, starting with '<') stands at `pos`, ASCII letter case
  /// ignored. A tag that would reach past the end of the text never matches.
  bool IsTagAt(std::int64_t pos, std::string_view tag) const;

  /// First position p >= from at which `tag` stands and ends at or before `end`; -1 if
  /// none.
  std::int64_t FindTag(std::int64_t from, std::int64_t end, std::string_view tag) const;

  /// The text from `pos` to the end of the stretch that lies in one place in memory with
  /// it (raw bytes; empty at the end of the text). Scans that look at many tags at once
  /// walk it directly.
  std::string_view ContiguousFrom(std::int64_t pos) const;

  /// The text as it was loaded (raw bytes), which the stretches no repair has touched
  /// still read from.
  std::string_view LoadedText() const { return loaded_; }

  /// Where the stretch ContiguousFrom(pos) starts in LoadedText(); -1 when it holds
  /// other bytes (a repair's).
  std::int64_t LoadedOffset(std::int64_t pos) const;

  /// The raw bytes [from, to) in the storage form.
  std::string Slice(std::int64_t from, std::int64_t to) const;

  /// Raw storage bytes to UTF-8 (WTF-8).
  std::string Decode(std::string_view raw) const;
  /// The text [from, to) as UTF-8 (WTF-8).
  std::string Text(std::int64_t from, std::int64_t to) const { return Decode(Slice(from, to)); }

  /// Whether `utf8` can be put into the text without changing the storage form.
  bool CanHold(std::string_view utf8) const;

  /// Switches a single-byte text to UTF-8 storage (for a value Windows-1252 cannot
  /// hold). Registered positions move along.
  void UpgradeToUtf8();

  /// Offset that `pos` will have once the text is upgraded to UTF-8 storage.
  std::int64_t UpgradedOffset(std::int64_t pos) const;

  /// UTF-8 text to raw storage bytes; the text must fit (see CanHold).
  std::string Encode(std::string_view utf8) const;

  /// Replaces `count` bytes at `pos` with the raw storage bytes `raw`. Registered
  /// positions at or after the end of the replaced range move by the change in length.
  void Replace(std::int64_t pos, std::int64_t count, std::string_view raw);

  /// Number of UTF-16 code units before `pos` (the text's length as the user's platform
  /// counts it), for the bound on where the header must end.
  std::int64_t Utf16Offset(std::int64_t pos) const;

  /// Smallest offset whose UTF-16 offset is at least `units` (size() if none).
  std::int64_t OffsetOfUtf16Unit(std::int64_t units) const;

  /// A position that follows the text through repairs (see Replace) for as long as the
  /// anchor lives. The document must outlive it.
  class Anchor {
   public:
    Anchor(Document& doc, std::int64_t pos);
    ~Anchor();
    Anchor(const Anchor&) = delete;
    Anchor& operator=(const Anchor&) = delete;
    std::int64_t pos() const { return pos_; }
    void set(std::int64_t pos) { pos_ = pos; }

   private:
    friend class Document;
    Document& doc_;
    std::int64_t pos_;
  };

  /// Writes the text in the encoding it was read with (byte-order mark first), every line
  /// break as CR LF. A character Windows-1252 cannot hold is written as "?".
  void Write(WriteSink& sink) const;
  void Write(const std::function<void(std::string_view)>& sink) const;

  /// The whole encoded file as one string (for tests and small documents).
  std::string Serialize() const;

 private:
  struct Piece {
    const char* data;
    std::int64_t length;
    std::int64_t source_offset;  // offset in the loaded text, or -1 for repaired bytes
  };

  void SetOriginal(std::unique_ptr<char, void (*)(char*)> buffer, std::int64_t length);
  void Locate(std::int64_t pos) const;
  bool MatchAt(std::int64_t pos, std::string_view tag) const;
  const char* StoreAdded(std::string_view raw);
  std::string Contents() const;

  std::unique_ptr<char, void (*)(char*)> original_{nullptr, nullptr};
  std::shared_ptr<const class MappedFile> mapping_;  // when the text is the file's mapping
  std::vector<std::unique_ptr<char[]>> added_blocks_;
  std::size_t added_free_ = 0;  // bytes left in the last added block
  // The pieces in document order, split at a cursor: `before_` in order, `after_` in
  // reverse order (its back is the piece at the cursor). Passes sweep forward, so moving
  // the cursor costs one step per piece.
  mutable std::vector<Piece> before_;
  mutable std::vector<Piece> after_;
  mutable std::int64_t cursor_pos_ = 0;  // document offset of after_.back()
  std::int64_t size_ = 0;
  SourceEncoding source_encoding_ = SourceEncoding::kAnsi;
  Storage storage_ = Storage::kSingleByte;
  std::optional<FileIdentity> source_identity_;
  // Set when a repair put in a lone CR or LF; the write then makes it CR LF.
  bool needs_line_break_pass_ = false;
  std::vector<Anchor*> anchors_;
  std::string_view loaded_;  // the text as loaded: the mapping's bytes or original_
  // Where some tags stand in loaded_, found on another thread. Declared last so that its
  // search stops before the text goes.
  std::unique_ptr<class TagIndex> index_;
};

/// Makes every CR LF, lone CR and lone LF a CR LF and ends a non-empty text that lacks a
/// final line break with one.
std::string NormalizeLineBreaks(std::string_view text);

}  // namespace verifax
