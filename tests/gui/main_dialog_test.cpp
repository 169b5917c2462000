#include "gui/main_dialog.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProcess>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "../platform/test_folder.h"
#include "core/filled_values.h"
#include "core/launch_test_support.h"
#include "gui/core/recording_dialogs.h"

namespace zq::gui {
namespace {

using kind = recording_dialogs::kind;
using platform::read_bytes;
using platform::test_folder;
using platform::write_bytes;

recording_dialogs::shown box(kind what, std::string text,
                             std::optional<dialog_control> focus = std::nullopt,
                             std::optional<panel_tab> tab = std::nullopt, bool answer = false) {
  return {what, std::move(text), focus, tab, answer};
}

std::string lines(std::initializer_list<std::string> each) {
  std::string text;
  for (const std::string& line : each) {
    text += line + "\r\n";
  }
  return text;
}

class MainDialogTest : public ::testing::Test {
 protected:
  test_folder folder;
  std::string program = folder.path() + "/";
  std::string job = folder / "Zembrit_Quarnel.ini";
  std::string temp = folder / "tmp";
  std::string target = folder / "out";
  recording_dialogs boxes;
  recording_opener opener;
  std::unique_ptr<main_dialog> dialog;

  MainDialogTest() {
    std::filesystem::create_directory(temp);
    std::filesystem::create_directory(target);
  }

  void start() {
    dialog = std::make_unique<main_dialog>(boxes, opener, program);
    dialog->show();
    QApplication::setActiveWindow(dialog.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
  }

  template <class T = QWidget>
  T* widget(const char* name) const {
    T* found = dialog->findChild<T*>(QString::fromUtf8(name));
    if (found == nullptr) {
      ADD_FAILURE() << "no widget " << name;
    }
    return found;
  }
  std::string focused() const {
    return dialog->focusWidget() ? dialog->focusWidget()->objectName().toStdString() : "";
  }
  void click(const char* button) { widget<QAbstractButton>(button)->click(); }
  void set_job_file(const std::string& path) {
    widget<QLineEdit>("job_file_edit")->setText(QString::fromStdString(path));
  }

  dialog_values filled() const { return filled_values(temp, target); }
};

// The next file dialog the test opens is answered with `path`.
void answer_file_dialog(const std::string& path) {
  QTimer::singleShot(0, [path] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), "Zembrit_Quarnel Ini File");
    dialog->selectFile(QString::fromStdString(path));
    static_cast<QDialog*>(dialog)->accept();  // checks the file as a click on the button does
  });
}

TEST_F(MainDialogTest, FormatChoiceShowsItsPanelOrLeavesTheOneInFront) {
  write_bytes(job, lines({"[PARAMS]", "image_type=6"}));
  start();
  auto* formats = widget<QComboBox>("target_format_list");
  auto* tabs = widget<QTabWidget>("panel_tabs");
  // The job names PDF; start-up shows Misc all the same.
  EXPECT_EQ(dialog->current_panel(), panel_tab::misc);
  EXPECT_EQ(formats->currentText(), "PDF");

  const struct {
    int position;
    panel_tab shown;  // report: the panel in front before the choice stays
  } cases[] = {{0, panel_tab::bmp},    {1, panel_tab::report},  {2, panel_tab::gif},
               {3, panel_tab::jpeg},   {4, panel_tab::pcl},     {5, panel_tab::pcx},
               {6, panel_tab::pdf},    {7, panel_tab::png},     {8, panel_tab::report},
               {9, panel_tab::pse},    {10, panel_tab::report}, {11, panel_tab::tiff},
               {12, panel_tab::report}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.position);
    dialog->show_panel(panel_tab::report);
    // Chosen from the keyboard, as a user does.
    formats->setFocus();
    formats->setCurrentIndex(c.position == 0 ? 1 : c.position - 1);
    QTest::keyClick(formats, c.position == 0 ? Qt::Key_Up : Qt::Key_Down);
    ASSERT_EQ(formats->currentIndex(), c.position);
    EXPECT_EQ(dialog->current_panel(), c.shown);
    for (int tab = 0; tab < tabs->count(); ++tab) {
      EXPECT_EQ(tabs->widget(tab)->isVisible(), tab == static_cast<int>(c.shown)) << tab;
    }
  }

  // A tab clicked shows its panel and leaves the format as chosen.
  QTabBar* bar = tabs->tabBar();
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
  EXPECT_TRUE(widget("create_report_check")->isVisible());
  EXPECT_FALSE(widget("tiff_panel")->isVisible());
  EXPECT_EQ(formats->currentIndex(), 12);
}

TEST_F(MainDialogTest, ReportBoxGreysItsCompanionKeepingItsCheck) {
  write_bytes(job, lines({"[REPORT]", "create_report=1", "use_tiff_name=1"}));
  start();
  auto* report = widget<QAbstractButton>("create_report_check");
  auto* companion = widget<QAbstractButton>("use_tiff_name_check");
  dialog->show_panel(panel_tab::report);
  EXPECT_TRUE(companion->isEnabled());
  QTest::mouseClick(report, Qt::LeftButton);
  EXPECT_FALSE(companion->isEnabled());
  EXPECT_TRUE(companion->isChecked());
  QTest::mouseClick(report, Qt::LeftButton);
  EXPECT_TRUE(companion->isEnabled());
  EXPECT_TRUE(companion->isChecked());
}

// Which keys a refused save has written is the core's business (its tests
// compare the bytes); here the dialog carries the refusal out.
TEST_F(MainDialogTest, RefusalsBringTheirPanelForwardAndFocusTheField) {
  start();
  const std::string missing = temp + "/new";
  const struct {
    std::function<void(dialog_values&)> change;
    std::string message;  // empty: the question about a missing folder was declined
    const char* focus;
    panel_tab tab;  // bmp: the panel in front before the save
  } cases[] = {
      {[](dialog_values& v) { v.source_folder.clear(); }, "Please choose a source folder",
       "source_folder_edit", panel_tab::bmp},
      {[](dialog_values& v) { v.temp_folder.clear(); }, "Please choose a temp folder",
       "temp_folder_edit", panel_tab::misc},
      {[&](dialog_values& v) { v.temp_folder = missing; }, "", "temp_folder_edit", panel_tab::misc},
      {[](dialog_values& v) { v.target_folder.clear(); }, "Please choose a target folder",
       "target_folder_edit", panel_tab::misc},
      {[](dialog_values& v) { v.pcx_name.clear(); }, "Please enter the DCX name", "pcx_name_edit",
       panel_tab::pcx},
      {[](dialog_values& v) { v.pdf_name.clear(); }, "Please enter the PDF name", "pdf_name_edit",
       panel_tab::pdf},
      {[](dialog_values& v) { v.height.clear(); }, "Please enter a correct size", "height_edit",
       panel_tab::misc},
      {[](dialog_values& v) { v.tif_name.clear(); }, "Please enter the TIFF name", "tif_name_edit",
       panel_tab::tiff},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.focus + (" " + c.message));
    boxes.clear();
    boxes.set_next_answer(false);
    dialog_values values = filled();
    c.change(values);
    dialog->set_values(values);
    dialog->show_panel(panel_tab::bmp);
    click("save_quit_button");
    EXPECT_TRUE(dialog->isVisible());
    ASSERT_EQ(boxes.boxes().size(), c.message.empty() ? 2u : 1u);
    if (c.message.empty()) {
      EXPECT_EQ(boxes.boxes()[0],
                box(kind::question, missing + " does not exists.\n\nDo you want to create it?"));
    }
    EXPECT_EQ(boxes.boxes().back().what, kind::refusal);
    EXPECT_EQ(boxes.boxes().back().text, c.message);
    EXPECT_EQ(focused(), c.focus);
    EXPECT_EQ(dialog->current_panel(), c.tab);
  }
  EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST_F(MainDialogTest, LoadingInTurnShowsEachFileOrItsDefaults) {
  const std::string first = folder / "first.ini";
  const std::string second = folder / "second.ini";
  write_bytes(first, lines({"[GIF]", "GIF87=0", "[JPEG]", "quality=50", "[PARAMS]", "extract_all=0",
                            "image_type=3", "[PDF]", "pdf_name=a.pdf"}));
  write_bytes(second, lines({"[GIF]", "GIF87=1"}));
  start();
  dialog->show_panel(panel_tab::pcl);

  answer_file_dialog(first);
  click("job_file_button");
  EXPECT_EQ(dialog->job_file(), first);
  dialog_values shown = dialog->values();
  EXPECT_EQ(shown.gif_type, gif_version::gif89);
  EXPECT_EQ(shown.jpeg_quality, "50");
  EXPECT_FALSE(shown.extract_all_pages);
  EXPECT_EQ(shown.pdf_name, "a.pdf");

  answer_file_dialog(second);
  click("job_file_button");
  shown = dialog->values();
  EXPECT_TRUE(widget<QAbstractButton>("gif87_radio")->isChecked());
  EXPECT_FALSE(widget<QAbstractButton>("gif89_radio")->isChecked());
  EXPECT_EQ(shown.jpeg_quality, "75");
  EXPECT_TRUE(shown.extract_all_pages);
  EXPECT_EQ(shown.target_format, 1);
  EXPECT_EQ(shown.pdf_name, "");
  // Loading leaves the panel as it was.
  EXPECT_EQ(dialog->current_panel(), panel_tab::pcl);
  EXPECT_TRUE(boxes.boxes().empty());
}

TEST_F(MainDialogTest, WithoutJobFileEverythingStartsEmpty) {
  start();
  EXPECT_EQ(dialog->values(), dialog_values{});
  EXPECT_EQ(dialog->current_panel(), panel_tab::misc);
  EXPECT_EQ(dialog->job_file(), job);
  EXPECT_EQ(dialog->windowTitle(), "Zembrit_Quarnel Monitor");
  EXPECT_FALSE(dialog->windowIcon().pixmap(16).isNull());
}

TEST_F(MainDialogTest, SavedAndLoadedAgainShowsTheSameSettings) {
  start();
  const dialog_values values = filled();
  dialog->set_values(values);
  click("save_button");
  ASSERT_EQ(boxes.boxes().size(), 1u);
  start();
  EXPECT_EQ(dialog->values(), values);
}

// The reasons a job file cannot be written are the core's tests; here the
// dialog stays open and claims nothing.
TEST_F(MainDialogTest, UnwritableJobFileIsToldAndNothingClaimed) {
  write_bytes(job, lines({"[PARAMS]", "recurse=1"}));
  ::chmod(job.c_str(), 0444);
  start();
  dialog->set_values(filled());
  for (const char* button : {"save_button", "save_quit_button"}) {
    boxes.clear();
    click(button);
    ASSERT_EQ(boxes.boxes().size(), 1u);
    EXPECT_EQ(boxes.boxes()[0],
              box(kind::error, "Cannot write " + job + ": the file is read-only"));
    EXPECT_TRUE(dialog->isVisible());
  }
  EXPECT_EQ(read_bytes(job), lines({"[PARAMS]", "recurse=1"}));
}

TEST_F(MainDialogTest, CommandsOpenHelpNewsAndAbout) {
  start();
  click("help_button");
  for (const char* action : {"whats_new_action", "help_action", "about_action"}) {
    widget<QAction>(action)->trigger();
  }
  EXPECT_EQ(opener.opened,
            (std::vector<std::string>{program + "Zembrite_Quarnel.html", program + "whatsnew.txt",
                                      program + "Zembrite_Quarnel.html"}));
  ASSERT_EQ(boxes.boxes().size(), 1u);
  EXPECT_EQ(boxes.boxes()[0].what, kind::information);
  EXPECT_EQ(boxes.boxes()[0].text.rfind("Zembrit_Quarnel version ", 0), 0u);
  EXPECT_NE(boxes.boxes()[0].text.find("ImageMagick 6."), std::string::npos);
}

// The letter after a single "&" of a caption, lower-cased; 0 for none.
QChar mnemonic(const QString& text) {
  for (qsizetype i = 0; i + 1 < text.size(); ++i) {
    if (text[i] == '&') {
      if (text[i + 1] != '&') {
        return text[i + 1].toLower();
      }
      ++i;
    }
  }
  return QChar();
}

TEST_F(MainDialogTest, MnemonicsAreUniqueOnEachPageAndReachTheirFields) {
  start();
  auto* tabs = widget<QTabWidget>("panel_tabs");
  for (int tab = 0; tab < tabs->count(); ++tab) {
    SCOPED_TRACE(tabs->tabText(tab).toStdString());
    dialog->show_panel(static_cast<panel_tab>(tab));
    std::map<QChar, QString> taken;
    auto take = [&](const QString& text) {
      const QChar letter = mnemonic(text);
      if (!letter.isNull()) {
        EXPECT_TRUE(taken.emplace(letter, text).second)
            << text.toStdString() << " and " << taken[letter].toStdString();
      }
    };
    for (QAction* menu : widget<QMenuBar>("main_menu")->actions()) {
      take(menu->text());
    }
    int reached = 0;
    for (QLabel* label : dialog->findChildren<QLabel*>()) {
      if (!label->isVisible()) {
        continue;
      }
      ASSERT_NE(label->buddy(), nullptr) << label->text().toStdString();
      if (mnemonic(label->text()).isNull()) {
        continue;
      }
      take(label->text());
      QTest::keyClick(dialog.get(), mnemonic(label->text()).toLatin1(), Qt::AltModifier);
      EXPECT_EQ(dialog->focusWidget(), label->buddy()) << label->text().toStdString();
      ++reached;
    }
    for (QAbstractButton* button : dialog->findChildren<QAbstractButton*>()) {
      if (button->isVisible()) {
        take(button->text());
      }
    }
    EXPECT_GE(reached, tab == static_cast<int>(panel_tab::report) ||
                               tab == static_cast<int>(panel_tab::bmp) ||
                               tab == static_cast<int>(panel_tab::gif)
                           ? 2
                           : 3);
  }
}

TEST_F(MainDialogTest, FolderBrowsersFillTheirFieldOnlyWhenConfirmed) {
  start();
  const struct {
    const char* button;
    const char* field;
    const char* title;
  } cases[] = {{"source_browse_button", "source_folder_edit", "Select the TIFF source folder:"},
               {"target_browse_button", "target_folder_edit", "Select the target folder:"},
               {"temp_browse_button", "temp_folder_edit", "Select the TEMP folder:"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.button);
    auto* field = widget<QLineEdit>(c.field);
    field->setText("as typed");
    for (const bool confirm : {false, true}) {
      QString title;
      QTimer::singleShot(0, [&] {
        auto* browser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(browser, nullptr);
        title = browser->windowTitle();
        if (confirm) {
          browser->setDirectory(QString::fromStdString(folder.path()));
          browser->selectFile(QString::fromStdString(target));
          static_cast<QDialog*>(browser)->accept();
        } else {
          browser->reject();
        }
      });
      click(c.button);
      EXPECT_EQ(title, c.title);
      EXPECT_EQ(field->text().toStdString(), confirm ? target : "as typed");
    }
  }
}

TEST_F(MainDialogTest, TabWalksTheDialogInReadingOrder) {
  start();
  widget("job_file_edit")->setFocus();
  std::vector<std::string> walked;
  for (int step = 0; step < 24; ++step) {
    walked.push_back(focused());
    QTest::keyClick(dialog->focusWidget(), Qt::Key_Tab);
  }
  EXPECT_EQ(walked, (std::vector<std::string>{
                        "job_file_edit",          "job_file_button",      "source_folder_edit",
                        "source_browse_button",   "recursive_check",      "extract_all_check",
                        "target_format_list",     "qt_tabwidget_tabbar",  "target_folder_edit",
                        "target_browse_button",   "reproduce_path_check", "temp_folder_edit",
                        "temp_browse_button",     "width_edit",           "height_edit",
                        "keep_proportions_check", "save_quit_button",     "save_button",
                        "save_as_button",         "quit_button",          "select_button",
                        "launch_button",          "last_log_button",      "help_button"}));
  // Buttons that show only an icon or "..." are named for screen readers.
  for (QAbstractButton* button : dialog->findChildren<QAbstractButton*>()) {
    if (button->isVisible() && (button->text().isEmpty() || button->text() == "...")) {
      EXPECT_FALSE(button->accessibleName().isEmpty()) << button->objectName().toStdString();
    }
  }
}

TEST_F(MainDialogTest, ListsAndDigitFieldsTakeOnlyDeliberateInput) {
  write_bytes(job, lines({"[PARAMS]", "image_type=6"}));
  start();
  auto* formats = widget<QComboBox>("target_format_list");
  auto turn = [&] {
    const QPointF at(formats->rect().center());
    QWheelEvent wheel(at, formats->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(formats, &wheel);
  };
  widget("source_folder_edit")->setFocus();
  turn();
  EXPECT_EQ(formats->currentIndex(), 6);
  formats->setFocus();
  turn();
  EXPECT_EQ(formats->currentIndex(), 7);

  // Digits only, nine at most: "%d" writes them as typed.
  auto* width = widget<QLineEdit>("width_edit");
  QTest::keyClicks(width, "12a345678901");
  EXPECT_EQ(width->text(), "123456789");
}

TEST_F(MainDialogTest, EnterSavesAndQuitsEscapeQuitsWithoutWriting) {
  write_bytes(job, lines({"; kept as it is", "[PARAMS]", "recurse=1"}));
  start();
  dialog_values values = filled();
  dialog->set_values(values);
  widget("source_folder_edit")->setFocus();
  QTest::keyClick(dialog->focusWidget(), Qt::Key_Escape);
  EXPECT_EQ(dialog->result(), QDialog::Rejected);
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(read_bytes(job), lines({"; kept as it is", "[PARAMS]", "recurse=1"}));

  start();
  set_job_file("");
  widget("source_folder_edit")->setFocus();
  QTest::keyClick(dialog->focusWidget(), Qt::Key_Return);
  EXPECT_EQ(boxes.boxes(),
            (std::vector<recording_dialogs::shown>{box(
                kind::error, "Please enter the name of the ini file.", dialog_control::job_file)}));
  EXPECT_EQ(focused(), "job_file_edit");
  EXPECT_TRUE(dialog->isVisible());

  set_job_file(job);
  dialog->set_values(values);
  QTest::keyClick(widget("source_folder_edit"), Qt::Key_Return);
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_NE(read_bytes(job).find("\r\nsource=/scans in\r\n"), std::string::npos);
}

// A run of a program, its exit code and standard output; -1 when it did not run.
std::pair<int, std::string> run(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.start(program, arguments);
  if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit) {
    return {-1, process.errorString().toStdString()};
  }
  return {process.exitCode(), process.readAllStandardOutput().toStdString()};
}

// Settings typed in by keyboard alone, saved with Enter, and handed to the
// real engine in a batch run: the output shows the format, size and
// compression chosen in the dialog.
TEST_F(MainDialogTest, KeyboardSettingsDriveTheEngine) {
  const std::string source = folder / "scans";
  std::filesystem::create_directory(source);
  ASSERT_EQ(run("convert", {"-size", "300x200", "xc:white", "-fill", "black", "-draw",
                            "rectangle 20,20 120,80", "-monochrome",
                            QString::fromStdString(source + "/fax.tif")})
                .first,
            0);
  start();
  auto type = [&](char mnemonic_letter, const std::string& text) {
    QTest::keyClick(dialog.get(), mnemonic_letter, Qt::AltModifier);
    QTest::keyClicks(dialog->focusWidget(), QString::fromStdString(text));
  };
  type('s', source);
  QTest::keyClick(dialog.get(), 't', Qt::AltModifier);
  QTest::keyClicks(dialog->focusWidget(), "TI");  // the list finds "TIFF" as typed
  EXPECT_EQ(dialog->current_panel(), panel_tab::tiff);
  QTest::keyClick(dialog.get(), 'c', Qt::AltModifier);
  for (int down = 0; down < 3; ++down) {  // "None", "FAX3", "FAX Group 4"
    QTest::keyClick(dialog->focusWidget(), Qt::Key_Down);
  }
  QTest::keyClick(dialog->focusWidget(), Qt::Key_Tab, Qt::ControlModifier);  // to Misc
  EXPECT_EQ(dialog->current_panel(), panel_tab::misc);
  type('p', target);
  type('m', temp);
  type('i', "150");
  type('x', "100");
  QTest::keyClick(dialog->focusWidget(), Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(dialog->current_panel(), panel_tab::tiff);
  QTest::keyClick(dialog->focusWidget(), Qt::Key_Return);
  ASSERT_EQ(dialog->result(), QDialog::Accepted);
  ASSERT_TRUE(boxes.boxes().empty());

  const auto [code, output] = run(QString::fromUtf8(ZQ_INSTALL_LAYOUT_DIR "/Zembrit_Quarnel"),
                                  {QString::fromStdString("C|" + job)});
  ASSERT_EQ(code, 0) << output;
  std::vector<std::string> written;
  for (const auto& entry : std::filesystem::directory_iterator(target)) {
    written.push_back(entry.path().string());
  }
  ASSERT_EQ(written.size(), 1u);
  EXPECT_EQ(written[0].substr(written[0].size() - 4), ".tif");
  EXPECT_EQ(run("identify", {"-format", "%m %wx%h %C", QString::fromStdString(written[0])}),
            std::make_pair(0, std::string("TIFF 150x100 Group4")));
}

}  // namespace
}  // namespace zq::gui
