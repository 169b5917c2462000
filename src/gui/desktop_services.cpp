#include "gui/desktop_services.h"

#include <QDesktopServices>
#include <QFile>
#include <QUrl>

namespace zq::gui {

bool desktop_services::open(const std::string& path) {
  if (files_.stat_target(path).kind != platform::file_kind::regular) {
    return false;
  }
  return QDesktopServices::openUrl(
      QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(path))));
}

}  // namespace zq::gui
