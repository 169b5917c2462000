// The main dialog's settings as plain values: one field per control that
// holds a job-file key, in the form the control holds it. The dialog copies
// its widgets into this record before a load, save or launch and back after a
// load; everything else (loading, checking, saving, output paths) works on the
// record alone, without widgets. A default-constructed record is the dialog
// before any job file was loaded: empty fields, nothing checked, no selection.
#pragma once

#include <cstddef>
#include <string>

namespace zq::gui {

// The panels of the tab strip, at their tab positions.
enum class panel_tab { misc, report, bmp, gif, jpeg, pcl, pcx, pdf, png, pse, tiff };

// The controls a refusal can put the keyboard focus on.
enum class dialog_control {
  job_file,
  source_folder,
  temp_folder,
  target_folder,
  width,
  height,
  pcx_name,
  pdf_name,
  tif_name,
};

// Radio groups: which button is checked. `none` only before the first load.
enum class bmp_colors { none, black_and_white, colors_256, colors_16m };
enum class gif_version { none, gif87, gif89 };

// Digit fields take at most this many digits, so that the largest number one
// can hold still fits a signed 32-bit value and is written as typed.
inline constexpr std::size_t kDigitFieldMaxLength = 9;

// List positions are the codes written to the job file; -1 is no selection.
inline constexpr int kNoSelection = -1;

struct dialog_values {
  // Above the tabs.
  std::string source_folder;
  bool recursive_search = false;
  bool extract_all_pages = false;
  int target_format = kNoSelection;

  // Misc. Width and height are digit fields; the other number fields below
  // are too, except the JPEG quality, which takes any text.
  std::string target_folder;
  bool reproduce_source_path = false;
  std::string temp_folder;
  std::string width;
  std::string height;
  bool keep_proportions = false;

  // Report. "Use the TIFF filename" is enabled exactly while create_report
  // is checked; its own check is kept either way.
  bool create_report = false;
  bool use_tiff_name = false;

  bmp_colors bmp_type = bmp_colors::none;
  bool bmp_compress = false;

  gif_version gif_type = gif_version::none;
  bool gif_compress = false;
  bool gif_multi_page = false;

  std::string jpeg_quality;
  bool jpeg_progressive = false;
  int jpeg_colorspace = kNoSelection;

  int pcl_page_type = kNoSelection;
  std::string pcl_dpi;

  bool pcx_multi_file = false;
  std::string pcx_name;

  int pdf_compression = kNoSelection;
  int pdf_page_size = kNoSelection;
  bool pdf_single_file = false;
  std::string pdf_name;

  std::string png_quality;
  bool png_progressive = false;

  std::string pse_horz_dpi;
  std::string pse_vert_dpi;

  int tiff_compression = kNoSelection;
  std::string tiff_dpi;
  int tiff_colorspace = kNoSelection;
  bool tiff_multi_page = false;
  std::string tif_name;

  bool operator==(const dialog_values&) const = default;
};

}  // namespace zq::gui
