// Fax pages written into a Group 3 or Group 4 TIFF without the image library,
// joined or a file per page: which pages may go that way, and that they come
// out as the image library writes them.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "conversion_test_support.h"
#include "engine/assembly.h"
#include "engine/conversion.h"
#include "engine/tiff_pages.h"
#include "engine_test_support.h"
#include "jobfile/formats.h"

namespace zq::engine {
namespace {

using testing::command_output;
using testing::name_target;
using testing::names_in;
using testing::scratch_folder;
using testing::settings_in;
using testing::test_run;

constexpr const char* kPage =
    "-size 64x40 xc:white -fill black -draw 'rectangle 5,5 30,20' -draw 'circle 45,25 50,35' "
    "-monochrome";

struct fax_source {
  const char* name;
  const char* make;   // shell commands; {} is the file, PAGE the drawing
  bool taken;         // whether it goes in without the image library
  bool as_it_stands;  // Group 4 to Group 4: its strip copied
  const char* size = "64x40";
};

// Every way a fax page can differ from what the writer makes of it, and pages
// the writer would change or that it alone may judge.
const std::vector<fax_source> kSources = {
    {"g4.tif", "convert PAGE -units PixelsPerInch -density 300 -compress Group4 {}", true, true},
    {"strips.tif",
     "convert PAGE -density 204x196 -compress Group4 {} && tiffcp -r 7 {} {}.t && mv {}.t {}", true,
     false},
    {"g3-2d.tif",
     "convert PAGE -density 200 -compress Group4 {} && tiffcp -c g3:2d {} {}.t && mv {}.t {}", true,
     false},
    {"g3-1d.tif",
     "convert PAGE -density 200 -compress Group4 {} && tiffcp -c g3:1d {} {}.t && mv {}.t {}", true,
     false},
    {"black-is-1.tif",
     "convert PAGE -negate -density 200 -compress Group4 -define quantum:polarity=min-is-black {}",
     true, false},
    {"lsb-first.tif",
     "convert PAGE -density 200 -compress Group4 {} && tiffcp -f lsb2msb -c g4 {} {}.t && mv {}.t "
     "{}",
     true, false},
    {"per-cm.tif",
     "convert PAGE -units PixelsPerCentimeter -density 77.77x39.37 -compress Group4 {}", true,
     true},
    {"no-unit.tif", "convert PAGE -density 120x60 -compress Group4 {} && tiffset -s 296 1 {}", true,
     true},
    {"no-resolution.tif", "convert PAGE -compress Group4 {}", true, true},
    {"named.tif",
     "convert PAGE -density 200 -compress Group4 {} && tiffset -s 270 'a description' {} && "
     "tiffset -s 285 'page name' {} && tiffset -s 305 'a scanner' {} && tiffset -s 274 3 {}",
     true, true},
    {"two-pages.tif", "convert PAGE \\( +clone -flop \\) -density 200 -compress Group4 {}", true,
     true},
    {"damaged.tif",
     "convert PAGE -density 200 -compress Group4 {} && "
     "printf '\\377\\000\\377\\377\\000\\377' | dd of={} bs=1 seek=12 conv=notrunc 2>/dev/null",
     false, false},
    // Over a mebibyte of rows: the writer cuts a Group 3 page into strips.
    {"tall.tif",
     "convert -size 4096x2100 xc:white -fill black -draw 'rectangle 100,100 4000,150' "
     "-draw 'circle 2000,1500 2100,1900' -monochrome -density 300 -compress Group4 {}",
     true, true, "4096x2100"},
    {"grey.tif", "convert PAGE -density 200 -depth 8 -type Grayscale {}", false, false},
    {"positioned.tif", "convert PAGE -density 200 -compress Group4 {} && tiffset -s 286 1.5 {}",
     false, false},
};

// Per page of a TIFF file: its tags as an independent reader (tiffinfo) shows
// them, where it landed in the file left out, and a digest of its decoded strip.
std::vector<std::string> pages_of(const std::string& file) {
  const std::string seen = command_output("tiffinfo -d '" + file + "' 2>&1");
  std::vector<std::string> pages;
  for (std::size_t from = seen.find("=== TIFF directory"); from != std::string::npos;) {
    const std::size_t next = seen.find("=== TIFF directory", from + 1);
    std::string page = seen.substr(from, next - from);
    const std::size_t offset = page.find("TIFF Directory at offset");
    page.erase(offset, page.find('\n', offset) - offset);
    const std::size_t strip = page.find("Strip 0:");
    if (strip != std::string::npos) {
      page = page.substr(0, strip) + "pixels " +
             std::to_string(std::hash<std::string>{}(page.substr(strip)));
    }
    pages.push_back(page);
    from = next;
  }
  return pages;
}

class FaxJoin : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const fax_source& source : kSources) {
      make_source(source.make, in(source.name));
    }
  }

  // Runs the shell commands `make` with PAGE the drawing and {} the file.
  static void make_source(std::string make, const std::string& path) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    for (std::size_t at; (at = make.find("PAGE")) != std::string::npos;) {
      make.replace(at, 4, kPage);
    }
    for (std::size_t at; (at = make.find("{}")) != std::string::npos;) {
      make.replace(at, 2, "'" + path + "'");
    }
    ASSERT_EQ(std::system(make.c_str()), 0) << make;
  }

  std::string in(const std::string& name) const { return folder_.file(name); }

  // A batch run that joins every source of pages of `size` (every source when
  // empty) into out/NAME.tif with the compression code of [TIFF] (1 "FAX",
  // 2 "GROUP4").
  std::unique_ptr<test_run> join_run(int compression, const std::string& name,
                                     const std::string& size = "") {
    auto run = std::make_unique<test_run>(settings_in(folder_, kFormatTiff));
    run->settings.job.tiff_compression_type = compression;
    run->settings.job.tiff_tif_name = name;
    std::string list = "[FILES]\r\n";
    int key = 0;
    for (const fax_source& source : kSources) {
      if (size.empty() || size == source.size) {
        list += std::to_string(key++) + "=" + in(source.name) + "\r\n";
      }
    }
    folder_.write("tmp/z.log", list);
    return run;
  }

  scratch_folder folder_;
  report_stream no_report_;
};

TEST_F(FaxJoin, WhichPagesGoWithoutTheImageLibrary) {
  for (const fax_source& source : kSources) {
    for (const fax_coding coding : {fax_coding::group3, fax_coding::group4}) {
      std::vector<fax_page> pages;
      EXPECT_EQ(find_fax_pages(in(source.name), coding, 150, pages), source.taken) << source.name;
      for (const fax_page& page : pages) {
        EXPECT_EQ(page.as_it_stands, coding == fax_coding::group4 && source.as_it_stands)
            << source.name;
      }
    }
  }
}

// The same join through the image library: a size equal to the pages' own
// sends every page through it while leaving the pixels as they are. Tags and
// decoded pixels of every page must agree (an independent reader: tiffinfo).
TEST_F(FaxJoin, PagesAreThoseTheImageLibraryWrites) {
  for (const auto& [compression, size] : {std::pair{1, "64x40"}, std::pair{2, "64x40"},
                                          std::pair{1, "4096x2100"}, std::pair{2, "4096x2100"}}) {
    SCOPED_TRACE(std::to_string(compression) + " " + size);
    const std::unique_ptr<test_run> direct_run = join_run(compression, "direct", size);
    ASSERT_TRUE(assemble_tiff(direct_run->run, no_report_));
    const std::unique_ptr<test_run> through_run = join_run(compression, "through", size);
    through_run->settings.job.params_size = size;
    ASSERT_TRUE(assemble_tiff(through_run->run, no_report_));
    const std::vector<std::string> expected = pages_of(folder_.file("out/through.tif"));
    const std::vector<std::string> direct = pages_of(folder_.file("out/direct.tif"));
    ASSERT_EQ(direct.size(), expected.size());
    for (std::size_t page = 0; page < expected.size(); ++page) {
      EXPECT_EQ(direct[page], expected[page]);
    }
  }
}

// A single-file run to a Group 3 or Group 4 TIFF takes the same way, with the
// run's resolution on every page, a file per page or all pages in one: each
// output holds what the image library's route writes (a size equal to the
// pages' own sends every page through it), pages its route alone may take
// (positioned, per centimetre, damaged) included.
TEST_F(FaxJoin, SingleFileRunsWriteWhatTheImageLibraryWrites) {
  for (const fax_source& source : kSources) {
    for (const auto& [compression, adjoin] :
         {std::pair{1, 0}, std::pair{2, 0}, std::pair{1, 1}, std::pair{2, 1}}) {
      SCOPED_TRACE(std::string(source.name) + " compression " + std::to_string(compression) +
                   " adjoin " + std::to_string(adjoin));
      std::vector<std::vector<std::string>> outputs;
      for (const bool through : {false, true}) {
        const std::string folder = folder_.file(through ? "through" : "direct");
        test_run run(settings_in(folder_, kFormatTiff));
        run.settings.job.tiff_compression_type = compression;
        run.settings.job.tiff_adjoin = adjoin;
        run.settings.job.tiff_dpi = 300;
        run.settings.job.params_extract_all = 1;
        run.settings.job.params_size = through ? source.size : "";
        name_target(run.settings, folder + "/page.tif");
        (void)convert_source_to_target(run.run, in(source.name), no_report_);
        std::vector<std::string> pages;
        for (const std::string& name : names_in(folder)) {
          pages.push_back(name);
          for (const std::string& page : pages_of(folder + "/" + name)) {
            pages.push_back(page);
          }
        }
        std::filesystem::remove_all(folder);
        outputs.push_back(std::move(pages));
      }
      EXPECT_EQ(outputs[0], outputs[1]);
    }
  }
}

// A fax archive goes into one TIFF, one PDF, a TIFF per fax and a PDF per fax
// without the engine program ever loading the image library, as the dynamic
// loader tells it; the outputs hold every page.
TEST_F(FaxJoin, FaxArchivesNeverLoadTheImageLibrary) {
  const std::string program = std::string(ZQ_INSTALL_LAYOUT_DIR) + "/Zembrit_Quarnel";
  // Group 4 faxes with their resolution in inches, as fax software writes them.
  const std::vector<std::pair<std::string, std::string>> faxes = {
      {"one.tif", "convert PAGE -units PixelsPerInch -density 204x196 -compress Group4 {}"},
      {"two.tif",
       "convert PAGE \\( +clone -flop \\) -units PixelsPerInch -density 204x98 "
       "-compress Group4 {}"},
      {"fine.tif", "convert PAGE -units PixelsPerInch -density 300 -compress Group4 {}"},
  };
  std::filesystem::create_directories(folder_.file("archive-out"));
  std::string list = "[FILES]\r\n";
  for (std::size_t key = 0; key < faxes.size(); ++key) {
    const std::string path = folder_.file("archive/" + faxes[key].first);
    make_source(faxes[key].second, path);
    list += std::to_string(key) + "=" + path + "\r\n";
  }
  const auto job = [&](const std::string& name, int format, const std::string& section) {
    folder_.write(name, "[FOLDERS]\r\nsource=" + folder_.file("archive") + "\r\ntarget=" +
                            folder_.file("archive-out") + "\r\ntemp=" + folder_.file("tmp") +
                            "\r\n[PARAMS]\r\nimage_type=" + std::to_string(format) +
                            "\r\nextract_all=1\r\nsize=\r\n" + section);
    return folder_.file(name);
  };
  const std::string tiff_join = job("tiff-join.ini", kFormatTiff,
                                    "[TIFF]\r\nadjoin=1\r\ncompression_type=2\r\ndpi=200\r\n"
                                    "tif_name=joined\r\n");
  const std::string tiff_each =
      job("tiff-each.ini", kFormatTiff, "[TIFF]\r\nadjoin=0\r\ncompression_type=1\r\ndpi=200\r\n");
  const std::string pdf_join = job(
      "pdf-join.ini", kFormatPdf, "[PDF]\r\nadjoin=1\r\ncompression_type=1\r\npdf_name=joined\r\n");
  const std::string pdf_each =
      job("pdf-each.ini", kFormatPdf, "[PDF]\r\nadjoin=0\r\ncompression_type=1\r\n");
  const std::string out = folder_.file("archive-out/");
  const std::vector<std::pair<std::string, std::string>> runs = {
      {"C|" + tiff_join, "joined.tif"},
      {"C|" + tiff_each, "two_2.tif"},
      {"C|" + pdf_join, "joined.pdf"},
      {"C|" + pdf_each, "fine.pdf"},
      {"G|" + folder_.file("archive/two.tif") + "|" + out + "pages.tif|" + tiff_join, "pages.tif"},
      {"G|" + folder_.file("archive/one.tif") + "|" + out + "page.pdf|" + pdf_each, "page.pdf"},
  };
  for (const auto& [command, output] : runs) {
    SCOPED_TRACE(command);
    folder_.write("tmp/z.log", list);  // the TIFF join's list, as the settings program writes it
    const std::string loaded =
        command_output("LD_DEBUG=files '" + program + "' '" + command + "' 2>&1 >/dev/null");
    EXPECT_FALSE(loaded.empty());  // the loader did report
    EXPECT_EQ(loaded.find("libMagick"), std::string::npos);
    EXPECT_TRUE(folder_.exists("archive-out/" + output));
  }
  EXPECT_EQ(pages_of(out + "joined.tif").size(), 4u);
  EXPECT_EQ(pages_of(out + "pages.tif").size(), 2u);
  const std::string pdf = command_output("pdfinfo '" + out + "joined.pdf'");
  EXPECT_NE(pdf.find("Pages:           4"), std::string::npos) << pdf;
}

// A write that fails part-way (a file-size limit, as `ulimit -f` sets one)
// fails the join, says why and leaves nothing under the output's name.
TEST_F(FaxJoin, FailedWriteLeavesNoOutput) {
  const std::unique_ptr<test_run> run = join_run(2, "joined");
  struct rlimit old_limit {};
  getrlimit(RLIMIT_FSIZE, &old_limit);
  const sighandler_t old_handler = signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old_limit;
  small.rlim_cur = 1500;
  setrlimit(RLIMIT_FSIZE, &small);
  const bool joined = assemble_tiff(run->run, no_report_);
  setrlimit(RLIMIT_FSIZE, &old_limit);
  signal(SIGXFSZ, old_handler);
  EXPECT_FALSE(joined);
  EXPECT_EQ(names_in(run->settings.target_folder), std::vector<std::string>{});
  ASSERT_EQ(run->messages.messages().size(), 1u);
  EXPECT_TRUE(run->messages.messages()[0].starts_with("cannot write " +
                                                      folder_.file("out/joined.tif") + ": "))
      << run->messages.messages()[0];
}

}  // namespace
}  // namespace zq::engine
