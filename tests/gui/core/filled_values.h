// A dialog with every control set and none at its default, the folders
// being `temp` and `target`: what the save, load and dialog tests start from.
#pragma once

#include <string>

#include "gui/core/dialog_values.h"

namespace zq::gui {

inline dialog_values filled_values(const std::string& temp, const std::string& target) {
  dialog_values v;
  v.source_folder = "/scans in";
  v.recursive_search = v.extract_all_pages = true;
  v.target_format = 6;
  v.target_folder = target;
  v.temp_folder = temp;
  v.width = "800";
  v.height = "600";
  v.keep_proportions = true;
  v.create_report = true;
  v.bmp_type = bmp_colors::colors_256;
  v.bmp_compress = true;
  v.gif_type = gif_version::gif87;
  v.gif_multi_page = true;
  v.jpeg_quality = "85";
  v.jpeg_colorspace = 0;
  v.pcl_page_type = 4;
  v.pcl_dpi = "300";
  v.pcx_multi_file = true;
  v.pcx_name = "fax";
  v.pdf_compression = 2;
  v.pdf_page_size = 3;
  v.pdf_single_file = true;
  v.pdf_name = "all.pdf";
  v.png_quality = "60";
  v.png_progressive = true;
  v.pse_horz_dpi = "240";
  v.pse_vert_dpi = "120";
  v.tiff_compression = 2;
  v.tiff_dpi = "200";
  v.tiff_colorspace = 1;
  v.tiff_multi_page = true;
  v.tif_name = "joined";
  return v;
}

}  // namespace zq::gui
