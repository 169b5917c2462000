// The batch engine: one run per process, driven by one command-line text.
#include <signal.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <string_view>

#include "common/diagnostics.h"
#include "common/version.h"
#include "engine/command_line.h"
#include "engine/engine_entry.h"
#include "platform/file_system.h"
#include "platform/system.h"

namespace {

// What the run has to say beside its files: reasons on standard error, the
// progress a calling script watches on standard output.
class standard_streams final : public zq::diagnostics {
 public:
  void say(std::string_view message) override {
    std::fprintf(stderr, "Zembrit_Quarnel: %.*s\n", static_cast<int>(message.size()),
                 message.data());
  }
  void progress(std::string_view text) override {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
  }
};

// The number of the signal that asked the run to stop; the run looks at it
// between files and before each output it begins.
volatile std::sig_atomic_t stop_signal = 0;

void ask_to_stop(int number) { stop_signal = number; }

// SIGINT and SIGTERM let the run stop where it can clean up: it unwinds,
// removing its staging folders and its own folder, and ends with 128 + the
// number. Interrupted system calls carry on (SA_RESTART), so no write fails
// for the signal's sake; a second signal ends the process at once
// (SA_RESETHAND), for a user who will not wait. A signal that the caller
// ignores stays ignored (a shell's background job ignores SIGINT).
//
// SIGXFSZ is ignored: a write past the file-size limit (ulimit -f) then
// fails with EFBIG and is reported like a full disk, instead of killing the
// process in the middle of a write.
void install_signal_handlers() {
  std::signal(SIGXFSZ, SIG_IGN);
  struct sigaction stop {};
  stop.sa_handler = ask_to_stop;
  sigemptyset(&stop.sa_mask);
  stop.sa_flags = SA_RESTART | SA_RESETHAND;
  for (const int number : {SIGINT, SIGTERM}) {
    struct sigaction current {};
    if (sigaction(number, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) {
      continue;
    }
    sigaction(number, &stop, nullptr);
  }
}

}  // namespace

int main(int argc, char** argv) {
  install_signal_handlers();
  const std::string text = zq::engine::command_line_text(argc, argv);
  if (text == "--version") {
    std::puts(zq::kVersionText);
    return 0;
  }
  if (text == "--help") {
    // The text as it prints, one line of it a line here.
    // clang-format off
    std::fputs(
        "Usage: Zembrit_Quarnel [COMMAND]\n"
        "Converts TIFF images as the job file (an INI file) says. COMMAND is one text\n"
        "whose fields are separated by '|':\n"
        "  (none)                          batch run with Zembrit_Quarnel.ini beside the program\n"
        "  C|job file                      batch run with that job file\n"
        "  G|source|target|job file        convert one file (as the settings program does)\n"
        "  Q|source|target|job file        the same, with a syntax message when fields are missing\n"
        "  P|source[|target]               convert one file with the default job file\n"
        "Start-up refusals go to error.txt in the temporary folder, the conversion report\n"
        "to the job file's temp folder.\n",
        stdout);
    // clang-format on
    return 0;
  }
  const zq::engine::engine_environment environment{zq::platform::system_temp_path(),
                                                   zq::platform::own_folder(), &stop_signal};
  standard_streams streams;
  return zq::engine::run_engine(text, environment, zq::platform::real_file_system(), streams);
}
