// Sources made with ImageMagick's command line, settings for conversions into
// a scratch folder, and what independent readers (identify, pdfimages,
// tiffinfo, the bitmap library) see in the files the engine wrote.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "common/paths.h"
#include "engine/engine_settings.h"
#include "engine_test_support.h"
#include "jobfile/formats.h"
#include "zgraphb/gbm.h"

namespace zq::engine::testing {

// Makes `path` with "convert <args> <coder><path>"; `coder` ("FAX:", "GRAY:")
// names a format the file name does not.
inline void make_image(const std::string& args, const std::string& path,
                       const std::string& coder = "") {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  ASSERT_EQ(std::system(("convert " + args + " '" + coder + path + "'").c_str()), 0) << args;
}

// A raw fax page: ImageMagick's Group 3 data behind the two signature bytes.
inline void make_raw_fax(const std::string& args, const std::string& path) {
  make_image(args, path + ".g3", "FAX:");
  ASSERT_EQ(std::system(("printf '\\273\\001' | cat - '" + path + ".g3' > '" + path + "'").c_str()),
            0);
  std::filesystem::remove(path + ".g3");
}

// Settings for conversions from a scratch folder: outputs into "out", the
// temp folder "tmp", no report unless a test asks for one.
inline engine_settings settings_in(const scratch_folder& folder, int format_code) {
  engine_settings settings;
  settings.format_code = format_code;
  settings.target_folder = folder.file("out");
  settings.temp_folder = folder.file("tmp");
  settings.file_list_path = folder.file("tmp/z.log");
  settings.job.report_create_report = 0;
  std::filesystem::create_directories(settings.target_folder);
  std::filesystem::create_directories(settings.temp_folder);
  return settings;
}

// A single-file run into `target`, as start-up sets one up: the outputs go
// into the target's folder (the working folder for a bare name) under the
// target's base name. Targets here carry no options for the bitmap library.
inline void name_target(engine_settings& settings, const std::string& target) {
  settings.single_file = true;
  settings.target_file = target;
  settings.target_folder = folder_of(target).empty() ? "." : folder_of(target);
  settings.output_base_name = base_name_of(target);
}

// Every name in a folder, hidden ones included, sorted.
inline std::vector<std::string> names_in(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

struct frame_size {
  int width;
  int height;
  bool operator==(const frame_size&) const = default;
};

// One size per line of `text`: the two numbers that follow the first `skip`
// words of the line (lines without them are left out).
inline std::vector<frame_size> sizes_from(const std::string& text, int skip = 0) {
  std::vector<frame_size> sizes;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string word;
    for (int i = 0; i < skip && words >> word; ++i) {
    }
    frame_size size{};
    if (words >> size.width >> size.height) {
      sizes.push_back(size);
    }
  }
  return sizes;
}

// A page segment decoded again by the bitmap library.
struct decoded_segment {
  GBM header{};
  std::vector<GBMRGB> palette = std::vector<GBMRGB>(256);
  std::vector<unsigned char> pixels;  // bottom row first, rows padded to 4 bytes

  bool ink(int x, int y) const {  // y counted from the top
    const int stride = ((header.w * header.bpp + 31) / 32) * 4;
    const unsigned char byte =
        pixels[static_cast<std::size_t>((header.h - 1 - y) * stride + x / 8)];
    const GBMRGB& colour = palette[(byte >> (7 - x % 8)) & 1];
    return colour.r + colour.g + colour.b < 3 * 128;
  }
};

inline decoded_segment decode_segment(const std::string& path) {
  decoded_segment segment;
  int type = -1;
  EXPECT_EQ(gbm_guess_filetype(path.c_str(), &type), GBM_ERR_OK) << path;
  const int fd = gbm_io_open(path.c_str(), GBM_O_RDONLY);
  EXPECT_NE(fd, -1) << path;
  if (fd == -1) {
    return segment;
  }
  EXPECT_EQ(gbm_read_header(path.c_str(), fd, type, &segment.header, ""), GBM_ERR_OK) << path;
  EXPECT_EQ(gbm_read_palette(fd, type, &segment.header, segment.palette.data()), GBM_ERR_OK);
  const int stride = ((segment.header.w * segment.header.bpp + 31) / 32) * 4;
  segment.pixels.resize(static_cast<std::size_t>(stride) *
                        static_cast<std::size_t>(segment.header.h));
  EXPECT_EQ(gbm_read_data(fd, type, &segment.header, segment.pixels.data()), GBM_ERR_OK);
  gbm_io_close(fd);
  return segment;
}

// The pixel size of every image in an output file, as a reader other than
// the engine's own library sees it.
inline std::vector<frame_size> frame_sizes(const std::string& path, int format_code) {
  const std::string quoted = "'" + path + "'";
  switch (format_code) {
    case kFormatPdf:
      // Page, number and type come before width and height.
      return sizes_from(command_output("pdfimages -list " + quoted + " | tail -n +3"), 3);
    case kFormatEps:
      // The image operator's "columns rows" line after the page's bounding box.
      return sizes_from(command_output("sed -n '/^%%PageBoundingBox/,/^%%PageTrailer/p' " + quoted +
                                       " | grep -a -E '^[1-9][0-9]* [0-9]+$' | head -1"));
    case kFormatPcl:
      // The raster size command, "<ESC>*r<width>s<height>T".
      return sizes_from(
          command_output("grep -a -o -E '\\*r[0-9]+s[0-9]+T' " + quoted + " | tr -c '0-9\\n' ' '"));
    case kFormatPse: {
      const decoded_segment segment = decode_segment(path);
      return {{segment.header.w, segment.header.h}};
    }
    case kFormatPsd: {
      // The header itself: ImageMagick cannot read back the indexed-colour
      // files it writes. Height and width are big-endian at bytes 14 and 18.
      std::ifstream file(path, std::ios::binary);
      unsigned char header[22] = {};
      if (!file.read(reinterpret_cast<char*>(header), sizeof header)) {
        return {};
      }
      const auto be32 = [&](int at) {
        return header[at] << 24 | header[at + 1] << 16 | header[at + 2] << 8 | header[at + 3];
      };
      return {{be32(18), be32(14)}};
    }
    default:
      return sizes_from(command_output("identify -format '%w %h\\n' " + quoted));
  }
}

}  // namespace zq::engine::testing
