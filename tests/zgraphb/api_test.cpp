// The C calls as the page-segment step uses them: file types, opening and
// creating files, argument checks, and the whole step from an
// ImageMagick bitmap to a page segment on disk.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

#include "decode_check.h"
#include "test_files.h"

extern "C" int zgraphb_c_guess_filetype(const char* fn);

namespace zgraphb_test {
namespace {

namespace fs = std::filesystem;

std::string short_name_of(int ft) {
  GBMFT type;
  return gbm_query_filetype(ft, &type) == GBM_ERR_OK ? type.short_name : "";
}

TEST(GbmFileTypes, GuessedFromTheWholeExtensionIgnoringCase) {
  const struct {
    const char* fn;
    const char* type;  // short name, or "" when no type fits
  } cases[] = {
      {"a.bmp", "Bitmap"},    {"/x/A.BMP", "Bitmap"}, {"scan.Rl8", "Bitmap"}, {"page.pse", "PSEG"},
      {"p.PSEG3820", "PSEG"}, {"p.pseg38pp", "PSEG"}, {"a.b.c.pseg", "PSEG"}, {"a.ps", ""},
      {"a.pseg38", ""},       {"no_extension", ""},   {"dir.pse/file", ""},   {"trailing.", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fn);
    int ft = -1;
    EXPECT_EQ(gbm_guess_filetype(c.fn, &ft), *c.type != 0 ? GBM_ERR_OK : GBM_ERR_NOT_FOUND);
    if (*c.type != 0) {
      EXPECT_EQ(short_name_of(ft), c.type);
    }
  }
  int ft = -1;
  EXPECT_EQ(gbm_guess_filetype(nullptr, &ft), GBM_ERR_BAD_ARG);
  EXPECT_EQ(gbm_guess_filetype("a.pse", nullptr), GBM_ERR_BAD_ARG);
  EXPECT_EQ(zgraphb_c_guess_filetype("from_c.pse"), file_type_of("x.pse"));
}

TEST(GbmCalls, RefuseArgumentsThatDoNotFitTheFile) {
  const memory_file bmp(read_fixture("colors16.bmp"));
  const int ft = file_type_of("x.bmp");
  GBM gbm;
  ASSERT_EQ(gbm_read_header("c.bmp", bmp.fd(), ft, &gbm, ""), GBM_ERR_OK);
  GBMRGB palette[256];
  bytes data(stride_of(gbm) * gbm.h);
  GBM wider = gbm;
  ++wider.w;
  EXPECT_EQ(gbm_read_palette(bmp.fd(), ft, &wider, palette), GBM_ERR_BAD_ARG);
  EXPECT_EQ(gbm_read_data(bmp.fd(), ft, &wider, data.data()), GBM_ERR_BAD_ARG);
  EXPECT_EQ(gbm_read_header(nullptr, bmp.fd(), ft, &gbm, ""), GBM_ERR_BAD_ARG);
  EXPECT_EQ(gbm_read_header("c.bmp", bmp.fd(), ft, &gbm, nullptr), GBM_ERR_BAD_ARG);
  EXPECT_EQ(gbm_read_header("c.bmp", bmp.fd(), 2, &gbm, ""), GBM_ERR_BAD_ARG);
  EXPECT_EQ(gbm_read_palette(bmp.fd(), ft, &gbm, nullptr), GBM_ERR_BAD_ARG);
  EXPECT_EQ(gbm_read_data(bmp.fd(), ft, nullptr, data.data()), GBM_ERR_BAD_ARG);
  GBMFT type;
  EXPECT_EQ(gbm_query_filetype(-1, &type), GBM_ERR_BAD_ARG);
  EXPECT_EQ(gbm_query_filetype(2, &type), GBM_ERR_BAD_ARG);
  EXPECT_EQ(gbm_query_filetype(ft, nullptr), GBM_ERR_BAD_ARG);

  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  EXPECT_EQ(gbm_read_header("pipe", ends[0], ft, &gbm, ""), GBM_ERR_READ);
  close(ends[0]);
  close(ends[1]);

  // A writer gets the descriptor texts of its own type only.
  GBMFT bmp_type;
  ASSERT_EQ(gbm_query_filetype(ft, &bmp_type), GBM_ERR_OK);
  memory_file out;
  const GBM one_bit{8, 1, 1};
  const std::uint8_t row[4] = {};
  EXPECT_EQ(gbm_write("o.pse", out.fd(), file_type_of("o.pse"), &one_bit, palette, row, "",
                      bmp_type.short_name, bmp_type.long_name, bmp_type.extensions),
            GBM_ERR_BAD_ARG);
  EXPECT_EQ(gbm_write("o.bmp", out.fd(), ft, &one_bit, palette, row, "", bmp_type.short_name,
                      bmp_type.long_name, bmp_type.extensions),
            GBM_ERR_NOT_SUPP);
  EXPECT_EQ(write_page_segment("o.pse", one_bit, nullptr, row, out), GBM_ERR_BAD_ARG);
}

class GbmFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "zgraphb_test_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string path(const char* name) const { return (dir_ / name).string(); }

  fs::path dir_;
};

TEST_F(GbmFiles, OpenAndCreateTakeGbmModesAndRefuseLinks) {
  const std::string file = path("a.bin"), link = path("link.bin");
  const mode_t old_mask = umask(022);
  int fd = gbm_io_create(file.c_str(), GBM_O_WRONLY | GBM_O_BINARY);
  umask(old_mask);
  ASSERT_GE(fd, 0);
  EXPECT_NE(fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
  ASSERT_EQ(write(fd, "hello", 5), 5);
  gbm_io_close(fd);
  struct stat st;
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);

  fd = gbm_io_open(file.c_str(), GBM_O_RDONLY | GBM_O_BINARY);
  ASSERT_GE(fd, 0);
  char got[8] = {};
  EXPECT_EQ(read(fd, got, sizeof got), 5);
  EXPECT_STREQ(got, "hello");
  EXPECT_EQ(write(fd, "x", 1), -1);  // opened for reading only
  gbm_io_close(fd);

  fd = gbm_io_create(file.c_str(), 0x8001);
  ASSERT_GE(fd, 0);
  gbm_io_close(fd);
  EXPECT_EQ(fs::file_size(file), 0u);  // created again means emptied

  fs::create_symlink(file, link);
  errno = 0;
  EXPECT_EQ(gbm_io_open(link.c_str(), 0x8000), -1);
  EXPECT_EQ(errno, ELOOP);
  EXPECT_EQ(gbm_io_create(link.c_str(), 0x8001), -1);

  const struct {
    const char* what;
    int fd;
  } refused[] = {
      {"unknown mode bit", gbm_io_open(file.c_str(), 0x8000 | 0x0400)},
      {"unknown access value", gbm_io_open(file.c_str(), 3)},
      {"create for reading", gbm_io_create(file.c_str(), 0x8000)},
      {"missing file", gbm_io_open(path("missing").c_str(), 0x8000)},
      {"no name", gbm_io_open(nullptr, 0x8000)},
  };
  for (const auto& r : refused) EXPECT_EQ(r.fd, -1) << r.what;
}

TEST_F(GbmFiles, FailedWriteIsReported) {
  const std::string file = path("ro.pse");
  std::ofstream(file) << "";
  const int fd = gbm_io_open(file.c_str(), 0x8000);
  ASSERT_GE(fd, 0);
  GBMFT type;
  const int ft = file_type_of(file.c_str());
  ASSERT_EQ(gbm_query_filetype(ft, &type), GBM_ERR_OK);
  const GBM image{8, 1, 1};
  const GBMRGB palette[2] = {{255, 255, 255}, {0, 0, 0}};
  const std::uint8_t row[4] = {0x81};
  EXPECT_EQ(gbm_write(file.c_str(), fd, ft, &image, palette, row, "", type.short_name,
                      type.long_name, type.extensions),
            GBM_ERR_WRITE);
  gbm_io_close(fd);
}

// The page-segment step of a conversion, call for call, on ImageMagick's
// bitmaps; ImageMagick's own decoding says where the black pixels are.
TEST_F(GbmFiles, PageSegmentStepPutsInkOnTheBlackPixelsWhateverThePaletteOrder) {
  for (const char* name : {"bilevel_black_first", "bilevel_white_first", "os2_bilevel"}) {
    SCOPED_TRACE(name);
    const std::string bitmap = path("page.bmp"), target = path("S1PAGE.pse");
    fs::copy_file(std::string(ZQ_TEST_DATA_DIR) + "/zgraphb/" + name + ".bmp", bitmap,
                  fs::copy_options::overwrite_existing);

    ASSERT_EQ(gbm_init(), GBM_ERR_OK);
    int ft_out = -1, ft_in = -1;
    ASSERT_EQ(gbm_guess_filetype(target.c_str(), &ft_out), GBM_ERR_OK);
    ASSERT_EQ(gbm_guess_filetype(bitmap.c_str(), &ft_in), GBM_ERR_OK);
    int fd = gbm_io_open(bitmap.c_str(), 0x8000);
    ASSERT_GE(fd, 0);
    GBM gbm;
    ASSERT_EQ(gbm_read_header(bitmap.c_str(), fd, ft_in, &gbm, ""), GBM_ERR_OK);
    GBMFT type;
    ASSERT_EQ(gbm_query_filetype(ft_out, &type), GBM_ERR_OK);
    ASSERT_NE(type.flags & GBM_FT_W1, 0);
    GBMRGB palette[256];
    ASSERT_EQ(gbm_read_palette(fd, ft_in, &gbm, palette), GBM_ERR_OK);
    bytes data(((gbm.w * gbm.bpp + 31) / 32) * 4 * gbm.h);
    ASSERT_EQ(gbm_read_data(fd, ft_in, &gbm, data.data()), GBM_ERR_OK);
    gbm_io_close(fd);
    fd = gbm_io_create(target.c_str(), 0x8001);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(gbm_pelx_pely(0, 0), GBM_ERR_OK);
    ASSERT_EQ(gbm_write(target.c_str(), fd, ft_out, &gbm, palette, data.data(), "", type.short_name,
                        type.long_name, type.extensions),
              GBM_ERR_OK);
    gbm_io_close(fd);
    ASSERT_EQ(gbm_deinit(), GBM_ERR_OK);

    std::ifstream in(target, std::ios::binary);
    const decoded pse =
        decode_file(memory_file(bytes(std::istreambuf_iterator<char>(in), {})), ft_out);
    ASSERT_EQ(pse.rc, GBM_ERR_OK);
    const bytes ppm = read_fixture(std::string(name) + ".ppm");
    const std::size_t samples = ppm.size() - 3 * 37 * 13;  // after the PPM header
    ASSERT_EQ(pse.image.w, 40);                            // 37 rounded up
    ASSERT_EQ(pse.image.h, 13);
    int wrong = 0;
    for (int y = 0; y < 13; ++y) {
      const std::uint8_t* row = pse.pixels.data() + (12 - y) * stride_of(pse.image);
      for (int x = 0; x < 40; ++x) {
        const bool ink = (row[x / 8] >> (7 - x % 8)) & 1;
        const bool black = x < 37 && ppm[samples + 3 * (y * 37 + x)] == 0;
        wrong += ink != black;
      }
    }
    EXPECT_EQ(wrong, 0);
  }
}

}  // namespace
}  // namespace zgraphb_test
