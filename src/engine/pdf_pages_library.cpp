// The engine's side of the PDF joiner: loading its library from the engine's
// own folder on the first join, and writing a document to a file by name.
// The full path is given: a bare name would be looked up through the run path
// of whichever library called the loader, which is not always the engine's.
#include "engine/pdf_pages.h"
#include "platform/file_system.h"
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

status pdf_page_builder::write(const std::string& output) {
  platform::file_system& files = platform::real_file_system();
  result<std::unique_ptr<platform::writable_file>> file =
      files.open_for_write(output, platform::open_mode::truncate);
  if (!file.is_ok()) {
    return file.status();
  }
  status written = write_to(**file);
  const status closed = (*file)->close();
  if (written.is_ok()) {
    written = closed;
  }
  if (!written.is_ok()) {
    (void)files.remove(output);
  }
  return written;
}

}  // namespace zq::engine
