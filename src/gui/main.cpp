// Quarnel_gui: the settings front end. One modal dialog; the program ends
// with it, with exit code 1 whichever way it was closed.
#include <QApplication>

#include "gui/desktop_services.h"
#include "gui/main_dialog.h"
#include "gui/message_boxes.h"
#include "platform/system.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  zq::gui::message_boxes boxes;
  zq::gui::desktop_services opener;
  zq::gui::main_dialog dialog(boxes, opener, zq::platform::own_folder());
  boxes.set_owner(&dialog);
  dialog.exec();
  return 1;
}
