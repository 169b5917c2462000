#include "setup/core/program_manager.h"

#include <algorithm>
#include <utility>

#include "common/ascii.h"
#include "common/paths.h"
#include "platform/staged_output.h"

namespace zq::setup {
namespace {

// The merge file is ours and small; anything larger is not one we wrote.
constexpr std::size_t kMergeFileLimit = 1 << 20;

constexpr std::string_view kFilenameOpen = "<Filename>";
constexpr std::string_view kFilenameClose = "</Filename>";

// A program item without an icon of its own, and a document item, get the
// icon theme's standard names: a Linux program carries no icon inside it.
constexpr const char* kProgramIcon = "application-x-executable";
constexpr const char* kDocumentIcon = "text-x-generic";
constexpr const char* kGroupIcon = "applications-graphics";

// What opens a document item, as the shell's "open" does on the desktop.
constexpr const char* kOpener = "xdg-open";

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim_blanks(std::string_view text) {
  while (!text.empty() && is_blank(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && is_blank(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

bool is_ascii_alnum(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool is_valid_utf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    unsigned long code = 0;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if (lead >= 0xc2 && lead <= 0xdf) {
      length = 2;
      code = lead & 0x1f;
    } else if (lead >= 0xe0 && lead <= 0xef) {
      length = 3;
      code = lead & 0x0f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
      length = 4;
      code = lead & 0x07;
    } else {
      return false;
    }
    if (i + length > text.size()) {
      return false;
    }
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xc0) != 0x80) {
        return false;
      }
      code = (code << 6) | (next & 0x3f);
    }
    // Overlong forms, UTF-16 surrogates and code points past U+10FFFF.
    if ((length == 3 && code < 0x800) || (length == 4 && code < 0x10000) || code > 0x10ffff ||
        (code >= 0xd800 && code <= 0xdfff)) {
      return false;
    }
    i += length;
  }
  return true;
}

// Desktop entries are UTF-8 without control characters; tabs and line ends
// have escapes. A name that cannot be written so is refused, never mangled:
// an entry that pointed at a different path would start the wrong thing.
status check_value(std::string_view what, std::string_view value) {
  if (!is_valid_utf8(value)) {
    return status::error(std::string(what) + " is not UTF-8 text: " + std::string(value),
                         std::string(value));
  }
  for (const char c : value) {
    const auto u = static_cast<unsigned char>(c);
    if ((u < 0x20 && c != '\t' && c != '\n' && c != '\r') || u == 0x7f) {
      return status::error(std::string(what) + " holds a control character: " + std::string(value),
                           std::string(value));
    }
  }
  return status::ok();
}

// The escapes of the desktop-entry string types; a leading blank would be
// taken for the blank after "=".
std::string escape_value(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (std::size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      case ' ':
        out += i == 0 ? "\\s" : " ";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

// One argument of an Exec command line: quoted when it holds a character the
// desktop-entry rules reserve (a blank in the install folder among them),
// with "%" doubled because a single one starts a field code.
std::string exec_argument(std::string_view argument) {
  constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";
  const bool quote =
      argument.empty() || argument.find_first_of(kReserved) != std::string_view::npos;
  std::string out;
  if (quote) {
    out.push_back('"');
  }
  for (const char c : argument) {
    if (c == '%') {
      out += "%%";
      continue;
    }
    if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) {
      out.push_back('\\');
    }
    out.push_back(c);
  }
  if (quote) {
    out.push_back('"');
  }
  return out;
}

std::string escape_xml(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

// The part of a file name made from a group or item name: lower-case ASCII
// letters, digits, "_" and "-", which every desktop accepts in a file id.
std::string file_id(std::string_view name) {
  std::string id;
  for (const char c : name) {
    id.push_back(is_ascii_alnum(c) || c == '-' ? static_cast<char>(ascii_lower(c)) : '_');
  }
  return id;
}

std::string vendor_file_name(std::string_view name, std::string_view extension) {
  return std::string(kMenuVendor) + "-" + file_id(name) + std::string(extension);
}

bool is_our_file_name(std::string_view name) {
  return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
    return is_ascii_alnum(c) || c == '-' || c == '_' || c == '.';
  });
}

status check_group_name(std::string_view group) {
  if (group.empty()) {
    return status::error("A group needs a name");
  }
  if (group.find(kPathSeparator) != std::string_view::npos) {
    return status::error("A menu name cannot hold a slash: " + std::string(group),
                         std::string(group));
  }
  if (const status checked = check_value("The group name", group); !checked.is_ok()) {
    return checked;
  }
  if (group.find_first_of("\t\n\r") != std::string_view::npos) {
    return status::error("A menu name cannot hold a line break or tab: " + std::string(group),
                         std::string(group));
  }
  return status::ok();
}

status write_menu_file(platform::file_system& fs, const std::string& path,
                       const std::string& contents) {
  platform::create_folder_chain(fs, path);
  return platform::write_file_atomically(fs, path, contents);
}

std::string directory_text(const std::string& group) {
  std::string text = "[Desktop Entry]\nType=Directory\n";
  text += "Name=" + escape_value(group) + "\n";
  text += "Icon=" + std::string(kGroupIcon) + "\n";
  return text;
}

std::string merge_text(const std::string& group, const std::vector<std::string>& entries) {
  // No document type line: the menu readers of the desktops parse the
  // elements alone and never fetch a DTD.
  std::string text =
      "<Menu>\n"
      "  <Name>Applications</Name>\n"
      "  <Menu>\n";
  text += "    <Name>" + escape_xml(group) + "</Name>\n";
  text += "    <Directory>" + vendor_file_name(group, ".directory") + "</Directory>\n";
  text += "    <Include>\n";
  for (const std::string& entry : entries) {
    text += "      <Filename>" + entry + "</Filename>\n";
  }
  text +=
      "    </Include>\n"
      "  </Menu>\n"
      "</Menu>\n";
  return text;
}

}  // namespace

result<std::vector<progman_command>> parse_progman_commands(std::string_view text) {
  std::size_t at = 0;
  auto malformed = [&](const std::string& fault) {
    return status::error("Malformed group command \"" + std::string(text) + "\": " + fault,
                         std::string(text));
  };
  auto skip_blanks = [&] {
    while (at < text.size() && is_blank(text[at])) {
      ++at;
    }
  };
  auto next_is = [&](char c) { return at < text.size() && text[at] == c; };

  std::vector<progman_command> commands;
  skip_blanks();
  if (at == text.size()) {
    return malformed("no command");
  }
  while (at < text.size()) {
    if (!next_is('[')) {
      return malformed("a command must begin with [");
    }
    ++at;
    skip_blanks();
    progman_command command;
    while (at < text.size() && is_ascii_alnum(text[at])) {
      command.name.push_back(text[at++]);
    }
    if (command.name.empty()) {
      return malformed("a command needs a name");
    }
    skip_blanks();
    if (!next_is('(')) {
      return malformed("the arguments of " + command.name + " must be in parentheses");
    }
    ++at;
    skip_blanks();
    if (next_is(')')) {
      ++at;
    } else {
      for (;;) {
        skip_blanks();
        std::string argument;
        if (next_is('"')) {
          ++at;
          for (;;) {
            if (at == text.size()) {
              return malformed("a quote is not closed");
            }
            if (text[at] == '"') {
              if (at + 1 < text.size() && text[at + 1] == '"') {
                argument.push_back('"');
                at += 2;
                continue;
              }
              ++at;
              break;
            }
            argument.push_back(text[at++]);
          }
          skip_blanks();
        } else {
          const std::size_t start = at;
          while (at < text.size() &&
                 std::string_view(",)[]\"(").find(text[at]) == std::string_view::npos) {
            ++at;
          }
          argument = trim_blanks(text.substr(start, at - start));
        }
        if (at == text.size()) {
          return malformed("the arguments of " + command.name + " are not closed with )");
        }
        command.arguments.push_back(std::move(argument));
        if (next_is(',')) {
          ++at;
          continue;
        }
        if (next_is(')')) {
          ++at;
          break;
        }
        return malformed("an argument of " + command.name + " ends with '" +
                         std::string(1, text[at]) + "'");
      }
    }
    skip_blanks();
    if (!next_is(']')) {
      return malformed("the command " + command.name + " must end with ]");
    }
    ++at;
    skip_blanks();
    commands.push_back(std::move(command));
  }
  return commands;
}

status program_manager::carry_out(const progman_command& command) {
  if (folders_.data_folder.empty() || folders_.config_folder.empty()) {
    return status::error("There is no folder for the menu files");
  }
  if (equals_ignoring_ascii_case(command.name, "CreateGroup")) {
    return create_group(command.arguments);
  }
  if (equals_ignoring_ascii_case(command.name, "AddItem")) {
    return add_item(command.arguments);
  }
  if (equals_ignoring_ascii_case(command.name, "ShowGroup")) {
    return show_group(command.arguments);
  }
  return status::error("Unknown group command " + command.name, command.name);
}

std::string program_manager::merge_file_path(const std::string& group) const {
  return join_normalized(folders_.config_folder,
                         "menus/applications-merged/" + vendor_file_name(group, ".menu"));
}

// CreateGroup(name[, group file]): makes the group current, as Program
// Manager did, and gives it its submenu. An existing group keeps its items.
status program_manager::create_group(const std::vector<std::string>& arguments) {
  const std::string group = arguments.empty() ? std::string() : arguments.front();
  if (const status checked = check_group_name(group); !checked.is_ok()) {
    return checked;
  }
  // Current even when its files fail below: the items can still be written,
  // and a menu that lists them without a folder icon beats no items at all.
  current_group_ = group;
  const std::string directory_path = join_normalized(
      folders_.data_folder, "desktop-directories/" + vendor_file_name(group, ".directory"));
  const status directory_written = write_menu_file(fs_, directory_path, directory_text(group));
  result<std::vector<std::string>> entries = entries_of(group);
  if (!entries.is_ok()) {
    return entries.status();
  }
  const status merge_written = write_merge_file(group, *entries);
  return directory_written.is_ok() ? merge_written : directory_written;
}

// AddItem(command line[, name[, icon[, icon index, ...]]]): one desktop entry
// in the current group. The command line is one absolute path, the file to
// run or open; a name left out is the file's own name. The icon index has no
// meaning for a themed icon and is not used.
status program_manager::add_item(const std::vector<std::string>& arguments) {
  if (current_group_.empty()) {
    return status::error("No group was created to add an item to");
  }
  std::string path = arguments.empty() ? std::string() : arguments[0];
  if (path.empty() || path.front() != kPathSeparator) {
    return status::error("An item needs the absolute path of its file: " + path, path);
  }
  normalize_path(path);
  const std::string name =
      arguments.size() > 1 && !arguments[1].empty() ? arguments[1] : file_name_of(path);
  const platform::file_info target = fs_.stat_target(path);
  const bool program =
      target.kind == platform::file_kind::regular && (target.permissions & 0111) != 0;
  const std::string icon = arguments.size() > 2 && !arguments[2].empty()
                               ? arguments[2]
                               : std::string(program ? kProgramIcon : kDocumentIcon);
  std::string working_folder = folder_of(path);
  if (working_folder.size() > 1) {
    working_folder.pop_back();
  }
  const std::pair<const char*, const std::string*> values[] = {
      {"The item name", &name}, {"The item's path", &path}, {"The item's icon", &icon}};
  for (const auto& [what, value] : values) {
    if (const status checked = check_value(what, *value); !checked.is_ok()) {
      return checked;
    }
  }
  // The desktop-entry rules keep "=" out of the program's own path; a document
  // is an argument of the opener, where it may stand.
  if (program && path.find('=') != std::string::npos) {
    return status::error("A program to start from the menu cannot have \"=\" in its path: " + path,
                         path);
  }
  const std::string command =
      program ? exec_argument(path) : std::string(kOpener) + " " + exec_argument(path);
  const std::string entry_name = vendor_file_name(name, ".desktop");
  std::string entry = "[Desktop Entry]\nType=Application\n";
  entry += "Name=" + escape_value(name) + "\n";
  entry += "Exec=" + escape_value(command) + "\n";
  entry += "Path=" + escape_value(working_folder) + "\n";
  entry += "Icon=" + escape_value(icon) + "\n";
  entry += "Terminal=false\n";
  entry += "Categories=" + std::string(kItemCategories) + "\n";
  // The entry first: the menu never names an entry that is not there.
  if (const status written = write_menu_file(
          fs_, join_normalized(folders_.data_folder, "applications/" + entry_name), entry);
      !written.is_ok()) {
    return written;
  }
  result<std::vector<std::string>> entries = entries_of(current_group_);
  if (!entries.is_ok()) {
    return entries.status();
  }
  if (std::find(entries->begin(), entries->end(), entry_name) == entries->end()) {
    entries->push_back(entry_name);
  }
  return write_merge_file(current_group_, *entries);
}

// ShowGroup(name[, show command]): the desktop shows its menus by itself;
// what is left to answer is whether the group is there to show.
status program_manager::show_group(const std::vector<std::string>& arguments) {
  const std::string group = arguments.empty() ? std::string() : arguments.front();
  if (const status checked = check_group_name(group); !checked.is_ok()) {
    return checked;
  }
  const std::string path = merge_file_path(group);
  if (fs_.stat(path).kind != platform::file_kind::regular) {
    return status::error("There is no group " + group + " (" + path + " is missing)", path);
  }
  return status::ok();
}

status program_manager::write_merge_file(const std::string& group,
                                         const std::vector<std::string>& entries) {
  return write_menu_file(fs_, merge_file_path(group), merge_text(group, entries));
}

// The entries a group's merge file names, in its order: only file names of
// the kind this layer writes, so a hand-edited file cannot smuggle markup in.
result<std::vector<std::string>> program_manager::entries_of(const std::string& group) {
  const std::string path = merge_file_path(group);
  std::vector<std::string> entries;
  if (fs_.stat(path).kind == platform::file_kind::missing) {
    return entries;
  }
  result<std::string> text = fs_.read_file(path, kMergeFileLimit);
  if (!text.is_ok()) {
    return text.status();
  }
  const std::string_view rest = *text;
  for (std::size_t at = rest.find(kFilenameOpen); at != std::string_view::npos;
       at = rest.find(kFilenameOpen, at)) {
    at += kFilenameOpen.size();
    const std::size_t end = rest.find(kFilenameClose, at);
    if (end == std::string_view::npos) {
      break;
    }
    const std::string name(trim_blanks(rest.substr(at, end - at)));
    if (is_our_file_name(name) &&
        std::find(entries.begin(), entries.end(), name) == entries.end()) {
      entries.push_back(name);
    }
    at = end + kFilenameClose.size();
  }
  return entries;
}

status send_progman_command(program_manager& instance, std::string_view text) {
  result<std::vector<progman_command>> commands = parse_progman_commands(text);
  if (!commands.is_ok()) {
    return commands.status();
  }
  status outcome = status::ok();
  for (const progman_command& command : *commands) {
    if (status done = instance.carry_out(command); !done.is_ok() && outcome.is_ok()) {
      outcome = std::move(done);
    }
  }
  return outcome;
}

}  // namespace zq::setup
