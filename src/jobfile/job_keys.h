// Every key of the job file, defined once: where it lives, what form its value
// takes, the engine's default and the front end's default. The engine's reader,
// the front end's load and save and the default job file all walk this table,
// in its order, which is the order the engine reads the keys in.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "common/status.h"
#include "jobfile/job_settings.h"

namespace zq::platform {
class ini_file;
}

namespace zq {

// The identity of a key, for code that names one key (the front end's
// controls, the format table's adjoin flags and report lines).
enum class job_key_id {
  folders_temp,
  folders_source,
  folders_target,
  params_image_type,
  params_recurse,
  params_density,
  params_reproduce_path,
  params_extract_all,
  params_keep_proportions,
  params_size,
  params_jobs,
  jpeg_quality,
  jpeg_progressive,
  jpeg_colorspace,
  png_quality,
  png_progressive,
  gif_gif87,
  gif_adjoin,
  gif_compress,
  bmp_compress,
  bmp_bmp_type,
  pcl_page_type,
  pcl_dpi,
  pcx_adjoin,
  pcx_pcx_name,
  tiff_adjoin,
  tiff_compression_type,
  tiff_dpi,
  tiff_colorspace,
  tiff_tif_name,
  pdf_adjoin,
  pdf_compression_type,
  pdf_letter_type,
  pdf_pdf_name,
  report_create_report,
  report_use_tiff_name,
  pse_horz_dpi,
  pse_vert_dpi,
  misc_tooltips,
};

enum class key_form { folder, flag, number, code, size, name };

// What the front end shows, and saves, when a key is missing.
enum class default_kind {
  literal,           // front_end_default as it stands
  system_temp_path,  // the system temporary path, as the platform gives it
  never_written,     // the front end neither shows nor writes the key
};

// Where the engine keeps a key's value; monostate for the keys it reads at a
// step of its own (the folders) or never (the dialog's own keys).
using engine_field = std::variant<std::monostate, int job_settings::*, std::string job_settings::*>;

struct job_key {
  job_key_id id;
  std::string_view section;
  std::string_view key;
  key_form form;
  engine_field field;
  // The engine's default for integer keys (text keys default to "").
  int engine_default;
  default_kind front_end_kind;
  std::string_view front_end_default;  // for default_kind::literal
  // A name written only together with its section's adjoin flag.
  bool written_with_adjoin;
};

// The table, in reading order; each key sits at the position of its id.
std::span<const job_key> job_keys();
const job_key& key_of(job_key_id id);

// "[SECTION] key", as messages name a key.
std::string key_label(const job_key& key);

// Longest text taken from a text key; a longer value is refused, never cut.
std::size_t max_value_length(key_form form);

// The front end's default text of `key`, with `temp_path` as the system
// temporary path. Empty for a key the front end never writes.
std::string front_end_default(const job_key& key, const std::string& temp_path);

// The engine's reading: every key with an engine field, in table order,
// through one parsed job file. Density 0 becomes 150. A text value that does
// not fit is refused with a reason naming the key.
status read_job_settings(const platform::ini_file& job_file, job_settings& settings);

// An integer key's value in settings read by read_job_settings.
int int_value(const job_settings& settings, job_key_id id);

// The default job file: every key the front end writes, with its front-end
// default; folders empty but the temp folder, which is `temp_path`.
status write_default_job_file(const std::string& path, const std::string& temp_path);

}  // namespace zq
