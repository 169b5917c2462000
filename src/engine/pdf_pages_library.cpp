// Loads the PDF joiner library from the engine's own folder on the first join.
// The full path is given: a bare name would be looked up through the run path
// of whichever library called the loader, which is not always the engine's.
#include "engine/pdf_pages.h"
#include "platform/system.h"

namespace zq::engine {

status make_pdf_page_builder(std::unique_ptr<pdf_page_builder>& builder) {
  // Looked up once a run: a run that writes a PDF per page joins many.
  static void* factory = nullptr;
  static const status found = platform::find_library_symbol(
      platform::own_folder() + kPdfJoinerLibrary, kPdfJoinerFactory, factory);
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
