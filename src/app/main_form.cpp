#include "app/main_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <exception>

#include "app/app_picture.h"
#include "app/file_dialog.h"
#include "app/gui_prompts.h"
#include "app/message_box.h"
#include "app/results_log.h"
#include "dialogs/form_style.h"
#include "dialogs/qt_text.h"
#include "inspection/inspection_run.h"
#include "settings/qt_placement.h"
#include "settings/settings_store.h"

#ifndef VERIFAX_VERSION
#define VERIFAX_VERSION ""
#endif

namespace verifax {

void SetUpApplication() {
  QApplication::setApplicationName(QStringLiteral("Verifax"));
  QApplication::setApplicationVersion(AppVersion());
  QApplication::setWindowIcon(AppIcon());
  // The windows were laid out for Tahoma 8 point; elsewhere the system's UI font serves.
  if (QFontDatabase::hasFamily(QStringLiteral("Tahoma"))) {
    QApplication::setFont(QFont(QStringLiteral("Tahoma"), 8));
  }
}

QString AppVersion() {
  return QStringLiteral(VERIFAX_VERSION);
}

QString MainCaption(const QString& version) {
  return QString::fromUtf8(kAppTitle) + QStringLiteral("  (v") + version + QStringLiteral(")");
}

NumberFormat SystemNumberFormat() {
  const QLocale locale = QLocale::system();
  NumberFormat format;
  format.decimal_separator = locale.decimalPoint().toStdString();
  format.thousands_separator = locale.groupSeparator().toStdString();
  return format;
}

QString ChooseFileFolder(const QString& current) {
#ifdef _WIN32
  const QString delimiters = QStringLiteral("\\/:");
  const QString fallback = QStringLiteral("C:\\");
#else
  const QString delimiters = QStringLiteral("/");
  const QString fallback = QDir::homePath();
#endif
  qsizetype last = -1;
  for (QChar delimiter : delimiters) last = std::max(last, current.lastIndexOf(delimiter));
  const QString folder = current.left(last + 1);
  if (folder.isEmpty() || !QFileInfo(folder).isDir()) return fallback;
  return folder;
}

TMainFRM::TMainFRM(QWidget* parent) : QWidget(parent) {
  FormCreate();
}

TMainFRM::~TMainFRM() = default;

void TMainFRM::FormCreate() {
  setObjectName(QStringLiteral("TMainFRM"));
  setWindowIcon(AppIcon());
  // The smallest window is the design size; the frame comes on top of it.
  setMinimumSize(484, 264);
  resize(484, 264);

  // The file field and its browse button.
  PTop = new QWidget(this);
  PTop->setObjectName(QStringLiteral("PTop"));
  PTop->setFixedHeight(57);
  Label2 = new QLabel(QStringLiteral("&Ficheiro SAF-T:"), PTop);
  Label2->setObjectName(QStringLiteral("Label2"));
  Label2->setMinimumWidth(84);
  Label2->setContentsMargins(0, 0, 6, 0);
  ESAFTFile = new QLineEdit(PTop);
  ESAFTFile->setObjectName(QStringLiteral("ESAFTFile"));
  Label2->setBuddy(ESAFTFile);
  BTN_LoadSAFTFile = new QToolButton(PTop);
  BTN_LoadSAFTFile->setObjectName(QStringLiteral("BTN_LoadSAFTFile"));
  BTN_LoadSAFTFile->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
  BTN_LoadSAFTFile->setFocusPolicy(Qt::NoFocus);  // never takes the keyboard focus
  BTN_LoadSAFTFile->setMinimumSize(23, 22);
  auto* top = new QHBoxLayout(PTop);
  top->setContentsMargins(7, 13, 6, 0);
  top->setSpacing(1);
  top->addWidget(Label2);
  top->addWidget(ESAFTFile, 1);
  top->addWidget(BTN_LoadSAFTFile);
  top->setAlignment(Qt::AlignTop);

  // The results pane. A vertical scroll bar appears when the lines do not fit: a run can
  // log many thousands of lines.
  MResults = new QPlainTextEdit(this);
  MResults->setObjectName(QStringLiteral("MResults"));
  MResults->setReadOnly(true);
  MResults->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  MResults->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  MResults->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  MResults->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  MResults->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  MResults->setUndoRedoEnabled(false);
  MResults->setTabChangesFocus(true);
  log_ = std::make_unique<ResultsLog>(MResults);

  // The picture, the maker's notice and link, and the two buttons.
  PBottom = new QWidget(this);
  PBottom->setObjectName(QStringLiteral("PBottom"));
  PBottom->setFixedHeight(50);
  Image2 = new QLabel(PBottom);
  Image2->setObjectName(QStringLiteral("Image2"));
  Image2->setPixmap(AppPicture(45));
  Image2->setFixedSize(45, 45);
  LNotice = new QLabel(QString::fromUtf8(kMakerNotice), PBottom);
  LNotice->setObjectName(QStringLiteral("LNotice"));
  LNotice->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
  LAldenor = new QLabel(PBottom);
  LAldenor->setObjectName(QStringLiteral("LAldenor"));
  const QString address = QString::fromUtf8(kMakerAddress);
  LAldenor->setText(
      QStringLiteral("<a href=\"%1\">%2</a>").arg(address, QUrl(address).host().toHtmlEscaped()));
  LAldenor->setTextFormat(Qt::RichText);
  LAldenor->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
  LAldenor->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  LAldenor->setToolTip(address);
  auto* maker = new QVBoxLayout;
  maker->setSpacing(1);
  maker->addWidget(LNotice, 1);
  maker->addWidget(LAldenor, 1);

  BTN_Exit = new QPushButton(style()->standardIcon(QStyle::SP_DialogCloseButton),
                             QStringLiteral("&Sair"), PBottom);
  BTN_Exit->setObjectName(QStringLiteral("BTN_Exit"));
  BTN_Inspect = new QPushButton(InspectIcon(), QStringLiteral("&Inspecionar"), PBottom);
  BTN_Inspect->setObjectName(QStringLiteral("BTN_Inspect"));
  BTN_Inspect->setEnabled(false);
  for (QPushButton* button : {BTN_Inspect, BTN_Exit}) {
    button->setMinimumSize(90, 25);
    button->setAutoDefault(true);  // Enter presses the focused button
  }
  BTN_Exit->setDefault(true);

  auto* bottom = new QHBoxLayout(PBottom);
  bottom->setContentsMargins(7, 2, 6, 2);
  bottom->setSpacing(6);
  bottom->addWidget(Image2);
  bottom->addLayout(maker);
  bottom->addStretch(1);
  bottom->addWidget(BTN_Inspect);
  bottom->addWidget(BTN_Exit);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(PTop);
  layout->addWidget(MResults, 1);
  layout->addWidget(PBottom);

  setTabOrder(ESAFTFile, BTN_Exit);
  setTabOrder(BTN_Exit, BTN_Inspect);
  setTabOrder(BTN_Inspect, MResults);

  connect(ESAFTFile, &QLineEdit::textChanged, this, &TMainFRM::ESAFTFileChange);
  connect(BTN_LoadSAFTFile, &QToolButton::clicked, this, &TMainFRM::BTN_LoadSAFTFileClick);
  connect(BTN_Inspect, &QPushButton::clicked, this, &TMainFRM::BTN_InspectClick);
  connect(BTN_Exit, &QPushButton::clicked, this, &TMainFRM::BTN_ExitClick);
  connect(LAldenor, &QLabel::linkActivated, this, &TMainFRM::LAldenorClick);
}

void TMainFRM::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (shown_) return;  // only when the window is first shown
  shown_ = true;
  FormShow();
}

void TMainFRM::FormShow() {
  setWindowTitle(MainCaption(AppVersion()));
  LoadSettings();
}

void TMainFRM::closeEvent(QCloseEvent* event) {
  FormClose();
  event->accept();
}

void TMainFRM::FormClose() {
  SaveSettings();
  tax_info.clear();
}

void TMainFRM::LoadSettings() {
  try {
    LoadWidgetPlacement(*this, kMainSettingsName);
    const SettingValue file_name = ReadSetting(kSettingString, kMainSettingsName, "SAFTFILE", "",
                                               ProgramSettingsFile(), SystemNumberFormat());
    // The change handling runs when the text differs from the field's.
    ESAFTFile->setText(FromEngineText(std::get<std::string>(file_name)));
  } catch (...) {
    // Without its remembered state the window opens as it is.
  }
}

void TMainFRM::SaveSettings() {
  try {
    WriteSetting(kSettingString, kMainSettingsName, "SAFTFILE", ToEngineText(ESAFTFile->text()),
                 ProgramSettingsFile(), SystemNumberFormat());
    SaveWidgetPlacement(*this, kMainSettingsName);
  } catch (...) {
    // The settings file keeps what it held; the program closes all the same.
  }
}

void TMainFRM::keyPressEvent(QKeyEvent* event) {
  // "&Sair" is the window's default and cancel button: Enter and Esc press it wherever
  // the focused control leaves them unused.
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
      if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        BTN_Exit->click();
        return;
      }
      break;
    default:
      break;
  }
  QWidget::keyPressEvent(event);
}

void TMainFRM::ESAFTFileChange(const QString& text) {
  const bool exists = QFileInfo(text).isFile();
  SetFieldColour(ESAFTFile, exists ? FieldColour::kGreen : FieldColour::kOrange);
  BTN_Inspect->setEnabled(exists);
}

bool TMainFRM::ChooseFile(const QString& current, const QString& filter, QString& filename) {
  filename = AppFileDialog::GetOpenFileName(this, ChooseFileFolder(current), filter);
  return !filename.isEmpty();
}

void TMainFRM::BTN_LoadSAFTFileClick() {
  QString filename;
  if (ChooseFile(ESAFTFile->text(), QStringLiteral("XML files (*.xml)"), filename)) {
    ESAFTFile->setText(QDir::toNativeSeparators(filename));
  }
}

void TMainFRM::BTN_InspectClick() {
  GuiPrompts prompts(this, *log_);
  RunOptions options;
  options.file_path = ToEngineText(ESAFTFile->text());
  options.number_format = SystemNumberFormat();

  RunResult result;
  try {
    result = RunInspection(options, prompts, *log_, tax_info);
  } catch (const std::exception& error) {
    // The engine reports its own failures in the result; anything that still escapes is
    // a failed run all the same.
    log_->Clear();
    result.outcome = RunOutcome::kFailed;
    result.message = error.what();
  }

  if (result.outcome == RunOutcome::kFailed) {
    AppMessageBox::Warning(this, QStringLiteral("Erro"), FromEngineText(result.message),
                           QMessageBox::Ok);
  } else if (result.outcome != RunOutcome::kDeclined) {
    log_->ShowEnd();
  }
  prompts.RestoreCursor();  // the very last step, after the error box
}

void TMainFRM::BTN_ExitClick() {
  close();
}

void TMainFRM::LAldenorClick() {
  QDesktopServices::openUrl(QUrl(QString::fromUtf8(kMakerAddress)));
}

}  // namespace verifax
