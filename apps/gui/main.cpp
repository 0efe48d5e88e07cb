// karvo: the desktop window in front of the task driver.

#include <QApplication>

#include "KarvoForm.h"
#include "base/Globals.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName("Karvo");
  QGuiApplication::setDesktopFileName("karvo");
  karvo::BaseStartup();
  karvo::gui::TKarvoForm form;
  // A failed check has shown its message; the window stays, without tasks.
  form.Start();
  form.show();
  return QApplication::exec();
}
