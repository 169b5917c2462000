#include "common/paths.h"

#include <string_view>

#include "common/ascii.h"

namespace zq {

std::size_t normalize_path(std::string& path) {
  std::string out;
  out.reserve(path.size());
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (path[i] == kPathSeparator && i + 1 < path.size() && path[i + 1] == kPathSeparator) {
      continue;
    }
    out.push_back(path[i]);
  }
  path = std::move(out);
  return path.size();
}

void normalize_unc_path(std::string& path) {
  std::string out(2, kPathSeparator);
  out.reserve(path.size());
  // The character before the first one examined is the second separator of the
  // leading pair, so a separator right after the pair is dropped too.
  for (std::size_t i = 2; i < path.size(); ++i) {
    const char c = path[i];
    if (c == kPathSeparator && path[i - 1] == kPathSeparator) {
      continue;
    }
    out.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
  }
  path = std::move(out);
}

void normalize_by_rule(std::string& path) {
  if (kHasNetworkPaths && path.size() >= 2 && path[0] == kPathSeparator &&
      path[1] == kPathSeparator) {
    normalize_unc_path(path);
  } else {
    normalize_path(path);
  }
}

std::string join_path(const std::string& folder, const std::string& name) {
  std::string joined = folder;
  joined.push_back(kPathSeparator);
  joined += name;
  return joined;
}

std::string join_normalized(const std::string& folder, const std::string& name) {
  std::string joined = join_path(folder, name);
  normalize_path(joined);
  return joined;
}

std::string folder_of(const std::string& path) {
  const auto slash = path.rfind(kPathSeparator);
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string file_name_of(const std::string& path) {
  const auto slash = path.rfind(kPathSeparator);
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string base_name_of(const std::string& path) {
  std::string name = file_name_of(path);
  const auto dot = name.rfind('.');
  if (dot != std::string::npos) {
    name.erase(dot);
  }
  return name;
}

std::string extension_of(const std::string& path) {
  const std::string name = file_name_of(path);
  const auto dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot);
}

bool has_tiff_extension(const std::string& path) {
  constexpr std::string_view kTiff = ".tif";
  const std::string extension = extension_of(path);
  return extension.size() >= kTiff.size() &&
         equals_ignoring_ascii_case(std::string_view(extension).substr(0, kTiff.size()), kTiff);
}

}  // namespace zq
