#include "gui/core/dialog_settings.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <initializer_list>
#include <variant>

#include "common/paths.h"
#include "gui/core/dialog_lists.h"
#include "jobfile/formats.h"
#include "jobfile/job_keys.h"
#include "platform/ini_file.h"

namespace zq::gui {
namespace {

using enum job_key_id;
using platform::file_system;
using platform::ini_file;

// The two size fields share one key.
struct size_fields {};

// Which member of dialog_values holds a key. A text member holds a number
// when the key's form is a number; an int member is a list position.
using control_field =
    std::variant<std::monostate,  // no control: the key is always written as its default
                 std::string dialog_values::*, bool dialog_values::*, int dialog_values::*,
                 bmp_colors dialog_values::*, gif_version dialog_values::*, size_fields>;

struct binding {
  job_key_id key;
  control_field field;
};

using v = dialog_values;

// One row per key the dialog shows or writes; [PARAMS] density has none.
const std::array kBindings = {
    binding{folders_temp, &v::temp_folder},
    binding{folders_source, &v::source_folder},
    binding{folders_target, &v::target_folder},
    binding{params_image_type, &v::target_format},
    binding{params_recurse, &v::recursive_search},
    binding{params_reproduce_path, &v::reproduce_source_path},
    binding{params_extract_all, &v::extract_all_pages},
    binding{params_keep_proportions, &v::keep_proportions},
    binding{params_size, size_fields{}},
    binding{jpeg_quality, &v::jpeg_quality},
    binding{jpeg_progressive, &v::jpeg_progressive},
    binding{jpeg_colorspace, &v::jpeg_colorspace},
    binding{png_quality, &v::png_quality},
    binding{png_progressive, &v::png_progressive},
    binding{gif_gif87, &v::gif_type},
    binding{gif_adjoin, &v::gif_multi_page},
    binding{gif_compress, &v::gif_compress},
    binding{bmp_compress, &v::bmp_compress},
    binding{bmp_bmp_type, &v::bmp_type},
    binding{pcl_page_type, &v::pcl_page_type},
    binding{pcl_dpi, &v::pcl_dpi},
    binding{pcx_adjoin, &v::pcx_multi_file},
    binding{pcx_pcx_name, &v::pcx_name},
    binding{tiff_adjoin, &v::tiff_multi_page},
    binding{tiff_compression_type, &v::tiff_compression},
    binding{tiff_dpi, &v::tiff_dpi},
    binding{tiff_colorspace, &v::tiff_colorspace},
    binding{tiff_tif_name, &v::tif_name},
    binding{pdf_adjoin, &v::pdf_single_file},
    binding{pdf_compression_type, &v::pdf_compression},
    binding{pdf_letter_type, &v::pdf_page_size},
    binding{pdf_pdf_name, &v::pdf_name},
    binding{report_create_report, &v::create_report},
    binding{report_use_tiff_name, &v::use_tiff_name},
    binding{pse_horz_dpi, &v::pse_horz_dpi},
    binding{pse_vert_dpi, &v::pse_vert_dpi},
    binding{misc_tooltips, std::monostate{}},
};

template <class... F>
struct overloaded : F... {
  using F::operator()...;
};

const control_field& field_of(job_key_id key) {
  for (const binding& b : kBindings) {
    if (b.key == key) {
      return b.field;
    }
  }
  static const control_field kNone;
  return kNone;
}

int front_end_int(const job_key& key) {
  return platform::parse_profile_int(front_end_default(key, std::string()));
}

// The adjoin flag a name is written with: the one the format table gives the
// format whose section holds the name.
std::optional<job_key_id> adjoin_of(const job_key& name) {
  for (const target_format& format : target_formats()) {
    if (format.single_output_flag && key_of(*format.single_output_flag).section == name.section) {
      return format.single_output_flag;
    }
  }
  return std::nullopt;
}

void load_key(const ini_file& job, const job_key& key, const control_field& field,
              const std::string& temp_path, dialog_values& values) {
  const std::string section(key.section);
  const std::string name(key.key);
  std::visit(
      overloaded{
          [](std::monostate) {},
          [&](std::string v::*text) {
            if (key.form == key_form::number) {
              // Shown unsigned, as the field reads it back.
              values.*text = std::to_string(
                  static_cast<std::uint32_t>(job.read_int(section, name, front_end_int(key))));
              return;
            }
            std::string found = job.read_string(section, name, front_end_default(key, temp_path));
            if (found.empty()) {
              found = front_end_default(key, temp_path);  // the temp folder is never left empty
            }
            values.*text = std::move(found);
          },
          [&](bool v::*check) {
            values.*check = job.read_int(section, name, front_end_int(key)) != 0;
          },
          [&](int v::*position) {
            const int code = job.read_int(section, name, front_end_int(key));
            const auto entries = static_cast<int>(list_entries(key.id).size());
            values.*position = code >= 0 && code < entries ? code : kNoSelection;
          },
          [&](bmp_colors v::*radio) {
            const int code = job.read_int(section, name, front_end_int(key));
            values.*radio = code == 0   ? bmp_colors::black_and_white
                            : code == 1 ? bmp_colors::colors_256
                                        : bmp_colors::colors_16m;
          },
          [&](gif_version v::*radio) {
            values.*radio = job.read_int(section, name, front_end_int(key)) != 0
                                ? gif_version::gif87
                                : gif_version::gif89;
          },
          [&](size_fields) {
            // Only a lower-case x splits; anything else empties both fields.
            const std::string size = job.read_string(section, name, front_end_default(key, ""));
            const std::size_t x = size.find('x');
            values.width = x == std::string::npos ? std::string() : size.substr(0, x);
            values.height = x == std::string::npos ? std::string() : size.substr(x + 1);
          },
      },
      field);
}

// The job-file text of a control's value.
std::string value_text(const dialog_values& values, const job_key& key) {
  return std::visit(overloaded{
                        [&](std::monostate) { return front_end_default(key, std::string()); },
                        [&](std::string v::*text) {
                          return key.form == key_form::number
                                     ? std::to_string(field_number(values.*text))
                                     : values.*text;
                        },
                        [&](bool v::*check) { return std::string(values.*check ? "1" : "0"); },
                        [&](int v::*position) { return std::to_string(values.*position); },
                        [&](bmp_colors v::*radio) {
                          // Neither of the first two buttons checked counts as the third.
                          return std::string(values.*radio == bmp_colors::black_and_white ? "0"
                                             : values.*radio == bmp_colors::colors_256    ? "1"
                                                                                          : "2");
                        },
                        [&](gif_version v::*radio) {
                          return std::string(values.*radio == gif_version::gif87 ? "1" : "0");
                        },
                        [](size_fields) { return std::string(); },  // written by the size check
                    },
                    field_of(key.id));
}

// Whether the user has marked the file as not to be changed. The INI module
// replaces a file by renaming a new one over it, which a read-only file does
// not prevent, so the mark is looked at here.
bool marked_read_only(const platform::file_info& info) {
  return info.kind == platform::file_kind::regular &&
         ((info.owned_by_user && (info.permissions & 0200) == 0) || (info.permissions & 0222) == 0);
}

// The job file being saved: parsed once, changed in memory, and put on disk
// whenever the keys set so far must be seen there (before a question and a
// refusal) and at the end.
class job_writer {
 public:
  job_writer(const std::string& path, file_system& files)
      : files_(files), file_(ini_file::load(path, files)) {}

  void set(const job_key& key, const std::string& value) {
    file_.set(std::string(key.section), std::string(key.key), value);
    pending_ = true;
  }

  status flush() {
    if (!pending_) {
      return status::ok();
    }
    if (!guarded_) {
      guarded_ = true;
      if (status may = may_replace(); !may.is_ok()) {
        return may;
      }
    }
    pending_ = false;
    return file_.save(files_);
  }

 private:
  // A file that is there but could not be read would be replaced by the keys
  // of this save alone, losing everything else it holds.
  status may_replace() {
    const std::string& path = file_.path();
    const platform::file_info info = files_.stat_target(path);
    if (!file_.loaded() && info.kind != platform::file_kind::missing) {
      const result<std::string> read = files_.read_head(path, 1);
      const std::string why = read.is_ok() ? "it is not a job file" : read.status().reason();
      return status::error("Cannot write " + path + ": " + why, path);
    }
    if (marked_read_only(info)) {
      return status::error("Cannot write " + path + ": the file is read-only", path);
    }
    return status::ok();
  }

  file_system& files_;
  ini_file file_;
  bool pending_ = false;
  bool guarded_ = false;
};

enum class flow { passed, refused, not_written };

// The checks and writes of a save, in their order; without a writer the same
// checks fill run_settings and write nothing.
class settings_check {
 public:
  settings_check(const dialog_values& values, user_dialogs& ui, file_system& files,
                 job_writer* writer)
      : values_(values), ui_(ui), files_(files), writer_(writer) {}

  const run_settings& run() const { return run_; }
  const std::optional<refusal>& refused() const { return refused_; }
  const status& failure() const { return failure_; }

  flow check_and_write() {
    if (values_.source_folder.empty()) {
      return refuse({"Please choose a source folder", dialog_control::source_folder, {}});
    }
    write(folders_source);
    run_.source_folder = values_.source_folder;

    write({params_recurse, params_extract_all, params_image_type, misc_tooltips});
    run_.recursive = values_.recursive_search;
    run_.format_code = values_.target_format;

    if (flow f = check_folder(folders_temp, "Please choose a temp folder",
                              dialog_control::temp_folder, run_.temp_folder);
        f != flow::passed) {
      return f;
    }
    if (flow f = check_folder(folders_target, "Please choose a target folder",
                              dialog_control::target_folder, run_.target_folder);
        f != flow::passed) {
      return f;
    }

    write({report_create_report, report_use_tiff_name, bmp_bmp_type, bmp_compress, gif_compress,
           gif_gif87, gif_adjoin, params_reproduce_path, jpeg_quality, jpeg_progressive,
           jpeg_colorspace, pcl_page_type, pcl_dpi});

    if (flow f =
            check_name(pcx_adjoin, pcx_pcx_name, false,
                       {"Please enter the DCX name", dialog_control::pcx_name, panel_tab::pcx});
        f != flow::passed) {
      return f;
    }
    run_.multi_file_pcx = values_.pcx_multi_file;

    write({pdf_compression_type, pdf_letter_type});
    if (flow f =
            check_name(pdf_adjoin, pdf_pdf_name, true,
                       {"Please enter the PDF name", dialog_control::pdf_name, panel_tab::pdf});
        f != flow::passed) {
      return f;
    }

    write({png_quality, png_progressive, pse_horz_dpi, pse_vert_dpi});

    const int width = field_number(values_.width);
    const int height = field_number(values_.height);
    if (width != 0 && height == 0) {
      return refuse({"Please enter a correct size", dialog_control::height, {}});
    }
    // Without a width there is no resize, whatever the height says.
    put(key_of(params_size),
        width != 0 ? std::to_string(width) + "x" + std::to_string(height) : std::string());
    write(params_keep_proportions);

    if (flow f =
            check_name(tiff_adjoin, tiff_tif_name, true,
                       {"Please enter the TIFF name", dialog_control::tif_name, panel_tab::tiff});
        f != flow::passed) {
      return f;
    }
    write({tiff_compression_type, tiff_dpi, tiff_colorspace});
    return flush() ? flow::passed : flow::not_written;
  }

 private:
  void put(const job_key& key, const std::string& value) {
    if (writer_ == nullptr || key.front_end_kind == default_kind::never_written) {
      return;
    }
    // A name kept for a join is written only with its join asked for; the
    // file keeps the last one given for the next time.
    if (key.written_with_adjoin && !joined(key)) {
      return;
    }
    writer_->set(key, value);
  }
  bool checked(job_key_id flag) const { return values_.*std::get<bool v::*>(field_of(flag)); }
  bool joined(const job_key& name) const {
    const std::optional<job_key_id> adjoin = adjoin_of(name);
    return adjoin && checked(*adjoin);
  }
  void write(job_key_id id) { put(key_of(id), value_text(values_, key_of(id))); }
  void write(std::initializer_list<job_key_id> ids) {
    for (job_key_id id : ids) {
      write(id);
    }
  }

  bool flush() {
    if (writer_ == nullptr) {
      return true;
    }
    failure_ = writer_->flush();
    return failure_.is_ok();
  }

  flow refuse(refusal refused) {
    if (!flush()) {
      return flow::not_written;
    }
    ui_.refuse(refused);
    refused_ = std::move(refused);
    return flow::refused;
  }

  // The folder must take a new file; when it cannot, the user may have it
  // created. Either way the folder is made to exist, under its tidied name.
  flow check_folder(job_key_id id, const char* missing, dialog_control focus,
                    std::string& checked) {
    const std::string& text = values_.*std::get<std::string v::*>(field_of(id));
    if (text.empty()) {
      return refuse({missing, focus, {}});
    }
    result<std::string> probe = files_.make_private_folder(text, "H");
    if (probe.is_ok()) {
      (void)files_.remove_tree(*probe);
    } else {
      if (!flush()) {
        return flow::not_written;
      }
      if (!ui_.question(text + " does not exists.\n\nDo you want to create it?")) {
        return refuse({std::string(), focus, {}});
      }
    }
    checked = text;
    normalize_path(checked);
    platform::create_folder_chain(files_, checked + kPathSeparator);
    put(key_of(id), checked);
    return flow::passed;
  }

  // A join asked for needs its name.
  flow check_name(job_key_id adjoin, job_key_id name, bool name_first, refusal missing) {
    if (checked(adjoin) && (values_.*std::get<std::string v::*>(field_of(name))).empty()) {
      return refuse(std::move(missing));
    }
    write(name_first ? name : adjoin);
    write(name_first ? adjoin : name);
    return flow::passed;
  }

  const dialog_values& values_;
  user_dialogs& ui_;
  file_system& files_;
  job_writer* writer_;
  run_settings run_;
  std::optional<refusal> refused_;
  status failure_ = status::ok();
};

}  // namespace

int field_number(const std::string& text) {
  std::size_t i = text.find_first_not_of(" \t");
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = std::min<long long>(value * 10 + (text[i] - '0'), INT_MAX);
  }
  return static_cast<int>(value);
}

void load_job_file(const std::string& path, dialog_values& values, file_system& files) {
  const ini_file job = ini_file::load(path, files);
  const std::string temp_path = files.temp_path();
  for (const binding& b : kBindings) {
    load_key(job, key_of(b.key), b.field, temp_path, values);
  }
}

save_outcome save_job_file(const dialog_values& values, const std::string& path, user_dialogs& ui,
                           file_system& files) {
  job_writer writer(path, files);
  settings_check check(values, ui, files, &writer);
  save_outcome outcome;
  switch (check.check_and_write()) {
    case flow::passed:
      outcome.result = save_result::saved;
      break;
    case flow::refused:
      outcome.result = save_result::refused;
      outcome.refused = check.refused();
      break;
    case flow::not_written:
      outcome.result = save_result::not_written;
      outcome.failure = check.failure();
      ui.error(outcome.failure.reason());
      break;
  }
  return outcome;
}

std::optional<run_settings> collect_run_settings(const dialog_values& values, user_dialogs& ui,
                                                 file_system& files) {
  settings_check check(values, ui, files, nullptr);
  if (check.check_and_write() != flow::passed) {
    return std::nullopt;
  }
  return check.run();
}

}  // namespace zq::gui
