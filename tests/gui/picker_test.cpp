// The picker and the processing dialog driven as a user drives them: widgets
// found by name, keys and clicks through QTest, modal dialogs answered from
// a timer.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "../platform/test_folder.h"
#include "common/paths.h"
#include "core/launch_test_support.h"
#include "gui/core/recording_dialogs.h"
#include "gui/main_dialog.h"
#include "gui/picker_dialog.h"
#include "gui/processing_dialog.h"
#include "jobfile/formats.h"

namespace zq::gui {
namespace {

using platform::read_bytes;
using platform::test_folder;
using platform::write_bytes;
using strings = std::vector<std::string>;

// Runs events until `done` holds; false after `ms`. (QtTest's QTRY macros
// report to QtTest, not to GoogleTest, and would pass silently.)
template <class F>
bool eventually(F done, int ms = 5000) {
  return QTest::qWaitFor(done, ms);
}

template <class T>
T* child(QObject& parent, const char* name) {
  T* found = parent.findChild<T*>(QString::fromLatin1(name));
  EXPECT_NE(found, nullptr) << name;
  return found;
}

strings names_of(const std::vector<std::string>& paths) {
  strings names;
  for (const std::string& path : paths) {
    names.push_back(std::filesystem::path(path).filename().string());
  }
  return names;
}

// A picker over a folder of the test's, with its temporary folder there too.
struct picker_fixture {
  test_folder folder;
  std::string temp = folder / "tmp";
  temp_in files{platform::real_file_system(), temp};
  recording_dialogs ui;
  recording_opener opener;
  picked_file_list picked{"/left/over/from/before.tif"};
  std::unique_ptr<picker_dialog> picker;

  explicit picker_fixture(std::initializer_list<std::pair<const char*, std::size_t>> made) {
    std::filesystem::create_directory(temp);
    for (const auto& [name, size] : made) {
      make_file(folder / name, size);
    }
    picker = std::make_unique<picker_dialog>(picked, ui, opener, "/prog/help.html",
                                             QString::fromStdString(folder.path()), nullptr, files);
    picker->show();
  }
  QAction* action(const char* name) { return child<QAction>(*picker, name); }
  QTableView* list() { return child<QTableView>(*picker, "picked_list"); }
  QString count() { return child<QLabel>(*picker, "count")->text(); }
  strings rows() { return names_of(picker->rows().paths()); }
  std::string list_file() { return read_bytes(temp + "/z.log"); }
  bool list_file_exists() { return std::filesystem::exists(temp + "/z.log"); }
};

TEST(PickerDialog, ArrangementOfTheToolbarAndTheList) {
  picker_fixture f({});
  EXPECT_EQ(f.picker->windowTitle(), "Zembrit_Quarnel - Select TIFF files");
  EXPECT_TRUE(f.picked.empty()) << "every opening starts afresh";
  const struct {
    const char* name;
    const char* text;
  } commands[] = {
      {"add_folder", "Add folder"},
      {"add_folder_tree", "Add folder and subfolders"},
      {"remove_selected", "Remove selected"},
      {"remove_all", "Remove all"},
      {"grid_lines", "Grid lines"},
      {"help", "Help"},
      {"close", "Close"},
      {"validate", "Validate"},
  };
  for (const auto& c : commands) {
    QAction* action = f.action(c.name);
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action->toolTip(), c.text);
    EXPECT_FALSE(action->icon().isNull()) << c.name;
    QWidget* button = child<QWidget>(*f.picker, (std::string(c.name) + "_button").c_str());
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->accessibleName(), c.text);
  }
  EXPECT_TRUE(f.action("grid_lines")->isChecked());
  EXPECT_TRUE(f.list()->showGrid());
  f.action("grid_lines")->trigger();
  EXPECT_FALSE(f.list()->showGrid());

  EXPECT_EQ(f.count(), "") << "empty until the list first changes";
  f.action("remove_selected")->trigger();
  EXPECT_EQ(f.count(), "0") << "Remove selected shows the count even with nothing selected";

  f.action("help")->trigger();
  EXPECT_EQ(f.opener.opened, strings{"/prog/help.html"});
}

// Opening a selection of the folder view adds to the list and keeps the
// dialog open; Delete removes rows from the list but never in the folder view.
TEST(PickerDialog, OpeningFromTheFolderViewAndTheDeleteKey) {
  picker_fixture f({{"a.tif", 3}, {"b.TIFF", 5}, {"x.ti", 1}, {"sub/c.tif", 1}});
  auto* view = child<QTreeView>(*f.picker, "folder_view");
  auto* model = child<QFileSystemModel>(*f.picker, "folder_model");
  const QModelIndex root = view->rootIndex();
  // The folder view loads in the background: sub, tmp, a.tif and b.TIFF;
  // x.ti is filtered out.
  ASSERT_TRUE(eventually([&] { return model->rowCount(root) == 4; }));
  const QPersistentModelIndex a = model->index(QString::fromStdString(f.folder / "a.tif"));
  const QPersistentModelIndex b = model->index(QString::fromStdString(f.folder / "b.TIFF"));
  // Sorted by name a moment after loading: the order the user sees.
  ASSERT_TRUE(eventually([&] { return a.row() < b.row(); }));
  view->setFocus();
  view->selectionModel()->setCurrentIndex(b,
                                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
  view->selectionModel()->select(a, QItemSelectionModel::Select | QItemSelectionModel::Rows);
  QTest::keyClick(view, Qt::Key_Return);
  EXPECT_EQ(f.rows(), (strings{"b.TIFF", "a.tif"}));
  EXPECT_EQ(names_of(f.picked), (strings{"a.tif", "b.TIFF"}));
  EXPECT_EQ(f.count(), "2");
  EXPECT_TRUE(f.picker->isVisible());
  EXPECT_TRUE(f.ui.boxes().empty());

  // Delete in the folder view touches neither the list nor the files.
  view->selectionModel()->select(a,
                                 QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  QTest::keyClick(view, Qt::Key_Delete);
  EXPECT_EQ(f.rows().size(), 2u);
  EXPECT_TRUE(std::filesystem::exists(f.folder / "a.tif"));

  f.list()->setFocus();
  f.list()->selectRow(1);
  QTest::keyClick(f.list(), Qt::Key_Delete);
  EXPECT_EQ(f.rows(), strings{"b.TIFF"});
  EXPECT_EQ(names_of(f.picked), strings{"b.TIFF"});
  EXPECT_EQ(f.count(), "1");
  EXPECT_TRUE(std::filesystem::exists(f.folder / "a.tif"));

  // A folder opened in the view is entered, not listed.
  const QModelIndex sub = model->index(QString::fromStdString(f.folder / "sub"));
  emit view->activated(sub);
  EXPECT_EQ(f.picker->current_folder().toStdString(), f.folder / "sub");
  EXPECT_EQ(f.rows().size(), 1u);
}

TEST(PickerDialog, FolderAddsRemovalsAndValidate) {
  picker_fixture f({{"f0.tif", 40},
                    {"f1.tif", 10},
                    {"f2.tif", 60},
                    {"f3.tif", 20},
                    {"f4.tif", 50},
                    {"f5.tif", 30},
                    {"sub/s.tif", 5},
                    {"empty.tif", 0}});
  f.action("add_folder")->trigger();
  EXPECT_EQ(f.rows(), (strings{"f5.tif", "f4.tif", "f3.tif", "f2.tif", "f1.tif", "f0.tif"}));
  EXPECT_EQ(f.count(), "6");

  f.list()->selectRow(2);
  f.list()->selectionModel()->select(f.list()->model()->index(5, 0),
                                     QItemSelectionModel::Select | QItemSelectionModel::Rows);
  f.action("remove_selected")->trigger();
  EXPECT_EQ(f.rows(), (strings{"f5.tif", "f4.tif", "f2.tif", "f1.tif"}));
  EXPECT_EQ(names_of(f.picked), (strings{"f1.tif", "f2.tif", "f4.tif", "f5.tif"}));
  EXPECT_EQ(f.count(), "4");

  f.action("add_folder_tree")->trigger();
  EXPECT_EQ(f.rows().size(), 7u);
  EXPECT_EQ(f.rows()[0], "s.tif") << "the subfolder is walked when its entry is met, last";

  // A click on "Size" sorts the rows; Validate writes them in that order.
  QHeaderView* header = f.list()->horizontalHeader();
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                    QPoint(header->sectionViewportPosition(1) + 10, header->height() / 2));
  EXPECT_EQ(f.rows(),
            (strings{"s.tif", "f1.tif", "f3.tif", "f5.tif", "f0.tif", "f4.tif", "f2.tif"}));
  f.action("validate")->trigger();
  EXPECT_EQ(f.picker->result(), QDialog::Accepted);
  EXPECT_FALSE(f.picker->isVisible());
  const std::string p = f.folder.path() + "/";
  EXPECT_EQ(f.list_file(), "[FILES]\r\n0=" + p + "sub/s.tif\r\n1=" + p + "f1.tif\r\n2=" + p +
                               "f3.tif\r\n3=" + p + "f5.tif\r\n4=" + p + "f0.tif\r\n5=" + p +
                               "f4.tif\r\n6=" + p + "f2.tif\r\n");
}

TEST(PickerDialog, CloseEscapeAndTheEmptyList) {
  {  // Close writes nothing and keeps what was picked.
    picker_fixture f({{"a.tif", 1}});
    f.action("add_folder")->trigger();
    f.action("close")->trigger();
    EXPECT_EQ(f.picker->result(), QDialog::Rejected);
    EXPECT_FALSE(f.list_file_exists());
    EXPECT_EQ(names_of(f.picked), strings{"a.tif"});
  }
  {  // Escape likewise.
    picker_fixture f({{"a.tif", 1}});
    f.action("add_folder")->trigger();
    QTest::keyClick(f.picker.get(), Qt::Key_Escape);
    EXPECT_FALSE(f.picker->isVisible());
    EXPECT_FALSE(f.list_file_exists());
    EXPECT_EQ(f.picked.size(), 1u);
  }
  {  // Validate with no rows: No stays, Yes writes the 9 bytes and closes.
    picker_fixture f({});
    f.ui.set_next_answer(false);
    f.action("validate")->trigger();
    EXPECT_TRUE(f.picker->isVisible());
    EXPECT_FALSE(f.list_file_exists());
    f.ui.set_next_answer(true);
    f.action("validate")->trigger();
    EXPECT_FALSE(f.picker->isVisible());
    EXPECT_EQ(f.list_file(), "[FILES]\r\n");
    EXPECT_EQ(f.ui.boxes().size(), 2u);
  }
  {  // A list file that cannot be written: named, and the picker keeps its rows.
    picker_fixture f({{"a.tif", 1}});
    std::filesystem::remove_all(f.temp);
    f.action("add_folder")->trigger();
    f.action("validate")->trigger();
    EXPECT_TRUE(f.picker->isVisible());
    ASSERT_EQ(f.ui.boxes().size(), 1u);
    EXPECT_EQ(f.ui.boxes()[0].text.rfind("Cannot write " + f.temp + "/z.log: ", 0), 0u);
    EXPECT_EQ(f.rows(), strings{"a.tif"});
  }
}

struct processing_fixture {
  test_folder folder;
  picked_file_list picked;
  run_settings run;
  processing_fixture() {
    run.target_folder = folder / "out";
    run.format_code = kFormatPdf;
    for (const char* name : {"a.tif", "b.tif", "c.tif"}) {
      picked.push_back(folder / name);
    }
  }
};

TEST(ProcessingDialog, BarFullExactlyWhenTheLastEngineEnds) {
  processing_fixture f;
  recording_starter starter;
  processing_dialog dialog(f.run, f.picked, "/j.ini", "/p/Zembrit_Quarnel", starter);
  EXPECT_EQ(dialog.windowTitle(), "Processing...");
  dialog.show();
  auto* bar = child<QProgressBar>(dialog, "progress");
  auto* label = child<QLabel>(dialog, "source_label");
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(eventually([&] { return starter.pending.size() == 1; }));
    EXPECT_EQ(label->text().toStdString(), f.picked[static_cast<std::size_t>(i)]);
    EXPECT_EQ(bar->text(), QStringLiteral("%1 of 3").arg(i));
    EXPECT_LT(bar->value(), bar->maximum());
    // Enter and Escape neither close the dialog nor stop the run.
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QTest::keyClick(&dialog, Qt::Key_Return);
    EXPECT_TRUE(dialog.isVisible());
    starter.end_one();
  }
  EXPECT_EQ(bar->value(), bar->maximum());
  EXPECT_EQ(bar->text(), "3 of 3");
  EXPECT_EQ(starter.started.size(), 3u);
  ASSERT_TRUE(eventually([&] { return !dialog.isVisible(); }));
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST(ProcessingDialog, StopEndsAfterTheRunningEngine) {
  processing_fixture f;
  recording_starter starter;
  processing_dialog dialog(f.run, f.picked, "/j.ini", "/p/e", starter);
  dialog.show();
  ASSERT_TRUE(eventually([&] { return starter.pending.size() == 1; }));
  QTest::mouseClick(child<QPushButton>(dialog, "stop_button"), Qt::LeftButton);
  EXPECT_TRUE(dialog.isVisible()) << "the running engine ends its file first";
  starter.end_one();
  ASSERT_TRUE(eventually([&] { return !dialog.isVisible(); }));
  EXPECT_EQ(starter.started.size(), 1u);
}

// A real process: the engine is a script that records its arguments and
// takes a while; the dialog's timers keep running meanwhile.
TEST(ProcessingDialog, RealProcessesExactlyTwoArgumentsAndAResponsiveDialog) {
  processing_fixture f;
  const std::string engine = f.folder / "engine";
  const std::string record = f.folder / "arguments";
  write_bytes(engine, "#!/bin/sh\necho \"$# $1\" >> '" + record + "'\nsleep 0.3\n");
  std::filesystem::permissions(engine, std::filesystem::perms::owner_all);
  f.picked = {f.folder / "in put/a.tif", f.folder / "b.tif"};
  process_starter starter;
  processing_dialog dialog(f.run, f.picked, "/j.ini", engine, starter);
  int ticks = 0;
  QTimer ticking;
  QObject::connect(&ticking, &QTimer::timeout, [&] { ++ticks; });
  ticking.start(10);
  QElapsedTimer clock;
  clock.start();
  dialog.show();
  ASSERT_TRUE(eventually([&] { return !dialog.isVisible(); }, 10000));
  const qint64 elapsed = clock.elapsed();
  std::cout << "two 0.3 s engine runs: " << elapsed << " ms, " << ticks
            << " ticks of a 10 ms timer meanwhile\n";
  EXPECT_GT(ticks, 20) << "the event loop ran while the engines did";
  EXPECT_EQ(read_bytes(record), "1 G|" + f.folder.path() + "/in put/a.tif|" + f.folder.path() +
                                    "/out/a.pdf|/j.ini\n1 G|" + f.folder.path() + "/b.tif|" +
                                    f.folder.path() + "/out/b.pdf|/j.ini\n");
}

TEST(ProcessingDialog, AnEngineThatCannotStartWaitsForEnter) {
  processing_fixture f;
  process_starter starter;
  const std::string engine = f.folder / "missing/Zembrit_Quarnel";
  processing_dialog dialog(f.run, f.picked, "/j.ini", engine, starter);
  dialog.show();
  auto* problem = child<QLabel>(dialog, "problem_label");
  ASSERT_TRUE(eventually([&] { return problem->isVisible(); }));
  EXPECT_TRUE(problem->text().startsWith(QString::fromStdString("Cannot start " + engine + ": ")))
      << problem->text().toStdString();
  EXPECT_EQ(child<QLabel>(dialog, "source_label")->text().toStdString(), f.picked[0]);
  EXPECT_EQ(child<QProgressBar>(dialog, "progress")->text(), "0 of 3");
  QTest::keyClick(&dialog, Qt::Key_Escape);
  EXPECT_TRUE(dialog.isVisible());
  QTest::keyClick(&dialog, Qt::Key_Return);
  EXPECT_FALSE(dialog.isVisible());
}

// The main dialog's three commands, with a job file, folders and engine
// of the test's.
struct main_fixture {
  test_folder folder;
  std::string source = folder / "in";
  std::string temp = folder / "tmp";
  std::string target = folder / "out";
  std::string job = folder / "job.ini";
  recording_dialogs ui;
  recording_opener opener;
  std::unique_ptr<main_dialog> dialog;

  explicit main_fixture(const std::string& program_folder) {
    for (const std::string& made : {source, temp, target}) {
      std::filesystem::create_directories(made);
    }
    dialog = std::make_unique<main_dialog>(ui, opener, program_folder);
    ui.clear();
    child<QLineEdit>(*dialog, "job_file_edit")->setText(QString::fromStdString(job));
  }
  void set(const std::string& source_folder, bool recursive, bool report) {
    dialog_values v = dialog->values();
    v.source_folder = source_folder;
    v.recursive_search = recursive;
    v.temp_folder = temp;
    v.target_folder = target;
    v.target_format = kFormatPdf;
    v.create_report = report;
    v.reproduce_source_path = false;
    v.use_tiff_name = false;
    v.pdf_single_file = v.pcx_multi_file = v.tiff_multi_page = v.gif_multi_page = false;
    dialog->set_values(v);
  }
  void click(const char* button) {
    QTest::mouseClick(child<QPushButton>(*dialog, button), Qt::LeftButton);
  }
};

TEST(MainDialogLaunch, PickedFilesAreRunOnceAndForgotten) {
  main_fixture f("/prog");
  recording_starter starter;
  starter.instant = true;
  f.dialog->set_engine_starter(starter);
  for (const char* name : {"a.tif", "b.tif", "sub/c.tif", "sub/d.tif"}) {
    make_file(f.source + "/" + name, 1);
  }
  f.set(f.source, false, false);

  // Select...: the picker opens on the source folder; pick two files.
  QTimer::singleShot(0, [&] {
    auto* picker = qobject_cast<picker_dialog*>(QApplication::activeModalWidget());
    ASSERT_NE(picker, nullptr);
    EXPECT_EQ(picker->current_folder().toStdString(), f.source);
    picker->open_names({"b.tif", "a.tif"});
    picker->reject();
  });
  f.click("select_button");
  EXPECT_EQ(names_of(f.dialog->picked_files()), (strings{"b.tif", "a.tif"}));

  f.click("launch_button");
  EXPECT_EQ(
      starter.started,
      (strings{"/prog/Zembrit_Quarnel G|" + f.source + "/b.tif|" + f.target + "/b.pdf|" + f.job,
               "/prog/Zembrit_Quarnel G|" + f.source + "/a.tif|" + f.target + "/a.pdf|" + f.job}));
  EXPECT_TRUE(f.dialog->picked_files().empty());
  // The next launch converts the source folder.
  starter.started.clear();
  f.click("launch_button");
  EXPECT_EQ(starter.started.size(), 2u);
  EXPECT_TRUE(f.ui.boxes().empty());
}

// The whole system from the dialog: the real engine over the sample TIFF
// files, to PDF, and "Last log" on its report.
TEST(MainDialogLaunch, RealEngineConvertsTheCorpusToPdf) {
  const std::string programs = ZQ_INSTALL_LAYOUT_DIR;
  if (!std::filesystem::exists(programs + "/Zembrit_Quarnel")) {
    GTEST_SKIP() << "the engine is not built in " << programs;
  }
  main_fixture f(programs);
  // Counts the engine runs, which are real processes.
  class counting_starter final : public engine_starter {
   public:
    void start(const std::string& program, const std::string& argument,
               std::function<void(status)> ended) override {
      ++runs;
      real.start(program, argument, std::move(ended));
    }
    process_starter real;
    int runs = 0;
  } starter;
  f.dialog->set_engine_starter(starter);
  const std::string corpus = std::string(ZQ_TEST_DATA_DIR) + "/corpus";
  std::size_t tiffs = 0;
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    tiffs += has_tiff_extension(entry.path().filename().string()) ? 1 : 0;
  }
  f.set(corpus, false, true);
  f.click("launch_button");
  EXPECT_EQ(static_cast<std::size_t>(starter.runs), tiffs);
  EXPECT_TRUE(f.ui.boxes().empty());

  f.click("last_log_button");
  ASSERT_EQ(f.opener.opened, strings{f.temp + "/Zembrit_Quarnel.log"});
  const std::string report = read_bytes(f.opener.opened[0]);
  // Every file the engine reports converted has its PDF; the well-formed
  // samples among them all.
  std::size_t converted = 0;
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    const std::string name = entry.path().filename().string();
    if (!has_tiff_extension(name)) {
      continue;
    }
    const bool said = report.find(entry.path().string() + " converted\r\n") != std::string::npos;
    const std::string pdf = f.target + "/" + entry.path().stem().string() + ".pdf";
    const std::string first_page = f.target + "/" + entry.path().stem().string() + "_1.pdf";
    const bool made = std::filesystem::exists(pdf) || std::filesystem::exists(first_page);
    EXPECT_EQ(said, made) << name;
    converted += said ? 1 : 0;
  }
  for (const char* sample : {"minisblack-1c-8b.tiff", "rgb-3c-8b.tiff", "palette-1c-8b.tiff",
                             "miniswhite-1c-1b.tiff", "testfax4.tiff", "lzw-single-strip.tiff"}) {
    EXPECT_NE(report.find(corpus + "/" + sample + " converted\r\n"), std::string::npos) << sample;
  }
  std::cout << converted << " of " << tiffs << " sample files converted to PDF\n";
}

}  // namespace
}  // namespace zq::gui
