#include "engine/pdf_pages.h"

#include <qpdf/ClosedFileInputSource.hh>
#include <qpdf/Pipeline.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <vector>

namespace zq::engine {
namespace {

// Hands qpdf the encoded data of a page when the document is written, read in
// pieces straight from the file that holds it.
// qpdf only warns when a provider fails, so the failure is also noted in
// `failed_file`, which the write checks.
class file_range_provider : public QPDFObjectHandle::StreamDataProvider {
 public:
  file_range_provider(ccitt_page page, std::string& failed_file)
      : QPDFObjectHandle::StreamDataProvider(true),
        page_(std::move(page)),
        failed_file_(failed_file) {}

  bool provideStreamData(QPDFObjGen const&, Pipeline* pipeline, bool, bool) override {
    const bool ok = copy_range(pipeline);
    if (!ok) {
      failed_file_ = page_.file;
    }
    return ok;
  }

 private:
  bool copy_range(Pipeline* pipeline) const {
    std::FILE* file = std::fopen(page_.file.c_str(), "rb");
    if (file == nullptr) {
      pipeline->finish();
      return false;
    }
    bool ok = std::fseek(file, static_cast<long>(page_.offset), SEEK_SET) == 0;
    std::vector<unsigned char> buffer(64 * 1024);
    std::uint64_t left = page_.length;
    while (ok && left > 0) {
      const std::size_t want =
          left < buffer.size() ? static_cast<std::size_t>(left) : buffer.size();
      const std::size_t got = std::fread(buffer.data(), 1, want, file);
      ok = got == want;
      pipeline->write(buffer.data(), got);
      left -= got;
    }
    std::fclose(file);
    pipeline->finish();
    return ok;
  }

  ccitt_page page_;
  std::string& failed_file_;
};

// Numbers in content streams and boxes: enough digits for the page size in
// points, no exponent.
std::string number(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

}  // namespace

// Lives in the joiner library; the engine reaches it through
// make_pdf_page_builder() alone.
class qpdf_page_builder final : public pdf_page_builder {
 public:
  qpdf_page_builder() { document_.emptyPDF(); }

  status append_pdf(const std::string& pdf_file) override;
  status append_ccitt(const ccitt_page& page) override;
  status write(const std::string& output) override;

 private:
  QPDF document_;
  // Sources of copied pages; qpdf reads their streams only when writing, and
  // closes each file between reads so that hundreds of sources stay cheap.
  std::vector<std::unique_ptr<QPDF>> sources_;
  std::string failed_file_;  // a page whose data could not be read while writing
};

status qpdf_page_builder::append_pdf(const std::string& pdf_file) {
  try {
    auto source = std::make_unique<QPDF>();
    // Our pages come from ImageMagick whole; a damaged one is a failure to
    // report, not something to repair quietly.
    source->setSuppressWarnings(true);
    source->setAttemptRecovery(false);
    source->processInputSource(std::make_shared<ClosedFileInputSource>(pdf_file.c_str()));
    QPDFPageDocumentHelper pages(document_);
    for (QPDFPageObjectHelper& page : QPDFPageDocumentHelper(*source).getAllPages()) {
      pages.addPage(page, false);
    }
    sources_.push_back(std::move(source));
    return status::ok();
  } catch (const std::exception& error) {
    return status::error(pdf_file + ": " + error.what());
  }
}

status qpdf_page_builder::append_ccitt(const ccitt_page& page) {
  if (page.columns == 0 || page.rows == 0 || page.x_resolution <= 0 || page.y_resolution <= 0) {
    return status::error(page.file + ": page has no size or no resolution");
  }
  std::error_code error;
  const std::uint64_t file_size = std::filesystem::file_size(page.file, error);
  if (error || page.offset > file_size || page.length > file_size - page.offset) {
    return status::error(page.file + ": page data is not in the file");
  }
  try {
    QPDF& pdf = document_;
    const double width = page.columns * 72.0 / page.x_resolution;
    const double height = page.rows * 72.0 / page.y_resolution;

    QPDFObjectHandle parameters = QPDFObjectHandle::newDictionary();
    parameters.replaceKey("/K", QPDFObjectHandle::newInteger(-1));
    parameters.replaceKey("/Columns", QPDFObjectHandle::newInteger(page.columns));
    parameters.replaceKey("/Rows", QPDFObjectHandle::newInteger(page.rows));
    parameters.replaceKey("/BlackIs1", QPDFObjectHandle::newBool(page.black_is_1));

    QPDFObjectHandle image = pdf.newStream();
    QPDFObjectHandle image_dictionary = image.getDict();
    image_dictionary.replaceKey("/Type", QPDFObjectHandle::newName("/XObject"));
    image_dictionary.replaceKey("/Subtype", QPDFObjectHandle::newName("/Image"));
    image_dictionary.replaceKey("/Width", QPDFObjectHandle::newInteger(page.columns));
    image_dictionary.replaceKey("/Height", QPDFObjectHandle::newInteger(page.rows));
    image_dictionary.replaceKey("/ColorSpace", QPDFObjectHandle::newName("/DeviceGray"));
    image_dictionary.replaceKey("/BitsPerComponent", QPDFObjectHandle::newInteger(1));
    image.replaceStreamData(std::make_shared<file_range_provider>(page, failed_file_),
                            QPDFObjectHandle::newName("/CCITTFaxDecode"), parameters);

    QPDFObjectHandle contents =
        pdf.newStream("q\n" + number(width) + " 0 0 " + number(height) + " 0 0 cm\n/Im0 Do\nQ\n");
    QPDFObjectHandle box = QPDFObjectHandle::newArray(
        {QPDFObjectHandle::newInteger(0), QPDFObjectHandle::newInteger(0),
         QPDFObjectHandle::newReal(number(width)), QPDFObjectHandle::newReal(number(height))});
    QPDFObjectHandle resources = QPDFObjectHandle::newDictionary();
    QPDFObjectHandle xobjects = QPDFObjectHandle::newDictionary();
    xobjects.replaceKey("/Im0", image);
    resources.replaceKey("/XObject", xobjects);

    QPDFObjectHandle page_dictionary = QPDFObjectHandle::newDictionary();
    page_dictionary.replaceKey("/Type", QPDFObjectHandle::newName("/Page"));
    page_dictionary.replaceKey("/MediaBox", box);
    page_dictionary.replaceKey("/Contents", contents);
    page_dictionary.replaceKey("/Resources", resources);
    QPDFPageDocumentHelper(pdf).addPage(
        QPDFPageObjectHelper(pdf.makeIndirectObject(page_dictionary)), false);
    return status::ok();
  } catch (const std::exception& error) {
    return status::error(page.file + ": " + error.what());
  }
}

status qpdf_page_builder::write(const std::string& output) {
  try {
    QPDFWriter writer(document_, output.c_str());
    // Encoded image data goes out as it came in; re-compressing it gains nothing.
    writer.setStreamDataMode(qpdf_s_preserve);
    writer.write();
    if (!failed_file_.empty()) {
      return status::error(failed_file_ + ": page data could not be read");
    }
    return status::ok();
  } catch (const std::exception& error) {
    return status::error(output + ": " + error.what());
  }
}

}  // namespace zq::engine

extern "C" __attribute__((visibility("default"))) zq::engine::pdf_page_builder*
zq_new_pdf_page_builder() {
  try {
    return new zq::engine::qpdf_page_builder();
  } catch (const std::exception&) {
    return nullptr;
  }
}
