// Opening a file with the desktop's own program for it (the help page in a
// browser, a report in a text editor), as one small interface: the dialogs
// open through the desktop's opener, tests record what would have been opened.
#pragma once

#include <string>

namespace zq::gui {

class desktop_opener {
 public:
  virtual ~desktop_opener() = default;

  // Opens the file at `path`; false when it does not exist or nothing could
  // be started for it.
  virtual bool open(const std::string& path) = 0;
};

}  // namespace zq::gui
