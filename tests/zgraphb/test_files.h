// Files for the zgraphb tests: the committed ImageMagick fixtures and small
// hand-built bitmaps and page segments.
#pragma once

#include <cstdint>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "zgraphb/gbm.h"

namespace zgraphb_test {

using bytes = std::vector<std::uint8_t>;

inline bytes read_fixture(const std::string& name) {
  std::ifstream in(std::string(ZQ_TEST_DATA_DIR) + "/zgraphb/" + name, std::ios::binary);
  return bytes(std::istreambuf_iterator<char>(in), {});
}

inline void put_le(bytes& b, std::size_t at, std::uint32_t v, int n) {
  for (int i = 0; i < n; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// A Windows bitmap with a 40-byte header and a full grey-ramp palette
// (entry i = i * 17 at 4 bpp, i at 8 bpp, 0 or 255 at 1 bpp).
inline bytes make_bmp(std::int32_t w, std::int32_t h, int bpp, std::uint32_t compression,
                      std::span<const std::uint8_t> pixels) {
  const std::uint32_t entries = bpp <= 8 ? 1u << bpp : 0;
  const std::uint32_t data_offset = 14 + 40 + entries * 4;
  bytes b(data_offset);
  b[0] = 'B';
  b[1] = 'M';
  put_le(b, 2, data_offset + static_cast<std::uint32_t>(pixels.size()), 4);
  put_le(b, 10, data_offset, 4);
  put_le(b, 14, 40, 4);
  put_le(b, 18, static_cast<std::uint32_t>(w), 4);
  put_le(b, 22, static_cast<std::uint32_t>(h), 4);
  put_le(b, 26, 1, 2);
  put_le(b, 28, static_cast<std::uint32_t>(bpp), 2);
  put_le(b, 30, compression, 4);
  for (std::uint32_t i = 0; i < entries; ++i) {
    const auto grey = static_cast<std::uint8_t>(i * 255 / (entries - 1));
    b[54 + 4 * i] = b[55 + 4 * i] = b[56 + 4 * i] = grey;
  }
  b.insert(b.end(), pixels.begin(), pixels.end());
  return b;
}

// One structured field: 5A, length, identifier, flags 0, sequence 0, data.
inline bytes field(std::uint32_t id, const bytes& data) {
  const auto length = static_cast<std::uint16_t>(8 + data.size());
  bytes b = {0x5A,
             static_cast<std::uint8_t>(length >> 8),
             static_cast<std::uint8_t>(length),
             static_cast<std::uint8_t>(id >> 16),
             static_cast<std::uint8_t>(id >> 8),
             static_cast<std::uint8_t>(id),
             0,
             0,
             0};
  // Grown in place first: inserting into the nine-byte vector makes GCC 12
  // warn wrongly about its bounds at -O2.
  b.reserve(b.size() + data.size());
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

inline bytes join(std::initializer_list<bytes> parts) {
  bytes out;
  for (const bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

}  // namespace zgraphb_test
