// The BMP reader against ImageMagick's own decoding of the bitmaps it wrote,
// against hand-made run-length streams, and against damaged headers and data.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <sstream>
#include <string>

#include "decode_check.h"
#include "test_files.h"

namespace zgraphb_test {
namespace {

int bmp_type() { return file_type_of("x.bmp"); }

struct rgb_image {
  int w = 0, h = 0;
  bytes rgb;  // top row first
};

rgb_image read_ppm(const bytes& file) {
  std::istringstream in(std::string(file.begin(), file.end()));
  std::string magic;
  int maxval = 0;
  rgb_image img;
  in >> magic >> img.w >> img.h >> maxval;
  in.get();  // the single whitespace before the samples
  EXPECT_EQ(magic, "P6");
  EXPECT_EQ(maxval, 255);
  const auto at = static_cast<std::size_t>(in.tellg());
  img.rgb.assign(file.begin() + static_cast<std::ptrdiff_t>(at), file.end());
  EXPECT_EQ(img.rgb.size(), static_cast<std::size_t>(img.w * img.h * 3));
  return img;
}

// Palette index (1, 4, 8 bpp) of pixel x in buffer row `row` (0 = bottom).
unsigned index_at(const decoded& d, int x, int row) {
  const std::uint8_t* r = d.pixels.data() + static_cast<std::uint64_t>(row) * stride_of(d.image);
  const int bpp = d.image.bpp;
  const int bit = x * bpp;
  return (r[bit / 8] >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1);
}

GBMRGB colour_at(const decoded& d, int x, int row) {
  if (d.image.bpp != 24) return d.palette[index_at(d, x, row)];
  const std::uint8_t* p = d.pixels.data() + row * stride_of(d.image) + 3 * x;
  return GBMRGB{p[0], p[1], p[2]};
}

// Compares every pixel; the message names the first difference.
std::string differences(const decoded& d, const rgb_image& expected) {
  if (d.image.w != expected.w || d.image.h != expected.h) return "size differs";
  for (int y = 0; y < expected.h; ++y) {
    for (int x = 0; x < expected.w; ++x) {
      const GBMRGB c = colour_at(d, x, expected.h - 1 - y);
      const std::uint8_t* e = &expected.rgb[3 * (static_cast<std::size_t>(y) * expected.w + x)];
      if (c.r != e[0] || c.g != e[1] || c.b != e[2]) {
        return "pixel " + std::to_string(x) + "," + std::to_string(y) + " differs";
      }
    }
  }
  return "";
}

// The same bitmap stored top row first, as a negative height says.
bytes top_down_copy(const bytes& bmp) {
  const std::uint32_t offset = bmp[10] | bmp[11] << 8 | bmp[12] << 16 | bmp[13] << 24;
  const std::int32_t w = bmp[18] | bmp[19] << 8, h = bmp[22] | bmp[23] << 8;
  const int bpp = bmp[28];
  const std::size_t stride = (static_cast<std::size_t>(w) * bpp + 31) / 32 * 4;
  bytes out(bmp.begin(), bmp.begin() + offset);
  for (std::int32_t r = h - 1; r >= 0; --r) {
    const auto row = bmp.begin() + offset + static_cast<std::ptrdiff_t>(r * stride);
    out.insert(out.end(), row, row + static_cast<std::ptrdiff_t>(stride));
  }
  put_le(out, 22, static_cast<std::uint32_t>(-h), 4);
  return out;
}

TEST(BmpReader, ReadsImageMagicksBitmapsAsImageMagickDoes) {
  const struct {
    const char* name;
    int bpp;
    bool also_top_down;  // 40-byte and longer headers can say so
  } cases[] = {
      {"bilevel_black_first", 1, true}, {"bilevel_white_first", 1, false},
      {"os2_bilevel", 1, false},        {"colors16", 4, true},
      {"os2_colors16", 4, false},       {"colors200", 8, true},
      {"colors200_rle8", 8, false},     {"v5_rle8", 8, false},
      {"truecolor", 24, true},          {"os2_truecolor", 24, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const bytes bmp = read_fixture(std::string(c.name) + ".bmp");
    const rgb_image expected = read_ppm(read_fixture(std::string(c.name) + ".ppm"));
    const decoded d = decode_file(memory_file(bmp), bmp_type());
    ASSERT_EQ(d.rc, GBM_ERR_OK);
    EXPECT_EQ(d.image.bpp, c.bpp);
    EXPECT_EQ(differences(d, expected), "");
    if (c.also_top_down) {
      const decoded flipped = decode_file(memory_file(top_down_copy(bmp)), bmp_type());
      ASSERT_EQ(flipped.rc, GBM_ERR_OK);
      EXPECT_EQ(differences(flipped, expected), "") << "stored top-down";
    }
  }
  // The bilevel pair covers both orders in which ImageMagick writes the palette.
  auto first_entry = [](const char* name) {
    return decode_file(memory_file(read_fixture(name)), bmp_type()).palette[0].r;
  };
  EXPECT_EQ(first_entry("bilevel_black_first.bmp"), 0);
  EXPECT_EQ(first_entry("bilevel_white_first.bmp"), 255);
}

TEST(BmpReader, RunLengthCodesPlacePixelsWhereTheyBelong) {
  const struct {
    const char* what;
    int bpp, w, h;
    bytes stream;
    std::vector<std::vector<unsigned>> rows;  // bottom row first
  } cases[] = {
      {"RLE4 run, odd literal, end of line, move, end of bitmap",
       4,
       6,
       3,
       {0x03, 0x12, 0x00, 0x03, 0x34, 0x50, 0x00, 0x00, 0x02, 0x77,
        0x00, 0x00, 0x00, 0x02, 0x03, 0x00, 0x01, 0xF0, 0x00, 0x01},
       {{1, 2, 1, 3, 4, 5}, {7, 7, 0, 0, 0, 0}, {0, 0, 0, 15, 0, 0}}},
      {"RLE8 padded literal, run, move right and up, end of bitmap",
       8,
       5,
       3,
       {0x00, 0x03, 0x0A, 0x0B, 0x0C, 0x00, 0x02, 0x0D, 0x00, 0x00, 0x00, 0x02, 0x01, 0x01, 0x01,
        0xFF, 0x00, 0x01},
       {{10, 11, 12, 13, 13}, {0, 0, 0, 0, 0}, {0, 255, 0, 0, 0}}},
      {"RLE4 run reaching into the row padding",
       4,
       5,
       1,
       {0x06, 0x11, 0x00, 0x00, 0x00, 0x01},
       {{1, 1, 1, 1, 1}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const decoded d = decode_file(
        memory_file(make_bmp(c.w, c.h, c.bpp, c.bpp == 8 ? 1 : 2, c.stream)), bmp_type());
    ASSERT_EQ(d.rc, GBM_ERR_OK);
    for (int row = 0; row < c.h; ++row) {
      std::vector<unsigned> got;
      for (int x = 0; x < c.w; ++x) got.push_back(index_at(d, x, row));
      EXPECT_EQ(got, c.rows[row]) << "row " << row;
    }
  }
}

TEST(BmpReader, DamagedBitmapsEndInAnErrorCode) {
  const bytes plain = make_bmp(6, 3, 4, 0, bytes(12));
  auto changed = [&](std::function<void(bytes&)> change) {
    bytes b = plain;
    change(b);
    return b;
  };
  auto rle8 = [](std::int32_t w, std::int32_t h, bytes stream) {
    return make_bmp(w, h, 8, 1, stream);
  };
  const struct {
    const char* what;
    bytes file;
    GBM_ERR rc;
  } cases[] = {
      {"empty file", {}, GBM_ERR_READ},
      {"header cut short", bytes(plain.begin(), plain.begin() + 30), GBM_ERR_READ},
      {"not BM", changed([](bytes& b) { b[0] = 'X'; }), GBM_ERR_BAD_MAGIC},
      {"2 planes", changed([](bytes& b) { put_le(b, 26, 2, 2); }), GBM_ERR_BMP_PLANES},
      {"16 bpp", changed([](bytes& b) { put_le(b, 28, 16, 2); }), GBM_ERR_BMP_BITCOUNT},
      {"header of 100 bytes", changed([](bytes& b) { put_le(b, 14, 100, 4); }), GBM_ERR_BMP_CBFIX},
      {"bit fields", changed([](bytes& b) { put_le(b, 30, 3, 4); }), GBM_ERR_BMP_COMP},
      {"RLE8 at 4 bpp", changed([](bytes& b) { put_le(b, 30, 1, 4); }), GBM_ERR_BMP_COMP},
      {"RLE4 top-down", changed([](bytes& b) {
         put_le(b, 30, 2, 4);
         put_le(b, 22, -3u, 4);
       }),
       GBM_ERR_BMP_COMP},
      {"17 colours at 4 bpp", changed([](bytes& b) { put_le(b, 46, 17, 4); }), GBM_ERR_BMP_CORRUPT},
      {"data inside the palette", changed([](bytes& b) { put_le(b, 10, 60, 4); }),
       GBM_ERR_BMP_CORRUPT},
      {"data offset past the end", changed([](bytes& b) { put_le(b, 10, 1000, 4); }), GBM_ERR_READ},
      {"rows cut short", changed([](bytes& b) { b.pop_back(); }), GBM_ERR_READ},
      {"width 0", changed([](bytes& b) { put_le(b, 18, 0, 4); }), GBM_ERR_BAD_SIZE},
      {"width -6", changed([](bytes& b) { put_le(b, 18, -6u, 4); }), GBM_ERR_BAD_SIZE},
      {"height 0", changed([](bytes& b) { put_le(b, 22, 0, 4); }), GBM_ERR_BAD_SIZE},
      {"height -2^31", changed([](bytes& b) { put_le(b, 22, 0x80000000u, 4); }), GBM_ERR_BAD_SIZE},
      {"row size beyond an int", changed([](bytes& b) { put_le(b, 18, INT_MAX, 4); }),
       GBM_ERR_BAD_SIZE},
      {"RLE image its stream cannot fill", rle8(30000, 30000, {0, 1}), GBM_ERR_BAD_SIZE},
      {"run past the row", rle8(4, 2, {5, 1, 0, 1}), GBM_ERR_BMP_CORRUPT},
      {"literal past the row", rle8(4, 2, {0, 5, 1, 2, 3, 4, 5, 0, 0, 1}), GBM_ERR_BMP_CORRUPT},
      {"move past the last row", rle8(4, 2, {0, 2, 0, 3, 0, 1}), GBM_ERR_BMP_CORRUPT},
      {"end of line after the last row", rle8(4, 2, {0, 0, 0, 0, 0, 0, 0, 1}), GBM_ERR_BMP_CORRUPT},
      {"run after the last row", rle8(4, 2, {0, 2, 0, 2, 1, 5, 0, 1}), GBM_ERR_BMP_CORRUPT},
      {"no end of bitmap", rle8(4, 2, {2, 5}), GBM_ERR_READ},
      {"literal cut short", rle8(4, 2, {0, 4, 1, 2}), GBM_ERR_READ},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const decoded d = decode_file(memory_file(c.file), bmp_type());
    EXPECT_EQ(d.rc, c.rc);
    EXPECT_EQ(d.violation, "");
  }
}

}  // namespace
}  // namespace zgraphb_test
