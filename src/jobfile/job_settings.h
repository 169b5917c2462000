// The settings of a job file as the engine takes them: one field per key it
// acts on, named <section>_<key>, holding the engine's defaults until read
// (job_keys.h reads them). Filled once at start-up and only read afterwards.
#pragma once

#include <string>

namespace zq {

struct job_settings {
  int params_image_type = 0;
  int params_recurse = 0;
  int params_density = 150;
  int params_reproduce_path = 0;
  int params_extract_all = 0;
  int params_keep_proportions = 0;
  std::string params_size;
  // Files a batch converts at once: 0 for one per core, 1 for one at a time.
  int params_jobs = 0;
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

}  // namespace zq
