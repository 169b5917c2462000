// The front end's main dialog: the job file's settings on one page of
// controls above a tab strip of eleven panels, the menu, and the commands
// that load, save and launch. The dialog only moves values between its
// widgets and a dialog_values record; loading, checking and saving are the
// plain functions of gui/core, and every message goes through the
// user_dialogs it was given, so tests can read and answer them.
#pragma once

#include <QDialog>
#include <memory>
#include <string>
#include <vector>

#include "gui/core/desktop_opener.h"
#include "gui/core/dialog_settings.h"
#include "gui/core/dialog_values.h"
#include "gui/core/launch.h"
#include "gui/core/picked_files.h"
#include "gui/core/user_dialogs.h"
#include "jobfile/job_keys.h"
#include "platform/file_system.h"

class QAbstractButton;
class QButtonGroup;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QToolButton;

namespace zq::gui {

class main_dialog : public QDialog {
  Q_OBJECT

 public:
  // `program_folder` holds the default job file, the help page, the release
  // notes and the engine. The dialog starts as the program does: the default
  // job file (or the user's copy of it) in the job-file field and loaded when
  // it can be read, the Misc panel shown, the window centred.
  main_dialog(user_dialogs& ui, desktop_opener& opener, std::string program_folder,
              QWidget* parent = nullptr);

  // The controls' values, and setting them all (as a load does: the panel,
  // the tab and the target-format choice are left as they are).
  dialog_values values() const;
  void set_values(const dialog_values& values);

  // Shows the panel of `tab` and selects its tab; exactly one panel is visible.
  void show_panel(panel_tab tab);
  panel_tab current_panel() const;

  // The job-file field as typed.
  std::string job_file() const;
  const std::string& program_folder() const { return program_folder_; }

  // The files picked with "Select...", until a launch has run them.
  const picked_file_list& picked_files() const { return picked_; }
  // What starts the engine processes of a launch (tests record them);
  // real processes when none is set. `starter` must outlive the dialog.
  void set_engine_starter(engine_starter& starter) { starter_ = &starter; }

 private slots:
  // Commands of the picker and launch module.
  void select_files();
  void launch_conversion();
  void show_last_log();

 private:
  // Carries out refusals on this dialog around the messages of the injected
  // user_dialogs: the panel forward first, then the message, then the focus.
  class carrying_dialogs final : public user_dialogs {
   public:
    carrying_dialogs(main_dialog& dialog, user_dialogs& ui) : dialog_(dialog), ui_(ui) {}
    void refuse(const refusal& refused) override;
    void error(const std::string& message, std::optional<dialog_control> focus) override;
    void information(const std::string& message) override { ui_.information(message); }
    bool question(const std::string& text) override { return ui_.question(text); }

   private:
    main_dialog& dialog_;
    user_dialogs& ui_;
  };

  struct text_binding {
    std::string dialog_values::*field;
    QLineEdit* edit;
  };
  struct check_binding {
    bool dialog_values::*field;
    QAbstractButton* box;
  };
  struct list_binding {
    int dialog_values::*field;
    QComboBox* list;
  };

  void build();
  QWidget* build_misc_panel();
  QWidget* build_report_panel();
  QWidget* build_bmp_panel();
  QWidget* build_gif_panel();
  QWidget* build_jpeg_panel();
  QWidget* build_pcl_panel();
  QWidget* build_pcx_panel();
  QWidget* build_pdf_panel();
  QWidget* build_png_panel();
  QWidget* build_pse_panel();
  QWidget* build_tiff_panel();
  void build_menu();
  void set_tab_order();
  void start();

  QLineEdit* text_field(const char* name, std::string dialog_values::*field);
  QLineEdit* digit_field(const char* name, std::string dialog_values::*field);
  QAbstractButton* check_box(const char* name, const char* text, bool dialog_values::*field);
  QComboBox* list(const char* name, int dialog_values::*field, job_key_id entries);
  QToolButton* browse_button(const char* name, const char* accessible_name, bool folder_icon);

  QWidget* control(dialog_control which) const;
  void focus_control(dialog_control which);
  void format_chosen(int position);

  // The commands of the buttons and the menu.
  void save_and_quit();
  void save();
  void save_as();
  void choose_job_file();
  void browse_folder(QLineEdit* field, const QString& title);
  void open_program_file(const char* name);
  void about();
  // Saves into the job-file field's file: true when saved; an empty field
  // and every refusal or failure have been told.
  bool save_into_job_file();
  // A job file picked in the platform's file dialog, or empty after Cancel.
  QString pick_job_file();

  carrying_dialogs ui_;
  desktop_opener& opener_;
  std::string program_folder_;
  platform::file_system& files_;

  // Keeps the wheel off lists the user is not working in.
  QObject* wheel_guard_ = nullptr;
  std::vector<text_binding> texts_;
  std::vector<check_binding> checks_;
  std::vector<list_binding> lists_;

  QLineEdit* job_file_edit_ = nullptr;
  QLineEdit* source_folder_edit_ = nullptr;
  QLineEdit* target_folder_edit_ = nullptr;
  QLineEdit* temp_folder_edit_ = nullptr;
  QLineEdit* width_edit_ = nullptr;
  QLineEdit* height_edit_ = nullptr;
  QLineEdit* pcx_name_edit_ = nullptr;
  QLineEdit* pdf_name_edit_ = nullptr;
  QLineEdit* tif_name_edit_ = nullptr;
  QComboBox* target_format_list_ = nullptr;
  QAbstractButton* create_report_check_ = nullptr;
  QAbstractButton* use_tiff_name_check_ = nullptr;
  QButtonGroup* bmp_group_ = nullptr;
  QButtonGroup* gif_group_ = nullptr;
  QTabWidget* tabs_ = nullptr;
  QPushButton* save_quit_button_ = nullptr;

  picked_file_list picked_;
  engine_starter* starter_ = nullptr;
  std::unique_ptr<engine_starter> process_starter_;
};

}  // namespace zq::gui
