// TIFF pages handled as encoded data, through libtiff: joining files into one
// multi-page TIFF, finding Group 4 data that can go into a PDF unchanged, and
// taking fax pages into a Group 3 or Group 4 TIFF, joined or one of their own,
// as the image library would write them.
// Pixels are never held in the image library's pixel cache: pages are copied
// as they stand, or recoded a row at a time, so the cost is close to file
// copying whatever the number of pages, and memory stays at one strip.
#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "common/status.h"
#include "engine/magick.h"
#include "engine/pdf_pages.h"

namespace zq::platform {
class file_system;
}

namespace zq::engine {

// Writes every page of `inputs`, in order, into `output` (created or replaced;
// the caller writes to a temporary name and renames). Each page gets its
// position and the total in its page-number tag, as an adjoined write does.
// Fails, naming the file and the library's reason, when an input cannot be
// read or the output cannot be written; the output is then incomplete and
// the caller removes it. libtiff reads and writes the files by name; `files`
// answers what is asked of them beside that.
status join_tiff_files(platform::file_system& files, const std::vector<std::string>& inputs,
                       const std::string& output);

// The bilevel codings the image library's TIFF writer gives a page for the
// option lists' "FAX" (Group 3, one-dimensional, each line padded to a byte)
// and "GROUP4".
enum class fax_coding { group3, group4 };

// The coding in which the writer stores a black and white page for the
// writing settings `writing`: Group 3 or Group 4 as they ask, when no colour
// change could reach the page (rgb keeps black and white as they are);
// nothing for any other settings.
std::optional<fax_coding> fax_coding_for(const magick::image_info_changes& writing);

// A page of a fax TIFF whose pixels the image library would write unchanged
// into a TIFF: it goes in without being decoded into the pixel cache.
struct fax_page {
  std::string file;
  std::size_t index = 0;  // its directory, from 0
  fax_coding coding = fax_coding::group4;
  // The page's data is in that coding already, in one strip, white as 0 and
  // the first pixel in the high bit: its strip is copied. Otherwise the page
  // is decoded and encoded again by libtiff, a row at a time.
  bool as_it_stands = false;
  // Per inch, as the writer would write them: the page's own resolution,
  // converted from per centimetre as the image library converts it, or the
  // reading density for a page that has none.
  double x_resolution = 0;
  double y_resolution = 0;
  // The page's resolution unit is the inch (as its tag says, or by default):
  // a page given another resolution keeps its unit, so only such a page can
  // be written at a resolution in inches.
  bool per_inch = true;
  // Written as a file of its own rather than joined: the page then also
  // carries the white point and primaries the writer gives every image (a
  // join keeps only the tags it copies).
  bool own_file = false;
};

// Every page of `tiff_file`, when each is a bilevel Group 3 or Group 4 page
// that decodes without a complaint from the codec and carries nothing the
// image library would write differently (a colour profile, a position, tags
// it does not know); `reading_density` stands for a missing resolution. False,
// leaving `pages` unchanged, for any other file: the image library's route
// then reads it, and reports what it cannot read as it always has. Each page
// is decoded once here, so a damaged one is never copied.
bool find_fax_pages(const std::string& tiff_file, fax_coding coding, double reading_density,
                    std::vector<fax_page>& pages);

// One part of a joined TIFF: every page of a file the image library wrote,
// copied as it stands, or one fax page.
using tiff_part = std::variant<std::string, fax_page>;

// Writes the parts, in order, into `output`, as join_tiff_files does; fax
// pages get the tags the image library writes for them (photometric, fill
// order, one strip, resolution per inch, orientation, description and page
// name, page number).
status join_tiff_parts(platform::file_system& files, const std::vector<tiff_part>& parts,
                       const std::string& output);

// Number of pages of a TIFF file as libtiff reads it; 0 when it cannot be read.
std::size_t tiff_page_count(const std::string& tiff_file);

// A page's resolution tags; 0 when the page has none (a reader then uses its
// own reading density).
struct tiff_resolution {
  double x = 0;
  double y = 0;
  bool per_centimetre = false;
};

// The Group 4 data of page `page_index` (0-based) of `tiff_file`, when it can
// be embedded in a PDF as it stands: one bilevel sample, Group 4, one strip,
// most significant bit first, both resolution tags or neither. Returns false
// for every other page, and for a file or page that cannot be read. The page's
// layout resolution is left to the caller; `resolution` receives its tags.
bool find_embeddable_g4(platform::file_system& files, const std::string& tiff_file, int page_index,
                        ccitt_page& page, tiff_resolution& resolution);

}  // namespace zq::engine
