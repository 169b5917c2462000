// Renders the installer's five wizard pages and its failure box to PNG files
// in the folder named by the one argument (scripts/screenshots runs it at
// scale 1 and 2): setup-1-welcome.png ... setup-6-failure-box.png. The
// wizard installs dummy files into a scratch folder on its way to the last
// page; nothing outside it is touched.
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QWidget>
#include <cstdio>

#include "platform/file_system.h"
#include "scripted_edges.h"
#include "setup/setup_wizard.h"

namespace {

bool save(QWidget& widget, const QString& folder, const QString& name) {
  QApplication::processEvents();
  const QString path = QDir(folder).filePath(name);
  if (!widget.grab().save(path)) {
    std::fprintf(stderr, "zq_setup_screenshots: cannot write %s\n", qPrintable(path));
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: zq_setup_screenshots OUTPUT_FOLDER\n");
    return 2;
  }
  const QString out = QString::fromLocal8Bit(argv[1]);
  QTemporaryDir scratch;
  const QString source = scratch.filePath("setup");
  QDir().mkpath(source);
  for (const char* name : zq::setup::kCopyList) {
    QFile file(QDir(source).filePath(name));
    if (!file.open(QIODevice::WriteOnly)) return 1;
  }
  zq::setup::user_environment environment;
  environment.home = zq::setup::to_path(scratch.filePath("home"));
  zq::setup::scripted_edges edges;
  zq::setup::setup_wizard wizard(
      {zq::platform::real_file_system(), edges, zq::setup::to_path(source) + "/", environment});
  wizard.show();
  // A folder with a blank, as users pick them, holding an earlier
  // installation's own settings, so the finish page says where they were kept.
  const QString earlier = scratch.filePath("Programs/Zembrit Quarnel");
  QDir().mkpath(earlier);
  QFile settings(QDir(earlier).filePath(zq::setup::kJobFileName));
  if (!settings.open(QIODevice::WriteOnly) || settings.write("[FOLDERS]\n") < 0) return 1;
  settings.close();
  edges.chosen_folders.push_back(zq::setup::to_path(earlier));
  const char* names[] = {"setup-1-welcome.png", "setup-2-destination.png", "setup-3-options.png",
                         "setup-4-ready.png", "setup-5-finish.png"};
  bool saved = true;
  for (int page = 0; page < 5; ++page) {
    if (page == zq::setup::kDestinationPage) {
      wizard.findChild<QAbstractButton*>("browse_button")->click();
    }
    saved = save(wizard, out, names[page]) && saved;
    wizard.next();
  }
  auto box = zq::setup::make_message_box(nullptr, zq::setup::failure_box(), QMessageBox::Ok);
  box->show();
  saved = save(*box, out, "setup-6-failure-box.png") && saved;
  return saved ? 0 : 1;
}
