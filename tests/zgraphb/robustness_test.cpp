// Thousands of damaged variants of valid bitmaps and page segments, from a
// fixed seed so that every run sees the same ones. Both readers take each
// variant; each must end in an error code or a clean image, stay inside its
// buffers, and every 1 bpp image they accept must survive the writer.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "decode_check.h"
#include "test_files.h"

namespace zgraphb_test {
namespace {

constexpr int kVariantsPerSeed = 400;
constexpr std::size_t kHeaderBytes = 64;  // where most fields of both formats lie

bytes mutate(const bytes& seed, std::mt19937& random) {
  bytes v = seed;
  auto below = [&](std::size_t n) { return n == 0 ? 0 : random() % n; };
  switch (random() % 4) {
    case 0:  // cut anywhere
      v.resize(below(v.size()));
      break;
    case 1:  // a few bytes anywhere get any value
      for (unsigned n = 1 + random() % 4; n > 0; --n) {
        v[below(v.size())] = static_cast<std::uint8_t>(random());
      }
      break;
    case 2: {  // a header field gets an extreme value
      static constexpr std::uint8_t kExtremes[] = {0x00, 0xFF, 0x7F, 0x80, 0x01};
      const std::size_t at = below(std::min(v.size(), kHeaderBytes));
      const std::uint8_t value = kExtremes[random() % std::size(kExtremes)];
      for (std::size_t i = at; i < std::min(v.size(), at + 1 + random() % 4); ++i) v[i] = value;
      break;
    }
    default: {  // a stretch is dropped or repeated, shifting what follows
      const std::size_t at = below(v.size()), n = 1 + below(16);
      const std::size_t end = std::min(v.size(), at + n);
      if (random() % 2 == 0) {
        v.erase(v.begin() + at, v.begin() + end);
      } else {
        const bytes copy(v.begin() + at, v.begin() + end);
        v.insert(v.begin() + at, copy.begin(), copy.end());
      }
      break;
    }
  }
  return v;
}

std::vector<bytes> seeds() {
  std::vector<bytes> out;
  for (const char* name :
       {"bilevel_black_first", "bilevel_white_first", "os2_bilevel", "colors16", "os2_colors16",
        "colors200", "colors200_rle8", "v5_rle8", "truecolor", "os2_truecolor"}) {
    out.push_back(read_fixture(std::string(name) + ".bmp"));
  }
  out.push_back(
      make_bmp(6, 3, 4, 2, bytes{0x03, 0x12, 0x00, 0x03, 0x34, 0x50, 0x00, 0x00, 0x02, 0x77,
                                 0x00, 0x00, 0x00, 0x02, 0x03, 0x00, 0x01, 0xF0, 0x00, 0x01}));
  // Page segments of two of the bitmaps, as the writer makes them.
  for (const char* name : {"bilevel_black_first", "os2_bilevel"}) {
    const decoded d =
        decode_file(memory_file(read_fixture(std::string(name) + ".bmp")), file_type_of("x.bmp"));
    memory_file pse;
    EXPECT_EQ(write_page_segment("seed.pse", d.image, d.palette.data(), d.pixels.data(), pse),
              GBM_ERR_OK);
    out.push_back(pse.bytes());
  }
  return out;
}

TEST(ReaderRobustness, DamagedVariantsOfValidFilesAreReadSafely) {
  std::mt19937 random(20240611);
  const int types[] = {file_type_of("x.bmp"), file_type_of("x.pse")};
  int accepted = 0, refused = 0;
  memory_file file;
  for (const bytes& seed : seeds()) {
    ASSERT_FALSE(seed.empty());
    for (int i = 0; i < kVariantsPerSeed; ++i) {
      file.replace(mutate(seed, random));
      for (const int ft : types) {
        const decoded d = decode_file(file, ft);
        ASSERT_EQ(d.violation, "") << "variant " << i << ", type " << ft;
        ASSERT_EQ(page_segment_round_trip(d), "") << "variant " << i << ", type " << ft;
        ++(d.rc == GBM_ERR_OK ? accepted : refused);
      }
    }
  }
  // The mix has to reach deep into the readers, not stop at the first check.
  EXPECT_GT(accepted, 1000);
  EXPECT_GT(refused, 1000);
}

}  // namespace
}  // namespace zgraphb_test
