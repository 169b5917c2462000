// libFuzzer target for the option interpreter. The input's lines are the
// elements of an option list after the program-name placeholder. The list is
// walked as a join walks it (every element an input or an option, the library's
// own geometry check) with each option's changes applied to a real ImageInfo,
// and then applied whole in the option-list form. Checked at every step: an
// option takes at most the one value that follows it, an input takes nothing,
// a failure names one of the report's lines or none, and a join never accepts
// a density or size value that is not a geometry. A violation aborts, as a
// sanitizer finding does.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "engine/magick.h"
#include "engine/option_interpreter.h"
#include "engine/option_list.h"

namespace {

using namespace zq::engine;

void fail(const char* what, const std::string& element) {
  std::fprintf(stderr, "option interpreter: %s at \"%s\"\n", what, element.c_str());
  std::abort();
}

constexpr std::array<std::string_view, 4> kReportLines = {
    "", "Bad compress argument", "Bad density argument", "Bad size argument"};

bool accepted_geometry(const std::optional<std::string>& value) {
  return !value || value->empty() || magick::is_geometry(*value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  option_list list;
  for (std::size_t start = 0; start < input.size();) {
    const std::size_t newline = std::min(input.find('\n', start), input.size());
    list.append(std::string(input.substr(start, newline - start)));
    start = newline + 1;
  }
  const std::span<const std::string> elements = list.elements();

  magick::image_info info;
  for (std::size_t index = 1; index < elements.size();) {
    const std::string& element = elements[index];
    magick::image_info_changes changes;
    const option_step step =
        interpret_option(elements, index, interpreter_form::join, magick::is_geometry, changes);
    if (step.next != index + 1 && !(step.next == index + 2 && index + 1 < elements.size())) {
      fail("a step that takes more than the option's value", element);
    }
    if (!is_option_element(element) && (step.next != index + 1 || step.failure)) {
      fail("an input taken as an option", element);
    }
    if (step.failure) {
      if (std::find(kReportLines.begin(), kReportLines.end(), *step.failure) ==
          kReportLines.end()) {
        fail("a failure without a known report line", element);
      }
    } else if (!accepted_geometry(changes.density) || !accepted_geometry(changes.size)) {
      fail("a geometry the library rejects", element);
    }
    info.apply(changes);
    index = step.next;
  }

  magick::image_info whole;
  (void)apply_option_settings(list, whole);
  return 0;
}
