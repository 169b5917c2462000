// What the engine's bridge to ImageMagick must hold whatever the library does
// by itself: names taken as they are, YUV planes of any page size, the PNG
// quality of the job file, the PostScript title, and a pixel cache that never
// maps a file.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "conversion_test_support.h"
#include "engine/conversion.h"
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

std::string file_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Makes an image whose name the command line would take for a template: made
// under a plain name, then given its own.
void make_named_image(const std::string& args, const std::string& path) {
  const std::string plain = (fs::path(path).parent_path() / "plain.tif").string();
  make_image(args, plain);
  fs::rename(plain, path);
}

// The sizes an independent reader finds in a file whose name the reader would
// take for a template: read through a plain copy in `folder`.
std::vector<frame_size> sizes_through_copy(const std::string& path, int format_code,
                                           const scratch_folder& folder) {
  const std::string copy = folder.file("copy" + fs::path(path).extension().string());
  fs::copy_file(path, copy, fs::copy_options::overwrite_existing);
  std::vector<frame_size> sizes = frame_sizes(copy, format_code);
  fs::remove(copy);
  return sizes;
}

// ---------------------------------------------------------------------------
// A '%' in a name is part of the name, on every route: source names (read
// page by page and pinged for their page count), output names, target
// folders, the page segment's temporary bitmap, the pages of a PDF.

TEST(MagickFaults, PercentSignsInNamesAreTakenLiterally) {
  struct percent_case {
    const char* what;
    int format_code;
    const char* source;         // made with three 40x30 pages of different colours
    const char* target_folder;  // under the scratch folder
    std::vector<std::string> outputs;
  };
  // clang-format off
  const std::vector<percent_case> cases = {
      {"a scene template in the source name", kFormatPng, "x%d.tif", "out",
       {"x%d_1.png", "x%d_2.png", "x%d_3.png"}},
      {"a template that swallows letters", kFormatBmp, "100%done.tif", "out",
       {"100%done_1.bmp", "100%done_2.bmp", "100%done_3.bmp"}},
      {"an escape and an option reference", kFormatTiff, "a%%b%[filename:x]%.tif", "out",
       {"a%%b%[filename:x]%_1.tif", "a%%b%[filename:x]%_2.tif", "a%%b%[filename:x]%_3.tif"}},
      {"a template in the target folder", kFormatPng, "plain.tif", "out%d",
       {"plain_1.png", "plain_2.png", "plain_3.png"}},
      {"the pages of a PDF in such a folder", kFormatPdf, "p%d.tif", "out%d",
       {"p%d_1.pdf", "p%d_2.pdf", "p%d_3.pdf"}},
      {"the planes of YUV pages", kFormatYuv, "y%d.tif", "out%03d",
       {"y%d_1.U", "y%d_1.V", "y%d_1.Y", "y%d_2.U", "y%d_2.V", "y%d_2.Y", "y%d_3.U", "y%d_3.V",
        "y%d_3.Y"}},
      {"a PostScript file", kFormatEps, "e%x.tif", "out%o",
       {"e%x_1.eps", "e%x_2.eps", "e%x_3.eps"}},
      {"the page segment's bitmap in the temp folder", kFormatPse, "s%d.tif", "out",
       {"s%d_1.pse", "s%d_2.pse", "s%d_3.pse"}},
  };
  // clang-format on
  for (const percent_case& c : cases) {
    SCOPED_TRACE(c.what);
    scratch_folder folder;
    const std::string source = folder.file(std::string("in/") + c.source);
    make_named_image("-size 40x30 xc:red xc:gray xc:blue -depth 8", source);
    // A file under the name the template would give, which must stay as it is.
    folder.write("in/x0.tif", "not touched");
    test_run run(settings_in(folder, c.format_code));
    run.settings.target_folder = folder.file(c.target_folder);
    fs::create_directories(run.settings.target_folder);
    run.settings.job.params_extract_all = 1;
    report_stream no_report;

    EXPECT_EQ(convert_source_file(run.run, source, no_report), converted);
    EXPECT_EQ(run.messages.messages(), std::vector<std::string>{});
    EXPECT_EQ(run.state.page_count, 3);
    EXPECT_EQ(names_in(run.settings.target_folder), c.outputs);
    EXPECT_EQ(names_in(run.settings.temp_folder), std::vector<std::string>{});
    // Nothing anywhere else: no "out0", no "x0.png" beside the source.
    std::vector<std::string> top = {"in", "out", "tmp", c.target_folder};
    std::sort(top.begin(), top.end());
    top.erase(std::unique(top.begin(), top.end()), top.end());
    EXPECT_EQ(names_in(folder.path()), top);
    if (std::string(c.target_folder) != "out") {
      EXPECT_EQ(names_in(folder.file("out")), std::vector<std::string>{});
    }
    std::vector<std::string> inputs = {c.source, "x0.tif"};
    std::sort(inputs.begin(), inputs.end());
    EXPECT_EQ(names_in(folder.file("in")), inputs);
    EXPECT_EQ(folder.read("in/x0.tif"), "not touched");
    if (c.format_code != kFormatYuv && names_in(run.settings.target_folder) == c.outputs) {
      for (const std::string& output : c.outputs) {
        EXPECT_EQ(
            sizes_through_copy(run.settings.target_folder + "/" + output, c.format_code, folder),
            (std::vector<frame_size>{{40, 30}}))
            << output;
      }
    }
  }
}

// ---------------------------------------------------------------------------
// YUV: the writer resamples a page to even sizes before it writes its planes;
// what it writes is the output, plane for plane what the command line's
// "convert <page> -interlace partition <name>.yuv" writes, for any page size.

TEST(MagickFaults, YuvPlanesOfEveryPageSizeAreTheCommandLines) {
  struct yuv_case {
    const char* what;
    const char* make;  // arguments of "convert"
    int pages;
  };
  const std::vector<yuv_case> cases = {
      {"even both ways", "-size 6x4 gradient:red-blue -depth 8", 1},
      {"odd width", "-size 5x4 gradient:red-blue -depth 8", 1},
      {"odd height", "-size 6x3 gradient:green-white -depth 8", 1},
      {"odd both ways", "-size 7x5 plasma:fractal -seed 5 -depth 8", 1},
      {"a single pixel", "-size 1x1 xc:orange -depth 8", 1},
      {"sixteen bits a sample", "-size 9x3 gradient:black-yellow -depth 16", 1},
      {"pages of odd sizes, one after the other",
       "-size 5x3 xc:red -size 7x4 xc:blue -size 6x2 xc:green -size 3x9 xc:gray -depth 8", 4},
  };
  for (const yuv_case& c : cases) {
    SCOPED_TRACE(c.what);
    scratch_folder folder;
    const std::string source = folder.file("in/page.tif");
    make_image(c.make, source);
    test_run run(settings_in(folder, kFormatYuv));
    run.settings.job.params_extract_all = 1;
    report_stream no_report;
    ASSERT_EQ(convert_source_file(run.run, source, no_report), converted)
        << ::testing::PrintToString(run.messages.messages());
    EXPECT_EQ(run.messages.messages(), std::vector<std::string>{});
    std::vector<std::string> expected;
    for (int page = 0; page < c.pages; ++page) {
      const std::string name = c.pages == 1 ? "page" : "page_" + std::to_string(page + 1);
      const std::string reference = folder.file("ref/" + std::to_string(page) + ".yuv");
      fs::create_directories(folder.file("ref"));
      // The command line's YUV writer ends with a failure code even when it
      // has written every plane; the planes themselves tell.
      (void)std::system(("convert '" + source + "[" + std::to_string(page) +
                         "]' -interlace partition '" + reference + "'")
                            .c_str());
      for (const char* plane : {".U", ".V", ".Y"}) {
        expected.push_back(name + plane);
        const std::string command_line =
            file_bytes(folder.file("ref/" + std::to_string(page) + plane));
        ASSERT_FALSE(command_line.empty()) << name << plane;
        EXPECT_EQ(folder.read("out/" + name + plane), command_line) << name << plane;
      }
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names_in(folder.file("out")), expected);
  }
}

// The three planes of a page are one output: a plane that cannot be written
// whole fails the page, and none of its planes is left, whichever plane it is.
TEST(MagickFaults, AYuvPlaneThatCannotBeWrittenFailsThePage) {
  using fault_fs = platform::fault_injecting_file_system;
  struct plane_fault {
    const char* what;
    void (*arm)(fault_fs&);
  };
  const std::vector<plane_fault> faults = {
      {"the luma plane cannot be made", [](fault_fs& f) { f.fail_open_for_write("page.Y"); }},
      {"a chroma plane cannot be made", [](fault_fs& f) { f.fail_open_for_write("page.U"); }},
      {"the disk fills in the luma plane", [](fault_fs& f) { f.fail_writes_after(10); }},
      // 6x4: 24 luma bytes, then 6 for each chroma plane.
      {"the disk fills in the first chroma plane", [](fault_fs& f) { f.fail_writes_after(27); }},
      {"the disk fills in the last chroma plane", [](fault_fs& f) { f.fail_writes_after(33); }},
      {"the last plane's close fails", [](fault_fs& f) { f.fail_close("page.V", ENOSPC); }},
  };
  scratch_folder sources;
  const std::string source = sources.file("page.tif");
  make_image("-size 6x4 gradient:red-blue -depth 8", source);
  for (const plane_fault& fault : faults) {
    SCOPED_TRACE(fault.what);
    scratch_folder folder;
    fault_fs files;
    test_run run(settings_in(folder, kFormatYuv), files);
    fault.arm(files);
    report_stream no_report;
    EXPECT_EQ(convert_source_file(run.run, source, no_report), not_converted);
    EXPECT_EQ(names_in(folder.file("out")), std::vector<std::string>{});
    ASSERT_EQ(run.messages.messages().size(), 1u);
    EXPECT_TRUE(
        run.messages.messages()[0].starts_with("cannot write " + folder.file("out/page.yuv")))
        << run.messages.messages()[0];
  }
}

// ---------------------------------------------------------------------------
// [PNG] quality works as the command line's -quality: tens the zlib level,
// units the filter. The pixel data of each quality is the command line's,
// byte for byte; the chunks that carry dates are left out of the comparison.

struct png_parts {
  std::string header;  // IHDR
  std::string data;    // every IDAT, in order
  bool operator==(const png_parts&) const = default;
};

png_parts png_parts_of(const std::string& bytes) {
  png_parts parts;
  for (std::size_t at = 8; at + 12 <= bytes.size();) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[at + i]); };
    const std::size_t length =
        static_cast<std::size_t>(byte(0)) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3);
    const std::string type = bytes.substr(at + 4, 4);
    if (type == "IHDR") {
      parts.header = bytes.substr(at + 8, length);
    } else if (type == "IDAT") {
      parts.data += bytes.substr(at + 8, length);
    }
    at += 12 + length;
  }
  return parts;
}

// The compression level zlib records in its header: 0 fastest to 3 best.
int zlib_level_of(const png_parts& parts) {
  return parts.data.size() < 2 ? -1 : (static_cast<unsigned char>(parts.data[1]) >> 6) & 3;
}

TEST(MagickFaults, PngQualityIsTheCommandLinesQuality) {
  scratch_folder sources;
  const std::string source = sources.file("scan.tif");
  make_image("-size 96x64 plasma:fractal -seed 11 -depth 8", source);
  struct quality_case {
    int quality;
    int zlib_level;  // what -quality asks of zlib, as its header records it
  };
  const std::vector<quality_case> cases = {{10, 0}, {55, 1}, {95, 3}};
  std::map<int, png_parts> written;
  for (const quality_case& c : cases) {
    SCOPED_TRACE("quality " + std::to_string(c.quality));
    scratch_folder folder;
    test_run run(settings_in(folder, kFormatPng));
    run.settings.job.png_quality = c.quality;
    report_stream no_report;
    ASSERT_EQ(convert_source_file(run.run, source, no_report), converted);
    const std::string reference = folder.file("reference.png");
    ASSERT_EQ(std::system(("convert '" + source + "' -quality " + std::to_string(c.quality) + " '" +
                           reference + "'")
                              .c_str()),
              0);
    const png_parts engine = png_parts_of(folder.read("out/scan.png"));
    const png_parts command_line = png_parts_of(file_bytes(reference));
    ASSERT_FALSE(engine.data.empty());
    EXPECT_EQ(engine.header, command_line.header);
    EXPECT_TRUE(engine.data == command_line.data) << "the pixel data differ";
    EXPECT_EQ(zlib_level_of(engine), c.zlib_level);
    EXPECT_EQ(zlib_level_of(engine), zlib_level_of(command_line));
    written[c.quality] = engine;
  }
  EXPECT_FALSE(written[10] == written[55]);
  EXPECT_FALSE(written[55] == written[95]);
  EXPECT_FALSE(written[10] == written[95]);
}

// ---------------------------------------------------------------------------
// The PostScript title names the output as the user named it, never the
// engine's staging folder; a source cannot choose it either (a PNG in
// disguise brings text chunks, which become the image's properties).

std::string title_line(const std::string& eps) {
  const std::size_t start = eps.find("%%Title:");
  return start == std::string::npos ? std::string()
                                    : eps.substr(start, eps.find('\n', start) - start);
}

TEST(MagickFaults, PostScriptTitlesNameTheOutput) {
  struct title_case {
    const char* what;
    bool single_file;
    const char* make;  // arguments of "convert", written as "png:" when `disguised`
    bool disguised;
  };
  const std::vector<title_case> cases = {
      {"a batch run", false, "-size 20x10 xc:gray", false},
      {"a single-file run", true, "-size 20x10 xc:gray", false},
      {"a source that names a title of its own", true,
       "-size 20x10 xc:gray -set filename:zq-title /etc/passwd", true},
  };
  for (const title_case& c : cases) {
    SCOPED_TRACE(c.what);
    scratch_folder folder;
    const std::string source = folder.file("in/page.tif");
    make_image(c.make, source, c.disguised ? "png:" : "");
    test_run run(settings_in(folder, kFormatEps));
    const std::string output = folder.file(c.single_file ? "out/named.eps" : "out/page.eps");
    if (c.single_file) {
      name_target(run.settings, output);
    }
    report_stream no_report;
    const converter_result result = c.single_file
                                        ? convert_source_to_target(run.run, source, no_report)
                                        : convert_source_file(run.run, source, no_report);
    ASSERT_EQ(result, converted) << ::testing::PrintToString(run.messages.messages());
    const std::string eps = file_bytes(output);
    EXPECT_EQ(title_line(eps), "%%Title: (" + output + ")");
    EXPECT_EQ(eps.find(".zq-staging"), std::string::npos);
    EXPECT_EQ(frame_sizes(output, kFormatEps), (std::vector<frame_size>{{20, 10}}));
  }
}

// Pages after the first come a batch at a time; whatever the mix of sizes,
// every page comes once, in order, with its own size, and a batch never
// holds more than its pixel budget beside one page of any size.
TEST(MagickFaults, PagesOfALongDocumentComeInOrderWhateverTheirSizes) {
  scratch_folder folder;
  const std::string path = folder.file("mixed.tif");
  // 300 pages: small ones of two sizes, and at 100 and 101 two pages each
  // larger than a batch may hold.
  make_image("-size 3x2 xc:black -duplicate 99 -size 2600x1700 xc:white -duplicate 1 "
             "-size 5x7 xc:gray -duplicate 197",
             path);
  magick::image_info info;
  ASSERT_TRUE(info.set_filename(path).is_ok());
  magick::page_sequence pages(info, 1, 300);
  std::vector<frame_size> sizes;
  for (std::size_t index = 1; index < 300; ++index) {
    result<magick::image_ptr> page = pages.next();
    ASSERT_TRUE(page.is_ok()) << index << ": " << page.status().text();
    sizes.push_back({static_cast<int>(magick::columns_of(page->get())),
                     static_cast<int>(magick::rows_of(page->get()))});
  }
  std::vector<frame_size> expected(99, frame_size{3, 2});
  expected.insert(expected.end(), 2, frame_size{2600, 1700});
  expected.insert(expected.end(), 198, frame_size{5, 7});
  EXPECT_EQ(sizes, expected);
}

// A page too large for memory goes to the library's disk cache. Mapped with
// its blocks unreserved, that cache meets a full temporary file system with
// SIGBUS; the engine's policy reserves the file first, so the page fails and
// is reported instead.
TEST(MagickFaults, AFullCacheFileSystemIsAReportedFailureNotACrash) {
  scratch_folder folder;
  fs::create_directories(folder.file("cache"));
  // A file system of its own that a page's cache cannot fit into.
  if (std::system(("mount -t tmpfs -o size=2m zq-cache '" + folder.file("cache") +
                   "' 2>/dev/null")
                      .c_str()) != 0) {
    GTEST_SKIP() << "no small file system can be mounted here (needs root)";
  }
  make_image("-size 1200x1200 gradient:white-black -depth 8", folder.file("in/page.tif"));
  fs::create_directories(folder.file("out"));
  fs::create_directories(folder.file("tmp"));
  folder.write("job.ini", "[FOLDERS]\r\ntemp=" + folder.file("tmp") +
                              "/\r\n[PARAMS]\r\nimage_type=7\r\n");
  const std::string program = std::string(ZQ_INSTALL_LAYOUT_DIR) + "/Zembrit_Quarnel";
  // The memory limit sends every page to the disk cache.
  const std::string command = "TMPDIR='" + folder.file("tmp") + "' MAGICK_MEMORY_LIMIT=1KiB " +
                              "MAGICK_TEMPORARY_PATH='" + folder.file("cache") + "' '" + program +
                              "' 'G|" + folder.file("in/page.tif") + "|" +
                              folder.file("out/page.png") + "|" + folder.file("job.ini") +
                              "' >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  const std::vector<std::string> left = names_in(folder.file("cache"));
  (void)std::system(("umount '" + folder.file("cache") + "'").c_str());
  ASSERT_TRUE(WIFEXITED(status)) << "the engine died of a signal: " << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(left.empty());
  EXPECT_TRUE(names_in(folder.file("out")).empty());
  const std::string report = folder.read("tmp/Zembrit_Quarnel.log");
  EXPECT_TRUE(report.find("cannot be read") != std::string::npos ||
              report.find("Could not convert") != std::string::npos)
      << report;
}

}  // namespace
}  // namespace zq::engine
