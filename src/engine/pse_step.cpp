#include "engine/pse_step.h"

#include <array>
#include <optional>
#include <vector>

#include "engine/staged_output.h"
#include "zgraphb/gbm.h"

namespace zq::engine {
namespace {

// The descriptor flag that says the output type can write `bpp` bits a pixel.
int write_flag_for(int bpp) {
  switch (bpp) {
    case 1:
      return GBM_FT_W1;
    case 4:
      return GBM_FT_W4;
    case 8:
      return GBM_FT_W8;
    case 24:
      return GBM_FT_W24;
    default:
      return 0;
  }
}

// A descriptor of the bitmap library, closed when it goes out of scope.
class gbm_file {
 public:
  explicit gbm_file(int fd) : fd_(fd) {}
  ~gbm_file() { close(); }
  gbm_file(const gbm_file&) = delete;
  gbm_file& operator=(const gbm_file&) = delete;

  bool is_open() const { return fd_ != -1; }
  int fd() const { return fd_; }
  void close() {
    if (fd_ != -1) {
      gbm_io_close(fd_);
      fd_ = -1;
    }
  }

 private:
  int fd_;
};

// The bitmap as the bitmap library reads it.
struct bitmap_image {
  GBM header{};
  std::array<GBMRGB, 256> palette{};
  std::vector<unsigned char> pixels;
};

bool read_bitmap(const std::string& bitmap, const std::string& options, const GBMFT& output_type,
                 bitmap_image& image) {
  int input_type = 0;
  if (gbm_guess_filetype(bitmap.c_str(), &input_type) != GBM_ERR_OK) {
    return false;
  }
  gbm_file input(gbm_io_open(bitmap.c_str(), GBM_O_RDONLY | GBM_O_BINARY));
  if (!input.is_open() || gbm_read_header(bitmap.c_str(), input.fd(), input_type, &image.header,
                                          options.c_str()) != GBM_ERR_OK) {
    return false;
  }
  // A depth the page segment cannot take is refused before anything is read.
  if ((output_type.flags & write_flag_for(image.header.bpp)) == 0) {
    return false;
  }
  if (gbm_read_palette(input.fd(), input_type, &image.header, image.palette.data()) != GBM_ERR_OK) {
    return false;
  }
  // The library accepts only sizes whose padded rows and total fit in an int.
  const std::size_t stride =
      static_cast<std::size_t>((image.header.w * image.header.bpp + 31) / 32) * 4;
  image.pixels.resize(stride * static_cast<std::size_t>(image.header.h));
  return gbm_read_data(input.fd(), input_type, &image.header, image.pixels.data()) == GBM_ERR_OK;
}

}  // namespace

path_with_options split_options(const std::string& text) {
  const std::size_t comma = text.find(',');
  if (comma == std::string::npos) {
    return {text, std::string()};
  }
  return {text.substr(0, comma), text.substr(comma + 1)};
}

int write_page_segment(const engine_settings& settings, const std::string& bitmap,
                       const std::string& bitmap_options, const std::string& output,
                       const std::string& output_options) {
  gbm_init();
  int output_type = 0;
  GBMFT output_descriptor{};
  bitmap_image image;
  if (gbm_guess_filetype(output.c_str(), &output_type) != GBM_ERR_OK ||
      gbm_query_filetype(output_type, &output_descriptor) != GBM_ERR_OK ||
      !read_bitmap(bitmap, bitmap_options, output_descriptor, image)) {
    return 0;
  }

  std::string error;
  std::optional<staged_output> staged = staged_output::begin(output, error);
  if (!staged) {
    return 0;
  }
  gbm_file segment(gbm_io_create(staged->path().c_str(), GBM_O_WRONLY | GBM_O_BINARY));
  if (!segment.is_open() ||
      gbm_pelx_pely(settings.job.pse_horz_dpi, settings.job.pse_vert_dpi) != GBM_ERR_OK ||
      gbm_write(staged->path().c_str(), segment.fd(), output_type, &image.header,
                image.palette.data(), image.pixels.data(), output_options.c_str(),
                output_descriptor.short_name, output_descriptor.long_name,
                output_descriptor.extensions) != GBM_ERR_OK) {
    return 0;
  }
  segment.close();
  if (!staged->commit().is_ok()) {
    return 0;
  }
  gbm_deinit();
  return 1;
}

}  // namespace zq::engine
