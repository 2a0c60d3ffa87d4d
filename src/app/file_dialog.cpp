#include "app/file_dialog.h"

#include <QFileDialog>

namespace verifax {

std::optional<QString> AppFileDialog::next_file_name_;
QString AppFileDialog::last_folder_;
QString AppFileDialog::last_filter_;

QString AppFileDialog::GetOpenFileName(QWidget* parent, const QString& folder,
                                       const QString& filter) {
  last_folder_ = folder;
  last_filter_ = filter;
  if (next_file_name_) {
    QString answer = *next_file_name_;
    next_file_name_.reset();
    return answer;
  }
  return QFileDialog::getOpenFileName(parent, QString(), folder, filter);
}

void AppFileDialog::SetNextFileName(const QString& file_name) {
  next_file_name_ = file_name;
}

}  // namespace verifax
