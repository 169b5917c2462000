// The engine's command text: one text whose fields are separated by "|", the
// first field choosing the run mode. The front end builds it for every file
// it hands over; the engine splits it; scripts write it by hand.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zq {

inline constexpr char kFieldSeparator = '|';
inline constexpr std::size_t kMaxFields = 10;

// Three paths and a mode letter fit with room to spare; a longer text is
// refused rather than cut.
inline constexpr std::size_t kMaxCommandLineLength = 16383;

// "G|source|target|job file": the single-file run the front end starts.
std::string single_file_command(const std::string& source, const std::string& target,
                                const std::string& job_file);

// Drops one leading and one trailing double quote, splits on "|" (runs of
// separators count as one, separators at either end are ignored, so no field
// is empty), and keeps at most ten fields. No field at all gives an empty list.
std::vector<std::string> split_command_line(std::string_view text);

}  // namespace zq
