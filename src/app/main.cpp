#include <QApplication>

#include "app/main_form.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  verifax::SetUpApplication();
  verifax::TMainFRM window;
  window.show();
  return app.exec();
}
