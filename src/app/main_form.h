#pragma once

#include <QString>
#include <QWidget>
#include <memory>
#include <vector>

#include "inspection/inspection_run.h"
#include "inspection/records.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QToolButton;

namespace verifax {

class ResultsLog;

/// The application title, with its trailing blank.
inline constexpr char kAppTitle[] = "Verifax ";
/// The maker's web address, shown and opened by the link label.
inline constexpr char kMakerAddress[] = "https://www.verifax.example";
/// The maker's notice beside the application picture.
inline constexpr char kMakerNotice[] = "Verificação de ficheiros SAF-T";

/// The main window's name in the settings file: the section of the last file name and,
/// after "FORM_", of the window's placement.
inline constexpr char kMainSettingsName[] = "VERIFAX";

/// Names the application, gives it its icon, and its font where the windows' design font
/// Tahoma is installed. Call once, after the QApplication exists.
void SetUpApplication();

/// The program's own four-part version ("0.1.0.0"); empty when the build gave none.
QString AppVersion();

/// The decimal and thousands separators of the user's locale.
NumberFormat SystemNumberFormat();

/// The main window's caption: the title, "  (v", `version` and ")".
QString MainCaption(const QString& version);

/// The folder that the open-file dialog starts in for the file field's text `current`:
/// its folder part (up to and including the last path delimiter) when that is an
/// existing folder; otherwise "C:\" on Windows and the user's home folder elsewhere.
QString ChooseFileFolder(const QString& current);

/// The main window: the file field and its browse button, the results pane, the inspect
/// and exit buttons. It runs the inspections and keeps the tax rate answers of its runs
/// for as long as it lives.
class TMainFRM : public QWidget {
  Q_OBJECT

 public:
  explicit TMainFRM(QWidget* parent = nullptr);
  ~TMainFRM() override;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private slots:
  void ESAFTFileChange(const QString& text);
  void BTN_LoadSAFTFileClick();
  void BTN_InspectClick();
  void BTN_ExitClick();
  void LAldenorClick();

 private:
  void FormCreate();
  void FormShow();
  void FormClose();
  // The remembered placement and file name; every failure is ignored.
  void LoadSettings();
  void SaveSettings();
  bool ChooseFile(const QString& current, const QString& filter, QString& filename);

  // Tax rate answers chosen since the window opened; applied again without asking.
  std::vector<TTax> tax_info;
  bool shown_ = false;

  QWidget* PTop;
  QLabel* Label2;
  QLineEdit* ESAFTFile;
  QToolButton* BTN_LoadSAFTFile;
  QWidget* PBottom;
  QLabel* Image2;
  QLabel* LNotice;
  QLabel* LAldenor;
  QPushButton* BTN_Exit;
  QPushButton* BTN_Inspect;
  QPlainTextEdit* MResults;
  std::unique_ptr<ResultsLog> log_;
};

}  // namespace verifax
