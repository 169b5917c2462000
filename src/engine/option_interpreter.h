// The engine's own reading of option lists: which ImageInfo settings an
// option list asks for (density, compression, colorspace, interlace, page,
// size, adjoin, monochrome). ImageMagick's MogrifyImage changes the images;
// this decides how the ImageInfo writes them and, in a join, reads them.
//
// Two forms share the rules. The join form walks the join's own list (inputs,
// options, output path), checks geometry values and names the options whose
// failure the report shows. The option-list form (apply_option_settings)
// treats every element of a list built for one source as an option and takes a
// missing density, geometry or size value as none.
//
// The rules decide into a plain image_info_changes record, so they can be
// checked without the image library; only apply_option_settings touches it.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "engine/magick.h"
#include "engine/option_list.h"

namespace zq::engine {

enum class interpreter_form { join, option_list };

// The geometry check of the join form (magick::is_geometry in the engine).
using geometry_check = bool (*)(const std::string& text);

struct option_step {
  std::size_t next;  // the element after the option and the value it took
  // Set when the option failed; the text is the join's report line, empty when
  // the failure has none.
  std::optional<std::string_view> failure;
};

// Whether the join walk takes `element` as an option; anything else is an
// input (so "-" alone, or a path, is read as a file).
bool is_option_element(const std::string& element);

// Interprets the option at elements[index] into `changes`. An option that
// takes a value takes elements[index + 1], whatever it is; it lacks one only
// at the end of `elements`. An element that names no option changes nothing
// and takes no value. `is_geometry` is used by the join form only.
option_step interpret_option(std::span<const std::string> elements, std::size_t index,
                             interpreter_form form, geometry_check is_geometry,
                             magick::image_info_changes& changes);

// The option-list form over the whole list. False at the first option that
// fails (changes up to it stay in `changes`).
bool interpret_option_list(const option_list& list, magick::image_info_changes& changes);

// Applies the settings of `list` to `info`. Returns 1, or 0 when an option
// lacked its value or a number value was not a number (the settings before it
// are applied).
int apply_option_settings(const option_list& list, magick::image_info& info);

}  // namespace zq::engine
