#include "setup/core/installation.h"

#include "common/paths.h"
#include "common/result.h"
#include "platform/file_copy.h"

namespace zq::setup {
namespace {

// Larger than any job file a user would keep; a larger one is compared as
// different and kept.
constexpr std::size_t kJobFileLimit = 1 << 20;

// When the installed job file differs from the new default, copies it beside
// itself before the default replaces it: the user's settings survive a
// reinstallation. Returns the kept file's path, or empty when nothing needed
// keeping. A job file that is there but cannot be kept stops the
// installation, rather than losing the settings in it.
result<std::string> keep_earlier_settings(platform::file_system& fs, const std::string& source,
                                          const std::string& installed) {
  if (fs.stat_target(installed).kind == platform::file_kind::missing) {
    return std::string();
  }
  const result<std::string> fresh = fs.read_file(source, kJobFileLimit);
  if (!fresh.is_ok()) {
    return std::string();  // the copy that follows fails and says why
  }
  const result<std::string> earlier = fs.read_file(installed, kJobFileLimit);
  if (earlier.is_ok() && *fresh == *earlier) {
    return std::string();
  }
  const std::string kept = installed + kKeptSettingsSuffix;
  if (const status copied = platform::copy_file_keeping_mode(fs, installed, kept);
      !copied.is_ok()) {
    return copied;
  }
  return kept;
}

// A folder pasted into a quoted argument: the layer reads "" as one quote.
std::string quoted_folder(const std::string& folder) {
  std::string out;
  for (const char c : folder) {
    if (c == '"') {
      out.push_back('"');
    }
    out.push_back(c);
  }
  return out;
}

}  // namespace

message_box failure_box() {
  return {"Zembrit", "The installation of Zembrit_Quarnel has failed.\n\nPlease run install again.",
          message_icon::error};
}

status install_file(platform::file_system& fs, const std::string& source_folder,
                    const std::string& destination_folder, const std::string& name) {
  return platform::copy_file_keeping_mode(fs, join_normalized(source_folder, name),
                                          join_normalized(destination_folder, name));
}

std::vector<std::string> group_commands(const std::string& destination_folder) {
  const std::string folder = quoted_folder(destination_folder) + kPathSeparator;
  return {
      "[CreateGroup(Zembrit_Quarnel, 1)]",
      "[AddItem(\"" + folder + "Zembrit_Quarnel\",Zembrit_Quarnel)]",
      "[AddItem(\"" + folder + "Quarnel_gui\",Setup)]",
      // The help viewer's own icon, as the theme names it.
      "[AddItem(\"" + folder + "Zembrite_Quarnel.html\",Help, help-browser, 1)]",
      "[ShowGroup(Zembrit_Quarnel)]",
  };
}

installation_outcome run_installation(
    platform::file_system& fs, const installation_request& request,
    const std::function<void(const std::string& name)>& before_each_copy) {
  installation_outcome outcome;
  auto fail = [&](status reason) {
    outcome.failure = installation_failure{failure_box(), kExitCodeAfterFailure, std::move(reason)};
    return outcome;
  };
  for (const std::string name : kCopyList) {
    if (before_each_copy) {
      before_each_copy(name);
    }
    if (name == kJobFileName) {
      result<std::string> kept =
          keep_earlier_settings(fs, join_normalized(request.source_folder, name),
                                join_normalized(request.destination_folder, name));
      if (!kept.is_ok()) {
        return fail(kept.status());
      }
      outcome.kept_settings = std::move(kept).value();
    }
    if (status copied = install_file(fs, request.source_folder, request.destination_folder, name);
        !copied.is_ok()) {
      return fail(std::move(copied));
    }
  }
  if (request.create_group) {
    program_manager instance(fs, request.menus);
    for (const std::string& text : group_commands(request.destination_folder)) {
      (void)send_progman_command(instance, text);
    }
  }
  return outcome;
}

}  // namespace zq::setup
