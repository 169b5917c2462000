#include "engine/pdf_pages.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "engine/group4_pdf.h"
#include "engine/tiff_pages.h"
#include "engine_test_support.h"
#include "platform/fault_injecting_file_system.h"
#include "platform/file_system.h"

namespace zq::engine {
namespace {

using testing::command_output;
using testing::scratch_folder;

platform::file_system& real_files() { return platform::real_file_system(); }

std::string make(const scratch_folder& folder, const std::string& name, const std::string& args) {
  const std::string path = folder.file(name);
  EXPECT_EQ(std::system(("convert " + args + " '" + path + "'").c_str()), 0);
  return path;
}

// A Group 4 fax of two pages at 204 x 98 dpi.
std::string make_two_page_fax(const scratch_folder& folder) {
  return make(folder, "fax.tif",
              "-size 1728x1100 xc:white -fill black -draw 'circle 800,500 800,90' "
              "\\( +clone -draw 'rectangle 0,0 99,99' \\) -alpha off -monochrome "
              "-units PixelsPerInch -density 204x98 -compress Group4");
}

// A Group 4 page stored min-is-black, at 300 dpi.
std::string make_inverted_page(const scratch_folder& folder) {
  return make(folder, "inverted.tif",
              "-size 200x100 xc:white -fill black -draw 'rectangle 5,5 50,50' -monochrome "
              "-define quantum:polarity=min-is-black -units PixelsPerInch -density 300 "
              "-compress Group4");
}

// Pixels as a decoder sees them, grey, whatever the container.
std::string pixels(const std::string& image) {
  return command_output("convert '" + image + "' -colorspace gray -depth 8 gray:- | md5sum");
}

TEST(FindEmbeddableG4, OnlySingleStripBilevelGroup4) {
  scratch_folder folder;
  const std::string page = "-size 300x200 xc:white -fill black -draw 'rectangle 10,10 100,50'";
  const std::string white = make(folder, "white.tif", page + " -monochrome -compress Group4");
  const std::string black = make(folder, "black.tif",
                                 page +
                                     " -monochrome -compress Group4"
                                     " -define quantum:polarity=min-is-black");
  const std::string g3 = make(folder, "g3.tif", page + " -monochrome -compress Fax");
  const std::string grey = make(folder, "grey.tif", page + " -compress LZW");
  ASSERT_EQ(
      std::system(
          ("tiffcp -s -r 50 -c g4 '" + white + "' '" + folder.file("strips.tif") + "'").c_str()),
      0);

  ccitt_page found;
  tiff_resolution resolution;
  ASSERT_TRUE(find_embeddable_g4(real_files(), white, 0, found, resolution));
  EXPECT_EQ(found.columns, 300u);
  EXPECT_EQ(found.rows, 200u);
  EXPECT_FALSE(found.black_is_1);
  EXPECT_GT(found.length, 0u);
  ASSERT_TRUE(find_embeddable_g4(real_files(), black, 0, found, resolution));
  EXPECT_TRUE(found.black_is_1);

  EXPECT_FALSE(find_embeddable_g4(real_files(), white, 1, found, resolution));  // no second page
  EXPECT_FALSE(find_embeddable_g4(real_files(), g3, 0, found, resolution));
  EXPECT_FALSE(find_embeddable_g4(real_files(), grey, 0, found, resolution));
  EXPECT_FALSE(find_embeddable_g4(real_files(), folder.file("strips.tif"), 0, found, resolution));
  EXPECT_FALSE(find_embeddable_g4(real_files(), folder.file("missing.tif"), 0, found, resolution));
}

TEST(PdfPageBuilder, EmbedsGroup4DataAndCopiesPdfPagesInOrder) {
  scratch_folder folder;
  const std::string fax = make_two_page_fax(folder);
  const std::string inverted = make_inverted_page(folder);
  const std::string colour_png = make(folder, "colour.png", "-size 90x60 gradient:red-blue");
  const std::string colour_pdf = folder.file("colour.pdf");
  ASSERT_EQ(std::system(("img2pdf -o '" + colour_pdf + "' '" + colour_png + "'").c_str()), 0);

  std::unique_ptr<pdf_page_builder> builder;
  const status made = make_pdf_page_builder(builder);
  ASSERT_TRUE(made.is_ok()) << made.reason();
  for (int index : {0, 1}) {
    ccitt_page page;
    tiff_resolution resolution;
    ASSERT_TRUE(find_embeddable_g4(real_files(), fax, index, page, resolution));
    EXPECT_EQ(resolution.x, 204);
    EXPECT_EQ(resolution.y, 98);
    page.x_resolution = 204;
    page.y_resolution = 98;
    ASSERT_TRUE(builder->append_ccitt(page).is_ok());
  }
  ASSERT_TRUE(builder->append_pdf(colour_pdf).is_ok());
  ccitt_page page;
  tiff_resolution resolution;
  ASSERT_TRUE(find_embeddable_g4(real_files(), inverted, 0, page, resolution));
  page.x_resolution = page.y_resolution = 300;
  ASSERT_TRUE(builder->append_ccitt(page).is_ok());
  const std::string output = folder.file("out.pdf");
  ASSERT_TRUE(builder->write(output).is_ok());

  const std::string info = command_output("pdfinfo -f 1 -l 4 '" + output + "' 2>&1");
  EXPECT_NE(info.find("Pages:           4"), std::string::npos) << info;
  // The page measures the image at its resolution: 1728 / 204 and 1100 / 98 inches.
  EXPECT_NE(info.find("Page    1 size:  609.882 x 808.163 pts"), std::string::npos) << info;
  EXPECT_NE(info.find("Page    4 size:  48 x 24 pts"), std::string::npos) << info;

  const std::string images = command_output("pdfimages -list '" + output + "' 2>&1");
  const std::regex fax_page("1728 +1100 +gray +1 +1 +ccitt +no +[0-9]+ +0 +204 +98 ");
  const std::regex inverted_page("200 +100 +gray +1 +1 +ccitt +no +[0-9]+ +0 +300 +300 ");
  EXPECT_TRUE(std::regex_search(images, fax_page)) << images;
  EXPECT_TRUE(std::regex_search(images, inverted_page)) << images;

  // Every page decodes to exactly the source's pixels, black where it was black.
  ASSERT_EQ(std::system(("pdfimages -png '" + output + "' '" + folder.file("img") + "'").c_str()),
            0);
  EXPECT_EQ(pixels(folder.file("img-000.png")), pixels(fax + "[0]"));
  EXPECT_EQ(pixels(folder.file("img-001.png")), pixels(fax + "[1]"));
  EXPECT_EQ(pixels(folder.file("img-003.png")), pixels(inverted));
}

TEST(PdfPageBuilder, FailuresNameTheFile) {
  scratch_folder folder;
  folder.write("not.pdf", "plain text");
  std::unique_ptr<pdf_page_builder> builder;
  const status made = make_pdf_page_builder(builder);
  ASSERT_TRUE(made.is_ok()) << made.reason();
  const status appended = builder->append_pdf(folder.file("not.pdf"));
  ASSERT_FALSE(appended.is_ok());
  EXPECT_NE(appended.reason().find("not.pdf"), std::string::npos);

  ccitt_page empty;
  empty.file = folder.file("none.tif");
  EXPECT_FALSE(builder->append_ccitt(empty).is_ok());

  ccitt_page outside;
  outside.file = folder.file("not.pdf");
  outside.offset = 5;
  outside.length = 100;
  outside.columns = outside.rows = 10;
  EXPECT_FALSE(builder->append_ccitt(outside).is_ok());

  // Data that vanished before the write makes the write fail, not a broken file.
  ccitt_page gone = outside;
  gone.file = folder.file("gone.dat");
  folder.write("gone.dat", std::string(200, '\0'));
  ASSERT_TRUE(builder->append_ccitt(gone).is_ok());
  std::filesystem::remove(gone.file);
  const status written = builder->write(folder.file("out.pdf"));
  ASSERT_FALSE(written.is_ok());
  EXPECT_NE(written.reason().find("gone.dat"), std::string::npos);
}

// The engine writes documents of Group 4 pages alone itself; they must be
// the joiner's documents to the byte, identifier included, or a document would
// change with the way it was made.
TEST(Group4PdfWriter, WritesTheJoinersBytes) {
  scratch_folder folder;
  const std::string fax = make_two_page_fax(folder);
  const std::string inverted = make_inverted_page(folder);
  std::vector<ccitt_page> pages;
  for (const auto& [file, index, dpi] : {std::tuple{fax, 0, 204.0}, {fax, 1, 204.0},
                                         {inverted, 0, 300.0}, {fax, 0, 77.7}}) {
    ccitt_page page;
    tiff_resolution resolution;
    ASSERT_TRUE(find_embeddable_g4(real_files(), file, index, page, resolution));
    page.x_resolution = page.y_resolution = dpi;
    pages.push_back(page);
  }
  // A banner longer than any reader's page, measured in larger units.
  ccitt_page banner = pages[0];
  banner.columns = 60000;
  banner.x_resolution = 100;

  auto both = [&](const std::vector<ccitt_page>& document) {
    std::unique_ptr<pdf_page_builder> joiner;
    EXPECT_TRUE(make_pdf_page_builder(joiner).is_ok());
    group4_pdf own;
    for (const ccitt_page& page : document) {
      EXPECT_TRUE(joiner->append_ccitt(page).is_ok());
      EXPECT_TRUE(own.append(page).is_ok());
    }
    EXPECT_TRUE(joiner->write(folder.file("joiner.pdf")).is_ok());
    auto file = real_files().open_for_write(folder.file("own.pdf"), platform::open_mode::truncate);
    EXPECT_TRUE(own.write_to(**file).is_ok());
    EXPECT_TRUE((*file)->close().is_ok());
    return std::pair{folder.read("joiner.pdf"), folder.read("own.pdf")};
  };
  for (const std::vector<ccitt_page>& document :
       {std::vector{pages[0]}, pages, std::vector{pages[2], banner, pages[1]}}) {
    const auto [joiners, own] = both(document);
    ASSERT_FALSE(own.empty());
    EXPECT_EQ(own, joiners) << document.size() << " pages";
  }
  // Different documents, different identifiers.
  const std::string one = both({pages[0]}).second;
  const std::string other = both({pages[1]}).second;
  EXPECT_NE(one.substr(one.find("/ID")), other.substr(other.find("/ID")));
  EXPECT_NE(command_output("pdfinfo '" + folder.file("own.pdf") + "' 2>&1").find("Pages:"),
            std::string::npos);
}

TEST(Group4PdfWriter, RefusesWhatTheJoinerRefusesAndReportsFailedWrites) {
  scratch_folder folder;
  folder.write("data.dat", std::string(200, '\0'));
  group4_pdf document;
  ccitt_page empty;
  empty.file = folder.file("data.dat");
  const status no_size = document.append(empty);
  EXPECT_NE(no_size.reason().find("data.dat: page has no size"), std::string::npos);

  ccitt_page page = empty;
  page.columns = page.rows = 10;
  page.offset = 150;
  page.length = 100;
  EXPECT_NE(document.append(page).reason().find("data.dat: page data is not in the file"),
            std::string::npos);
  page.offset = 0;
  page.columns = 4'000'000'000;  // points at 72 dpi: beyond the largest unit
  EXPECT_NE(document.append(page).reason().find("too large for a PDF"), std::string::npos);
  EXPECT_TRUE(document.pages().empty());

  // A disk that fills up fails the write.
  page.columns = 10;
  ASSERT_TRUE(document.append(page).is_ok());
  platform::fault_injecting_file_system filling;
  filling.fail_writes_after(300);
  auto full = filling.open_for_write(folder.file("full.pdf"), platform::open_mode::truncate);
  ASSERT_TRUE(full.is_ok());
  EXPECT_FALSE(document.write_to(**full).is_ok());

  // Data that shrank before the write fails it, naming the file.
  folder.write("data.dat", std::string(50, '\0'));
  auto file = real_files().open_for_write(folder.file("out.pdf"), platform::open_mode::truncate);
  const status short_data = document.write_to(**file);
  EXPECT_NE(short_data.reason().find("data.dat: page data could not be read"), std::string::npos)
      << short_data.reason();
}

}  // namespace
}  // namespace zq::engine
