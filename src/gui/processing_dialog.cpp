#include "gui/processing_dialog.h"

#include <QFile>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <utility>

#include "gui/window_helpers.h"

namespace zq::gui {
namespace {

constexpr const char* kProcessingTitle = "Processing...";
// The last file's bar stays on screen for a moment before the dialog goes.
constexpr int kCloseDelayMs = 200;

int bar_value(std::size_t count) { return static_cast<int>(std::min<std::size_t>(count, INT_MAX)); }

}  // namespace

void process_starter::start(const std::string& program, const std::string& argument,
                            std::function<void(status)> ended) {
  auto* process = new QProcess(this);
  // finished and errorOccurred may both come for one process (an engine that
  // crashed); the caller hears of it once.
  auto pending = std::make_shared<std::function<void(status)>>(std::move(ended));
  const auto report = [process, pending](status outcome) {
    if (!*pending) {
      return;
    }
    const std::function<void(status)> callback = std::move(*pending);
    *pending = nullptr;
    process->deleteLater();
    callback(std::move(outcome));
  };
  connect(process, &QProcess::finished, this, [report] { report(status::ok()); });
  connect(
      process, &QProcess::errorOccurred, this,
      [report, process, program](QProcess::ProcessError error) {
        // Every other error comes with (or before) the end of a process
        // that did start; only a failed start ends nothing.
        if (error == QProcess::FailedToStart) {
          report(status::error(
              "Cannot start " + program + ": " + process->errorString().toStdString(), program));
        }
      });
  process->setProcessChannelMode(QProcess::ForwardedChannels);
  process->setStandardInputFile(QProcess::nullDevice());
  process->start(QFile::decodeName(program.c_str()), {QFile::decodeName(argument.c_str())});
}

processing_dialog::processing_dialog(const run_settings& run, picked_file_list& picked,
                                     std::string job_file, std::string engine,
                                     engine_starter& starter, QWidget* parent,
                                     platform::file_system& files)
    : QDialog(parent, Qt::Dialog | Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      run_(run, picked, std::move(job_file), std::move(engine), starter,
           {
               [this](const std::string& source) {
                 source_->setText(QFile::decodeName(source.c_str()));
               },
               [this](std::size_t done, std::size_t total) { show_progress(done, total); },
               [this] {
                 state_ = state::finished;
                 QTimer::singleShot(kCloseDelayMs, this, &QDialog::accept);
               },
               [this](const status& why) { show_stuck(why); },
           },
           files) {
  setObjectName(QStringLiteral("processing_dialog"));
  setWindowTitle(QString::fromLatin1(kProcessingTitle));
  setModal(true);

  auto* layout = new QVBoxLayout(this);
  source_ = new QLabel(this);
  source_->setObjectName(QStringLiteral("source_label"));
  source_->setMinimumWidth(420);
  source_->setTextFormat(Qt::PlainText);
  layout->addWidget(source_);

  auto* row = new QHBoxLayout();
  bar_ = new QProgressBar(this);
  bar_->setObjectName(QStringLiteral("progress"));
  bar_->setAccessibleName(QStringLiteral("Files converted"));
  bar_->setRange(0, 1);
  bar_->setValue(0);
  row->addWidget(bar_, 1);
  stop_ = new QPushButton(QStringLiteral("&Stop"), this);
  stop_->setObjectName(QStringLiteral("stop_button"));
  stop_->setToolTip(
      QStringLiteral("Start no further conversion; the file being converted is finished"));
  // Enter must never stop a run by accident: it only closes a dialog that
  // is waiting for it.
  stop_->setAutoDefault(false);
  connect(stop_, &QPushButton::clicked, this, &processing_dialog::request_stop);
  row->addWidget(stop_);
  layout->addLayout(row);

  problem_ = new QLabel(this);
  problem_->setObjectName(QStringLiteral("problem_label"));
  problem_->setTextFormat(Qt::PlainText);
  problem_->setWordWrap(true);
  problem_->hide();
  layout->addWidget(problem_);

  show_progress(0, 0);
  adjustSize();
}

void processing_dialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (state_ != state::waiting) {
    return;
  }
  state_ = state::working;
  center_window(*this);
  // Once the dialog is on screen: the first engine starts from the event loop.
  QTimer::singleShot(0, this, [this] { run_.begin(); });
}

void processing_dialog::show_progress(std::size_t done, std::size_t total) {
  bar_->setRange(0, std::max(1, bar_value(total)));
  bar_->setValue(bar_value(done));
  bar_->setFormat(QStringLiteral("%1 of %2").arg(done).arg(total));
}

void processing_dialog::show_stuck(const status& why) {
  state_ = state::stuck;
  stop_->setEnabled(false);
  problem_->setText(QString::fromStdString(why.reason()) +
                    QStringLiteral("\nPress Enter to close this window."));
  problem_->show();
  adjustSize();
}

void processing_dialog::request_stop() {
  if (state_ == state::stuck || state_ == state::finished) {
    return;
  }
  run_.stop();
  stop_->setEnabled(false);
  stop_->setText(QStringLiteral("Stopping..."));
  if (!run_.running() && state_ == state::waiting) {
    accept();  // nothing has started yet
  }
}

void processing_dialog::keyPressEvent(QKeyEvent* event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (enter && state_ == state::stuck) {
    accept();
    return;
  }
  // Escape and everything else: nothing, while engines run.
  event->accept();
}

void processing_dialog::reject() {
  // The dialog ends through accept() alone: Escape and the window manager's
  // close (which comes here) would otherwise leave an engine running behind
  // a closed dialog.
}

}  // namespace zq::gui
