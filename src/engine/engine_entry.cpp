#include "engine/engine_entry.h"

#include <cstdio>
#include <optional>

#include "common/paths.h"
#include "engine/batch_driver.h"
#include "engine/command_line.h"
#include "engine/engine_settings.h"
#include "engine/formats.h"
#include "engine/job_keys.h"
#include "engine/report.h"
#include "platform/ini_file.h"
#include "platform/system.h"

namespace zq::engine {
namespace {

// Start-up messages. The file gets exactly the bytes it always had; standard
// error gets the same text so that a script sees why nothing happened.
class error_file {
 public:
  explicit error_file(const std::string& path)
      : stream_(platform::open_for_writing(path, platform::open_mode::truncate)) {}
  ~error_file() { close(); }
  error_file(const error_file&) = delete;
  error_file& operator=(const error_file&) = delete;

  void write(const std::string& text) {
    std::fputs(text.c_str(), stderr);
    if (stream_ != nullptr) {
      std::fwrite(text.data(), 1, text.size(), stream_);
    }
  }

  void close() {
    if (stream_ != nullptr) {
      std::fclose(stream_);
      stream_ = nullptr;
    }
  }

 private:
  std::FILE* stream_;
};

std::string too_long(const std::string& what, std::size_t length, std::size_t limit) {
  return what + " too long: " + std::to_string(length) + " bytes, at most " +
         std::to_string(limit) + "\r\n";
}

// A refusal of the run: the text for the error file, nothing when the run
// simply ends.
using refusal = std::optional<std::string>;

class engine_start {
 public:
  explicit engine_start(const engine_environment& environment)
      : environment_(environment),
        errors_(join_normalized(environment.system_temp_path, "error.txt")) {}

  std::optional<engine_settings> run(const std::string& command_text) {
    if (refusal refused = start(command_text)) {
      errors_.write(*refused);
      return std::nullopt;
    }
    return std::move(settings_);
  }

 private:
  refusal start(const std::string& command_text) {
    const std::string default_job_file =
        join_normalized(environment_.own_folder, "Zembrit_Quarnel.ini");
    if (command_text.size() > kMaxCommandLineLength) {
      return too_long("Command line", command_text.size(), kMaxCommandLineLength);
    }
    const std::vector<std::string> fields = split_command_line(command_text);
    const run_mode& mode = choose_run_mode(fields);
    if (fields.size() < mode.fields_needed) {
      if (mode.silent_when_short) {
        // The front end's own mode ends quietly: the error file stays empty.
        std::fputs("Zembrit_Quarnel: too few fields for a single-file run\n", stderr);
        return std::string();
      }
      return syntax_message(mode.fields_needed - fields.size(), fields);
    }
    for (const std::string& field : fields) {
      if (field.size() > kMaxPathLength) {
        return too_long("Command-line field", field.size(), kMaxPathLength);
      }
    }
    auto field = [&](std::size_t number) {
      return number != 0 && number <= fields.size() ? fields[number - 1] : std::string();
    };
    settings_.job_file = mode.uses_default_job_file ? default_job_file : field(mode.job_file_field);
    const platform::ini_file job_file = platform::ini_file::load(settings_.job_file);

    if (mode.kind == run_kind::single_file) {
      settings_.single_file = true;
      settings_.source_file = field(mode.source_field);
      settings_.target_file = field(mode.target_field);
      if (settings_.target_file.empty()) {
        if (refusal refused = derive_target_file(job_file)) {
          return refused;
        }
      }
      settings_.format_code = format_code_for_extension(extension_of(settings_.target_file));
    }

    if (refusal refused = read_folder(job_file, "temp", settings_.temp_folder)) {
      return refused;
    }
    if (settings_.temp_folder.empty()) {
      settings_.temp_folder = environment_.system_temp_path;
    }
    if (mode.kind == run_kind::batch) {
      if (refusal refused =
              read_required_folder(job_file, "source", "Source", settings_.source_folder)) {
        return refused;
      }
      if (refusal refused =
              read_required_folder(job_file, "target", "Target", settings_.target_folder)) {
        return refused;
      }
    }
    settings_.files_count = 0;
    settings_.search_pattern = join_path(settings_.source_folder, "*.tif");
    normalize_by_rule(settings_.search_pattern);

    if (settings_.format_code == kFormatNone) {
      settings_.format_code = job_file.read_int("PARAMS", "image_type", 0);
    }
    if (status read = read_job_settings(job_file, settings_.job); !read.is_ok()) {
      return read.reason() + "\r\n";
    }
    if (mode.kind == run_kind::batch) {
      settings_.file_list_path = join_normalized(settings_.temp_folder, "z.log");
    }
    return std::nullopt;
  }

  refusal read_folder(const platform::ini_file& job_file, const char* key, std::string& folder) {
    folder = job_file.read_string("FOLDERS", key);
    if (folder.size() > kMaxPathLength) {
      return too_long(std::string("[FOLDERS] ") + key, folder.size(), kMaxPathLength);
    }
    return std::nullopt;
  }

  refusal read_required_folder(const platform::ini_file& job_file, const char* key,
                               const char* label, std::string& folder) {
    if (refusal refused = read_folder(job_file, key, folder)) {
      return refused;
    }
    if (folder.empty()) {
      // The value read is always empty here; the line keeps its old form.
      return std::string(label) + " key not found\r\n()\r\n";
    }
    return std::nullopt;
  }

  // A "P" run that names no target: the front end's target for this source,
  // the target folder, the source's base name and the format's extension.
  refusal derive_target_file(const platform::ini_file& job_file) {
    std::string folder;
    if (refusal refused = read_required_folder(job_file, "target", "Target", folder)) {
      return refused;
    }
    const int code = job_file.read_int("PARAMS", "image_type", 1);
    const target_format* format = find_format(code);
    if (format == nullptr) {
      return "No target format for [PARAMS] image_type " + std::to_string(code) + "\r\n";
    }
    settings_.target_file = join_normalized(
        folder, base_name_of(settings_.source_file) + std::string(format->extension));
    return std::nullopt;
  }

  const engine_environment& environment_;
  error_file errors_;
  engine_settings settings_;
};

}  // namespace

std::optional<engine_settings> start_engine(const std::string& command_text,
                                            const engine_environment& environment) {
  // The error file is closed when start-up ends, refused or not.
  return engine_start(environment).run(command_text);
}

int run_engine(const std::string& command_text, const engine_environment& environment) {
  std::optional<engine_settings> settings = start_engine(command_text, environment);
  if (!settings) {
    return 0;
  }
  if (settings->single_file) {
    convert_single_file(*settings, settings->source_file, settings->target_file);
  } else {
    report_stream report;
    if (uses_shared_report(settings->job)) {
      const std::string path = shared_report_path(*settings);
      std::string error;
      report = report_stream::create(path, &error);
      if (!report.is_open()) {
        // The one failure that ends a run with exit code 1, before any file.
        std::fprintf(stderr, "Zembrit_Quarnel: cannot create the report %s: %s\n", path.c_str(),
                     error.c_str());
        return 1;
      }
    }
    run_batch_walk(*settings, report);
  }
  // Batch runs leave no file list behind, whoever wrote it.
  if (!settings->file_list_path.empty()) {
    (void)platform::remove_file(settings->file_list_path);
  }
  return 0;
}

}  // namespace zq::engine
