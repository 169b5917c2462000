#include "engine/job_keys.h"

#include <array>

#include "common/paths.h"
#include "platform/ini_file.h"
#include "platform/system.h"

namespace zq::engine {
namespace {

using js = job_settings;
constexpr std::monostate kSpecial{};

// The front end shows the system temporary path when [FOLDERS] temp is
// missing; this marker stands for that path in the table.
constexpr const char* kSystemTempPath = "\x01system temporary path";

// Density 0 (missing or written as 0) means the engine's working resolution.
constexpr int kDefaultDensity = 150;

// Size text is held in a 50-byte field by every program that reads it.
constexpr std::size_t kMaxSizeLength = 49;

const std::array kJobKeys = {
    job_key{"FOLDERS", "temp", key_form::folder, kSpecial, 0, kSystemTempPath, false},
    job_key{"FOLDERS", "source", key_form::folder, kSpecial, 0, "", false},
    job_key{"FOLDERS", "target", key_form::folder, kSpecial, 0, "", false},
    job_key{"PARAMS", "image_type", key_form::code, kSpecial, 0, "1", false},
    job_key{"PARAMS", "recurse", key_form::flag, &js::params_recurse, 0, "0", false},
    job_key{"PARAMS", "density", key_form::number, &js::params_density, 0, nullptr, false},
    job_key{"PARAMS", "reproduce_path", key_form::flag, &js::params_reproduce_path, 0, "0", false},
    job_key{"PARAMS", "extract_all", key_form::flag, &js::params_extract_all, 0, "1", false},
    job_key{"PARAMS", "keep_proportions", key_form::flag, &js::params_keep_proportions, 0, "0",
            false},
    job_key{"PARAMS", "size", key_form::size, &js::params_size, 0, "", false},
    job_key{"JPEG", "quality", key_form::number, &js::jpeg_quality, 0, "75", false},
    job_key{"JPEG", "progressive", key_form::flag, &js::jpeg_progressive, 0, "0", false},
    job_key{"JPEG", "colorspace", key_form::code, &js::jpeg_colorspace, 1, "1", false},
    job_key{"PNG", "quality", key_form::number, &js::png_quality, 0, "75", false},
    job_key{"PNG", "progressive", key_form::flag, &js::png_progressive, 0, "0", false},
    job_key{"GIF", "GIF87", key_form::flag, &js::gif_gif87, 0, "0", false},
    job_key{"GIF", "adjoin", key_form::flag, &js::gif_adjoin, 0, "0", false},
    job_key{"GIF", "compress", key_form::flag, &js::gif_compress, 0, "0", false},
    job_key{"BMP", "compress", key_form::flag, &js::bmp_compress, 0, "0", false},
    job_key{"BMP", "bmp_type", key_form::code, &js::bmp_bmp_type, 0, "0", false},
    job_key{"PCL", "page_type", key_form::code, &js::pcl_page_type, 0, "0", false},
    job_key{"PCL", "dpi", key_form::number, &js::pcl_dpi, 0, "75", false},
    job_key{"PCX", "adjoin", key_form::flag, &js::pcx_adjoin, 0, "0", false},
    job_key{"PCX", "pcx_name", key_form::name, &js::pcx_pcx_name, 0, "", true},
    job_key{"TIFF", "adjoin", key_form::flag, &js::tiff_adjoin, 0, "1", false},
    job_key{"TIFF", "compression_type", key_form::code, &js::tiff_compression_type, 0, "1", false},
    job_key{"TIFF", "dpi", key_form::number, &js::tiff_dpi, 0, "72", false},
    job_key{"TIFF", "colorspace", key_form::code, &js::tiff_colorspace, 0, "0", false},
    job_key{"TIFF", "tif_name", key_form::name, &js::tiff_tif_name, 0, "", true},
    job_key{"PDF", "adjoin", key_form::flag, &js::pdf_adjoin, 0, "0", false},
    job_key{"PDF", "compression_type", key_form::code, &js::pdf_compression_type, 0, "1", false},
    job_key{"PDF", "letter_type", key_form::code, &js::pdf_letter_type, 0, "1", false},
    job_key{"PDF", "pdf_name", key_form::name, &js::pdf_pdf_name, 0, "", true},
    job_key{"REPORT", "create_report", key_form::flag, &js::report_create_report, 1, "1", false},
    job_key{"REPORT", "use_tiff_name", key_form::flag, &js::report_use_tiff_name, 0, "0", false},
    // The page-segment writer takes its resolution from these; missing keys give
    // 0, which the writer turns into its own default.
    job_key{"PSE", "horz_dpi", key_form::number, &js::pse_horz_dpi, 0, "240", false},
    job_key{"PSE", "vert_dpi", key_form::number, &js::pse_vert_dpi, 0, "240", false},
    job_key{"MISC", "tooltips", key_form::flag, kSpecial, 0, "0", false},
};

std::string key_label(const job_key& key) {
  return "[" + std::string(key.section) + "] " + std::string(key.key);
}

}  // namespace

std::span<const job_key> job_keys() { return kJobKeys; }

std::size_t max_value_length(key_form form) {
  return form == key_form::size ? kMaxSizeLength : kMaxPathLength;
}

status read_job_settings(const platform::ini_file& job_file, job_settings& settings) {
  for (const job_key& key : kJobKeys) {
    const std::string section(key.section);
    const std::string name(key.key);
    if (auto int_field = std::get_if<int js::*>(&key.field)) {
      settings.*(*int_field) = job_file.read_int(section, name, key.engine_default);
    } else if (auto text_field = std::get_if<std::string js::*>(&key.field)) {
      std::string value = job_file.read_string(section, name);
      if (value.size() > max_value_length(key.form)) {
        return status::error(key_label(key) + " too long: " + std::to_string(value.size()) +
                             " bytes, at most " + std::to_string(max_value_length(key.form)));
      }
      settings.*(*text_field) = std::move(value);
    }
  }
  if (settings.params_density == 0) {
    settings.params_density = kDefaultDensity;
  }
  return status::ok();
}

status write_default_job_file(const std::string& path, const std::string& temp_path) {
  // Start from nothing: an older file at `path` must not leak keys into it.
  if (status removed = platform::remove_file(path); !removed.is_ok()) {
    return removed;
  }
  platform::ini_file file = platform::ini_file::load(path);
  for (const job_key& key : kJobKeys) {
    if (key.front_end_default == nullptr) {
      continue;
    }
    if (key.written_with_adjoin && file.read_int(std::string(key.section), "adjoin", 0) == 0) {
      continue;
    }
    const std::string value =
        key.front_end_default == kSystemTempPath ? temp_path : key.front_end_default;
    file.set(std::string(key.section), std::string(key.key), value);
  }
  return file.save();
}

}  // namespace zq::engine
