// Path helpers shared by the engine, the front end and the installer.
// Paths are byte strings (UTF-8 or not); nothing here interprets characters
// beyond the separator and ASCII letters.
#pragma once

#include <cstddef>
#include <string>

namespace zq {

// The one place the folder separator is named; a Windows build swaps it.
inline constexpr char kPathSeparator = '/';

// Longest path the programs accept (bytes, without terminator). Longer paths
// are refused by the callers with a message; nothing is ever cut.
inline constexpr std::size_t kMaxPathLength = 4095;

// Collapses every run of separators into one. Returns the new length.
std::size_t normalize_path(std::string& path);

// For a path that begins with two separators: keeps that leading pair,
// collapses every further run (a separator right after the pair is dropped)
// and upper-cases ASCII letters.
void normalize_unc_path(std::string& path);

// Whether a leading pair of separators names a network path here. Linux has
// no such prefix, so the rule below always normalises plainly and keeps case.
inline constexpr bool kHasNetworkPaths = false;

// The two-separator rule: normalize_unc_path for a network path (a leading
// pair of separators where the platform has network paths), normalize_path
// for everything else.
void normalize_by_rule(std::string& path);

// Joins folder and name with one separator ("%s/%s"), as the patterns do; the
// doubled separator after a folder that ends in one is left for normalising.
std::string join_path(const std::string& folder, const std::string& name);

// join_path, then normalize_path: the form of every path the programs build
// from the temp folder, their own folder or a walked folder.
std::string join_normalized(const std::string& folder, const std::string& name);

// Pieces of a path: folder (with trailing separator, empty when none), file
// name, base name (file name up to its last dot) and extension (from the last
// dot of the file name, dot included; empty when none).
std::string folder_of(const std::string& path);
std::string file_name_of(const std::string& path);
std::string base_name_of(const std::string& path);
std::string extension_of(const std::string& path);

// The TIFF test of the walks and the picker: the extension begins with ".tif"
// in any case, so ".tif", ".TIFF" and ".tifx" pass; ".ti", ".tf" and a name
// without extension do not.
bool has_tiff_extension(const std::string& path);

}  // namespace zq
