// Shared by the tests and the fuzz target: files in memory, and decoding one
// through the public calls while checking what no input may cause.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "zgraphb/gbm.h"

namespace zgraphb_test {

// An anonymous in-memory file, so that readers get a real descriptor.
class memory_file {
 public:
  explicit memory_file(std::span<const std::uint8_t> bytes = {});
  ~memory_file();
  memory_file(const memory_file&) = delete;
  memory_file& operator=(const memory_file&) = delete;

  int fd() const { return fd_; }
  void replace(std::span<const std::uint8_t> bytes);
  std::vector<std::uint8_t> bytes() const;

 private:
  int fd_;
};

struct decoded {
  GBM_ERR rc = GBM_ERR_OK;  // of the first call that failed
  GBM image{};
  std::vector<GBMRGB> palette;       // 256 entries
  std::vector<std::uint8_t> pixels;  // stride * h bytes, bottom row first
  std::string violation;             // what went wrong that an error code cannot excuse
};

std::uint64_t stride_of(const GBM& image);

// Header, palette and data as the page-segment step calls them, with guard
// bytes after the palette and the pixel buffer. A violation is a buffer claim
// beyond what gbm.h promises, an impossible header, or a write past the end.
decoded decode_file(const memory_file& file, int ft);

// The type gbm_guess_filetype() picks for the file name, or -1.
int file_type_of(const char* fn);

// For a decoded 1 bpp image whose two palette entries are each black or
// white: writes it as a page segment, reads that back, and describes where the
// ink is not exactly at the black pixels (padding included). Empty when it is,
// or when the image is not of that kind.
std::string page_segment_round_trip(const decoded& d);

// gbm_write of a page segment named after fn (whatever its extension) into
// out, passing the descriptor texts as the page-segment step does.
GBM_ERR write_page_segment(const char* fn, const GBM& image, const GBMRGB* palette,
                           const std::uint8_t* pixels, memory_file& out);

}  // namespace zgraphb_test
