// The batch engine: one run per process, driven by one command-line text.
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

}  // namespace

int main(int argc, char** argv) {
  const std::string text = zq::engine::command_line_text(argc, argv);
  if (text == "--version") {
    std::puts(zq::kVersionText);
    return 0;
  }
  if (text == "--help") {
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
    return 0;
  }
  const zq::engine::engine_environment environment{zq::platform::system_temp_path(),
                                                   zq::platform::own_folder()};
  standard_streams streams;
  return zq::engine::run_engine(text, environment, zq::platform::real_file_system(), streams);
}
