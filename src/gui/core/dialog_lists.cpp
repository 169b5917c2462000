#include "gui/core/dialog_lists.h"

#include <array>
#include <span>

#include "jobfile/formats.h"

namespace zq::gui {
namespace {

using enum job_key_id;

constexpr std::array<std::string_view, 8> kPclPageSizes = {"Executive", "Letter", "Legal", "Ledger",
                                                           "A4",        "A3",     "B5",    "B4"};
constexpr std::array<std::string_view, 7> kTiffCompressions = {
    "None", "FAX3", "FAX Group 4", "Jpeg", "Packbits", "RLE", "ZIP"};
constexpr std::array<std::string_view, 2> kTiffColorspaces = {"RGB", "CMYK"};
constexpr std::array<std::string_view, 5> kPdfCompressions = {"None", "Fax (Group 4)", "LZW",
                                                              "Jpeg", "Zip"};
constexpr std::array<std::string_view, 4> kPdfPageSizes = {"A3", "A4", "Letter", "Tablo\u00efd"};
// Sorted, as the list shows it; the TIFF list above is not, so the two code
// their entries in opposite orders.
constexpr std::array<std::string_view, 2> kJpegColorspaces = {"CMYK", "RGB"};

struct fixed_list {
  job_key_id key;
  std::span<const std::string_view> entries;
};

constexpr std::array kFixedLists = {
    fixed_list{pcl_page_type, kPclPageSizes},
    fixed_list{tiff_compression_type, kTiffCompressions},
    fixed_list{tiff_colorspace, kTiffColorspaces},
    fixed_list{pdf_compression_type, kPdfCompressions},
    fixed_list{pdf_letter_type, kPdfPageSizes},
    fixed_list{jpeg_colorspace, kJpegColorspaces},
};

}  // namespace

std::vector<std::string_view> list_entries(job_key_id key) {
  std::vector<std::string_view> entries;
  if (key == params_image_type) {
    for (const target_format& format : target_formats()) {
      entries.push_back(format.label);
    }
    return entries;
  }
  for (const fixed_list& list : kFixedLists) {
    if (list.key == key) {
      entries.assign(list.entries.begin(), list.entries.end());
    }
  }
  return entries;
}

}  // namespace zq::gui
