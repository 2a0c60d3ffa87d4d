// The correction dialogs' Qt views: what they show for a question, how they follow the
// user's typing, what EditCompanyInfo and EditTaxInfo return however they close, and
// where they reopen.

#include <QComboBox>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

#include "dialogs/company_info_form.h"
#include "dialogs/tax_info_form.h"
#include "qt_support/modal_driver.h"
#include "settings/qt_placement.h"

Q_DECLARE_METATYPE(verifax::TCompany)

namespace verifax {
namespace {

const QColor kGreen(204, 255, 204);
const QColor kOrange(255, 204, 102);
const QColor kSilver(192, 192, 192);

QColor Base(const QWidget* field) {
  return field->palette().color(QPalette::Base);
}

template <class T>
T* Child(QWidget* parent, const char* name) {
  T* child = parent->findChild<T*>(QLatin1String(name));
  if (child == nullptr) qFatal("no control %s", name);
  return child;
}

TCompany Company(const char* postalcode, const char* city, const char* nif, bool edit_address,
                 bool edit_nif) {
  return TCompany{city, postalcode, nif, edit_address, edit_nif};
}

// Replaces the whole text of a field by typing.
void Retype(QLineEdit* edit, const QString& text) {
  edit->setFocus();
  QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(edit, Qt::Key_Backspace);
  QTest::keyClicks(edit, text);
}

}  // namespace

class DialogViewsTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void companyDialogAsksOnlyWhatIsAsked_data();
  void companyDialogAsksOnlyWhatIsAsked();
  void companyDialogAnswersWhicheverWayItCloses_data();
  void companyDialogAnswersWhicheverWayItCloses();
  void taxDialogPreselectsFromTheDescription_data();
  void taxDialogPreselectsFromTheDescription();
  void taxDialogOkNeedsASelection();
  void taxDialogEnterAndEscCancel_data();
  void taxDialogEnterAndEscCancel();
  void dialogsReopenWhereTheyWereLeft();

 private:
  QTemporaryDir settings_dir_;
  int settings_files_ = 0;
};

void DialogViewsTest::init() {
  // Each test starts without stored placements, and nothing is written beside the program.
  SetProgramSettingsFile(
      settings_dir_.filePath(QStringLiteral("verifax-%1.ini").arg(++settings_files_))
          .toStdString());
}

void DialogViewsTest::companyDialogAsksOnlyWhatIsAsked_data() {
  QTest::addColumn<TCompany>("question");
  QTest::addColumn<QColor>("postal_code");  // colours as the dialog opens
  QTest::addColumn<QColor>("city");
  QTest::addColumn<QColor>("nif");
  QTest::addColumn<QString>("new_postal_code4");  // typed in turn; empty: not typed
  QTest::addColumn<QString>("new_city");
  QTest::addColumn<QString>("new_nif");

  QTest::newRow("only the tax number")
      << Company("1000-001", "Lisboa", "123456780", false, true) << kSilver << kSilver << kOrange
      << QString() << QString() << QStringLiteral("999999990");
  QTest::newRow("only the address")
      << Company("100-001", "", "123456780", true, false) << kOrange << kOrange << kSilver
      << QStringLiteral("1100") << QStringLiteral("Porto") << QString();
  QTest::newRow("both") << Company("100-001", "Lisboa", "12345", true, true) << kOrange << kGreen
                        << kOrange << QStringLiteral("1100") << QString()
                        << QStringLiteral("123456789");
  QTest::newRow("a city of blanks")
      << Company("1000-001", "   ", "12345", true, false) << kGreen << kOrange << kSilver
      << QString() << QStringLiteral("Évora") << QString();
}

void DialogViewsTest::companyDialogAsksOnlyWhatIsAsked() {
  QFETCH(TCompany, question);
  QFETCH(QColor, postal_code);
  QFETCH(QColor, city);
  QFETCH(QColor, nif);
  QFETCH(QString, new_postal_code4);
  QFETCH(QString, new_city);
  QFETCH(QString, new_nif);

  TCompanyInfoFRM dialog;
  dialog.Fill(question);
  dialog.show();
  auto* postal_code4 = Child<QLineEdit>(&dialog, "EPostalCode4");
  auto* postal_code3 = Child<QLineEdit>(&dialog, "EPostalCode3");
  auto* city_edit = Child<QLineEdit>(&dialog, "ECity");
  auto* nif_edit = Child<QLineEdit>(&dialog, "ENif");
  auto* ok = Child<QPushButton>(&dialog, "BTN_Ok");

  QCOMPARE(Base(postal_code4), postal_code);
  QCOMPARE(Base(postal_code3), postal_code);
  QCOMPARE(Base(city_edit), city);
  QCOMPARE(Base(nif_edit), nif);
  QCOMPARE(postal_code4->isEnabled(), question.edit_address);
  QCOMPARE(city_edit->isEnabled(), question.edit_address);
  QCOMPARE(nif_edit->isEnabled(), question.edit_nif);
  QCOMPARE(Child<QLabel>(&dialog, "LCity")->isVisible(), question.edit_address);
  QCOMPARE(Child<QLabel>(&dialog, "LCity")->text(),
           question.edit_address ? QString::fromStdString(question.city) : QString());
  QCOMPARE(Child<QLabel>(&dialog, "LNif")->isVisible(), question.edit_nif);
  QCOMPARE(Child<QLabel>(&dialog, "LNif")->text(),
           question.edit_nif ? QString::fromStdString(question.nif) : QString());
  QVERIFY(!ok->isEnabled());
  QVERIFY(Child<QPushButton>(&dialog, "BTN_Cancel")->isDefault());

  // Each answer turns its own field green; Ok comes with the last one needed.
  const std::pair<QLineEdit*, QString> typing[] = {
      {postal_code4, new_postal_code4}, {city_edit, new_city}, {nif_edit, new_nif}};
  QLineEdit* last = nullptr;
  for (const auto& [edit, text] : typing)
    if (!text.isEmpty()) last = edit;
  for (const auto& [edit, text] : typing) {
    if (text.isEmpty()) continue;
    Retype(edit, text);
    QCOMPARE(Base(edit), kGreen);
    QCOMPARE(ok->isEnabled(), edit == last);
  }
  // Not asked stays silver whatever else happens.
  if (!question.edit_nif) QCOMPARE(Base(nif_edit), kSilver);
  if (!question.edit_address) QCOMPARE(Base(city_edit), kSilver);

  // Breaking an answer again takes Ok away.
  Retype(question.edit_nif ? nif_edit : city_edit, QStringLiteral(" "));
  QCOMPARE(Base(question.edit_nif ? nif_edit : city_edit), kOrange);
  QVERIFY(!ok->isEnabled());
}

void DialogViewsTest::companyDialogAnswersWhicheverWayItCloses_data() {
  QTest::addColumn<int>("key");  // 0: click Ok
  QTest::addColumn<bool>("ok");
  QTest::newRow("Enter in a field") << int(Qt::Key_Return) << false;
  QTest::newRow("Esc") << int(Qt::Key_Escape) << false;
  QTest::newRow("Ok") << 0 << true;
}

void DialogViewsTest::companyDialogAnswersWhicheverWayItCloses() {
  QFETCH(int, key);
  QFETCH(bool, ok);

  testing::ModalDriver driver;
  driver.Then<TCompanyInfoFRM>([key](TCompanyInfoFRM* dialog) {
    auto* nif = Child<QLineEdit>(dialog, "ENif");
    Retype(nif, QStringLiteral(" 999999990"));  // the edit keeps nine characters
    Retype(Child<QLineEdit>(dialog, "EPostalCode3"), QString());
    Retype(Child<QLineEdit>(dialog, "ECity"), QStringLiteral(" Porto "));
    if (key == 0) {
      Retype(nif, QStringLiteral("999999990"));
      Retype(Child<QLineEdit>(dialog, "EPostalCode4"), QStringLiteral("1100"));
      Retype(Child<QLineEdit>(dialog, "EPostalCode3"), QStringLiteral("001"));
      QVERIFY(Child<QPushButton>(dialog, "BTN_Ok")->isEnabled());
      QTest::mouseClick(Child<QPushButton>(dialog, "BTN_Ok"), Qt::LeftButton);
    } else {
      QTest::keyClick(Child<QLineEdit>(dialog, "ECity"), Qt::Key(key));
    }
  });
  TCompany answer;
  const bool result =
      EditCompanyInfo(nullptr, Company("100-001", "Lisboa", "123456780", true, true), answer);

  QVERIFY(driver.done());
  QVERIFY2(driver.surprises().isEmpty(), qPrintable(driver.surprises().join(", ")));
  QCOMPARE(result, ok);
  QCOMPARE(answer.city, std::string("Porto"));
  QCOMPARE(answer.postalcode, std::string(ok ? "1100-001" : "100-000"));
  QCOMPARE(answer.nif, std::string(ok ? "999999990" : "99999999"));
  QVERIFY(answer.edit_address && answer.edit_nif);
}

void DialogViewsTest::taxDialogPreselectsFromTheDescription_data() {
  QTest::addColumn<QString>("description");
  QTest::addColumn<QString>("selected");
  QTest::newRow("normal") << QStringLiteral("normal") << QStringLiteral("NOR (Normal)");
  QTest::newRow("Taxa Normal") << QStringLiteral("Taxa Normal") << QString();
  QTest::newRow("Intermédia") << QStringLiteral("Intermédia 13%")
                              << QStringLiteral("INT   (Intermédia)");
}

void DialogViewsTest::taxDialogPreselectsFromTheDescription() {
  QFETCH(QString, description);
  QFETCH(QString, selected);

  TTaxInfoFRM dialog;
  dialog.Fill(TTax{" N ", description.toStdString(), "23"});
  dialog.show();
  auto* combo = Child<QComboBox>(&dialog, "CBCode");
  QCOMPARE(combo->currentText(), selected);
  QCOMPARE(Base(combo), selected.isEmpty() ? kOrange : kGreen);
  QCOMPARE(Child<QPushButton>(&dialog, "BTN_Ok")->isEnabled(), !selected.isEmpty());
  QCOMPARE(Child<QLabel>(&dialog, "LCode")->text(), QStringLiteral(" N "));
  QCOMPARE(Child<QLineEdit>(&dialog, "EDescription")->text(), description);
  QCOMPARE(Child<QLineEdit>(&dialog, "EValue")->text(), QStringLiteral("23"));
}

void DialogViewsTest::taxDialogOkNeedsASelection() {
  testing::ModalDriver driver;
  driver.Then<TTaxInfoFRM>([](TTaxInfoFRM* dialog) {
    auto* combo = Child<QComboBox>(dialog, "CBCode");
    auto* ok = Child<QPushButton>(dialog, "BTN_Ok");
    QVERIFY(!ok->isEnabled());
    combo->setCurrentIndex(2);  // as a pick from the list does
    QCOMPARE(Base(combo), kGreen);
    QVERIFY(ok->isEnabled());
    QTest::keyClick(combo->lineEdit(), Qt::Key_Backspace);  // no item any more
    QCOMPARE(Base(combo), kOrange);
    QVERIFY(!ok->isEnabled());
    QTest::keyClick(combo, Qt::Key_Down);  // the next item after INT
    QCOMPARE(combo->currentText(), QStringLiteral("NOR (Normal)"));
    QVERIFY(ok->isEnabled());
    QTest::mouseClick(ok, Qt::LeftButton);
  });
  TTax answer;
  const bool result = EditTaxInfo(nullptr, TTax{"N", "Taxa Normal", "23"}, answer);
  QVERIFY(driver.done());
  QVERIFY2(driver.surprises().isEmpty(), qPrintable(driver.surprises().join(", ")));
  QVERIFY(result);
  QCOMPARE(answer, (TTax{"NOR", "Taxa Normal", "23"}));
}

void DialogViewsTest::taxDialogEnterAndEscCancel_data() {
  QTest::addColumn<int>("key");
  QTest::newRow("Enter") << int(Qt::Key_Return);
  QTest::newRow("Esc") << int(Qt::Key_Escape);
}

void DialogViewsTest::taxDialogEnterAndEscCancel() {
  QFETCH(int, key);
  testing::ModalDriver driver;
  driver.Then<TTaxInfoFRM>([key](TTaxInfoFRM* dialog) {
    auto* combo = Child<QComboBox>(dialog, "CBCode");
    QVERIFY(Child<QPushButton>(dialog, "BTN_Ok")->isEnabled());
    QTest::keyClick(combo->lineEdit(), Qt::Key(key));
  });
  TTax answer;
  const bool result = EditTaxInfo(nullptr, TTax{"X", "Normal", "23"}, answer);
  QVERIFY(driver.done());
  QVERIFY2(driver.surprises().isEmpty(), qPrintable(driver.surprises().join(", ")));
  QVERIFY(!result);
  QCOMPARE(answer, (TTax{"NOR", "Normal", "23"}));  // collected all the same
}

void DialogViewsTest::dialogsReopenWhereTheyWereLeft() {
  struct Case {
    const char* section;
    std::function<void()> ask;
    QPoint left_at;
  };
  const Case cases[] = {
      {"[FORM_VERIFAX_COMPANY]",
       [] {
         TCompany answer;
         EditCompanyInfo(nullptr, Company("1000-001", "Lisboa", "1", false, true), answer);
       },
       QPoint(31, 43)},
      {"[FORM_VERIFAX_TAX]",
       [] {
         TTax answer;
         EditTaxInfo(nullptr, TTax{"X", "Normal", "23"}, answer);
       },
       QPoint(250, 12)},
  };
  const QSize screen = QGuiApplication::primaryScreen()->size();
  for (const Case& c : cases) {
    QRect first;
    QRect second;
    testing::ModalDriver driver;
    driver
        .Then<QDialog>([&](QDialog* dialog) {
          first = dialog->frameGeometry();
          dialog->move(c.left_at);
          QTest::keyClick(dialog, Qt::Key_Escape);
        })
        .Then<QDialog>([&](QDialog* dialog) {
          second = dialog->frameGeometry();
          dialog->reject();
        });
    c.ask();
    c.ask();
    QVERIFY(driver.done());
    QVERIFY2(driver.surprises().isEmpty(), qPrintable(driver.surprises().join(", ")));
    // Nothing stored the first time: centred on the screen.
    QCOMPARE(first.topLeft(),
             QPoint((screen.width() - first.width()) / 2, (screen.height() - first.height()) / 2));
    QCOMPARE(second, QRect(c.left_at, first.size()));
  }
  // One section for each, side by side in the same file.
  QFile settings(QString::fromStdString(ProgramSettingsFile()));
  QVERIFY(settings.open(QIODevice::ReadOnly));
  const QByteArray text = settings.readAll();
  for (const Case& c : cases) QCOMPARE(text.count(c.section), 1);
}

}  // namespace verifax

QTEST_MAIN(verifax::DialogViewsTest)
#include "dialog_views_test.moc"
