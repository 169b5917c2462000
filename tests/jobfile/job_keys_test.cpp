#include "jobfile/job_keys.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "../platform/test_folder.h"
#include "platform/ini_file.h"

namespace zq {
namespace {

using platform::read_bytes;
using platform::test_folder;
using platform::write_bytes;

job_settings read(const test_folder& folder, const std::string& body) {
  write_bytes(folder / "job.ini", body);
  job_settings settings;
  EXPECT_TRUE(read_job_settings(platform::ini_file::load(folder / "job.ini"), settings).is_ok());
  return settings;
}

TEST(JobKeys, EveryKeySitsAtThePositionOfItsId) {
  const auto keys = job_keys();
  ASSERT_EQ(keys.size(), static_cast<std::size_t>(job_key_id::misc_tooltips) + 1);
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const auto id = static_cast<job_key_id>(i);
    EXPECT_EQ(static_cast<std::size_t>(keys[i].id), i) << key_label(keys[i]);
    EXPECT_EQ(key_of(id).id, id) << i;
  }
}

TEST(JobKeys, MissingKeysTakeTheEngineDefaults) {
  test_folder folder;
  for (const std::string body : {"", "[PARAMS]\r\n[JPEG]\r\n"}) {
    const job_settings s = read(folder, body);
    EXPECT_EQ(s.report_create_report, 1);
    EXPECT_EQ(s.params_density, 150);
    EXPECT_EQ(s.jpeg_colorspace, 1);  // no CMYK unless asked for
    EXPECT_EQ(s.jpeg_quality, 0);     // the dialog would show 75; the engine does not
    EXPECT_EQ(s.params_extract_all, 0);
    EXPECT_EQ(s.tiff_adjoin, 0);
    EXPECT_EQ(s.pse_horz_dpi, 0);
    EXPECT_EQ(s.params_size, "");
  }
}

TEST(JobKeys, ValuesAsTheWindowsCallsReadThem) {
  test_folder folder;
  const job_settings s = read(folder,
                              "; saved by hand\n"
                              "[params]\n"
                              "  DENSITY = 0  \n"
                              "Extract_All=yes\n"
                              "size='800x600!'\n"
                              "[JPEG]\r\n"
                              "QUALITY=85abc\r\n"
                              "colorspace=-1\r\n"
                              "[pdf]\n"
                              "PDF_NAME=\"scans 2006.pdf\"\n"
                              "[PARAMS]\n"
                              "density=300\n");  // a second section of that name is never read
  EXPECT_EQ(s.params_density, 150);
  EXPECT_EQ(s.params_extract_all, 0);  // a word reads as 0
  EXPECT_EQ(s.params_size, "800x600!");
  EXPECT_EQ(s.jpeg_quality, 85);
  EXPECT_EQ(s.jpeg_colorspace, -1);
  EXPECT_EQ(s.pdf_pdf_name, "scans 2006.pdf");
}

// A text value one byte over its field is refused, naming the key; one that
// just fits is taken whole.
TEST(JobKeys, TooLongTextIsRefusedNamingTheKey) {
  test_folder folder;
  const struct {
    std::string body;
    std::string refusal;  // empty: accepted
  } cases[] = {
      {"[PARAMS]\nsize=" + std::string(49, 'x') + "\n", ""},
      {"[PARAMS]\nsize=" + std::string(50, 'x') + "\n", "[PARAMS] size"},
      {"[PDF]\npdf_name=" + std::string(4095, 'n') + "\n", ""},
      {"[PDF]\npdf_name=" + std::string(4096, 'n') + "\n", "[PDF] pdf_name"},
  };
  for (const auto& c : cases) {
    write_bytes(folder / "job.ini", c.body);
    job_settings settings;
    const status read = read_job_settings(platform::ini_file::load(folder / "job.ini"), settings);
    EXPECT_EQ(read.is_ok(), c.refusal.empty()) << c.body.size();
    EXPECT_NE(read.reason().find(c.refusal), std::string::npos) << read.reason();
  }
}

// Each key lands in a field of its own: distinct values written for every key
// come back in the fields the table names, and int_value finds each by its id.
TEST(JobKeys, EveryKeyHasItsOwnField) {
  test_folder folder;
  std::string body;
  std::string_view section;
  int value = 2;
  for (const job_key& key : job_keys()) {
    if (key.section != section) {
      section = key.section;
      body += "[" + std::string(section) + "]\n";
    }
    body += std::string(key.key) + "=" + std::to_string(value++) + "\n";
  }
  const job_settings s = read(folder, body);
  value = 2;
  std::set<std::string> seen;
  for (const job_key& key : job_keys()) {
    const std::string expected = std::to_string(value++);
    EXPECT_TRUE(seen.insert(std::string(key.section) + "/" + std::string(key.key)).second);
    if (auto f = std::get_if<int job_settings::*>(&key.field)) {
      EXPECT_EQ(std::to_string(s.*(*f)), expected) << key.key;
      EXPECT_EQ(std::to_string(int_value(s, key.id)), expected) << key.key;
    } else {
      EXPECT_EQ(int_value(s, key.id), 0) << key.key;
      if (auto t = std::get_if<std::string job_settings::*>(&key.field)) {
        EXPECT_EQ(s.*(*t), expected) << key.key;
      }
    }
  }
}

TEST(JobKeys, FrontEndDefaults) {
  using enum job_key_id;
  const struct {
    job_key_id id;
    std::string expected;
  } cases[] = {
      {folders_temp, "/var/tmp/zq/"},  // the temp path handed in
      {folders_source, ""},
      {params_density, ""},  // never shown, never written (the file below has none)
      {jpeg_quality, "75"},
      {tiff_adjoin, "1"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(front_end_default(key_of(c.id), "/var/tmp/zq/"), c.expected) << key_of(c.id).key;
  }
}

TEST(JobKeys, DefaultJobFileHoldsTheFrontEndDefaults) {
  test_folder folder;
  write_bytes(folder / "Zembrit_Quarnel.ini", "[OLD]\r\nstale=1\r\n");
  ASSERT_TRUE(write_default_job_file(folder / "Zembrit_Quarnel.ini", "/tmp/").is_ok());
  EXPECT_EQ(read_bytes(folder / "Zembrit_Quarnel.ini"),
            "[FOLDERS]\r\ntemp=/tmp/\r\nsource=\r\ntarget=\r\n"
            "[PARAMS]\r\nimage_type=1\r\nrecurse=0\r\nreproduce_path=0\r\nextract_all=1\r\n"
            "keep_proportions=0\r\nsize=\r\n"
            "[JPEG]\r\nquality=75\r\nprogressive=0\r\ncolorspace=1\r\n"
            "[PNG]\r\nquality=75\r\nprogressive=0\r\n"
            "[GIF]\r\nGIF87=0\r\nadjoin=0\r\ncompress=0\r\n"
            "[BMP]\r\ncompress=0\r\nbmp_type=0\r\n"
            "[PCL]\r\npage_type=0\r\ndpi=75\r\n"
            "[PCX]\r\nadjoin=0\r\n"
            "[TIFF]\r\nadjoin=1\r\ncompression_type=1\r\ndpi=72\r\ncolorspace=0\r\ntif_name=\r\n"
            "[PDF]\r\nadjoin=0\r\ncompression_type=1\r\nletter_type=1\r\n"
            "[REPORT]\r\ncreate_report=1\r\nuse_tiff_name=0\r\n"
            "[PSE]\r\nhorz_dpi=240\r\nvert_dpi=240\r\n"
            "[MISC]\r\ntooltips=0\r\n");
  EXPECT_EQ(folder.names(), std::set<std::string>{"Zembrit_Quarnel.ini"});

  // The build lays the same file beside the engine.
  const auto installed =
      platform::ini_file::load(std::string(ZQ_INSTALL_LAYOUT_DIR) + "/Zembrit_Quarnel.ini");
  ASSERT_TRUE(installed.loaded());
  EXPECT_EQ(installed.read_int("PARAMS", "image_type", -1), 1);
  EXPECT_FALSE(installed.read_string("FOLDERS", "temp").empty());
}

}  // namespace
}  // namespace zq
