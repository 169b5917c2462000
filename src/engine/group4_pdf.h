// A PDF made of Group 4 pages alone, written by the engine itself: the
// encoded data of each page goes in as it stands, read from its file when the
// document is written. The bytes are those the PDF joiner's library writes
// for the same pages, so a document does not depend on which of the two wrote
// it; what the engine saves is loading that library (and the TLS stack it
// brings) for the commonest PDF of all, a fax.
#pragma once

#include <vector>

#include "common/status.h"
#include "engine/pdf_layout.h"
#include "engine/pdf_pages.h"

namespace zq::platform {
class writable_file;
}

namespace zq::engine {

class group4_pdf {
 public:
  // Checks the page as the joiner does: a size, a resolution, data inside its
  // file, within the largest page a PDF may have. The file must stay until
  // the document is written.
  status append(const ccitt_page& page);

  const std::vector<ccitt_page>& pages() const { return pages_; }

  // Writes the document through `output`, checking every write; the caller
  // closes it. Fails when a page's data can no longer be read whole.
  status write_to(platform::writable_file& output) const;

 private:
  std::vector<ccitt_page> pages_;
  std::vector<ccitt_layout> layouts_;  // of each page
};

}  // namespace zq::engine
