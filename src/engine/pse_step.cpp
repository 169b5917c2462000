#include "engine/pse_step.h"

#include <array>
#include <vector>

#include "platform/file_system.h"
#include "platform/staged_output.h"
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

// A failure of the bitmap library, in words where its code has some.
status gbm_failure(const std::string& what, const std::string& path, int code) {
  const char* cause = code == GBM_ERR_MEM          ? "out of memory"
                      : code == GBM_ERR_NOT_SUPP   ? "not supported"
                      : code == GBM_ERR_BAD_OPTION ? "bad option"
                      : code == GBM_ERR_BAD_MAGIC  ? "not a bitmap"
                      : code == GBM_ERR_BAD_SIZE   ? "bad size"
                      : code == GBM_ERR_READ       ? "read error"
                      : code == GBM_ERR_WRITE      ? "write error"
                                                   : nullptr;
  return status::error(what + ": " + (cause != nullptr ? cause : "error " + std::to_string(code)),
                       path);
}

status read_bitmap(const std::string& bitmap, const std::string& options, const GBMFT& output_type,
                   bitmap_image& image) {
  int input_type = 0;
  if (int code = gbm_guess_filetype(bitmap.c_str(), &input_type); code != GBM_ERR_OK) {
    return gbm_failure("the bitmap's type is not known", bitmap, code);
  }
  gbm_file input(gbm_io_open(bitmap.c_str(), GBM_O_RDONLY | GBM_O_BINARY));
  if (!input.is_open()) {
    return status::error("the bitmap cannot be opened", bitmap);
  }
  if (int code =
          gbm_read_header(bitmap.c_str(), input.fd(), input_type, &image.header, options.c_str());
      code != GBM_ERR_OK) {
    return gbm_failure("the bitmap's header cannot be read", bitmap, code);
  }
  // A depth the page segment cannot take is refused before anything is read.
  if ((output_type.flags & write_flag_for(image.header.bpp)) == 0) {
    return status::error(
        "a page segment cannot hold " + std::to_string(image.header.bpp) + " bits a pixel", bitmap);
  }
  if (int code = gbm_read_palette(input.fd(), input_type, &image.header, image.palette.data());
      code != GBM_ERR_OK) {
    return gbm_failure("the bitmap's palette cannot be read", bitmap, code);
  }
  // The library accepts only sizes whose padded rows and total fit in an int.
  const std::size_t stride =
      static_cast<std::size_t>((image.header.w * image.header.bpp + 31) / 32) * 4;
  image.pixels.resize(stride * static_cast<std::size_t>(image.header.h));
  if (int code = gbm_read_data(input.fd(), input_type, &image.header, image.pixels.data());
      code != GBM_ERR_OK) {
    return gbm_failure("the bitmap's pixels cannot be read", bitmap, code);
  }
  return status::ok();
}

}  // namespace

path_with_options split_options(const std::string& text) {
  const std::size_t comma = text.find(',');
  if (comma == std::string::npos) {
    return {text, std::string()};
  }
  return {text.substr(0, comma), text.substr(comma + 1)};
}

status write_page_segment(platform::file_system& files, const job_settings& job,
                          const std::string& bitmap, const std::string& bitmap_options,
                          const std::string& output, const std::string& output_options) {
  gbm_init();
  int output_type = 0;
  GBMFT output_descriptor{};
  if (int code = gbm_guess_filetype(output.c_str(), &output_type); code != GBM_ERR_OK) {
    return gbm_failure("no page-segment writer for this name", output, code);
  }
  if (int code = gbm_query_filetype(output_type, &output_descriptor); code != GBM_ERR_OK) {
    return gbm_failure("the page-segment writer cannot be queried", output, code);
  }
  bitmap_image image;
  if (status read = read_bitmap(bitmap, bitmap_options, output_descriptor, image); !read.is_ok()) {
    return read;
  }
  result<platform::staged_output> staged = platform::staged_output::begin(files, output);
  if (!staged.is_ok()) {
    return staged.status();
  }
  gbm_file segment(gbm_io_create(staged->path().c_str(), GBM_O_WRONLY | GBM_O_BINARY));
  if (!segment.is_open()) {
    return status::error("the page segment cannot be created", output);
  }
  if (int code = gbm_pelx_pely(job.pse_horz_dpi, job.pse_vert_dpi); code != GBM_ERR_OK) {
    return gbm_failure("the page segment's resolution is refused", output, code);
  }
  if (int code = gbm_write(staged->path().c_str(), segment.fd(), output_type, &image.header,
                           image.palette.data(), image.pixels.data(), output_options.c_str(),
                           output_descriptor.short_name, output_descriptor.long_name,
                           output_descriptor.extensions);
      code != GBM_ERR_OK) {
    return gbm_failure("the page segment could not be written", output, code);
  }
  segment.close();
  if (status committed = staged->commit(); !committed.is_ok()) {
    return committed;
  }
  gbm_deinit();
  return status::ok();
}

}  // namespace zq::engine
