// The engine's one settings record: filled once at start-up from the command
// line and the job file, then read by every stage of the run. Only the run
// fields at the bottom change while files are converted.
#pragma once

#include <string>

namespace zq::engine {

// Every job-file key the engine acts on, one field per key, named
// <section>_<key>. Defaults are the engine's own (job_keys.cpp), used when the
// job file lacks the key.
struct job_settings {
  int params_image_type = 0;
  int params_recurse = 0;
  int params_density = 150;
  int params_reproduce_path = 0;
  int params_extract_all = 0;
  int params_keep_proportions = 0;
  std::string params_size;
  int jpeg_quality = 0;
  int jpeg_progressive = 0;
  int jpeg_colorspace = 1;
  int png_quality = 0;
  int png_progressive = 0;
  int gif_gif87 = 0;
  int gif_adjoin = 0;
  int gif_compress = 0;
  int bmp_compress = 0;
  int bmp_bmp_type = 0;
  int pcl_page_type = 0;
  int pcl_dpi = 0;
  int pcx_adjoin = 0;
  std::string pcx_pcx_name;
  int tiff_adjoin = 0;
  int tiff_compression_type = 0;
  int tiff_dpi = 0;
  int tiff_colorspace = 0;
  std::string tiff_tif_name;
  int pdf_adjoin = 0;
  int pdf_compression_type = 0;
  int pdf_letter_type = 0;
  std::string pdf_pdf_name;
  int report_create_report = 1;
  int report_use_tiff_name = 0;
  int pse_horz_dpi = 0;
  int pse_vert_dpi = 0;
};

struct engine_settings {
  std::string job_file;       // empty when the mode letter was not recognised
  std::string temp_folder;    // [FOLDERS] temp, or the system temporary path
  std::string source_folder;  // [FOLDERS] source (batch runs)
  std::string target_folder;  // [FOLDERS] target; an explicit target replaces it
  std::string source_file;    // single-file run
  std::string target_file;    // single-file run; later the latest output path
  bool single_file = false;
  int format_code = -1;  // -1 until known
  std::string search_pattern;  // the flat walk's pattern: source_folder + "/*.tif"

  job_settings job;

  // Run fields, updated while files are converted.
  unsigned files_count = 0;
  std::string file_list_path;  // temp_folder + "/z.log", batch runs only
  std::string current_file;
  int page_count = 0;
  double source_x_resolution = 0;
  double source_y_resolution = 0;
  std::string pse_bitmap_file;
};

}  // namespace zq::engine
