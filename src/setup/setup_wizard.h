// The installer's five-page wizard: welcome, destination folder, options,
// ready, finish. The pages only move values between their widgets and the
// installer's state; checking the destination and installing are the plain
// functions of setup/core, and every box the wizard shows goes through
// wizard_edges.
//
// The wizard never ends the process itself: it says how the program ends
// with program_ended(exit code), once, and main() quits with that code.
//   - Finish, and Cancel on the finish page (the installation is complete
//     then, so nothing claims it failed): code 1.
//   - Cancel on the welcome and destination pages: the failure box, code 1.
//   - Cancel on the options and ready pages: the failure box, code 0.
//   - A failed installation: the failure box, code 0.
#pragma once

#include <QFont>
#include <QWizard>
#include <string>

#include "platform/file_system.h"
#include "setup/core/install_folders.h"
#include "setup/core/installation.h"
#include "setup/wizard_edges.h"

namespace zq::setup {

// The caption of the wizard before a page gives it its own.
inline constexpr const char* kWizardCaption = "Zembrit_Quarnel - Install wizzard";

enum page_id : int {
  kWelcomePage = 0,
  kDestinationPage = 1,
  kOptionsPage = 2,
  kReadyPage = 3,
  kFinishPage = 4,
};

// Where the files come from and go to, and who answers for the edges.
// `fs` and `edges` must outlive the wizard.
struct setup_context {
  platform::file_system& fs;
  wizard_edges& edges;
  std::string source_folder;     // the installer's own folder
  user_environment environment;  // decides the default folder and the menu's place
};

// The height of the wizard's fonts for a screen of `logical_dpi` dots per
// inch: N/110 of it, rounded to the nearest pixel. The divisor 110 (not 72)
// keeps the texts as small as the pages were drawn for.
int wizard_font_pixels(int logical_dpi, int n);

enum class wizard_font { welcome, title, small };
QFont make_wizard_font(wizard_font which, int logical_dpi);

class setup_wizard final : public QWizard {
  Q_OBJECT

 public:
  explicit setup_wizard(setup_context context, QWidget* parent = nullptr);

  // 1 once Next leaves the options page with "Create a group" checked; back to
  // 0 whenever the welcome page is shown.
  int group_flag() const { return group_flag_; }
  const std::string& destination_folder() const { return destination_; }
  // The exit code the program ends with, once it has ended; -1 before.
  int exit_code() const { return exit_code_; }

  void accept() override;
  void reject() override;

 signals:
  void program_ended(int exit_code);

 private:
  friend class destination_page;
  friend class options_page;
  friend class ready_page;

  void page_activated(int id);
  void center_on_screen();
  // Runs the installation from the ready page; false when it failed and the
  // program has ended.
  bool install(QWidget* page);
  void end_program(int exit_code);

  setup_context context_;
  std::string destination_;
  int group_flag_ = 0;
  std::string kept_settings_;
  int exit_code_ = -1;
};

}  // namespace zq::setup
