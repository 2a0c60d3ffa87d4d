// The main window driven as a user would: the file field, the browse button, the
// confirmation, whole runs with their dialogs answered in code, failures, the keys that
// close the window, and what it remembers from one opening to the next.

#include "app/main_form.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#ifdef __linux__
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

#include "app/file_dialog.h"
#include "app/message_box.h"
#include "app/results_log.h"
#include "dialogs/company_info_form.h"
#include "dialogs/tax_info_form.h"
#include "qt_support/modal_driver.h"
#include "settings/qt_placement.h"

namespace verifax {
namespace {

using testing::ModalDriver;

const QColor kGreen(204, 255, 204);
const QColor kOrange(255, 204, 102);

QColor Base(const QWidget* field) {
  return field->palette().color(QPalette::Base);
}

QByteArray ReadBytes(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) qFatal("cannot read %s", qPrintable(path));
  return file.readAll();
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
    qFatal("cannot write %s", qPrintable(path));
}

QByteArray Fixture(const char* name) {
  return ReadBytes(QStringLiteral(VERIFAX_FIXTURES "/") + QLatin1String(name));
}

bool WaitCursorOn() {
  return QApplication::overrideCursor() != nullptr &&
         QApplication::overrideCursor()->shape() == Qt::WaitCursor;
}

template <class T>
T* Child(QWidget* parent, const char* name) {
  T* child = parent->findChild<T*>(QLatin1String(name));
  if (child == nullptr) qFatal("no control %s", name);
  return child;
}

// A shown main window and its controls.
struct Window {
  TMainFRM form;
  QLineEdit* file;
  QToolButton* browse;
  QPushButton* inspect;
  QPlainTextEdit* results;

  Window() {
    form.show();
    file = Child<QLineEdit>(&form, "ESAFTFile");
    browse = Child<QToolButton>(&form, "BTN_LoadSAFTFile");
    inspect = Child<QPushButton>(&form, "BTN_Inspect");
    results = Child<QPlainTextEdit>(&form, "MResults");
  }
  QStringList Lines() const { return results->toPlainText().split(QLatin1Char('\n')); }
};

// The repaired file's backup beside it; empty when there is none or more than one.
QString Backup(const QTemporaryDir& dir) {
  const QStringList names = QDir(dir.path()).entryList({QStringLiteral("*.bak_xml")});
  return names.size() == 1 ? dir.filePath(names[0]) : QString();
}

QStringList SavedLines(const QString& path, const QString& backup) {
  return {QString(),
          QString(),
          QStringLiteral("Ficheiro SAFT (Backup): sucesso!"),
          QStringLiteral("     (\"%1\" -> \"%2\")").arg(path, backup),
          QString(),
          QStringLiteral("Ficheiro SAFT: novo ficheiro guardado com sucesso!"),
          QStringLiteral("     (%1)").arg(path)};
}

// A file that nobody may write while this lives. Root may write to any file, so for
// root the file is also made immutable, where the file system allows that.
class ReadOnlyFile {
 public:
  explicit ReadOnlyFile(const QString& path) : path_(path) {
    QFile::setPermissions(path_, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
#ifdef __linux__
    if (::geteuid() == 0) immutable_ = SetImmutable(true);
#endif
  }
  ~ReadOnlyFile() {
#ifdef __linux__
    if (immutable_) SetImmutable(false);
#endif
    QFile::setPermissions(path_, QFile::ReadOwner | QFile::WriteOwner);
  }
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

  bool Unwritable() const {
    QFile file(path_);
    return !file.open(QIODevice::WriteOnly | QIODevice::Append);
  }

 private:
#ifdef __linux__
  bool SetImmutable(bool on) const {
    const int fd = ::open(QFile::encodeName(path_).constData(), O_RDONLY | O_NONBLOCK);
    if (fd < 0) return false;
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
      flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
      done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return done;
  }
  bool immutable_ = false;
#endif
  QString path_;
};

}  // namespace

class MainFormTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void init();
  void captionCarriesTheVersion();
  void fileFieldFollowsEveryKeystroke();
  void browseButtonFillsTheFieldUnlessCancelled();
  void declinedConfirmationChangesNothing();
  void runLogsTheRepairAndSavesTheFile();
  void answersAreAskedOnceAndTheTaxCodeIsKept();
  void failedRunEmptiesThePaneAndShowsTheMessage();
  void resultsLogKeepsEveryLine();
  void enterAndEscClose_data();
  void enterAndEscClose();
  void reopensWithTheFileNameAndPlacement_data();
  void reopensWithTheFileNameAndPlacement();
  void readOnlySettingsFileStaysUnchanged();

 private:
  QTemporaryDir settings_dir_;
  int settings_files_ = 0;
};

void MainFormTest::initTestCase() {
  // Windows open and close all through; only the test ends the program.
  QApplication::setQuitOnLastWindowClosed(false);
}

void MainFormTest::init() {
  // Each test starts without remembered state, and nothing is written beside the program.
  SetProgramSettingsFile(
      settings_dir_.filePath(QStringLiteral("verifax-%1.ini").arg(++settings_files_))
          .toStdString());
}

void MainFormTest::captionCarriesTheVersion() {
  Window window;
  QCOMPARE(window.form.windowTitle(), QStringLiteral("Verifax   (v" VERIFAX_VERSION ")"));
  QCOMPARE(MainCaption(QString()), QStringLiteral("Verifax   (v)"));
}

void MainFormTest::fileFieldFollowsEveryKeystroke() {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("saft.xml"));
  WriteBytes(path, Fixture("cli_clean.xml"));
  Window window;
  const QColor untouched = Base(window.file);
  QVERIFY(untouched != kGreen && untouched != kOrange);
  QVERIFY(!window.inspect->isEnabled());

  QTest::keyClicks(window.file, path.chopped(1));
  QCOMPARE(Base(window.file), kOrange);
  QVERIFY(!window.inspect->isEnabled());
  QTest::keyClick(window.file, Qt::Key_L);  // completes the name
  QCOMPARE(Base(window.file), kGreen);
  QVERIFY(window.inspect->isEnabled());
  QTest::keyClick(window.file, Qt::Key_X);
  QCOMPARE(Base(window.file), kOrange);
  QVERIFY(!window.inspect->isEnabled());
  QTest::keyClick(window.file, Qt::Key_Backspace);
  QCOMPARE(Base(window.file), kGreen);
  QVERIFY(window.inspect->isEnabled());

  window.file->setText(dir.path());  // a folder is no file
  QCOMPARE(Base(window.file), kOrange);
  QVERIFY(!window.inspect->isEnabled());
}

void MainFormTest::browseButtonFillsTheFieldUnlessCancelled() {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("saft.xml"));
  WriteBytes(path, Fixture("cli_clean.xml"));
  Window window;
  QCOMPARE(window.browse->focusPolicy(), Qt::NoFocus);

  AppFileDialog::SetNextFileName(path);
  window.browse->click();
  QCOMPARE(AppFileDialog::last_folder(), ChooseFileFolder(QString()));
  QCOMPARE(AppFileDialog::last_filter(), QStringLiteral("XML files (*.xml)"));
  QCOMPARE(window.file->text(), path);
  QVERIFY(window.inspect->isEnabled());

  AppFileDialog::SetNextFileName(QString());  // cancelled
  window.browse->click();
  QCOMPARE(AppFileDialog::last_folder(), dir.path() + QLatin1Char('/'));
  QCOMPARE(window.file->text(), path);

  QCOMPARE(ChooseFileFolder(QString()), QDir::homePath());
  QCOMPARE(ChooseFileFolder(dir.filePath(QStringLiteral("gone/saft.xml"))), QDir::homePath());
}

void MainFormTest::declinedConfirmationChangesNothing() {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("saft.xml"));
  WriteBytes(path, Fixture("cli_blank_unit.xml"));
  Window window;
  window.file->setText(path);
  window.results->setPlainText(QStringLiteral("linha da corrida anterior"));

  ModalDriver driver;
  driver.Then<QMessageBox>([](QMessageBox* box) {
    QCOMPARE(box->windowTitle(), QStringLiteral("Aviso"));
    QCOMPARE(box->icon(), QMessageBox::Warning);
    QCOMPARE(box->text(), QStringLiteral("O ficheiro SAF-T vai ser inspecionado.\n"
                                         "Será efetuada uma cópia de segurança do ficheiro "
                                         "original.\n"
                                         "Tem a certeza que deseja continuar?"));
    QCOMPARE(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(box->button(QMessageBox::Yes)->text(), QStringLiteral("&Sim"));
    QCOMPARE(box->button(QMessageBox::No)->text(), QStringLiteral("&Não"));
    QVERIFY(!WaitCursorOn());
    QTest::mouseClick(box->button(QMessageBox::No), Qt::LeftButton);
  });
  window.inspect->click();

  QVERIFY(driver.done());
  QVERIFY2(driver.surprises().isEmpty(), qPrintable(driver.surprises().join(", ")));
  QCOMPARE(window.results->toPlainText(), QStringLiteral("linha da corrida anterior"));
  QCOMPARE(ReadBytes(path), Fixture("cli_blank_unit.xml"));
  QVERIFY(Backup(dir).isEmpty());
  QVERIFY(QApplication::overrideCursor() == nullptr);
}

void MainFormTest::runLogsTheRepairAndSavesTheFile() {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("saft.xml"));
  WriteBytes(path, Fixture("cli_blank_unit.xml"));
  Window window;
  window.file->setText(path);

  ModalDriver driver;  // nothing to ask
  AppMessageBox::SetNextAnswer(QMessageBox::Yes);
  window.inspect->click();

  QVERIFY2(driver.surprises().isEmpty(), qPrintable(driver.surprises().join(", ")));
  const QString backup = Backup(dir);
  QVERIFY(QRegularExpression(QStringLiteral("/saft_\\d{8}_\\d{6}\\.bak_xml$"))
              .match(backup)
              .hasMatch());
  QCOMPARE(
      window.Lines(),
      QStringList({QStringLiteral("A inspecionar o ficheiro: \"%1\"").arg(path), QString(),
                   QStringLiteral("1> Doc. #FT A/1  Linha #2 (UnitOfMeasure): \"\" -> \"Un\"")}) +
          SavedLines(path, backup));
  QCOMPARE(ReadBytes(path), Fixture("cli_blank_unit.repaired.xml"));
  QCOMPARE(ReadBytes(backup), Fixture("cli_blank_unit.xml"));
  QVERIFY(QApplication::overrideCursor() == nullptr);
}

void MainFormTest::answersAreAskedOnceAndTheTaxCodeIsKept() {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("saft.xml"));
  WriteBytes(path, Fixture("cli_questions.xml"));
  Window window;
  window.file->setText(path);

  ModalDriver driver;
  driver
      .Then<TCompanyInfoFRM>([](TCompanyInfoFRM* dialog) {
        QVERIFY(WaitCursorOn());
        QVERIFY(!Child<QLineEdit>(dialog, "ECity")->isEnabled());
        auto* nif = Child<QLineEdit>(dialog, "ENif");
        nif->selectAll();
        QTest::keyClicks(nif, QStringLiteral("999999990"));
        QTest::mouseClick(Child<QPushButton>(dialog, "BTN_Ok"), Qt::LeftButton);
      })
      .Then<TTaxInfoFRM>([](TTaxInfoFRM* dialog) {
        QVERIFY(WaitCursorOn());
        Child<QComboBox>(dialog, "CBCode")->setCurrentIndex(3);  // NOR (Normal)
        QTest::mouseClick(Child<QPushButton>(dialog, "BTN_Ok"), Qt::LeftButton);
      });
  AppMessageBox::SetNextAnswer(QMessageBox::Yes);
  window.inspect->click();

  QVERIFY(driver.done());
  QVERIFY2(driver.surprises().isEmpty(), qPrintable(driver.surprises().join(", ")));
  const QString backup = Backup(dir);
  QVERIFY(!backup.isEmpty());
  QCOMPARE(
      window.Lines(),
      QStringList({QStringLiteral("A inspecionar o ficheiro: \"%1\"").arg(path), QString(),
                   QStringLiteral("1> Empresa (NIF): \"123456780\" -> \"999999990\""),
                   QStringLiteral("2> Taxa \"Taxa Normal (23)\" (código): \"N\" -> \"NOR\"")}) +
          SavedLines(path, backup));
  QByteArray expected = Fixture("cli_questions.xml");
  expected.replace("<TaxRegistrationNumber>123456780<", "<TaxRegistrationNumber>999999990<");
  expected.replace("<TaxCode>N<", "<TaxCode>NOR<");
  QCOMPARE(ReadBytes(path), expected);

  // The same window, another file with the same tax code: nothing is asked.
  QTemporaryDir dir2;
  const QString path2 = dir2.filePath(QStringLiteral("saft.xml"));
  QByteArray second = Fixture("cli_questions.xml");
  second.replace("<TaxRegistrationNumber>123456780<", "<TaxRegistrationNumber>999999990<");
  WriteBytes(path2, second);
  window.file->setText(path2);
  ModalDriver quiet;
  AppMessageBox::SetNextAnswer(QMessageBox::Yes);
  window.inspect->click();

  QVERIFY2(quiet.surprises().isEmpty(), qPrintable(quiet.surprises().join(", ")));
  QCOMPARE(
      window.Lines().mid(0, 3),
      QStringList({QStringLiteral("A inspecionar o ficheiro: \"%1\"").arg(path2), QString(),
                   QStringLiteral("1> Taxa \"Taxa Normal (23)\" (código): \"N\" -> \"NOR\"")}));
  second.replace("<TaxCode>N<", "<TaxCode>NOR<");
  QCOMPARE(ReadBytes(path2), second);
}

void MainFormTest::failedRunEmptiesThePaneAndShowsTheMessage() {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("saft.xml"));
  WriteBytes(path, Fixture("cli_questions.xml"));
  Window window;
  window.file->setText(path);
  window.results->setPlainText(QStringLiteral("linha da corrida anterior"));

  ModalDriver driver;
  driver
      .Then<TCompanyInfoFRM>([](TCompanyInfoFRM* dialog) {
        QTest::keyClick(Child<QLineEdit>(dialog, "ENif"), Qt::Key_Escape);
      })
      .Then<QMessageBox>([&window](QMessageBox* box) {
        QCOMPARE(box->windowTitle(), QStringLiteral("Erro"));
        QCOMPARE(box->icon(), QMessageBox::Warning);
        QCOMPARE(box->text(), QStringLiteral("Não foi atualizada qualquer informação!\n"
                                             "O ficheiro SAFT continua inválido."));
        QCOMPARE(box->standardButtons(), QMessageBox::Ok);
        QCOMPARE(window.results->toPlainText(), QString());  // emptied before the box
        QVERIFY(WaitCursorOn());                             // still on while it shows
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
      });
  AppMessageBox::SetNextAnswer(QMessageBox::Yes);
  window.inspect->click();

  QVERIFY(driver.done());
  QVERIFY2(driver.surprises().isEmpty(), qPrintable(driver.surprises().join(", ")));
  QCOMPARE(window.results->toPlainText(), QString());
  QCOMPARE(ReadBytes(path), Fixture("cli_questions.xml"));
  QVERIFY(Backup(dir).isEmpty());
  QVERIFY(QApplication::overrideCursor() == nullptr);
}

void MainFormTest::resultsLogKeepsEveryLine() {
  QPlainTextEdit pane;
  ResultsLog log(&pane);
  pane.setPlainText(QStringLiteral("antes"));
  log.Clear();
  log.Log("");
  log.Log("");
  log.Log("uma\r\n     duas");
  log.Log("três");
  QCOMPARE(pane.toPlainText(), QStringLiteral("\n\numa\n     duas\ntrês"));
  log.Clear();
  QCOMPARE(pane.toPlainText(), QString());
  log.Log("só");
  QCOMPARE(pane.toPlainText(), QStringLiteral("só"));
}

void MainFormTest::enterAndEscClose_data() {
  QTest::addColumn<QString>("control");
  QTest::addColumn<int>("key");
  QTest::newRow("Enter in the file field") << QStringLiteral("ESAFTFile") << int(Qt::Key_Return);
  QTest::newRow("Esc in the file field") << QStringLiteral("ESAFTFile") << int(Qt::Key_Escape);
  QTest::newRow("Esc in the results") << QStringLiteral("MResults") << int(Qt::Key_Escape);
}

void MainFormTest::enterAndEscClose() {
  QFETCH(QString, control);
  QFETCH(int, key);
  Window window;
  QWidget* widget = window.form.findChild<QWidget*>(control);
  QVERIFY(widget != nullptr);
  QTest::keyClick(widget, Qt::Key(key));
  QVERIFY(!window.form.isVisible());
}

void MainFormTest::reopensWithTheFileNameAndPlacement_data() {
  QTest::addColumn<bool>("maximized");
  QTest::newRow("normal") << false;
  QTest::newRow("maximized") << true;
}

void MainFormTest::reopensWithTheFileNameAndPlacement() {
  QFETCH(bool, maximized);
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("saft.xml"));
  WriteBytes(path, Fixture("cli_clean.xml"));
  const QString settings = QString::fromStdString(ProgramSettingsFile());
  const QSize screen = QGuiApplication::primaryScreen()->size();

  QRect placed;
  {
    Window window;
    const QRect first = window.form.frameGeometry();  // nothing stored: centred
    QCOMPARE(first.topLeft(),
             QPoint((screen.width() - first.width()) / 2, (screen.height() - first.height()) / 2));
    QCOMPARE(window.file->text(), QString());
    QTest::keyClicks(window.file, path);
    window.form.move(37, 41);
    window.form.resize(611, 407);
    if (maximized) window.form.setWindowState(Qt::WindowMaximized);
    QApplication::processEvents();  // the platform reports the new geometry
    placed = window.form.frameGeometry();
    window.form.close();
  }
  QCOMPARE(ReadBytes(settings),
           QStringLiteral("[VERIFAX]\r\nSAFTFILE=%1\r\n\r\n"
                          "[FORM_VERIFAX]\r\nScrWidth=%2\r\nScrHeight=%3\r\nWindowState=%4\r\n"
                          "Width=%5\r\nHeight=%6\r\nLeft=%7\r\nTop=%8\r\n\r\n")
               .arg(path)
               .arg(screen.width())
               .arg(screen.height())
               .arg(maximized ? 3 : 1)
               .arg(placed.width())
               .arg(placed.height())
               .arg(placed.left())
               .arg(placed.top())
               .toUtf8());

  Window window;
  QApplication::processEvents();
  QCOMPARE(window.file->text(), path);
  QCOMPARE(Base(window.file), kGreen);
  QVERIFY(window.inspect->isEnabled());
  QCOMPARE(window.form.isMaximized(), maximized);
  QCOMPARE(window.form.frameGeometry(), placed);
}

void MainFormTest::readOnlySettingsFileStaysUnchanged() {
  const QString settings = QString::fromStdString(ProgramSettingsFile());
  const QByteArray stored =
      "[VERIFAX]\r\nSAFTFILE=/nada/saft.xml\r\n\r\n"
      "[FORM_VERIFAX]\r\nScrWidth=1\r\nScrHeight=1\r\nWindowState=1\r\n"
      "Width=600\r\nHeight=400\r\nLeft=10\r\nTop=10\r\n\r\n";
  WriteBytes(settings, stored);
  ReadOnlyFile read_only(settings);
  if (!read_only.Unwritable()) QSKIP("this user can write to any file here");

  ModalDriver driver;  // no message expected
  {
    Window window;
    QCOMPARE(window.file->text(), QStringLiteral("/nada/saft.xml"));  // reading works
    QCOMPARE(Base(window.file), kOrange);
    window.file->clear();
    window.form.move(50, 60);
    window.form.close();
    QVERIFY(!window.form.isVisible());
  }
  QVERIFY2(driver.surprises().isEmpty(), qPrintable(driver.surprises().join(", ")));
  QCOMPARE(ReadBytes(settings), stored);
}

}  // namespace verifax

QTEST_MAIN(verifax::MainFormTest)
#include "main_form_test.moc"
