#include "zgraphb/bmp.h"

#include <algorithm>
#include <cstring>

namespace zgraphb::bmp {
namespace {

constexpr std::uint32_t kFileHeaderBytes = 14;
constexpr std::uint32_t kOs2v1HeaderBytes = 12;
constexpr std::uint32_t kLargestHeaderBytes = 124;  // Windows BITMAPV5HEADER

constexpr std::uint32_t kUncompressed = 0;
constexpr std::uint32_t kRle8 = 1;
constexpr std::uint32_t kRle4 = 2;

// An RLE stream can describe any size in a few bytes (end-of-bitmap leaves the
// rest blank), so its buffer is bounded by policy rather than by the file: at
// most 1024 buffer bytes per stream byte, or 16 MiB, whichever is larger.
// Run-length bitmaps from real encoders stay far below that ratio.
constexpr std::uint64_t kRleExpansionLimit = 1024;
constexpr std::uint64_t kRleAlwaysAllowedBytes = 16u << 20;

struct layout {
  GBM image;
  bool top_down;
  std::uint32_t compression;
  std::uint64_t palette_offset;
  std::uint32_t palette_entries;
  std::uint32_t palette_entry_bytes;  // 3 (OS/2 1.x) or 4
  std::uint64_t data_offset;
};

bool known_header_size(std::uint32_t bytes) {
  // 16 to 64 covers OS/2 2.x headers, which may be cut short after any field,
  // and the Windows 40, 52 and 56-byte forms; 108 and 124 are Windows V4 and V5.
  return bytes == kOs2v1HeaderBytes || (bytes >= 16 && bytes <= 64) || bytes == 108 ||
         bytes == kLargestHeaderBytes;
}

bool compression_fits(std::uint32_t compression, int bpp, bool top_down) {
  switch (compression) {
    case kUncompressed:
      return true;
    case kRle8:
      return bpp == 8 && !top_down;
    case kRle4:
      return bpp == 4 && !top_down;
    default:
      return false;
  }
}

GBM_ERR parse(const file_source& file, layout& out) {
  std::uint8_t head[kFileHeaderBytes + 4];
  if (!file.read_at(0, head, sizeof head)) return GBM_ERR_READ;
  if (head[0] != 'B' || head[1] != 'M') return GBM_ERR_BAD_MAGIC;
  const std::uint32_t header_bytes = le32(head + 14);
  if (!known_header_size(header_bytes)) return GBM_ERR_BMP_CBFIX;
  // Fields a short OS/2 2.x header leaves out read as zero.
  std::uint8_t info[kLargestHeaderBytes] = {};
  if (!file.read_at(kFileHeaderBytes, info, header_bytes)) return GBM_ERR_READ;

  std::int64_t width, height;
  unsigned planes, bpp;
  std::uint32_t compression = kUncompressed, colours_used = 0;
  if (header_bytes == kOs2v1HeaderBytes) {
    width = le16(info + 4);
    height = le16(info + 6);
    planes = le16(info + 8);
    bpp = le16(info + 10);
  } else {
    width = static_cast<std::int32_t>(le32(info + 4));
    height = static_cast<std::int32_t>(le32(info + 8));
    planes = le16(info + 12);
    bpp = le16(info + 14);
    compression = le32(info + 16);
    colours_used = le32(info + 32);
  }
  if (planes != 1) return GBM_ERR_BMP_PLANES;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24) return GBM_ERR_BMP_BITCOUNT;
  const bool top_down = height < 0;
  height = top_down ? -height : height;
  if (width <= 0 || height == 0) return GBM_ERR_BAD_SIZE;
  if (!compression_fits(compression, static_cast<int>(bpp), top_down)) return GBM_ERR_BMP_COMP;
  if (!fits_int_arithmetic(static_cast<std::uint64_t>(width), bpp,
                           static_cast<std::uint64_t>(height))) {
    return GBM_ERR_BAD_SIZE;
  }

  std::uint32_t entries = 0;
  if (bpp <= 8) {
    entries = colours_used != 0 ? colours_used : 1u << bpp;
    if (entries > 1u << bpp) return GBM_ERR_BMP_CORRUPT;
  }
  const std::uint32_t entry_bytes = header_bytes == kOs2v1HeaderBytes ? 3 : 4;
  const std::uint64_t palette_offset = kFileHeaderBytes + header_bytes;
  const std::uint64_t data_offset = le32(head + 10);
  if (data_offset < palette_offset + std::uint64_t{entries} * entry_bytes) {
    return GBM_ERR_BMP_CORRUPT;
  }
  if (data_offset >= file.size()) return GBM_ERR_READ;

  const std::uint64_t stored = file.size() - data_offset;
  const std::uint64_t needed =
      row_stride(static_cast<std::uint64_t>(width), bpp) * static_cast<std::uint64_t>(height);
  if (compression == kUncompressed && stored < needed) return GBM_ERR_READ;
  if (compression != kUncompressed &&
      needed > std::max(kRleAlwaysAllowedBytes, stored * kRleExpansionLimit)) {
    return GBM_ERR_BAD_SIZE;
  }

  out = layout{GBM{static_cast<int>(width), static_cast<int>(height), static_cast<int>(bpp)},
               top_down,
               compression,
               palette_offset,
               entries,
               entry_bytes,
               data_offset};
  return GBM_ERR_OK;
}

GBM_ERR parse_matching(const file_source& file, const GBM& gbm, layout& out) {
  if (const GBM_ERR rc = parse(file, out); rc != GBM_ERR_OK) return rc;
  return same_image(gbm, out.image) ? GBM_ERR_OK : GBM_ERR_BAD_ARG;
}

// Pixel i of a run of packed values: 8 bpp codes hold one pixel per byte,
// 4 bpp codes two, the left one in the high nibble.
std::uint8_t packed_pixel(const std::uint8_t* bytes, unsigned i, int bpp) {
  if (bpp == 8) return bytes[i];
  const std::uint8_t b = bytes[i / 2];
  return (i & 1) != 0 ? b & 0x0F : b >> 4;
}

// Pixels that escape codes skip keep index 0, as the format intends. Runs may
// reach into the row's padding (some RLE4 encoders round odd widths up), but
// never past it or past the last row.
GBM_ERR decode_rle(const file_source& file, const layout& l, std::uint8_t* data) {
  const int bpp = l.image.bpp;
  const std::uint64_t stride = row_stride(static_cast<std::uint64_t>(l.image.w), bpp);
  const std::uint64_t row_capacity = stride * 8 / bpp;
  const std::uint64_t rows = static_cast<std::uint64_t>(l.image.h);
  std::memset(data, 0, stride * rows);

  byte_cursor in(file, l.data_offset);
  std::uint64_t x = 0, y = 0;
  auto put = [&](const std::uint8_t* packed, unsigned count, bool repeat) {
    std::uint8_t* row = data + y * stride;
    for (unsigned i = 0; i < count; ++i, ++x) {
      // A run repeats one byte: 8 bpp its value, 4 bpp its two nibbles in turn.
      const std::uint8_t v = packed_pixel(packed, repeat ? (bpp == 8 ? 0 : i & 1) : i, bpp);
      if (bpp == 8) {
        row[x] = v;
      } else {
        row[x / 2] |= (x & 1) != 0 ? v : static_cast<std::uint8_t>(v << 4);
      }
    }
  };
  auto room_for = [&](unsigned count) { return y < rows && row_capacity - x >= count; };

  for (;;) {
    std::uint8_t code[2];
    if (!in.read(code, 2)) return GBM_ERR_READ;
    if (code[0] != 0) {
      if (!room_for(code[0])) return GBM_ERR_BMP_CORRUPT;
      put(&code[1], code[0], true);
      continue;
    }
    switch (code[1]) {
      case 0:  // end of line
        if (y >= rows) return GBM_ERR_BMP_CORRUPT;
        ++y;
        x = 0;
        break;
      case 1:  // end of bitmap
        return GBM_ERR_OK;
      case 2: {  // move right and up
        std::uint8_t delta[2];
        if (!in.read(delta, 2)) return GBM_ERR_READ;
        x += delta[0];
        y += delta[1];
        if (x > row_capacity || y > rows) return GBM_ERR_BMP_CORRUPT;
        break;
      }
      default: {  // literal pixels, padded to a 16-bit boundary
        const unsigned count = code[1];
        const unsigned bytes = bpp == 8 ? count : (count + 1) / 2;
        std::uint8_t literal[256];
        if (!in.read(literal, bytes + (bytes & 1))) return GBM_ERR_READ;
        if (!room_for(count)) return GBM_ERR_BMP_CORRUPT;
        put(literal, count, false);
        break;
      }
    }
  }
}

}  // namespace

GBM_ERR read_header(const file_source& file, GBM& gbm) {
  layout l;
  if (const GBM_ERR rc = parse(file, l); rc != GBM_ERR_OK) return rc;
  gbm = l.image;
  return GBM_ERR_OK;
}

GBM_ERR read_palette(const file_source& file, const GBM& gbm, GBMRGB* palette) {
  layout l;
  if (const GBM_ERR rc = parse_matching(file, gbm, l); rc != GBM_ERR_OK) return rc;
  if (gbm.bpp > 8) return GBM_ERR_OK;
  std::uint8_t stored[256 * 4];
  if (!file.read_at(l.palette_offset, stored, l.palette_entries * l.palette_entry_bytes)) {
    return GBM_ERR_READ;
  }
  const unsigned size = 1u << gbm.bpp;
  for (unsigned i = 0; i < size; ++i) {
    const std::uint8_t* e = stored + i * l.palette_entry_bytes;
    palette[i] = i < l.palette_entries ? GBMRGB{e[0], e[1], e[2]} : GBMRGB{0, 0, 0};
  }
  return GBM_ERR_OK;
}

GBM_ERR read_data(const file_source& file, const GBM& gbm, std::uint8_t* data) {
  layout l;
  if (const GBM_ERR rc = parse_matching(file, gbm, l); rc != GBM_ERR_OK) return rc;
  if (l.compression != kUncompressed) return decode_rle(file, l, data);
  const std::uint64_t stride = row_stride(static_cast<std::uint64_t>(gbm.w), gbm.bpp);
  const std::uint64_t rows = static_cast<std::uint64_t>(gbm.h);
  if (!l.top_down) {
    // Bottom-up rows padded to four bytes are the buffer's own layout.
    return file.read_at(l.data_offset, data, stride * rows) ? GBM_ERR_OK : GBM_ERR_READ;
  }
  for (std::uint64_t r = 0; r < rows; ++r) {
    if (!file.read_at(l.data_offset + r * stride, data + (rows - 1 - r) * stride, stride)) {
      return GBM_ERR_READ;
    }
  }
  return GBM_ERR_OK;
}

}  // namespace zgraphb::bmp
