// Zembrit_setup: installs the programs from the folder it runs from.
#include <QApplication>

#include "platform/file_system.h"
#include "platform/system.h"
#include "setup/setup_wizard.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  // The wizard says when and how the program ends, Finish and Cancel alike.
  application.setQuitOnLastWindowClosed(false);
  zq::setup::qt_wizard_edges edges;
  zq::setup::setup_wizard wizard({zq::platform::real_file_system(), edges,
                                  zq::platform::own_folder(),
                                  zq::setup::current_user_environment()});
  edges.set_owner(&wizard);
  QObject::connect(&wizard, &zq::setup::setup_wizard::program_ended, &application,
                   [](int exit_code) { QCoreApplication::exit(exit_code); });
  wizard.show();
  return QApplication::exec();
}
