// The OS/2 and Windows bitmap reader: 1, 4, 8 and 24 bits per pixel,
// uncompressed, RLE8 and RLE4, 12-byte OS/2 1.x headers and the longer OS/2 2.x
// and Windows headers, bottom-up and (uncompressed) top-down rows.
#pragma once

#include "zgraphb/codec.h"

namespace zgraphb::bmp {

GBM_ERR read_header(const file_source& file, GBM& gbm);
GBM_ERR read_palette(const file_source& file, const GBM& gbm, GBMRGB* palette);
GBM_ERR read_data(const file_source& file, const GBM& gbm, std::uint8_t* data);

}  // namespace zgraphb::bmp
