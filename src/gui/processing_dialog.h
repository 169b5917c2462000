// The processing dialog of a launch: the file being converted and a bar of
// the files done, while the engine converts the picked files one process at
// a time. The processes run asynchronously, so the dialog keeps painting and
// its Stop button answers during a long run. It closes itself a moment after
// the last engine has ended, or after a stop once the running engine has
// ended its file; when an engine cannot be started it says why and waits for
// Enter.
#pragma once

#include <QDialog>
#include <QObject>
#include <memory>
#include <string>
#include <vector>

#include "common/status.h"
#include "gui/core/launch.h"
#include "platform/file_system.h"

class QLabel;
class QProcess;
class QProgressBar;
class QPushButton;

namespace zq::gui {

// Engine processes started with QProcess: the program and its one argument,
// no shell; the engine's output goes where the front end's goes. Waiting
// happens in the event loop, never on the GUI thread.
class process_starter final : public QObject, public engine_starter {
  Q_OBJECT

 public:
  explicit process_starter(QObject* parent = nullptr) : QObject(parent) {}

  void start(const std::string& program, const std::string& argument,
             std::function<void(status)> ended) override;
};

class processing_dialog final : public QDialog {
  Q_OBJECT

 public:
  // Runs the engine over `picked` (or the source folder when it is empty)
  // once the dialog is shown. Every reference must outlive the dialog.
  processing_dialog(const run_settings& run, picked_file_list& picked, std::string job_file,
                    std::string engine, engine_starter& starter, QWidget* parent = nullptr,
                    platform::file_system& files = platform::real_file_system());

  // The files the run could not hand to the engine, with the reason.
  const std::vector<status>& not_handed_over() const { return run_.not_handed_over(); }

  // Asks the run to end after the file being converted now.
  void request_stop();

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void reject() override;

 private:
  enum class state { waiting, working, stuck, finished };

  void show_progress(std::size_t done, std::size_t total);
  void show_stuck(const status& why);

  conversion_run run_;
  state state_ = state::waiting;
  QLabel* source_ = nullptr;
  QLabel* problem_ = nullptr;
  QProgressBar* bar_ = nullptr;
  QPushButton* stop_ = nullptr;
};

}  // namespace zq::gui
