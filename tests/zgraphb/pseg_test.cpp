// The page-segment writer and reader: the worked example byte for byte, how
// ink, resolution, name and size limits are written, and how the reader
// treats records it cannot accept.
#include <gtest/gtest.h>

#include <string>

#include "decode_check.h"
#include "test_files.h"

namespace zgraphb_test {
namespace {

constexpr GBMRGB kWhite{255, 255, 255};
constexpr GBMRGB kBlack{0, 0, 0};

// 8 x 2: top row pixels 0 and 7 black, bottom row pixels 0-3; bottom row first.
const std::uint8_t kExamplePixels[] = {0xF0, 0, 0, 0, 0x81, 0, 0, 0};

// clang-format off
const bytes kExampleSegment = {
    0x5A, 0x00, 0x16, 0xD3, 0xEE, 0xEE, 0x00, 0x00, 0x01,  // NOP "Written by GBM"
    0xE6, 0x99, 0x89, 0xA3, 0xA3, 0x85, 0x95, 0x40, 0x82, 0xA8, 0x40, 0xC7, 0xC2, 0xD4,
    0x5A, 0x00, 0x10, 0xD3, 0xA8, 0x5F, 0x00, 0x00, 0x02,  // BPS
    0xE2, 0xF1, 0xE3, 0xC5, 0xE2, 0xE3, 0x40, 0x40,
    0x5A, 0x00, 0x10, 0xD3, 0xA8, 0x7B, 0x00, 0x00, 0x03,  // BII
    0xE2, 0xF1, 0xE3, 0xC5, 0xE2, 0xE3, 0x40, 0x40,
    0x5A, 0x00, 0x20, 0xD3, 0xA7, 0x7B, 0x00, 0x00, 0x04,  // IOC
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x2D, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0xE8, 0x03, 0xE8, 0xFF, 0xFF,
    0x5A, 0x00, 0x2C, 0xD3, 0xA6, 0x7B, 0x00, 0x00, 0x05,  // IID
    0x00, 0x00, 0x09, 0x60, 0x09, 0x60, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x09, 0x60, 0x09, 0x60, 0x00, 0x08, 0x00, 0x02,
    0x00, 0x00, 0x00, 0x00, 0x2D, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0xFF, 0xFF,
    0x5A, 0x00, 0x09, 0xD3, 0xEE, 0x7B, 0x00, 0x00, 0x06, 0x81,  // IRD, top row
    0x5A, 0x00, 0x09, 0xD3, 0xEE, 0x7B, 0x00, 0x00, 0x07, 0xF0,  // IRD, bottom row
    0x5A, 0x00, 0x10, 0xD3, 0xA9, 0x7B, 0x00, 0x00, 0x08,  // EII
    0xE2, 0xF1, 0xE3, 0xC5, 0xE2, 0xE3, 0x40, 0x40,
    0x5A, 0x00, 0x10, 0xD3, 0xA9, 0x5F, 0x00, 0x00, 0x09,  // EPS
    0xE2, 0xF1, 0xE3, 0xC5, 0xE2, 0xE3, 0x40, 0x40,
};
// clang-format on

// Where the writer's fixed leading records put these fields.
constexpr std::size_t kNameAt = 32;         // BPS data
constexpr std::size_t kResolutionAt = 113;  // IID data + 14: X and Y points per 10 inches

int pse_type() { return file_type_of("x.pse"); }

class PageSegment : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(gbm_pelx_pely(0, 0), GBM_ERR_OK); }
  void TearDown() override { gbm_pelx_pely(0, 0); }

  bytes write_example(const char* fn, const GBMRGB (&palette)[2], int w = 8) {
    memory_file out;
    EXPECT_EQ(write_page_segment(fn, GBM{w, 2, 1}, palette, kExamplePixels, out), GBM_ERR_OK);
    return out.bytes();
  }
};

TEST_F(PageSegment, WorkedExampleIsWrittenByteForByteAndReadsBack) {
  const GBMRGB palette[2] = {kWhite, kBlack};
  const bytes written = write_example("S1TEST.pse", palette);
  ASSERT_EQ(written.size(), 189u);
  EXPECT_EQ(written, kExampleSegment);

  const decoded back = decode_file(memory_file(written), pse_type());
  ASSERT_EQ(back.rc, GBM_ERR_OK);
  EXPECT_EQ(back.image.w, 8);
  EXPECT_EQ(back.image.h, 2);
  EXPECT_EQ(back.image.bpp, 1);
  EXPECT_EQ(back.pixels, bytes(std::begin(kExamplePixels), std::end(kExamplePixels)));
  EXPECT_EQ(back.palette[0].r, 255);  // paper
  EXPECT_EQ(back.palette[1].r, 0);    // ink
}

TEST_F(PageSegment, InkIsWhereThePaletteIsDarkAndPaddingIsPaper) {
  struct ink_case {
    const char* what;
    GBMRGB palette[2];
    int width;
    std::uint8_t top, bottom;  // the rows read back
  };
  const ink_case cases[] = {
      {"black is entry 1", {kWhite, kBlack}, 8, 0x81, 0xF0},
      {"black is entry 0", {kBlack, kWhite}, 8, 0x7E, 0x0F},
      {"width 5 keeps 5 bits", {kBlack, kWhite}, 5, 0x78, 0x08},
      {"dark blue and yellow", {GBMRGB{150, 0, 0}, GBMRGB{0, 255, 255}}, 8, 0x7E, 0x0F},
      {"mid grey is paper", {GBMRGB{128, 128, 128}, kBlack}, 8, 0x81, 0xF0},
      {"both dark", {kBlack, GBMRGB{60, 60, 60}}, 8, 0xFF, 0xFF},
  };
  for (const ink_case& c : cases) {
    SCOPED_TRACE(c.what);
    const decoded back =
        decode_file(memory_file(write_example("t.pse", c.palette, c.width)), pse_type());
    ASSERT_EQ(back.rc, GBM_ERR_OK);
    EXPECT_EQ(back.image.w, 8);
    EXPECT_EQ(back.pixels[4], c.top);
    EXPECT_EQ(back.pixels[0], c.bottom);
  }
}

TEST_F(PageSegment, ResolutionIsDotsPerInchTimesTen) {
  const GBMRGB palette[2] = {kWhite, kBlack};
  auto resolution_field = [&] {
    const bytes b = write_example("r.pse", palette);
    return bytes(b.begin() + kResolutionAt, b.begin() + kResolutionAt + 4);
  };
  EXPECT_EQ(resolution_field(), (bytes{0x09, 0x60, 0x09, 0x60}));  // 0 means 240
  ASSERT_EQ(gbm_pelx_pely(300, 600), GBM_ERR_OK);
  EXPECT_EQ(resolution_field(), (bytes{0x0B, 0xB8, 0x17, 0x70}));
  ASSERT_EQ(gbm_pelx_pely(3276, 1), GBM_ERR_OK);
  EXPECT_EQ(resolution_field(), (bytes{0x7F, 0xF8, 0x00, 0x0A}));
  // Refused values leave the last setting in force.
  EXPECT_EQ(gbm_pelx_pely(3277, 240), GBM_ERR_BAD_ARG);
  EXPECT_EQ(gbm_pelx_pely(240, -1), GBM_ERR_BAD_ARG);
  EXPECT_EQ(resolution_field(), (bytes{0x7F, 0xF8, 0x00, 0x0A}));
}

TEST_F(PageSegment, NameComesFromTheOutputsBaseName) {
  const struct {
    const char* fn;
    bytes name;
  } cases[] = {
      {"S1TEST.pse", {0xE2, 0xF1, 0xE3, 0xC5, 0xE2, 0xE3, 0x40, 0x40}},
      {"/tmp/out.d/s1logo.pse", {0xE2, 0xF1, 0xD3, 0xD6, 0xC7, 0xD6, 0x40, 0x40}},
      {"longer_than_8.pse", {0xD3, 0xD6, 0xD5, 0xC7, 0xC5, 0xD9, 0x6D, 0xE3}},
      {"no_dot", {0xD5, 0xD6, 0x6D, 0xC4, 0xD6, 0xE3, 0x40, 0x40}},
      {"a.b9.pse", {0xC1, 0x4B, 0xC2, 0xF9, 0x40, 0x40, 0x40, 0x40}},
      {"\xC3\xA9t\xC3\xA9.pse", {0x6D, 0x6D, 0xE3, 0x6D, 0x6D, 0x40, 0x40, 0x40}},
  };
  const GBMRGB palette[2] = {kWhite, kBlack};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fn);
    const bytes b = write_example(c.fn, palette);
    ASSERT_EQ(b.size(), kExampleSegment.size());
    EXPECT_EQ(bytes(b.begin() + kNameAt, b.begin() + kNameAt + 8), c.name);
    EXPECT_EQ(bytes(b.end() - 8, b.end()), c.name);  // EPS
  }
}

TEST_F(PageSegment, SizesUpToTheFieldLimitsOnly) {
  const struct {
    int w, h, bpp;
    GBM_ERR rc;
  } cases[] = {
      {32760, 2, 1, GBM_ERR_OK},       {32761, 2, 1, GBM_ERR_BAD_SIZE}, {3, 32767, 1, GBM_ERR_OK},
      {3, 32768, 1, GBM_ERR_BAD_SIZE}, {0, 2, 1, GBM_ERR_BAD_SIZE},     {8, 0, 1, GBM_ERR_BAD_SIZE},
      {8, 2, 4, GBM_ERR_NOT_SUPP},     {8, 2, 24, GBM_ERR_NOT_SUPP},
  };
  const GBMRGB palette[2] = {kWhite, kBlack};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + " x " + std::to_string(c.h) + " x " + std::to_string(c.bpp));
    const GBM image{c.w, c.h, c.bpp};
    const bytes pixels(std::max<std::uint64_t>(stride_of(image) * std::max(c.h, 0), 1), 0xFF);
    memory_file out;
    ASSERT_EQ(write_page_segment("big.pse", image, palette, pixels.data(), out), c.rc);
    if (c.rc != GBM_ERR_OK) continue;
    decoded source{GBM_ERR_OK, image, {palette[0], palette[1]}, pixels, ""};
    EXPECT_EQ(page_segment_round_trip(source), "");
  }
}

// The IM1 records the reader is given, built by hand.
bytes name_data() { return bytes(8, 0x40); }
bytes descriptor(std::uint16_t w, std::uint16_t h, std::uint16_t cell_w = 0,
                 std::uint16_t cell_h = 0, std::size_t size = 36) {
  bytes d(size);
  auto put = [&](std::size_t at, std::uint16_t v) {
    if (at + 1 < d.size()) {
      d[at] = static_cast<std::uint8_t>(v >> 8);
      d[at + 1] = static_cast<std::uint8_t>(v);
    }
  };
  put(14, 2400);
  put(16, 2400);
  put(18, w);
  put(20, h);
  put(28, cell_w);
  put(30, cell_h);
  return field(0xD3A67B, d);
}
const bytes kNop = field(0xD3EEEE, {0x40});
const bytes kBegin =
    join({field(0xD3A85F, name_data()), field(0xD3A87B, name_data()), field(0xD3A77B, bytes(24))});
const bytes kEndImage = field(0xD3A97B, name_data());
const bytes kEnd = join({kEndImage, field(0xD3A95F, name_data())});
bytes raster(bytes data) { return field(0xD3EE7B, data); }

TEST(PageSegmentReader, TakesRowsSpreadOverRecordsInAnyWay) {
  // 16 x 3: rows AABB, CCDD, EEFF sent as AABBCCDD, EE, (a comment), FF.
  const bytes file = join({kBegin, descriptor(16, 3), raster({0xAA, 0xBB, 0xCC, 0xDD}),
                           raster({0xEE}), kNop, raster({0xFF}), kEnd});
  const decoded d = decode_file(memory_file(file), pse_type());
  ASSERT_EQ(d.rc, GBM_ERR_OK);
  EXPECT_EQ(d.pixels, (bytes{0xEE, 0xFF, 0, 0, 0xCC, 0xDD, 0, 0, 0xAA, 0xBB, 0, 0}));
}

TEST(PageSegmentReader, RefusesWhatItCannotRead) {
  const bytes row = raster({0x81});
  const bytes iid = descriptor(8, 2);
  bytes not_5a = join({kBegin, iid, row, row, kEnd});
  not_5a[17] = 0x5B;
  bytes short_length = join({kBegin, iid, row, row, kEnd});
  short_length[2] = 7;
  bytes cut = join({kBegin, iid, row, row});
  cut.pop_back();
  const struct {
    const char* what;
    bytes file;
    GBM_ERR rc;
  } cases[] = {
      {"empty file", {}, GBM_ERR_READ},
      {"second record without 5A", not_5a, GBM_ERR_PSEG_NOT_5A},
      {"length below the introducer", short_length, GBM_ERR_PSEG_BAD_RECORD},
      {"IOCA image", join({kBegin, field(0xD3A8FB, name_data()), iid, row, row, kEnd}),
       GBM_ERR_PSEG_BAD_RECORD},
      {"descriptor of 35 bytes", join({kBegin, descriptor(8, 2, 0, 0, 35), row, row, kEnd}),
       GBM_ERR_PSEG_BAD_RECORD},
      {"raster before the descriptor", join({kBegin, row, iid, row, kEnd}), GBM_ERR_PSEG_NO_IID},
      {"width 12", join({kBegin, descriptor(12, 2), raster({1, 2}), raster({1, 2}), kEnd}),
       GBM_ERR_PSEG_BAD_WIDTH},
      {"cells 8 x 1", join({kBegin, descriptor(8, 2, 8, 1), row, row, kEnd}), GBM_ERR_PSEG_CELLS},
      {"cells as large as the image", join({kBegin, descriptor(8, 2, 8, 2), row, row, kEnd}),
       GBM_ERR_OK},
      {"three rows for two", join({kBegin, iid, row, row, row, kEnd}), GBM_ERR_PSEG_RASTER_SIZE},
      {"image ends after one row", join({kBegin, iid, row, kEndImage, row, kEnd}),
       GBM_ERR_PSEG_RASTER_SIZE},
      {"second descriptor", join({kBegin, iid, iid, row, row, kEnd}), GBM_ERR_PSEG_UNEXPECTED},
      {"image ends before any row", join({kBegin, iid, kEnd, row, row}), GBM_ERR_PSEG_UNEXPECTED},
      {"begin among the rows", join({kBegin, iid, row, kBegin, row, kEnd}),
       GBM_ERR_PSEG_UNEXPECTED},
      {"height 0", join({kBegin, descriptor(8, 0), row, kEnd}), GBM_ERR_BAD_SIZE},
      {"width 32768", join({kBegin, descriptor(32768, 1), row, kEnd}), GBM_ERR_BAD_SIZE},
      {"rows the file cannot hold", join({kBegin, descriptor(8, 4000), row, kEnd}), GBM_ERR_READ},
      {"cut inside a record", cut, GBM_ERR_READ},
      {"no end of image", join({kBegin, iid, row, row}), GBM_ERR_READ},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const decoded d = decode_file(memory_file(c.file), pse_type());
    EXPECT_EQ(d.rc, c.rc);
    EXPECT_EQ(d.violation, "");
  }
}

}  // namespace
}  // namespace zgraphb_test
