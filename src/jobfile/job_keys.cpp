#include "jobfile/job_keys.h"

#include <array>

#include "common/paths.h"
#include "platform/ini_file.h"
#include "platform/system.h"

namespace zq {
namespace {

using js = job_settings;
using enum job_key_id;
using enum key_form;
using enum default_kind;
constexpr std::monostate kOwnStep{};

// Density 0 (missing or written as 0) means the engine's working resolution.
constexpr int kDefaultDensity = 150;

// Size text is held in a 50-byte field by every program that reads it.
constexpr std::size_t kMaxSizeLength = 49;

// id, section, key, form, engine field, engine default, front-end default, with adjoin
const std::array kJobKeys = {
    job_key{folders_temp, "FOLDERS", "temp", folder, kOwnStep, 0, system_temp_path, "", false},
    job_key{folders_source, "FOLDERS", "source", folder, kOwnStep, 0, literal, "", false},
    job_key{folders_target, "FOLDERS", "target", folder, kOwnStep, 0, literal, "", false},
    job_key{params_image_type, "PARAMS", "image_type", code, &js::params_image_type, 0, literal,
            "1", false},
    job_key{params_recurse, "PARAMS", "recurse", flag, &js::params_recurse, 0, literal, "0", false},
    job_key{params_density, "PARAMS", "density", number, &js::params_density, 0, never_written, "",
            false},
    job_key{params_reproduce_path, "PARAMS", "reproduce_path", flag, &js::params_reproduce_path, 0,
            literal, "0", false},
    job_key{params_extract_all, "PARAMS", "extract_all", flag, &js::params_extract_all, 0, literal,
            "1", false},
    job_key{params_keep_proportions, "PARAMS", "keep_proportions", flag,
            &js::params_keep_proportions, 0, literal, "0", false},
    job_key{params_size, "PARAMS", "size", size, &js::params_size, 0, literal, "", false},
    // How many files of a batch are converted at once; the front end keeps it
    // as it finds it. Readers that predate it ignore it.
    job_key{params_jobs, "PARAMS", "jobs", number, &js::params_jobs, 0, never_written, "", false},
    job_key{jpeg_quality, "JPEG", "quality", number, &js::jpeg_quality, 0, literal, "75", false},
    job_key{jpeg_progressive, "JPEG", "progressive", flag, &js::jpeg_progressive, 0, literal, "0",
            false},
    job_key{jpeg_colorspace, "JPEG", "colorspace", code, &js::jpeg_colorspace, 1, literal, "1",
            false},
    job_key{png_quality, "PNG", "quality", number, &js::png_quality, 0, literal, "75", false},
    job_key{png_progressive, "PNG", "progressive", flag, &js::png_progressive, 0, literal, "0",
            false},
    job_key{gif_gif87, "GIF", "GIF87", flag, &js::gif_gif87, 0, literal, "0", false},
    job_key{gif_adjoin, "GIF", "adjoin", flag, &js::gif_adjoin, 0, literal, "0", false},
    job_key{gif_compress, "GIF", "compress", flag, &js::gif_compress, 0, literal, "0", false},
    job_key{bmp_compress, "BMP", "compress", flag, &js::bmp_compress, 0, literal, "0", false},
    job_key{bmp_bmp_type, "BMP", "bmp_type", code, &js::bmp_bmp_type, 0, literal, "0", false},
    job_key{pcl_page_type, "PCL", "page_type", code, &js::pcl_page_type, 0, literal, "0", false},
    job_key{pcl_dpi, "PCL", "dpi", number, &js::pcl_dpi, 0, literal, "75", false},
    job_key{pcx_adjoin, "PCX", "adjoin", flag, &js::pcx_adjoin, 0, literal, "0", false},
    job_key{pcx_pcx_name, "PCX", "pcx_name", name, &js::pcx_pcx_name, 0, literal, "", true},
    job_key{tiff_adjoin, "TIFF", "adjoin", flag, &js::tiff_adjoin, 0, literal, "1", false},
    job_key{tiff_compression_type, "TIFF", "compression_type", code, &js::tiff_compression_type, 0,
            literal, "1", false},
    job_key{tiff_dpi, "TIFF", "dpi", number, &js::tiff_dpi, 0, literal, "72", false},
    job_key{tiff_colorspace, "TIFF", "colorspace", code, &js::tiff_colorspace, 0, literal, "0",
            false},
    job_key{tiff_tif_name, "TIFF", "tif_name", name, &js::tiff_tif_name, 0, literal, "", true},
    job_key{pdf_adjoin, "PDF", "adjoin", flag, &js::pdf_adjoin, 0, literal, "0", false},
    job_key{pdf_compression_type, "PDF", "compression_type", code, &js::pdf_compression_type, 0,
            literal, "1", false},
    job_key{pdf_letter_type, "PDF", "letter_type", code, &js::pdf_letter_type, 0, literal, "1",
            false},
    job_key{pdf_pdf_name, "PDF", "pdf_name", name, &js::pdf_pdf_name, 0, literal, "", true},
    job_key{report_create_report, "REPORT", "create_report", flag, &js::report_create_report, 1,
            literal, "1", false},
    job_key{report_use_tiff_name, "REPORT", "use_tiff_name", flag, &js::report_use_tiff_name, 0,
            literal, "0", false},
    // The page-segment writer takes its resolution from these; missing keys
    // give 0, which the writer turns into its own default.
    job_key{pse_horz_dpi, "PSE", "horz_dpi", number, &js::pse_horz_dpi, 0, literal, "240", false},
    job_key{pse_vert_dpi, "PSE", "vert_dpi", number, &js::pse_vert_dpi, 0, literal, "240", false},
    job_key{misc_tooltips, "MISC", "tooltips", flag, kOwnStep, 0, literal, "0", false},
};

}  // namespace

std::span<const job_key> job_keys() { return kJobKeys; }

const job_key& key_of(job_key_id id) { return job_keys()[static_cast<std::size_t>(id)]; }

std::string key_label(const job_key& key) {
  return "[" + std::string(key.section) + "] " + std::string(key.key);
}

std::size_t max_value_length(key_form form) {
  return form == size ? kMaxSizeLength : kMaxPathLength;
}

std::string front_end_default(const job_key& key, const std::string& temp_path) {
  switch (key.front_end_kind) {
    case system_temp_path:
      return temp_path;
    case literal:
      return std::string(key.front_end_default);
    case never_written:
      break;
  }
  return std::string();
}

status read_job_settings(const platform::ini_file& job_file, job_settings& settings) {
  for (const job_key& key : job_keys()) {
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

int int_value(const job_settings& settings, job_key_id id) {
  const auto* field = std::get_if<int js::*>(&key_of(id).field);
  return field != nullptr ? settings.*(*field) : 0;
}

status write_default_job_file(const std::string& path, const std::string& temp_path) {
  // Start from nothing: an older file at `path` must not leak keys into it.
  if (status removed = platform::remove_file(path); !removed.is_ok()) {
    return removed;
  }
  platform::ini_file file = platform::ini_file::load(path);
  for (const job_key& key : job_keys()) {
    if (key.front_end_kind == never_written) {
      continue;
    }
    if (key.written_with_adjoin && file.read_int(std::string(key.section), "adjoin", 0) == 0) {
      continue;
    }
    file.set(std::string(key.section), std::string(key.key), front_end_default(key, temp_path));
  }
  return file.save();
}

}  // namespace zq
