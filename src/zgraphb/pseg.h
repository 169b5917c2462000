// IBM page segments holding one IM1 image, 1 bit per pixel (1 = ink), as the
// 3820-era printers and GBM exchanged them: BPS, BII, IOC, IID, one IRD per
// row, EII, EPS. The reader takes that form back, with rows spread over IRDs in
// any way.
#pragma once

#include "zgraphb/codec.h"

namespace zgraphb::pseg {

// Sizes are 15-bit fields. Widths are written rounded up to a multiple of 8,
// so the widest image the writer takes is 32760 pixels.
constexpr int kMaxPoints = 32767;
constexpr int kMaxWidth = kMaxPoints / 8 * 8;

GBM_ERR read_header(const file_source& file, GBM& gbm);
// Entry 0 is white (paper), entry 1 black (ink).
GBM_ERR read_palette(const file_source& file, const GBM& gbm, GBMRGB* palette);
GBM_ERR read_data(const file_source& file, const GBM& gbm, std::uint8_t* data);
GBM_ERR write(const char* fn, int fd, const GBM& gbm, const GBMRGB* palette,
              const std::uint8_t* data, resolution dpi);

}  // namespace zgraphb::pseg
