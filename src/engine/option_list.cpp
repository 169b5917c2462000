#include "engine/option_list.h"

#include <array>
#include <cmath>
#include <limits>
#include <span>
#include <string_view>
#include <utility>

#include "engine/format_routes.h"

namespace zq::engine {
namespace {

constexpr std::string_view kProgramPlaceholder = "Zembrit";

// Value tables of the job file's codes, indexed by the code itself.
constexpr std::array<std::string_view, 8> kPclPageNames = {"Executive", "Letter", "Legal", "Ledger",
                                                           "A4",        "A3",     "B5",    "B4"};
constexpr std::array<std::string_view, 5> kPdfCompressionNames = {"None", "GROUP4", "LZW", "JPEG",
                                                                  "ZIP"};
// The dialog's "Packbits" (4) and "RLE" (5) are both run-length coding here.
constexpr std::array<std::string_view, 7> kTiffCompressionNames = {"None", "FAX", "GROUP4", "JPEG",
                                                                   "RLE",  "RLE", "ZIP"};

// Truncated toward zero. A value no int can hold (or not a number) is treated
// like a missing resolution rather than converted with undefined behaviour.
int whole_resolution(double resolution) {
  const double whole = std::trunc(resolution);
  if (!(whole >= std::numeric_limits<int>::min() && whole <= std::numeric_limits<int>::max())) {
    return 0;
  }
  return static_cast<int>(whole);
}

}  // namespace

std::span<const std::string_view> pcl_page_names() { return kPclPageNames; }

std::span<const std::string_view> pdf_compression_names() { return kPdfCompressionNames; }

std::span<const std::string_view> tiff_compression_names() { return kTiffCompressionNames; }

option_list::option_list() : elements_{std::string(kProgramPlaceholder)} {}

void option_list::append(std::string element) { elements_.push_back(std::move(element)); }

void option_list::append_pair(std::string_view option, std::string_view value) {
  append(std::string(option));
  append(std::string(value));
}

void option_list::append_named(std::string_view option, std::span<const std::string_view> names,
                               int code) {
  if (code >= 0 && std::cmp_less(code, names.size())) {
    append_pair(option, names[static_cast<std::size_t>(code)]);
  }
}

option_argv::option_argv(const option_list& list) {
  pointers_.reserve(list.elements().size() + 1);
  for (const std::string& element : list.elements()) {
    pointers_.push_back(element.c_str());
  }
  pointers_.push_back(nullptr);
}

pdf_density pdf_page_density(const run_state& state) {
  // The PDF keeps the source's own resolution; a source without one gets 72.
  const int x = whole_resolution(state.source_x_resolution);
  const int y = whole_resolution(state.source_y_resolution);
  if (x == 0 || y == 0) {
    return {72, 72};
  }
  return {x, y};
}

option_list build_option_list(const engine_settings& settings, const run_state& state) {
  option_list list;
  if (const format_route* route = find_route(settings.format_code)) {
    route->append_options(settings, state, list);
  }
  const job_settings& job = settings.job;
  if (!job.params_size.empty()) {
    // Without keep_proportions the size is forced exactly, ignoring the aspect
    // ratio; one "!" is appended whatever the user typed.
    list.append_pair("-sample",
                     job.params_keep_proportions != 0 ? job.params_size : job.params_size + "!");
  }
  return list;
}

}  // namespace zq::engine
