#include "engine/conversion.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "conversion_test_support.h"
#include "engine/report.h"
#include "engine_test_support.h"
#include "jobfile/formats.h"
#include "platform/fault_injecting_file_system.h"

namespace zq::engine {
namespace {

namespace fs = std::filesystem;
using testing::command_output;
using testing::frame_size;
using testing::frame_sizes;
using testing::make_image;
using testing::name_target;
using testing::names_in;
using testing::scratch_folder;
using testing::settings_in;
using testing::test_run;
using enum converter_result;

struct sample {
  const char* name;
  const char* make;  // arguments of "convert"
  int pages;
  int width;
  int height;
};

// One of each kind of TIFF the engine meets, one and several pages.
constexpr sample kSamples[] = {
    {"bilevel-g4.tif",
     "-size 64x48 xc:white -fill black -draw 'rectangle 8,8 40,30' -monochrome "
     "\\( +clone \\) \\( +clone \\) -units PixelsPerInch -density 200 -compress Group4",
     3, 64, 48},
    {"grey.tif",
     "-size 40x30 gradient:black-white -colorspace Gray -depth 8 -units PixelsPerInch "
     "-density 150",
     1, 40, 30},
    {"rgb-lzw.tif",
     "-size 50x20 xc:red xc:blue -depth 8 -units PixelsPerInch -density 100 -compress LZW", 2, 50,
     20},
    {"palette.tif",
     "-size 30x40 plasma:fractal -seed 3 -colors 16 -type Palette -units PixelsPerInch -density 72",
     1, 30, 40},
};

// Five pages of different widths, so that every page can be told apart.
constexpr const char* kFivePages =
    "-size 20x10 xc:black -size 30x10 xc:gray -size 40x10 xc:white -size 50x10 xc:red "
    "-size 60x10 xc:blue -depth 8";

class Conversion : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    sources_ = new scratch_folder;
    for (const sample& s : kSamples) {
      make_image(s.make, sources_->file(s.name));
    }
    make_image(kFivePages, sources_->file("five.tif"));
  }
  static void TearDownTestSuite() {
    delete sources_;
    sources_ = nullptr;
  }

  static std::string source(const std::string& name) { return sources_->file(name); }
  std::string out(const std::string& name) const { return folder_.file("out/" + name); }

  // A report to read back after the conversion.
  report_stream open_report() { return testing::open_report(folder_.file("report.log")); }
  std::string report_text() const { return folder_.read("report.log"); }

  static scratch_folder* sources_;
  scratch_folder folder_;
  report_stream no_report_;
};

scratch_folder* Conversion::sources_ = nullptr;

// Every format, from every kind of source, page by page: one file per page
// (three plane files for YUV) of the source's size, nothing else left behind.
TEST_F(Conversion, EveryFormatFromEveryKindOfSource) {
  for (const target_format& format : target_formats()) {
    for (const sample& s : kSamples) {
      const std::string what = std::string(format.report_name) + " from " + s.name;
      scratch_folder folder;
      test_run run(settings_in(folder, format.code));
      const engine_settings& settings = run.settings;
      run.settings.job.params_extract_all = 1;
      ASSERT_EQ(convert_source_file(run.run, source(s.name), no_report_), converted) << what;
      EXPECT_EQ(run.state.page_count, s.pages) << what;
      // Written page by page in a batch run: the progress line follows.
      EXPECT_EQ(run.messages.progress_text(), "OK\n\n") << what;
      EXPECT_EQ(run.messages.messages(), std::vector<std::string>{}) << what;

      std::vector<std::string> expected;
      for (int page = 1; page <= s.pages; ++page) {
        const std::string name =
            fs::path(s.name).stem().string() + (s.pages == 1 ? "" : "_" + std::to_string(page));
        if (format.code == kFormatYuv) {
          // One plane file per component: luma full size, chroma halved.
          const auto plane = [&](const char* suffix) {
            return fs::file_size(folder.file("out/" + name + suffix));
          };
          EXPECT_EQ(plane(".Y"), static_cast<std::uintmax_t>(s.width * s.height)) << what;
          const auto chroma =
              static_cast<std::uintmax_t>(((s.width + 1) / 2) * ((s.height + 1) / 2));
          EXPECT_EQ(plane(".U"), chroma) << what;
          EXPECT_EQ(plane(".V"), chroma) << what;
          for (const char* suffix : {".U", ".V", ".Y"}) {
            expected.push_back(name + suffix);
          }
          continue;
        }
        const std::string file = name + std::string(format.extension);
        expected.push_back(file);
        // The page segment's rows are whole bytes.
        const int width = format.code == kFormatPse ? (s.width + 7) / 8 * 8 : s.width;
        EXPECT_EQ(frame_sizes(folder.file("out/" + file), format.code),
                  (std::vector<frame_size>{{width, s.height}}))
            << what << " page " << page;
      }
      std::sort(expected.begin(), expected.end());
      EXPECT_EQ(names_in(settings.target_folder), expected) << what;
      EXPECT_TRUE(names_in(settings.temp_folder).empty()) << what;
    }
  }
}

// What the job file asks for is what an independent reader finds.
TEST_F(Conversion, JobSettingsReachTheFiles) {
  struct job_case {
    const char* what;
    int format_code;
    void (*adjust)(job_settings&);
    const char* source;
    const char* reader;                 // command run on the output file, "%s" its path
    std::vector<const char*> expected;  // texts the reader prints
  };
  const std::vector<job_case> cases = {
      {"TIFF Group 4 at 300 dpi",
       kFormatTiff,
       [](job_settings& j) {
         j.tiff_compression_type = 2;
         j.tiff_dpi = 300;
       },
       "bilevel-g4.tif",
       "tiffinfo '%s'",
       {"Compression Scheme: CCITT Group 4", "Resolution: 300, 300 pixels/inch"}},
      {"TIFF Group 3",
       kFormatTiff,
       [](job_settings& j) { j.tiff_compression_type = 1; },
       "bilevel-g4.tif",
       "tiffinfo '%s'",
       {"Compression Scheme: CCITT Group 3"}},
      {"TIFF Deflate",
       kFormatTiff,
       [](job_settings& j) { j.tiff_compression_type = 6; },
       "rgb-lzw.tif",
       "tiffinfo '%s'",
       {"Compression Scheme: AdobeDeflate", "Samples/Pixel: 3"}},
      {"TIFF JPEG keeps colour",
       kFormatTiff,
       [](job_settings& j) { j.tiff_compression_type = 3; },
       "rgb-lzw.tif",
       "tiffinfo '%s'",
       {"Compression Scheme: JPEG", "Samples/Pixel: 3"}},
      {"TIFF uncompressed CMYK",
       kFormatTiff,
       [](job_settings& j) { j.tiff_colorspace = 1; },
       "rgb-lzw.tif",
       "tiffinfo '%s'",
       {"Compression Scheme: None", "Photometric Interpretation: separated"}},
      {"PDF Group 4 at the source's resolution",
       kFormatPdf,
       [](job_settings& j) { j.pdf_compression_type = 1; },
       "bilevel-g4.tif",
       "pdfimages -list '%s'; pdfinfo '%s'",
       {"ccitt", "200   200", "23.04 x 17.28 pts"}},
      {"PDF JPEG",
       kFormatPdf,
       [](job_settings& j) { j.pdf_compression_type = 3; },
       "rgb-lzw.tif",
       "pdfimages -list '%s'",
       {"jpeg", "100   100"}},
      {"JPEG quality and progressive",
       kFormatJpeg,
       [](job_settings& j) {
         j.jpeg_quality = 33;
         j.jpeg_progressive = 1;
       },
       "grey.tif",
       "identify -format '%%Q %%[interlace]' '%s'",
       {"33 JPEG"}},
      {"PNG interlaced",
       kFormatPng,
       [](job_settings& j) { j.png_progressive = 1; },
       "grey.tif",
       "identify -format '%%[interlace]' '%s'",
       {"PNG"}},
      {"PCL resolution",
       kFormatPcl,
       [](job_settings& j) { j.pcl_dpi = 300; },
       "grey.tif",
       "grep -a -c -F \"$(printf '\\033*t300R')\" '%s'",
       {"1"}},
      {"BMP run-length",
       kFormatBmp,
       [](job_settings& j) { j.bmp_compress = 1; },
       "palette.tif",
       "identify -format '%%C' '%s'",
       {"RLE"}},
      {"size forced",
       kFormatPng,
       [](job_settings& j) { j.params_size = "17x9"; },
       "grey.tif",
       "identify -format '%%w %%h' '%s'",
       {"17 9"}},
      {"size in proportion",
       kFormatPng,
       [](job_settings& j) {
         j.params_size = "20x20";
         j.params_keep_proportions = 1;
       },
       "grey.tif",
       "identify -format '%%w %%h' '%s'",
       {"20 15"}},
  };
  for (const job_case& c : cases) {
    scratch_folder folder;
    test_run run(settings_in(folder, c.format_code));
    c.adjust(run.settings.job);
    ASSERT_EQ(convert_source_file(run.run, source(c.source), no_report_), converted) << c.what;
    const std::vector<std::string> outputs = names_in(run.settings.target_folder);
    ASSERT_EQ(outputs.size(), 1u) << c.what;
    const std::string path = folder.file("out/" + outputs[0]);
    std::string command = c.reader;
    for (std::size_t at; (at = command.find("%s")) != std::string::npos;) {
      command.replace(at, 2, path);
    }
    for (std::size_t at = 0; (at = command.find("%%", at)) != std::string::npos; ++at) {
      command.erase(at, 1);
    }
    const std::string seen = command_output(command + " 2>&1");
    for (const char* text : c.expected) {
      EXPECT_NE(seen.find(text), std::string::npos) << c.what << ": no \"" << text << "\" in\n"
                                                    << seen;
    }
  }
}

// extract_all, the single outputs and the names, in both kinds of run. The
// options reach every page of a single output.
TEST_F(Conversion, PagesOfAFivePageSource) {
  const std::vector<frame_size> five = {{20, 10}, {30, 10}, {40, 10}, {50, 10}, {60, 10}};
  struct pages_case {
    const char* what;
    int format_code;
    void (*adjust)(job_settings&);
    const char* target;  // nullptr: batch run
    std::vector<std::string> files;
    std::vector<frame_size> frames;  // of all files in name order
    const char* progress;            // what a caller watching the run sees
  };
  const std::vector<pages_case> cases = {
      {"page by page",
       kFormatPng,
       [](job_settings& j) { j.params_extract_all = 1; },
       nullptr,
       {"five_1.png", "five_2.png", "five_3.png", "five_4.png", "five_5.png"},
       five,
       "OK\n\n"},
      {"first page only",
       kFormatPng,
       [](job_settings&) {},
       nullptr,
       {"five.png"},
       {{20, 10}},
       "OK\n\n"},
      {"multi-image GIF",
       kFormatGif,
       [](job_settings& j) {
         j.params_extract_all = 1;
         j.gif_adjoin = 1;
       },
       nullptr,
       {"five.gif"},
       five,
       ""},
      {"multi-image GIF, every page resized",
       kFormatGif,
       [](job_settings& j) {
         j.params_extract_all = 1;
         j.gif_adjoin = 1;
         j.params_size = "8x4";
       },
       nullptr,
       {"five.gif"},
       std::vector<frame_size>(5, {8, 4}),
       ""},
      {"DCX",
       kFormatPcx,
       [](job_settings& j) {
         j.params_extract_all = 1;
         j.pcx_adjoin = 1;
       },
       nullptr,
       {"five.dcx"},
       five,
       ""},
      {"single-file TIFF with adjoin",
       kFormatTiff,
       [](job_settings& j) {
         j.params_extract_all = 1;
         j.tiff_adjoin = 1;
         j.params_size = "8x4";
       },
       "x.tif",
       {"x.tif"},
       std::vector<frame_size>(5, {8, 4}),
       ""},
      {"single-file PDF with adjoin",
       kFormatPdf,
       [](job_settings& j) {
         j.params_extract_all = 1;
         j.pdf_adjoin = 1;
       },
       "x.pdf",
       {"x.pdf"},
       five,
       ""},
      {"single-file page by page",
       kFormatJpeg,
       [](job_settings& j) { j.params_extract_all = 1; },
       "x.jpg",
       {"x_1.jpg", "x_2.jpg", "x_3.jpg", "x_4.jpg", "x_5.jpg"},
       five,
       ""},
  };
  for (const pages_case& c : cases) {
    scratch_folder folder;
    test_run run(settings_in(folder, c.format_code));
    c.adjust(run.settings.job);
    if (c.target != nullptr) {
      name_target(run.settings, folder.file(std::string("out/") + c.target));
      EXPECT_EQ(convert_source_to_target(run.run, source("five.tif"), no_report_), converted)
          << c.what;
      EXPECT_EQ(run.state.files_count, 1u) << c.what;
    } else {
      EXPECT_EQ(convert_source_file(run.run, source("five.tif"), no_report_), converted) << c.what;
      EXPECT_EQ(run.state.files_count, 0u) << c.what;  // the batch walk counts
    }
    EXPECT_EQ(run.messages.progress_text(), c.progress) << c.what;
    EXPECT_EQ(names_in(folder.file("out")), c.files) << c.what;
    std::vector<frame_size> frames;
    for (const std::string& file : names_in(folder.file("out"))) {
      for (const frame_size& f : frame_sizes(folder.file("out/" + file), c.format_code)) {
        frames.push_back(f);
      }
    }
    EXPECT_EQ(frames, c.frames) << c.what;
  }
}

// A raw fax page converts in both kinds of run.
TEST_F(Conversion, RawFaxInBothRuns) {
  testing::make_raw_fax("-size 96x20 xc:white -fill black -draw 'rectangle 4,4 40,12'",
                        folder_.file("fax.tif"));
  for (const bool batch : {true, false}) {
    scratch_folder folder;
    test_run run(settings_in(folder, kFormatPng));
    if (!batch) {
      name_target(run.settings, folder.file("out/fax.png"));
    }
    const converter_result result =
        batch ? convert_source_file(run.run, folder_.file("fax.tif"), no_report_)
              : convert_source_to_target(run.run, folder_.file("fax.tif"), no_report_);
    EXPECT_EQ(result, converted) << (batch ? "batch" : "single file");
    const std::vector<frame_size> frames = frame_sizes(folder.file("out/fax.png"), kFormatPng);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].height, 20);
  }
}

// The gray bytes of page `page` of `file`, one per pixel, top row first.
std::string grey_pixels(const scratch_folder& folder, const std::string& file, int page) {
  const std::string raw = folder.file("page.gray");
  make_image("'" + file + "[" + std::to_string(page) + "]' -depth 8", raw, "GRAY:");
  std::ifstream in(raw, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Each page becomes its own page segment, with ink exactly where the page is
// dark; the temporary bitmaps are gone afterwards.
TEST_F(Conversion, PageSegmentsHaveInkWhereThePagesAreDark) {
  const std::string pages = folder_.file("pages.tif");
  make_image(
      "-size 45x20 xc:white -fill black -draw 'rectangle 2,3 20,9' -monochrome "
      "\\( -size 45x20 xc:white -fill black -draw 'circle 30,10 30,4' -monochrome \\) "
      "\\( -size 45x20 xc:black -fill white -draw 'rectangle 10,5 30,15' -monochrome \\) "
      "-compress Group4",
      pages);
  for (const char* target : {static_cast<const char*>(nullptr), "seg.pse"}) {
    scratch_folder folder;
    test_run run(settings_in(folder, kFormatPse));
    run.settings.job.params_extract_all = 1;
    run.settings.job.pse_horz_dpi = 300;
    run.settings.job.pse_vert_dpi = 300;
    const std::string base = target != nullptr ? "seg" : "pages";
    if (target != nullptr) {
      name_target(run.settings, folder.file(std::string("out/") + target));
    }
    const converter_result result = target != nullptr
                                        ? convert_source_to_target(run.run, pages, no_report_)
                                        : convert_source_file(run.run, pages, no_report_);
    ASSERT_EQ(result, converted) << base;
    EXPECT_EQ(names_in(folder.file("out")),
              (std::vector<std::string>{base + "_1.pse", base + "_2.pse", base + "_3.pse"}));
    EXPECT_TRUE(names_in(run.settings.temp_folder).empty()) << base;
    for (int page = 0; page < 3; ++page) {
      const testing::decoded_segment segment = testing::decode_segment(
          folder.file("out/" + base + "_" + std::to_string(page + 1) + ".pse"));
      const std::string grey = grey_pixels(folder, pages, page);
      ASSERT_EQ(segment.header.h, 20);
      int ink = 0;
      for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 45; ++x) {
          const bool dark =
              static_cast<unsigned char>(grey[static_cast<std::size_t>(y * 45 + x)]) < 128;
          ASSERT_EQ(segment.ink(x, y), dark)
              << base << " page " << page + 1 << " at " << x << "," << y;
          ink += dark ? 1 : 0;
        }
      }
      EXPECT_GT(ink, 0);
    }
  }
}

// The folders above an output are made as it is written, from the target
// folder down to the source's own folder when the run reproduces it.
TEST_F(Conversion, MissingTargetFoldersAreCreatedWithTheirParents) {
  {
    scratch_folder folder;
    test_run run(settings_in(folder, kFormatPng));
    run.settings.target_folder = folder.file("new/deeper/out");
    run.settings.job.params_reproduce_path = 1;
    ASSERT_EQ(convert_source_file(run.run, source("grey.tif"), no_report_), converted);
    EXPECT_TRUE(fs::is_regular_file(folder.file("new/deeper/out/" + sources_->path() + "grey.png")))
        << sources_->path();
  }
  {
    scratch_folder folder;
    test_run run(settings_in(folder, kFormatPng));
    name_target(run.settings, folder.file("new/deeper/g.png"));
    ASSERT_EQ(convert_source_to_target(run.run, source("grey.tif"), no_report_), converted);
    EXPECT_EQ(names_in(folder.file("new/deeper")), std::vector<std::string>{"g.png"});
  }
}

// A failed write leaves nothing under the output's name, no staging folder,
// and the file is not counted as converted; the failure is said.
TEST_F(Conversion, FailedWritesLeaveNothingBehind) {
  // A folder that cannot be made: a file stands in its way, or the file
  // system refuses it.
  for (const bool refused : {false, true}) {
    SCOPED_TRACE(refused ? "refused by the file system" : "a file in the way");
    scratch_folder folder;
    platform::fault_injecting_file_system files;
    test_run run(settings_in(folder, kFormatPng), files);
    const std::string output =
        folder.file(refused ? "out/deeper/g.png" : "out/blocked/deeper/g.png");
    if (refused) {
      files.fail_make_folder("deeper");
    } else {
      folder.write("out/blocked", "");
    }
    name_target(run.settings, output);
    report_stream report = open_report();
    run.settings.job.report_create_report = 1;
    EXPECT_EQ(convert_source_to_target(run.run, source("grey.tif"), report), not_converted);
    report.close();
    EXPECT_EQ(names_in(folder.file("out")),
              refused ? std::vector<std::string>{} : std::vector<std::string>{"blocked"});
    EXPECT_EQ(run.state.files_count, 0u);
    EXPECT_EQ(report_text(), "Could not convert " + source("grey.tif") + "\r\n");
    ASSERT_EQ(run.messages.messages().size(), 1u);
    EXPECT_TRUE(run.messages.messages()[0].starts_with("cannot write " + output + ": "))
        << run.messages.messages()[0];
  }
  // A write that runs out of room half-way, in a plain, a three-plane and a
  // page-segment format. The image library and the bitmap library write
  // their files by name, past the run's file system, so the file size limit
  // stands in for a full disk here. The limits cut the TIFF, the YUV luma
  // plane only, the page segment's bitmap, and the page segment itself.
  const struct {
    int format_code;
    rlim_t limit;
  } cut[] = {{kFormatTiff, 600}, {kFormatYuv, 600}, {kFormatPse, 100}, {kFormatPse, 400}};
  for (const auto [format_code, limit] : cut) {
    scratch_folder folder;
    test_run run(settings_in(folder, format_code));
    run.settings.job.params_extract_all = 1;
    struct rlimit old_limit {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
    const sighandler_t old_handler = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old_limit;
    small.rlim_cur = limit;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const converter_result result = convert_source_file(run.run, source("rgb-lzw.tif"), no_report_);
    setrlimit(RLIMIT_FSIZE, &old_limit);
    signal(SIGXFSZ, old_handler);
    EXPECT_EQ(result, not_converted) << format_code << " cut at " << limit;
    EXPECT_TRUE(names_in(run.settings.target_folder).empty()) << format_code << " cut at " << limit;
    EXPECT_TRUE(names_in(run.settings.temp_folder).empty()) << format_code << " cut at " << limit;
    ASSERT_EQ(run.messages.messages().size(), 1u) << format_code << " cut at " << limit;
    EXPECT_TRUE(run.messages.messages()[0].starts_with("cannot write "))
        << run.messages.messages()[0];
    EXPECT_EQ(run.messages.progress_text(), "") << format_code << " cut at " << limit;
  }
}

// What of a write goes through the run's file system: the staging folders
// beside the outputs and the temporary bitmap, the moves into place, and the
// joined files that the engine writes itself. Whichever of them fails, the
// source is not converted, nothing is left under an output's name, no
// staging folder and no bitmap stay behind, and the failure is said.
TEST_F(Conversion, FailuresOfTheFileSystemLeaveNothingBehind) {
  using fault_fs = platform::fault_injecting_file_system;
  struct fault_case {
    const char* what;
    int format_code;
    void (*adjust)(job_settings&);
    const char* source;
    std::function<void(fault_fs&, const scratch_folder&)> arm;
  };
  const auto all_pages = [](job_settings& j) { j.params_extract_all = 1; };
  const auto joined_gif = [](job_settings& j) {
    j.params_extract_all = 1;
    j.gif_adjoin = 1;
  };
  const auto dcx = [](job_settings& j) {
    j.params_extract_all = 1;
    j.pcx_adjoin = 1;
  };
  const std::vector<fault_case> cases = {
      {"PNG, staging folder refused", kFormatPng, all_pages, "rgb-lzw.tif",
       [](fault_fs& f, const scratch_folder& d) { f.fail_make_folder(d.file("out/")); }},
      {"PNG, move into place refused", kFormatPng, all_pages, "rgb-lzw.tif",
       [](fault_fs& f, const scratch_folder& d) { f.fail_rename(d.file("out/")); }},
      {"TIFF, move into place refused", kFormatTiff, all_pages, "bilevel-g4.tif",
       [](fault_fs& f, const scratch_folder& d) { f.fail_rename(d.file("out/"), ENOSPC); }},
      {"YUV, every plane's move refused", kFormatYuv, nullptr, "grey.tif",
       [](fault_fs& f, const scratch_folder& d) { f.fail_rename(d.file("out/")); }},
      {"PDF page, pages folder refused", kFormatPdf, nullptr, "grey.tif",
       [](fault_fs& f, const scratch_folder& d) { f.fail_make_folder(d.file("out/")); }},
      {"PDF page, move into place refused", kFormatPdf, nullptr, "grey.tif",
       [](fault_fs& f, const scratch_folder& d) { f.fail_rename(d.file("out/grey")); }},
      {"PSE, bitmap's staging folder refused", kFormatPse, nullptr, "bilevel-g4.tif",
       [](fault_fs& f, const scratch_folder& d) { f.fail_make_folder(d.file("tmp/")); }},
      {"PSE, bitmap's move refused", kFormatPse, nullptr, "bilevel-g4.tif",
       [](fault_fs& f, const scratch_folder& d) { f.fail_rename(d.file("tmp/")); }},
      {"PSE, segment's staging folder refused", kFormatPse, nullptr, "bilevel-g4.tif",
       [](fault_fs& f, const scratch_folder& d) { f.fail_make_folder(d.file("out/")); }},
      {"PSE, segment's move refused", kFormatPse, nullptr, "bilevel-g4.tif",
       [](fault_fs& f, const scratch_folder& d) { f.fail_rename(d.file("out/")); }},
      {"multi-image GIF, disk full in the join", kFormatGif, joined_gif, "five.tif",
       [](fault_fs& f, const scratch_folder&) { f.fail_writes_after(60); }},
      {"multi-image GIF, joined file refused", kFormatGif, joined_gif, "five.tif",
       [](fault_fs& f, const scratch_folder& d) { f.fail_open_for_write(d.file("out/")); }},
      {"DCX, disk full in the join", kFormatPcx, dcx, "five.tif",
       [](fault_fs& f, const scratch_folder&) { f.fail_writes_after(4200); }},
      {"DCX, close of the joined file fails", kFormatPcx, dcx, "five.tif",
       [](fault_fs& f, const scratch_folder& d) { f.fail_close(d.file("out/")); }},
      {"DCX, move into place refused", kFormatPcx, dcx, "five.tif",
       [](fault_fs& f, const scratch_folder& d) { f.fail_rename(d.file("out/five")); }},
  };
  for (const fault_case& c : cases) {
    SCOPED_TRACE(c.what);
    scratch_folder folder;
    fault_fs files;
    c.arm(files, folder);
    test_run run(settings_in(folder, c.format_code), files);
    if (c.adjust != nullptr) {
      c.adjust(run.settings.job);
    }
    EXPECT_EQ(convert_source_file(run.run, source(c.source), no_report_), not_converted);
    EXPECT_EQ(names_in(folder.file("out")), std::vector<std::string>{});
    EXPECT_EQ(names_in(folder.file("tmp")), std::vector<std::string>{});
    ASSERT_EQ(run.messages.messages().size(), 1u);
    EXPECT_TRUE(run.messages.messages()[0].starts_with("cannot write "))
        << run.messages.messages()[0];
    EXPECT_EQ(run.messages.progress_text(), "");
  }
}

// The planes of a YUV output are one output: when one of them cannot be moved
// into place, none of this run's planes may be left there, and the planes of
// an earlier run under the same names stay as they were.
TEST_F(Conversion, PlanesOfOneOutputAreMovedAllOrNone) {
  for (const bool earlier_run : {false, true}) {
    for (const char* refused : {".U", ".V", ".Y"}) {
      SCOPED_TRACE(std::string("move of ") + refused + " refused" +
                   (earlier_run ? ", an earlier run's planes in place" : ""));
      scratch_folder folder;
      platform::fault_injecting_file_system files;
      files.fail_rename(refused);
      test_run run(settings_in(folder, kFormatYuv), files);
      std::vector<std::string> left;
      if (earlier_run) {
        for (const char* plane : {".U", ".V", ".Y"}) {
          folder.write("out/grey" + std::string(plane), std::string("earlier ") + plane);
          left.push_back("grey" + std::string(plane));
        }
      }
      EXPECT_EQ(convert_source_file(run.run, source("grey.tif"), no_report_), not_converted);
      EXPECT_EQ(names_in(folder.file("out")), left);
      for (const std::string& name : left) {
        EXPECT_EQ(folder.read("out/" + name), "earlier " + name.substr(4)) << name;
      }
      ASSERT_EQ(run.messages.messages().size(), 1u);
      EXPECT_TRUE(
          run.messages.messages()[0].starts_with("cannot write " + folder.file("out/grey.yuv")))
          << run.messages.messages()[0];
    }
  }
}

// Files that are not TIFF at all but would make the image library run an
// interpreter or a script are never handed to one.
TEST_F(Conversion, DisguisedDocumentsAreNeverInterpreted) {
  const struct {
    const char* name;
    const char* bytes;
  } disguised[] = {
      {"postscript.tif",
       "%!PS-Adobe-3.0\n/Helvetica findfont 12 scalefont setfont\n"
       "10 10 moveto (x) show showpage\n"},
      {"eps.tif", "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 10 10\nnewpath 0 0 moveto\n"},
      {"pdf.tif",
       "%PDF-1.4\n1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj\n"
       "2 0 obj << /Type /Pages /Kids [] /Count 0 >> endobj\ntrailer << /Root 1 0 R >>\n"
       "%%EOF\n"},
      {"svg.tif",
       "<?xml version=\"1.0\"?><svg xmlns=\"http://www.w3.org/2000/svg\" width=\"9\" "
       "height=\"9\"><rect width=\"4\" height=\"4\"/></svg>"},
      {"mvg.tif",
       "push graphic-context\nviewbox 0 0 9 9\nrectangle 0 0 4 4\npop graphic-context\n"},
  };
  for (const auto& d : disguised) {
    for (const bool batch : {true, false}) {
      scratch_folder folder;
      folder.write(d.name, d.bytes);
      test_run run(settings_in(folder, kFormatPng));
      run.settings.job.report_create_report = 1;
      if (!batch) {
        name_target(run.settings, folder.file("out/x.png"));
      }
      report_stream report = testing::open_report(folder.file("report.log"));
      const std::string path = folder.file(d.name);
      const converter_result result = batch ? convert_source_file(run.run, path, report)
                                            : convert_source_to_target(run.run, path, report);
      report.close();
      EXPECT_EQ(result, not_converted) << d.name;
      EXPECT_TRUE(names_in(folder.file("out")).empty()) << d.name;
      const std::string text = folder.read("report.log");
      EXPECT_EQ(text.rfind("The file " + path + " cannot be read by Zembrit_Quarnel\r\n", 0), 0u)
          << d.name << ": " << text;
      // The batch line says why; the single-file report names the file only.
      EXPECT_EQ(text.find('\t') != std::string::npos, batch) << d.name << ": " << text;
    }
  }
}

// Real-world files of every kind: each converts or gets its report line;
// nothing crashes (run under the sanitizers too).
TEST_F(Conversion, EveryCorpusFileConvertsOrIsReported) {
  const std::string corpus = std::string(ZQ_TEST_DATA_DIR) + "/corpus";
  int converted_files = 0;
  for (const auto& entry : fs::directory_iterator(corpus)) {
    const std::string path = entry.path().string();
    if (entry.path().extension() == ".md" || entry.path().extension() == ".txt") {
      continue;
    }
    scratch_folder folder;
    test_run run(settings_in(folder, kFormatPng));
    run.settings.job.params_extract_all = 1;
    run.settings.job.report_create_report = 1;
    report_stream report = testing::open_report(folder.file("report.log"));
    const converter_result result = convert_source_file(run.run, path, report);
    report.close();
    if (result == converter_result::converted) {
      ++converted_files;
      EXPECT_FALSE(names_in(run.settings.target_folder).empty()) << path;
    } else {
      EXPECT_EQ(result, not_converted) << path;
      EXPECT_EQ(folder.read("report.log").rfind("The file " + path + " cannot be read", 0), 0u)
          << path;
    }
  }
  EXPECT_GT(converted_files, 20);
}

}  // namespace
}  // namespace zq::engine
