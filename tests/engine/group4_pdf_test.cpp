// Bilevel pages bound for a Group 4 PDF skip the PDF writer's own slow path:
// their data is copied as it stands, or made by the TIFF writer and embedded.
// Either way the PDF must be what the PDF writer makes of the same page: the
// same pixels, CCITT encoding, page size and resolution.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "conversion_test_support.h"
#include "engine/assembly.h"
#include "engine/conversion.h"
#include "engine/magick.h"
#include "engine/option_interpreter.h"
#include "engine/option_list.h"
#include "platform/file_system.h"
#include "platform/ini_file.h"

namespace zq::engine {
namespace {

using testing::command_output;
using testing::make_image;
using testing::scratch_folder;
using testing::settings_in;
using testing::test_run;

// What a reader sees of every page: size in points, image size, encoding and
// resolution, and a digest of the decoded pixels.
std::string pdf_pages(const std::string& pdf, const scratch_folder& folder) {
  std::string text = command_output("pdfinfo -f 1 -l 999 '" + pdf + "' | grep -a 'Page.*size:'");
  const std::string images = command_output("pdfimages -list '" + pdf + "' | tail -n +3");
  // Object numbers differ between writers; the columns around them do not.
  text += std::regex_replace(images, std::regex(" +[0-9]+ +0 +([0-9]+ +[0-9]+) .*"), " $1");
  const std::string prefix = folder.file("decoded");
  std::filesystem::remove_all(prefix);
  std::filesystem::create_directories(prefix);
  EXPECT_EQ(std::system(("pdfimages -png '" + pdf + "' '" + prefix + "/p'").c_str()), 0);
  text += command_output("cd '" + prefix +
                         "' && for f in p-*.png; do convert $f gray:- | md5sum; done");
  return text;
}

// The same page through the PDF writer itself, as the conversion did it
// before: read, options, write.
std::string pdf_writer_output(const engine_settings& settings, const std::string& source,
                              const std::string& output) {
  magick::image_info info;
  EXPECT_TRUE(info.set_filename(source).is_ok());
  info.set_density(std::to_string(settings.job.params_density) + "x" +
                   std::to_string(settings.job.params_density));
  result<magick::image_ptr> read = magick::read_page(info, 0);
  if (!read.is_ok()) {
    ADD_FAILURE() << read.status().text();
    return output;
  }
  magick::image_ptr page = std::move(*read);
  run_state source_read;
  source_read.source_x_resolution = magick::x_resolution(page.get());
  source_read.source_y_resolution = magick::y_resolution(page.get());
  const option_list options = build_option_list(settings, source_read);
  magick::image_info writing = info.clone();
  apply_option_settings(options, writing);
  const status applied = magick::mogrify_first(writing, options, page);
  EXPECT_TRUE(applied.is_ok()) << applied.text();
  const status written =
      magick::write_images(platform::real_file_system(), writing, page.get(), output, "PDF");
  EXPECT_TRUE(written.is_ok()) << written.text();
  return output;
}

TEST(Group4Pdf, PagesAreWhatThePdfWriterMakesOfThem) {
  const std::string drawing =
      "-size 864x550 xc:white -fill black -draw 'circle 300,250 300,60' "
      "-draw 'rectangle 450,50 800,150' -monochrome ";
  const struct {
    const char* what;
    std::string make;
    const char* size;  // [PARAMS] size
  } cases[] = {
      {"fax 204 x 98, copied", drawing + "-units PixelsPerInch -density 204x98 -compress Group4",
       ""},
      {"fax 204 x 196, copied", drawing + "-units PixelsPerInch -density 204x196 -compress Group4",
       ""},
      {"300 dpi per centimetre",
       drawing + "-units PixelsPerCentimeter -density 118.11 "
                 "-compress Group4",
       ""},
      {"no resolution: the reading density", drawing + "-compress Group4", ""},
      {"min-is-black data",
       drawing + "-density 300 -define quantum:polarity=min-is-black "
                 "-compress Group4",
       ""},
      {"resized, re-encoded", drawing + "-density 204x196 -compress Group4", "432x275"},
      {"bilevel LZW, re-encoded", drawing + "-density 200 -compress LZW", ""},
      {"several strips, re-encoded",
       drawing + "-density 200 -compress Group4 "
                 "-define tiff:rows-per-strip=100",
       ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    scratch_folder folder;
    const std::string source = folder.file("in/a.tif");
    make_image(c.make, source);
    test_run run(settings_in(folder, kFormatPdf));
    run.settings.job.pdf_compression_type = kPdfGroup4;
    run.settings.job.params_size = c.size;
    const std::string expected =
        pdf_pages(pdf_writer_output(run.settings, source, folder.file("reference.pdf")), folder);

    report_stream no_report;
    testing::name_target(run.settings, folder.file("out/a.pdf"));
    ASSERT_EQ(convert_source_to_target(run.run, source, no_report), converter_result::converted);
    const std::string actual = pdf_pages(folder.file("out/a.pdf"), folder);
    EXPECT_EQ(actual, expected);
    EXPECT_NE(actual.find("ccitt"), std::string::npos) << actual;
  }
}

// Joined outputs keep every page at its own resolution, so faxes of any
// resolution keep their proportions; the reading density serves pages that
// have none. Pages that are not bilevel go through the PDF writer.
TEST(Group4Pdf, JoinedPdfKeepsEachPagesResolutionAndOrder) {
  scratch_folder folder;
  const std::string page = "-size 1728x1100 xc:white -fill black ";
  make_image(page +
                 "-draw 'circle 500,500 500,100' -alpha off -monochrome -density 204x98 "
                 "-compress Group4",
             folder.file("in/a.tif"));
  make_image(page +
                 "-draw 'rectangle 9,9 99,99' \\( +clone -negate \\) -alpha off -monochrome "
                 "-density 204x196 -compress Group4",
             folder.file("in/b.tif"));
  make_image("-size 300x200 gradient:white-blue", folder.file("in/c.tif"));
  make_image(page +
                 "-draw 'circle 200,200 200,10' -alpha off -monochrome -density 300 "
                 "-compress LZW",
             folder.file("in/d.tif"));

  test_run run(settings_in(folder, kFormatPdf));
  engine_settings& settings = run.settings;
  settings.job.pdf_compression_type = kPdfGroup4;
  settings.job.pdf_pdf_name = "joined";
  settings.job.params_density = 150;
  for (int i = 0; const char* name : {"a", "b", "c", "d"}) {
    ASSERT_TRUE(platform::write_profile_string(settings.file_list_path, "FILES",
                                               std::to_string(i++),
                                               folder.file("in/" + std::string(name) + ".tif"))
                    .is_ok());
  }
  report_stream no_report;
  ASSERT_TRUE(assemble_pdf(run.run, no_report));

  const std::string joined = folder.file("out/joined.pdf");
  const std::string info = command_output("pdfinfo -f 1 -l 9 '" + joined + "'");
  EXPECT_NE(info.find("Pages:           5"), std::string::npos) << info;
  EXPECT_NE(info.find("Page    1 size:  609.882 x 808.163 pts"), std::string::npos) << info;
  EXPECT_NE(info.find("Page    2 size:  609.882 x 404.082 pts"), std::string::npos) << info;
  EXPECT_NE(info.find("Page    3 size:  609.882 x 404.082 pts"), std::string::npos) << info;
  EXPECT_NE(info.find("Page    4 size:  144 x 96 pts"), std::string::npos) << info;
  EXPECT_NE(info.find("Page    5 size:  414.72 x 264 pts"), std::string::npos) << info;

  // Pixels in list order: the sources' own pages.
  ASSERT_EQ(std::system(("pdfimages -png '" + joined + "' '" + folder.file("p") + "'").c_str()), 0);
  auto pixels = [](const std::string& image) {
    return command_output("convert '" + image + "' -colorspace gray -depth 8 gray:- | md5sum");
  };
  EXPECT_EQ(pixels(folder.file("p-000.png")), pixels(folder.file("in/a.tif")));
  EXPECT_EQ(pixels(folder.file("p-001.png")), pixels(folder.file("in/b.tif[0]")));
  EXPECT_EQ(pixels(folder.file("p-002.png")), pixels(folder.file("in/b.tif[1]")));
  EXPECT_EQ(pixels(folder.file("p-004.png")), pixels(folder.file("in/d.tif")));
  const std::string images = command_output("pdfimages -list '" + joined + "'");
  EXPECT_EQ(std::count(images.begin(), images.end(), '\n') - 2, 5) << images;
  EXPECT_EQ(command_output("pdfimages -list '" + joined + "' | grep -c ccitt"), "4\n") << images;
}

}  // namespace
}  // namespace zq::engine
