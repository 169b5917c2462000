// Option lists: the job file's settings for the target format expressed as
// the argument list of an ImageMagick command-line tool, which MogrifyImage
// and the engine's own option interpreter apply to each image before it is
// written. Built once per source file, after it has been read.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine_settings.h"

namespace zq::engine {

// An ordered list of text elements in command-line form. Element 0 is always
// the program-name placeholder "Zembrit", which no consumer interprets; option
// names (beginning with "-") follow, each with its value where it has one.
// The list owns its strings.
class option_list {
 public:
  option_list();

  void append(std::string element);
  void append_pair(std::string_view option, std::string_view value);
  // The option with names[code] as its value. A code outside the table (above
  // it, or -1 for a list saved with nothing selected) adds nothing: an option
  // without its value would make the next element its value.
  void append_named(std::string_view option, std::span<const std::string_view> names, int code);

  // Number of elements, the placeholder included; int because that is what
  // ImageMagick's argument counts are.
  int count() const { return static_cast<int>(elements_.size()); }
  const std::vector<std::string>& elements() const { return elements_; }

 private:
  std::vector<std::string> elements_;
};

// The argv form of a list for MogrifyImage: one pointer per element and a
// nullptr end marker after the last (argv()[argc()] == nullptr). The pointers
// point into the list's strings, so the list must outlive this view and stay
// unchanged while it is used; a view of a temporary list does not compile.
class option_argv {
 public:
  explicit option_argv(const option_list& list);
  explicit option_argv(const option_list&& list) = delete;

  int argc() const { return static_cast<int>(pointers_.size()) - 1; }
  const char** argv() { return pointers_.data(); }

 private:
  std::vector<const char*> pointers_;
};

// The names of the [PCL] page_type, [PDF] and [TIFF] compression_type codes,
// indexed by code; the joins of many files into one PDF or TIFF name them alike.
std::span<const std::string_view> pcl_page_names();
std::span<const std::string_view> pdf_compression_names();
std::span<const std::string_view> tiff_compression_names();

// The option list for settings.format_code and the job settings, with the PDF
// density taken from the resolution of the source just read (`state`). A code outside a value table
// adds nothing, so the image writer's own default applies; in particular an unknown [PDF] or [TIFF]
// compression_type adds no "-compress" at all. A format code outside the
// table still gets the size option.
option_list build_option_list(const engine_settings& settings, const run_state& state);

// [PDF] compression_type "Fax (Group 4)".
inline constexpr int kPdfGroup4 = 1;

// The density the PDF option list gives for the source just read: its
// resolution truncated toward zero, 72x72 when either value is 0.
struct pdf_density {
  int x;
  int y;
};
pdf_density pdf_page_density(const run_state& state);

}  // namespace zq::engine
