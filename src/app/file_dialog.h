#pragma once

#include <QString>
#include <optional>

class QWidget;

namespace verifax {

/// The platform's open-file dialog, with a seam for tests: a name given to
/// SetNextFileName is returned by the next dialog without showing it.
class AppFileDialog {
 public:
  /// Asks for an existing file over `parent`, starting in `folder`, with one file type
  /// `filter` ("XML files (*.xml)"); no title. The chosen file's full path, or an empty
  /// text when the user cancels.
  static QString GetOpenFileName(QWidget* parent, const QString& folder, const QString& filter);

  /// The next dialog answers `file_name` at once (an empty name: cancelled).
  static void SetNextFileName(const QString& file_name);

  /// The folder and filter that the last dialog was opened with (answered or shown).
  static QString last_folder() { return last_folder_; }
  static QString last_filter() { return last_filter_; }

 private:
  static std::optional<QString> next_file_name_;
  static QString last_folder_;
  static QString last_filter_;
};

}  // namespace verifax
