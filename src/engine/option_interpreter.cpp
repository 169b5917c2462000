#include "engine/option_interpreter.h"

#include <algorithm>
#include <array>
#include <utility>

#include "common/ascii.h"

namespace zq::engine {
namespace {

using magick::colorspace_choice;
using magick::compression_choice;
using magick::image_info_changes;
using magick::interlace_choice;

template <typename Choice>
struct named {
  std::string_view name;
  Choice choice;
};

constexpr std::array<named<colorspace_choice>, 12> kColorspaceNames = {{
    {"cmyk", colorspace_choice::cmyk},
    {"gray", colorspace_choice::gray},
    {"ohta", colorspace_choice::ohta},
    {"rgb", colorspace_choice::rgb},
    {"srgb", colorspace_choice::srgb},
    {"transparent", colorspace_choice::transparent},
    {"xyz", colorspace_choice::xyz},
    {"ycbcr", colorspace_choice::ycbcr},
    {"ycc", colorspace_choice::ycc},
    {"yiq", colorspace_choice::yiq},
    {"ypbpr", colorspace_choice::ypbpr},
    {"yuv", colorspace_choice::yuv},
}};

// "FAX" is the TIFF writer's Group 3 choice of the option lists; without it
// a TIFF asked for with Group 3 would be written with Group 4.
constexpr std::array<named<compression_choice>, 7> kCompressionNames = {{
    {"None", compression_choice::none},
    {"LZW", compression_choice::lzw},
    {"GROUP4", compression_choice::group4},
    {"RLE", compression_choice::rle},
    {"JPEG", compression_choice::jpeg},
    {"ZIP", compression_choice::zip},
    {"FAX", compression_choice::fax},
}};

constexpr std::array<named<interlace_choice>, 4> kInterlaceNames = {{
    {"None", interlace_choice::none},
    {"Line", interlace_choice::line},
    {"Plane", interlace_choice::plane},
    {"Partition", interlace_choice::partition},
}};

bool same_text(std::string_view a, std::string_view b, bool ignore_case) {
  return ignore_case ? equals_ignoring_ascii_case(a, b) : a == b;
}

template <typename Choice, std::size_t N>
Choice choice_for(const std::array<named<Choice>, N>& names, const std::string& text,
                  bool ignore_case, Choice otherwise) {
  for (const named<Choice>& entry : names) {
    if (same_text(entry.name, text, ignore_case)) {
      return entry.choice;
    }
  }
  return otherwise;
}

// What "%d" accepts: optional blanks, an optional sign, at least one digit.
bool reads_as_integer(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) {
    ++i;
  }
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    ++i;
  }
  return i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]));
}

// One option being interpreted.
struct option_call {
  std::span<const std::string> elements;
  std::size_t index;
  bool minus;  // "-" form; "+" otherwise
  interpreter_form form;
  geometry_check is_geometry;
  image_info_changes& changes;

  const std::string* value() const {
    return index + 1 < elements.size() ? &elements[index + 1] : nullptr;
  }
  option_step done(std::size_t values_taken) const { return {index + 1 + values_taken, {}}; }
  option_step failed(std::string_view report_line) const { return {index + 1, report_line}; }
  bool join() const { return form == interpreter_form::join; }
};

using option_handler = option_step (*)(const option_call& call);

option_step adjoin(const option_call& call) {
  call.changes.adjoin_on = true;
  return call.done(0);
}

// colors and depth: the value must be a number, which is not used.
option_step number_unused(const option_call& call) {
  if (!call.minus) {
    return call.done(0);
  }
  const std::string* value = call.value();
  if (value == nullptr || !reads_as_integer(*value)) {
    return call.failed("");
  }
  return call.done(1);
}

option_step colorspace(const option_call& call) {
  if (!call.minus) {
    return call.done(0);
  }
  const std::string* value = call.value();
  if (value == nullptr) {
    return call.failed("");
  }
  call.changes.colorspace =
      choice_for(kColorspaceNames, *value, !call.join(), colorspace_choice::undefined);
  return call.done(1);
}

option_step compress(const option_call& call) {
  if (!call.minus) {
    call.changes.compression = compression_choice::none;
    return call.done(0);
  }
  const std::string* value = call.value();
  if (value == nullptr) {
    return call.failed("Bad compress argument");
  }
  call.changes.monochrome_on = true;
  call.changes.compression =
      choice_for(kCompressionNames, *value, true, compression_choice::group4);
  return call.done(1);
}

// density, geometry and size: a geometry value, or cleared by the "+" form.
option_step geometry_setting(const option_call& call, std::optional<std::string>& field,
                             std::string_view report_line) {
  if (!call.minus) {
    field = std::string();
    return call.done(0);
  }
  const std::string* value = call.value();
  if (value == nullptr) {
    return call.join() ? call.failed(report_line) : call.done(0);
  }
  if (call.join() && !call.is_geometry(*value)) {
    return call.failed(report_line);
  }
  field = *value;
  return call.done(1);
}

option_step density(const option_call& call) {
  return geometry_setting(call, call.changes.density, "Bad density argument");
}

option_step geometry(const option_call& call) {
  return geometry_setting(call, call.changes.size, "");
}

option_step size(const option_call& call) {
  return geometry_setting(call, call.changes.size, "Bad size argument");
}

option_step interlace(const option_call& call) {
  if (!call.minus) {
    call.changes.interlace = interlace_choice::none;
    return call.done(0);
  }
  const std::string* value = call.value();
  if (value == nullptr) {
    return call.failed("");
  }
  call.changes.interlace = choice_for(kInterlaceNames, *value, true, interlace_choice::undefined);
  return call.done(1);
}

option_step page(const option_call& call) {
  if (!call.minus) {
    call.changes.page = std::string();
    return call.done(0);
  }
  const std::string* value = call.value();
  if (value == nullptr) {
    return call.failed("");
  }
  call.changes.page = *value;
  return call.done(1);
}

// The resizing itself is MogrifyImage's; here the size only is passed over.
option_step sample(const option_call& call) {
  return call.done(call.minus && call.value() != nullptr ? 1 : 0);
}

struct option_rule {
  std::string_view name;  // what the text after the sign must begin with
  bool whole;             // the text must be exactly the name
  bool ignore_case;
  option_handler handler;
};

// The first rule whose name fits wins, so "colors" comes before "colorsp".
constexpr std::array<option_rule, 11> kRules = {{
    {"ad", false, false, adjoin},
    {"colors", true, false, number_unused},
    {"colorsp", false, false, colorspace},
    {"compr", false, false, compress},
    {"den", false, false, density},
    {"depth", false, false, number_unused},
    {"ge", false, false, geometry},
    {"int", false, false, interlace},
    {"pag", false, true, page},
    {"sa", false, false, sample},
    {"si", false, false, size},
}};

const option_rule* rule_for(std::string_view text) {
  for (const option_rule& rule : kRules) {
    const std::string_view compared =
        rule.whole ? text : text.substr(0, std::min(text.size(), rule.name.size()));
    if (same_text(compared, rule.name, rule.ignore_case)) {
      return &rule;
    }
  }
  return nullptr;
}

}  // namespace

bool is_option_element(const std::string& element) {
  return element.size() >= 2 && (element[0] == '-' || element[0] == '+');
}

option_step interpret_option(std::span<const std::string> elements, std::size_t index,
                             interpreter_form form, geometry_check is_geometry,
                             image_info_changes& changes) {
  const std::string& element = elements[index];
  const option_rule* rule =
      is_option_element(element) ? rule_for(std::string_view(element).substr(1)) : nullptr;
  if (rule == nullptr) {
    return {index + 1, {}};
  }
  return rule->handler(option_call{elements, index, element[0] == '-', form, is_geometry, changes});
}

bool interpret_option_list(const option_list& list, image_info_changes& changes) {
  const std::span<const std::string> elements = list.elements();
  for (std::size_t index = 0; index < elements.size();) {
    const option_step step =
        interpret_option(elements, index, interpreter_form::option_list, nullptr, changes);
    if (step.failure) {
      return false;
    }
    index = step.next;
  }
  return true;
}

int apply_option_settings(const option_list& list, magick::image_info& info) {
  image_info_changes changes;
  const bool interpreted = interpret_option_list(list, changes);
  info.apply(changes);
  return interpreted ? 1 : 0;
}

}  // namespace zq::engine
