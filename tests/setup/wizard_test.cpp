// The wizard's pages, buttons, checks and ways out, driven headless through
// its buttons. The installation itself is tested in core/ and installed_test.
#include <QGroupBox>
#include <QTest>

#include "wizard_test_support.h"

namespace zq::setup {
namespace {

const message_box kFailureBox{
    "Zembrit", "The installation of Zembrit_Quarnel has failed.\n\nPlease run install again.",
    message_icon::error};

// Dummy files in the installer's folder, so that the ready page's Next
// completes.
void stock_installer(const driven_wizard& w) {
  for (const char* name : kCopyList) write_file(w.scratch / "setup/" + name, name);
}

TEST(SetupWizard, EachPageHasItsCaptionAndButtons) {
  using B = QWizard::WizardButton;
  const struct {
    const char* caption;
    std::vector<B> shown, hidden;
  } pages[] = {
      {"Zembrit_Quarnell  -  Setup",
       {B::NextButton, B::CancelButton},
       {B::BackButton, B::FinishButton}},
      {"Zembrit  -  Setup", {B::BackButton, B::NextButton, B::CancelButton}, {B::FinishButton}},
      {"Zembrit  -  Install", {B::BackButton, B::NextButton, B::CancelButton}, {B::FinishButton}},
      // No way back from the ready page: the choices before it are final.
      {"Zembrit  -  Setup", {B::NextButton, B::CancelButton}, {B::BackButton, B::FinishButton}},
      {"Zembrit  -  Install          ",
       {B::BackButton, B::FinishButton, B::CancelButton},
       {B::NextButton}},
  };
  driven_wizard w;
  stock_installer(w);
  for (int page = 0; page < 5; ++page) {
    w.go_to(page);
    ASSERT_EQ(w.wizard->currentId(), page);
    EXPECT_EQ(w.wizard->windowTitle().toStdString(), pages[page].caption);
    for (B b : pages[page].shown) {
      EXPECT_TRUE(w.wizard->button(b)->isVisible()) << page << " button " << b;
      EXPECT_TRUE(w.wizard->button(b)->isEnabled()) << page << " button " << b;
    }
    for (B b : pages[page].hidden)
      EXPECT_FALSE(w.wizard->button(b)->isVisible()) << page << " " << b;
  }
  // Back from the finish page leads to the ready page with its texts hidden.
  w.press(QWizard::BackButton);
  EXPECT_EQ(w.wizard->currentId(), kReadyPage);
  EXPECT_FALSE(w.find("ready_title")->isVisible());
  EXPECT_FALSE(w.find("ready_box")->isVisible());
  EXPECT_TRUE(w.edges.shown.size() == 1 && w.endings.empty());  // the one folder question
}

TEST(SetupWizard, FontsAreNOver110OfTheLogicalDpi) {
  const struct {
    int dpi, welcome, title, small;
  } cases[] = {{96, 10, 28, 8}, {120, 13, 35, 10}, {144, 16, 42, 12}, {192, 21, 56, 16}};
  for (const auto& c : cases) {
    EXPECT_EQ(make_wizard_font(wizard_font::welcome, c.dpi).pixelSize(), c.welcome) << c.dpi;
    EXPECT_EQ(make_wizard_font(wizard_font::title, c.dpi).pixelSize(), c.title) << c.dpi;
    EXPECT_EQ(make_wizard_font(wizard_font::small, c.dpi).pixelSize(), c.small) << c.dpi;
  }
  driven_wizard w;
  const int dpi = w.wizard->logicalDpiY();
  const QFont welcome = w.find<QLabel>("welcome_title")->font();
  const QFont title = w.find<QLabel>("options_title")->font();
  const QFont small = w.find<QLabel>("options_hint")->font();
  EXPECT_EQ(welcome.pixelSize(), wizard_font_pixels(dpi, 12));
  EXPECT_TRUE(welcome.bold() && !welcome.italic());
  EXPECT_EQ(title.pixelSize(), wizard_font_pixels(dpi, 32));
  EXPECT_TRUE(title.bold() && title.italic());
  EXPECT_EQ(small.pixelSize(), wizard_font_pixels(dpi, 9));
  EXPECT_FALSE(small.bold());
}

TEST(SetupWizard, GroupFlagIsClearedOnTheWelcomePageAndSetOnlyByTheBox) {
  for (const bool checked : {true, false}) {
    driven_wizard w;
    w.go_to(kOptionsPage);
    w.find<QCheckBox>("create_group")->setChecked(true);
    // Back to the welcome page and forward again: the flag starts at 0.
    w.press(QWizard::BackButton);
    w.press(QWizard::BackButton);
    EXPECT_EQ(w.wizard->group_flag(), 0);
    w.go_to(kReadyPage, checked);
    EXPECT_EQ(w.wizard->group_flag(), checked ? 1 : 0);
    EXPECT_EQ(w.find("ready_group")->isVisible(), checked);
    EXPECT_EQ(w.find<QLabel>("ready_destination")->text().toStdString(),
              w.wizard->destination_folder());
    // The finish page keeps its text either way; only the items follow the flag.
    stock_installer(w);
    w.go_to(kFinishPage);
    EXPECT_EQ(w.find<QLabel>("finish_text")->text().toStdString(),
              "The installation of Zembrit_Quarnel is now finished.\n"
              "The following icons have been created:");
    EXPECT_EQ(w.find("finish_items")->isVisible(), checked);
  }
}

TEST(SetupWizard, DestinationPageRefusesAsksAndCreates) {
  const struct {
    std::optional<std::string> default_folder;  // under the scratch folder; nullopt: no home
    std::optional<std::string> browsed;         // chosen with Browse
    std::optional<bool> answer;                 // to the question, when asked
    bool moves_on;
  } cases[] = {
      {std::nullopt, std::nullopt, std::nullopt, false},  // nothing to install into
      {"/home/.local/share/Zembrit_Quarnel", std::nullopt, false, false},
      {"/home/.local/share/Zembrit_Quarnel", std::nullopt, true, true},
      {"/home/.local/share/Zembrit_Quarnel", "/x//y/Zembrit Quarnel", true, true},
      {"/home/.local/share/Zembrit_Quarnel", "/home", std::nullopt, true},  // there already
  };
  for (const auto& c : cases) {
    scratch_folder home;
    user_environment user;
    if (c.default_folder) user.home = home / "home";
    std::filesystem::create_directories(home / "home");
    driven_wizard w(user);
    w.press(QWizard::NextButton);
    auto* field = w.find<QLineEdit>("destination_folder");
    const std::string shown = c.default_folder ? home.path() + *c.default_folder : "";
    EXPECT_EQ(field->text().toStdString(), shown);
    if (c.browsed) {
      w.edges.chosen_folders = {std::nullopt, home.path() + *c.browsed};
      w.find<QAbstractButton>("browse_button")->click();  // cancelled: nothing changes
      EXPECT_EQ(field->text().toStdString(), shown);
      w.find<QAbstractButton>("browse_button")->click();
      EXPECT_EQ(w.edges.browse_titles,
                (std::vector<QString>{"Select the install folder:", "Select the install folder:"}));
    }
    const std::string folder = c.browsed ? home.path() + *c.browsed : shown;
    if (c.answer) w.edges.answers = {*c.answer};
    w.press(QWizard::NextButton);

    EXPECT_EQ(w.wizard->currentId(), c.moves_on ? kOptionsPage : kDestinationPage) << folder;
    std::vector<message_box> expected;
    if (!c.default_folder) {
      expected.push_back(
          {"Zembrit_Quarnel", "Please select the install folder", message_icon::error});
    } else if (c.answer) {
      expected.push_back({"Zembrit_Quarnel",
                          folder + " does not exists.\nDo you want to create it?",
                          message_icon::question});
    }
    EXPECT_EQ(w.edges.shown, expected) << folder;
    EXPECT_EQ(w.edges.beeps, c.default_folder ? 0 : 1) << folder;
    if (!c.moves_on) {
      EXPECT_EQ(w.wizard->focusWidget(), field) << folder;
    }
    // Yes creates the folder with its parents; No creates nothing.
    std::string tidied = folder;
    normalize_path(tidied);
    EXPECT_EQ(std::filesystem::is_directory(tidied), c.moves_on) << folder;
    if (c.moves_on) {
      EXPECT_EQ(w.wizard->destination_folder(), tidied);
    }
  }
  const user_environment root{true, "/root", "", ""};
  driven_wizard as_root(root);
  as_root.press(QWizard::NextButton);
  EXPECT_EQ(as_root.find<QLineEdit>("destination_folder")->text(), "/opt/Zembrit_Quarnel");
}

TEST(SetupWizard, CancelShowsTheFailureBoxAndEndsWithTheCodeOfItsPage) {
  enum way { button, escape, close_box };
  const struct {
    int page;
    way how;
    bool failure_box;
    int exit_code;
  } cases[] = {
      {kWelcomePage, button, true, 1},
      {kWelcomePage, close_box, true, 1},
      {kDestinationPage, button, true, 1},
      {kDestinationPage, escape, true, 1},
      {kOptionsPage, button, true, 0},
      {kOptionsPage, escape, true, 0},
      {kReadyPage, button, true, 0},
      {kReadyPage, close_box, true, 0},
      // After a complete installation nothing has failed: Cancel is Finish.
      {kFinishPage, button, false, 1},
      {kFinishPage, escape, false, 1},
  };
  for (const auto& c : cases) {
    driven_wizard w;
    stock_installer(w);
    w.go_to(c.page);
    w.edges.shown.clear();
    switch (c.how) {
      case button:
        w.press(QWizard::CancelButton);
        break;
      case escape:
        QTest::keyClick(w.wizard.get(), Qt::Key_Escape);
        break;
      case close_box:
        w.wizard->close();
        break;
    }
    EXPECT_EQ(w.edges.shown,
              c.failure_box ? std::vector<message_box>{kFailureBox} : std::vector<message_box>{})
        << c.page << " " << c.how;
    EXPECT_EQ(w.endings, std::vector<int>{c.exit_code}) << c.page << " " << c.how;
    EXPECT_FALSE(w.wizard->isVisible()) << c.page << " " << c.how;
  }
  driven_wizard finished;
  stock_installer(finished);
  finished.go_to(kFinishPage);
  finished.press(QWizard::FinishButton);
  EXPECT_EQ(finished.endings, std::vector<int>{1});
  EXPECT_EQ(finished.edges.shown.size(), 1u);  // only the folder question
}

}  // namespace
}  // namespace zq::setup
