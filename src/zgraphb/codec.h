// What every file type of the library provides, and the buffer layout rules
// that the types share.
#pragma once

#include <climits>
#include <cstdint>

#include "zgraphb/file_source.h"
#include "zgraphb/gbm.h"

namespace zgraphb {

// Resolution handed to a writer, in dots per inch.
struct resolution {
  int x;
  int y;
};

// Each read function checks the file again (the GBM record carries no state),
// and read_palette / read_data refuse a record whose w, h or bpp differ from
// the file's. write is null for types the library cannot write.
struct codec {
  GBMFT type;
  GBM_ERR (*read_header)(const file_source& file, GBM& gbm);
  GBM_ERR (*read_palette)(const file_source& file, const GBM& gbm, GBMRGB* palette);
  GBM_ERR (*read_data)(const file_source& file, const GBM& gbm, std::uint8_t* data);
  GBM_ERR(*write)
  (const char* fn, int fd, const GBM& gbm, const GBMRGB* palette, const std::uint8_t* data,
   resolution dpi);
};

inline std::uint64_t row_stride(std::uint64_t w, unsigned bpp) { return (w * bpp + 31) / 32 * 4; }

// Callers size and index the buffer with int arithmetic (GBM's own clients
// do), so no image may need more than an int can count.
inline bool fits_int_arithmetic(std::uint64_t w, unsigned bpp, std::uint64_t h) {
  return w * bpp + 31 <= INT_MAX && row_stride(w, bpp) * h <= INT_MAX;
}

inline bool same_image(const GBM& gbm, const GBM& file) {
  return gbm.w == file.w && gbm.h == file.h && gbm.bpp == file.bpp;
}

}  // namespace zgraphb
