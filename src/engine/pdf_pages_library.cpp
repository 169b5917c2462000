// Loads the PDF joiner library on the first join. It is found as the bitmap
// library is, through the program's run path: the folder beside the program.
#include "engine/pdf_pages.h"
#include "platform/system.h"

namespace zq::engine {

status make_pdf_page_builder(std::unique_ptr<pdf_page_builder>& builder) {
  void* factory = nullptr;
  const status found = platform::find_library_symbol(kPdfJoinerLibrary, kPdfJoinerFactory, factory);
  if (!found.is_ok()) {
    return found;
  }
  using factory_call = pdf_page_builder* (*)();
  builder.reset(reinterpret_cast<factory_call>(factory)());
  if (!builder) {
    return status::error(std::string(kPdfJoinerLibrary) + ": could not start a PDF document");
  }
  return status::ok();
}

}  // namespace zq::engine
