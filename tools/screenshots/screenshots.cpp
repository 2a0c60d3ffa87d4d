// Makes a run of the desktop program on a sample file, answering its windows as a user
// would, and saves a PNG of each window as it is shown: the confirmation, the company
// data dialog, the tax rate dialog and the main window after the run.
//
//   verifax-screenshots OUTPUT_FOLDER SAMPLE.xml
//
// The sample must make the run ask for the company's postal code and tax number and for
// one tax code. tools/screenshots.sh prepares one and runs this under Xvfb.

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

#include "app/main_form.h"
#include "dialogs/company_info_form.h"
#include "dialogs/tax_info_form.h"
#include "qt_support/modal_driver.h"

namespace {

bool failed = false;

void Save(QWidget* window, const QDir& folder, const QString& name) {
  const QString path = folder.filePath(name);
  if (!window->grab().save(path, "PNG")) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    failed = true;
    return;
  }
  std::printf("%s\n", qPrintable(path));
}

template <class T>
T* Child(QWidget* parent, const char* name) {
  T* child = parent->findChild<T*>(QLatin1String(name));
  if (child == nullptr) {
    std::fprintf(stderr, "no %s\n", name);
    std::exit(2);
  }
  return child;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: verifax-screenshots OUTPUT_FOLDER SAMPLE.xml\n");
    return 64;
  }
  verifax::SetUpApplication();
  const QDir folder(QString::fromLocal8Bit(argv[1]));
  const QString sample = QString::fromLocal8Bit(argv[2]);

  verifax::TMainFRM window;
  window.resize(640, 400);  // room for the whole log
  window.show();
  Child<QLineEdit>(&window, "ESAFTFile")->setText(sample);

  using verifax::testing::ModalDriver;
  ModalDriver driver;
  driver
      .Then<QMessageBox>([&](QMessageBox* box) {
        Save(box, folder, QStringLiteral("confirmation.png"));
        box->button(QMessageBox::Yes)->click();
      })
      .Then<verifax::TCompanyInfoFRM>([&](verifax::TCompanyInfoFRM* dialog) {
        // The postal code corrected, the tax number not yet: both colours show.
        Child<QLineEdit>(dialog, "EPostalCode4")->setText(QStringLiteral("1100"));
        Save(dialog, folder, QStringLiteral("company-dialog.png"));
        Child<QLineEdit>(dialog, "ENif")->setText(QStringLiteral("999999990"));
        Child<QPushButton>(dialog, "BTN_Ok")->click();
      })
      .Then<verifax::TTaxInfoFRM>([&](verifax::TTaxInfoFRM* dialog) {
        Save(dialog, folder, QStringLiteral("tax-dialog.png"));
        Child<QComboBox>(dialog, "CBCode")->setCurrentIndex(3);  // NOR (Normal)
        Child<QPushButton>(dialog, "BTN_Ok")->click();
      });

  QTimer::singleShot(0, &window, [&] {
    Child<QPushButton>(&window, "BTN_Inspect")->click();  // returns when the run ends
    Save(&window, folder, QStringLiteral("main-window.png"));
    if (!driver.done() || !driver.surprises().isEmpty()) {
      std::fprintf(stderr, "the run did not go as expected: %s\n",
                   qPrintable(driver.surprises().join(QStringLiteral(", "))));
      failed = true;
    }
    app.exit(failed ? 1 : 0);
  });
  return app.exec();
}
