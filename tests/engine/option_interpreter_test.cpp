#include "engine/option_interpreter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/magick.h"
#include "engine/option_list.h"
#include "jobfile/formats.h"

namespace zq::engine {
namespace {

using magick::colorspace_choice;
using magick::compression_choice;
using magick::image_info_changes;
using magick::interlace_choice;

option_list list_of(const std::vector<std::string>& elements) {
  option_list list;
  for (const std::string& element : elements) {
    list.append(element);
  }
  return list;
}

// The option-list form on the lists the engine builds for its formats, and on
// lists that break the rules.
TEST(OptionListSettings, WhatEachListSets) {
  struct list_case {
    const char* what;
    std::vector<std::string> elements;  // after "Zembrit"
    bool ok;
    image_info_changes expected;
  };
  const auto changes = [](auto fill) {
    image_info_changes c;
    fill(c);
    return c;
  };
  const std::vector<list_case> cases = {
      {"TIFF",
       {"-colorspace", "CMYK", "-density", "200x200", "-compress", "GROUP4", "-sample",
        "1024x768!"},
       true,
       changes([](image_info_changes& c) {
         c.colorspace = colorspace_choice::cmyk;
         c.density = "200x200";
         c.compression = compression_choice::group4;
         c.monochrome_on = true;
       })},
      {"TIFF Group 3",
       {"-density", "0x0", "-compress", "FAX"},
       true,
       changes([](image_info_changes& c) {
         c.density = "0x0";
         c.compression = compression_choice::fax;
         c.monochrome_on = true;
       })},
      {"PDF",
       {"-colorspace", "rgb", "-density", "204x196", "-compress", "zip"},
       true,
       changes([](image_info_changes& c) {
         c.colorspace = colorspace_choice::rgb;
         c.density = "204x196";
         c.compression = compression_choice::zip;
         c.monochrome_on = true;
       })},
      {"unknown compression name",
       {"-compress", "Packbits"},
       true,
       changes([](image_info_changes& c) {
         c.compression = compression_choice::group4;
         c.monochrome_on = true;
       })},
      {"JPEG", {"-interlace", "Plane", "-quality", "85"}, true, changes([](image_info_changes& c) {
         c.interlace = interlace_choice::plane;
       })},
      {"YUV", {"-interlace", "partition"}, true, changes([](image_info_changes& c) {
         c.interlace = interlace_choice::partition;
       })},
      {"unknown interlace", {"-interlace", "sideways"}, true, changes([](image_info_changes& c) {
         c.interlace = interlace_choice::undefined;
       })},
      {"PCL", {"-page", "A4"}, true, changes([](image_info_changes& c) { c.page = "A4"; })},
      {"page ignoring case", {"-PAGE", "Letter"}, true, changes([](image_info_changes& c) {
         c.page = "Letter";
       })},
      {"other names are case-sensitive", {"-Density", "9x9", "-ADJOIN"}, true, {}},
      {"PSE and a size", {"-monochrome", "-sample", "80x60"}, true, {}},
      {"plus forms",
       {"+compress", "+density", "+interlace", "+page", "+size", "+adjoin"},
       true,
       changes([](image_info_changes& c) {
         c.compression = compression_choice::none;
         c.density = "";
         c.interlace = interlace_choice::none;
         c.page = "";
         c.size = "";
         c.adjoin_on = true;
       })},
      {"geometry and size",
       {"-geometry", "10x10", "-size", "20x20"},
       true,
       changes([](image_info_changes& c) { c.size = "20x20"; })},
      {"colors and depth take numbers", {"-colors", " 16", "-depth", "-8"}, true, {}},
      {"a value is taken whatever it is",
       {"-density", "-compress", "None"},
       true,
       changes([](image_info_changes& c) { c.density = "-compress"; })},
      {"missing density is none", {"-adjoin", "-density"}, true, changes([](image_info_changes& c) {
         c.adjoin_on = true;
       })},
      {"missing size is none", {"-size"}, true, {}},
      {"colors not a number",
       {"-density", "1x1", "-colors", "many", "-adjoin"},
       false,
       changes([](image_info_changes& c) { c.density = "1x1"; })},
      {"depth missing", {"-depth"}, false, {}},
      {"compress missing", {"-compress"}, false, {}},
      {"colorspace missing", {"-colorspace"}, false, {}},
      {"interlace missing", {"-interlace"}, false, {}},
      {"page missing", {"-page"}, false, {}},
  };
  for (const list_case& c : cases) {
    image_info_changes seen;
    EXPECT_EQ(interpret_option_list(list_of(c.elements), seen), c.ok) << c.what;
    EXPECT_EQ(seen, c.expected) << c.what;
  }
}

// The option lists of every format are read without failure.
TEST(OptionListSettings, EveryFormatsListIsAccepted) {
  for (const target_format& format : target_formats()) {
    engine_settings settings;
    settings.format_code = format.code;
    settings.job.params_size = "10x10";
    image_info_changes seen;
    EXPECT_TRUE(interpret_option_list(build_option_list(settings, run_state{}), seen))
        << format.report_name;
  }
}

// The join form: geometry values are checked, colourspace names are
// case-sensitive, and the failures name their report lines.
TEST(JoinOptions, StepsAndFailures) {
  struct step_case {
    const char* what;
    std::vector<std::string> elements;  // the whole list; the option is element 1
    std::size_t next;
    std::optional<std::string_view> failure;
    image_info_changes expected;
  };
  const auto changes = [](auto fill) {
    image_info_changes c;
    fill(c);
    return c;
  };
  const std::vector<step_case> cases = {
      {"colorspace", {"Z", "-colorspace", "rgb", "out"}, 3, {}, changes([](image_info_changes& c) {
         c.colorspace = colorspace_choice::rgb;
       })},
      {"colorspace names are case-sensitive",
       {"Z", "-colorspace", "RGB", "out"},
       3,
       {},
       changes([](image_info_changes& c) { c.colorspace = colorspace_choice::undefined; })},
      {"density", {"Z", "-density", "150x150", "out"}, 3, {}, changes([](image_info_changes& c) {
         c.density = "150x150";
       })},
      {"density not a geometry", {"Z", "-density", "wide", "out"}, 2, "Bad density argument", {}},
      {"density without value", {"Z", "-density"}, 2, "Bad density argument", {}},
      {"size not a geometry", {"Z", "-size", "big", "out"}, 2, "Bad size argument", {}},
      {"geometry not a geometry", {"Z", "-geometry", "big", "out"}, 2, "", {}},
      {"geometry without value", {"Z", "-geometry"}, 2, "", {}},
      {"compress without value", {"Z", "-compress"}, 2, "Bad compress argument", {}},
      {"compress takes the output path",
       {"Z", "-compress", "out.pdf"},
       3,
       {},
       changes([](image_info_changes& c) {
         c.compression = compression_choice::group4;
         c.monochrome_on = true;
       })},
      {"sample skips its value", {"Z", "-sample", "8x8!", "-adjoin", "out"}, 3, {}, {}},
      {"adjoin by its first letters",
       {"Z", "-ad", "out"},
       2,
       {},
       changes([](image_info_changes& c) { c.adjoin_on = true; })},
      {"colors must be exact", {"Z", "-colorsx", "x", "out"}, 2, {}, {}},
      {"an input takes nothing", {"Z", "TIFF:/a.tif", "-adjoin"}, 2, {}, {}},
  };
  for (const step_case& c : cases) {
    image_info_changes seen;
    const option_step step =
        interpret_option(c.elements, 1, interpreter_form::join, magick::is_geometry, seen);
    EXPECT_EQ(step.next, c.next) << c.what;
    EXPECT_EQ(step.failure, c.failure) << c.what;
    EXPECT_EQ(seen, c.expected) << c.what;
  }
}

TEST(JoinOptions, InputsAndOptions) {
  for (const char* input : {"TIFF:/in/a.tif", "-", "+", "a-b", ""}) {
    EXPECT_FALSE(is_option_element(input)) << input;
  }
  for (const char* option : {"-adjoin", "+page", "-x", "--"}) {
    EXPECT_TRUE(is_option_element(option)) << option;
  }
}

}  // namespace
}  // namespace zq::engine
