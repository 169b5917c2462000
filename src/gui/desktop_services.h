// The desktop's opener for the front end: a file handed to the program the
// desktop associates with it (xdg-open behind QDesktopServices). A file that
// is not there is not handed on at all, so no opener starts only to complain.
#pragma once

#include "gui/core/desktop_opener.h"
#include "platform/file_system.h"

namespace zq::gui {

class desktop_services final : public desktop_opener {
 public:
  explicit desktop_services(platform::file_system& files = platform::real_file_system())
      : files_(files) {}

  bool open(const std::string& path) override;

 private:
  platform::file_system& files_;
};

}  // namespace zq::gui
