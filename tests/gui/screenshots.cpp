// zq_gui_screenshots OUTPUT_FOLDER: renders the front end's dialogs to PNG,
// one file per page, with fixed sample values, for a person to look at
// (scripts/screenshots runs it at scale 1 and 2). Each entry of kShots builds
// one widget in the state to show; add an entry for every new dialog page.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLineEdit>
#include <QTableView>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gui/core/desktop_opener.h"
#include "gui/core/recording_dialogs.h"
#include "gui/main_dialog.h"
#include "gui/picker_dialog.h"
#include "gui/processing_dialog.h"

namespace {

using namespace zq::gui;

// Opens nothing: a screenshot never starts a program.
class no_opener final : public desktop_opener {
 public:
  bool open(const std::string&) override { return false; }
};

// What every entry may use: answers instead of message boxes, a program
// folder without a job file, so only the sample values show.
struct shot_context {
  recording_dialogs dialogs;
  no_opener opener;
  QTemporaryDir program_folder;
};

struct shot {
  QString name;  // the file name, without ".png"
  std::function<std::unique_ptr<QWidget>(shot_context&)> setup;
};

dialog_values sample_values() {
  dialog_values values;
  values.source_folder = "/home/ann/scans/2024";
  values.recursive_search = true;
  values.extract_all_pages = true;
  values.target_format = 6;
  values.target_folder = "/home/ann/converted";
  values.temp_folder = "/tmp/";
  values.width = "1654";
  values.height = "2339";
  values.keep_proportions = true;
  values.create_report = true;
  values.bmp_type = bmp_colors::colors_256;
  values.gif_type = gif_version::gif89;
  values.jpeg_quality = "75";
  values.jpeg_colorspace = 1;
  values.pcl_page_type = 4;
  values.pcl_dpi = "300";
  values.pcx_name = "archive";
  values.pdf_compression = 1;
  values.pdf_page_size = 3;
  values.pdf_single_file = true;
  values.pdf_name = "scans-2024.pdf";
  values.png_quality = "75";
  values.pse_horz_dpi = "240";
  values.pse_vert_dpi = "240";
  values.tiff_compression = 2;
  values.tiff_dpi = "200";
  values.tiff_colorspace = 0;
  values.tiff_multi_page = true;
  values.tif_name = "scans-2024";
  return values;
}

// The picker over a folder of sample scans, six of them listed and sorted
// by size.
std::unique_ptr<QWidget> picker_shot(shot_context& context) {
  static QTemporaryDir scans;
  static picked_file_list picked;
  std::vector<std::string> names;
  const QDateTime when(QDate(2024, 3, 7), QTime(14, 5));
  for (int i = 1; i <= 9; ++i) {
    const QString name = QStringLiteral("scan-%1.tif").arg(i, 4, 10, QLatin1Char('0'));
    QFile file(scans.filePath(name));
    if (file.open(QIODevice::WriteOnly)) {
      file.write(QByteArray((i * 7919) % 50000 + 1000, 'x'));
      file.flush();  // a write left for the close would set the time again
      file.setFileTime(when.addDays(i * 40), QFileDevice::FileModificationTime);
    }
    if (i % 3 != 0) {
      names.push_back(name.toStdString());
    }
  }
  auto picker = std::make_unique<picker_dialog>(picked, context.dialogs, context.opener, "/nowhere",
                                                scans.path());
  picker->open_names(names);
  auto* list = picker->findChild<QTableView*>(QStringLiteral("picked_list"));
  emit list->horizontalHeader()->sectionClicked(1);
  list->selectRow(2);
  // The folder view fills in the background.
  picker->show();
  auto* folders = picker->findChild<QFileSystemModel*>(QStringLiteral("folder_model"));
  QElapsedTimer waited;
  waited.start();
  while (folders->rowCount(folders->index(scans.path())) < 9 && waited.elapsed() < 3000) {
    QApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  return picker;
}

// The processing dialog while the third of five files converts.
std::unique_ptr<QWidget> processing_shot(shot_context&) {
  class held_after_two final : public engine_starter {
   public:
    void start(const std::string&, const std::string&,
               std::function<void(zq::status)> ended) override {
      if (++started_ <= 2) {
        ended(zq::status::ok());
      }
    }

   private:
    int started_ = 0;
  };
  static held_after_two starter;
  static QTemporaryDir target;
  static picked_file_list picked;
  for (int i = 1; i <= 5; ++i) {
    picked.push_back(QStringLiteral("/home/ann/scans/2024/scan-%1.tif")
                         .arg(i, 4, 10, QLatin1Char('0'))
                         .toStdString());
  }
  run_settings run;
  run.target_folder = target.path().toStdString();
  run.format_code = 6;
  auto dialog = std::make_unique<processing_dialog>(run, picked, "/home/ann/Zembrit_Quarnel.ini",
                                                    "/nowhere/Zembrit_Quarnel", starter);
  dialog->show();
  QApplication::processEvents();
  return dialog;
}

std::vector<shot> shots() {
  static const char* const kTabs[] = {"misc", "report", "bmp", "gif", "jpeg", "pcl",
                                      "pcx",  "pdf",    "png", "pse", "tiff"};
  std::vector<shot> list;
  for (int tab = 0; tab < 11; ++tab) {
    list.push_back({QStringLiteral("main-%1").arg(QString::fromUtf8(kTabs[tab])),
                    [tab](shot_context& context) -> std::unique_ptr<QWidget> {
                      auto dialog = std::make_unique<main_dialog>(
                          context.dialogs, context.opener,
                          context.program_folder.path().toStdString());
                      dialog->set_values(sample_values());
                      dialog->findChild<QLineEdit*>(QStringLiteral("job_file_edit"))
                          ->setText(QStringLiteral("/home/ann/.config/Zembrit_Quarnel/"
                                                   "Zembrit_Quarnel.ini"));
                      dialog->show_panel(static_cast<panel_tab>(tab));
                      return dialog;
                    }});
  }
  list.push_back({QStringLiteral("picker"), picker_shot});
  list.push_back({QStringLiteral("processing"), processing_shot});
  return list;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: zq_gui_screenshots OUTPUT_FOLDER\n");
    return 2;
  }
  const QDir out(QString::fromLocal8Bit(argv[1]));
  shot_context context;
  int failed = 0;
  for (const shot& each : shots()) {
    std::unique_ptr<QWidget> widget = each.setup(context);
    widget->show();
    QApplication::processEvents();
    const QString path = out.filePath(each.name + QStringLiteral(".png"));
    if (!widget->grab().save(path)) {
      std::fprintf(stderr, "zq_gui_screenshots: cannot write %s\n", qPrintable(path));
      ++failed;
    }
  }
  return failed == 0 ? 0 : 1;
}
