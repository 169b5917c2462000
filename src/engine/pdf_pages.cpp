#include "engine/pdf_pages.h"

#include <qpdf/ClosedFileInputSource.hh>
#include <qpdf/Pipeline.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <cmath>
#include <cstdio>
#include <exception>
#include <string_view>
#include <vector>

#include "engine/pdf_layout.h"
#include "engine/pieced_output.h"
#include "platform/file_system.h"

namespace zq::engine {
namespace {

// qpdf's output, handed to the engine's file in large pieces (pieced_output).
// Nothing is thrown: qpdf finishes its pipelines in destructors, where an
// exception would end the process.
class file_pipeline final : public Pipeline {
 public:
  explicit file_pipeline(platform::writable_file& file)
      : Pipeline("output file", nullptr), output_(file) {}

  void write(unsigned char const* data, size_t length) override {
    output_.put(std::string_view(reinterpret_cast<const char*>(data), length));
  }
  void finish() override { failure_ = output_.finish(); }

  const status& failure() const { return failure_; }

 private:
  pieced_output output_;
  status failure_ = status::ok();
};

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

// A scale factor below 1, to as many places as make the drawing fill its box
// exactly, without exponent.
std::string factor(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.10f", value);
  std::string digits = text;
  digits.erase(digits.find_last_not_of('0') + 1);
  if (!digits.empty() && digits.back() == '.') {
    digits.pop_back();
  }
  return digits;
}

// The boxes a page can carry; all of them are in the page's units.
constexpr std::string_view kPageBoxes[] = {"/MediaBox", "/CropBox", "/BleedBox", "/TrimBox",
                                           "/ArtBox"};

// Brings a page copied from another PDF within the readers' limit, when it is
// beyond it, by measuring it in larger units: every box and the whole drawing
// are scaled down by the unit, so the page keeps its size and its look.
status fit_copied_page(QPDF& pdf, QPDFObjectHandle page, const std::string& file,
                       bool& uses_units) {
  QPDFObjectHandle media_box = page.getKey("/MediaBox");
  if (!media_box.isRectangle() || page.hasKey("/UserUnit")) {
    return status::ok();  // nothing to measure, or measured by its maker
  }
  const QPDFObjectHandle::Rectangle box = media_box.getArrayAsRectangle();
  const double width = std::fabs(box.urx - box.llx);
  const double height = std::fabs(box.ury - box.lly);
  const double unit = unit_for(width, height);
  if (unit == 0) {
    return too_large(file, width, height);
  }
  if (unit == 1) {
    return status::ok();
  }
  for (const std::string_view key : kPageBoxes) {
    QPDFObjectHandle value = page.getKey(std::string(key));
    if (value.isRectangle()) {
      const QPDFObjectHandle::Rectangle r = value.getArrayAsRectangle();
      page.replaceKey(std::string(key),
                      QPDFObjectHandle::newFromRectangle(QPDFObjectHandle::Rectangle(
                          r.llx / unit, r.lly / unit, r.urx / unit, r.ury / unit)));
    }
  }
  page.replaceKey("/UserUnit", QPDFObjectHandle::newInteger(static_cast<long long>(unit)));
  const std::string scale = factor(1 / unit);
  QPDFPageObjectHelper helper(page);
  helper.addPageContents(pdf.newStream("q " + scale + " 0 0 " + scale + " 0 0 cm\n"), true);
  helper.addPageContents(pdf.newStream("\nQ\n"), false);
  uses_units = true;
  return status::ok();
}

}  // namespace

// Lives in the joiner library; the engine reaches it through
// make_pdf_page_builder() alone.
class qpdf_page_builder final : public pdf_page_builder {
 public:
  qpdf_page_builder() { document_.emptyPDF(); }

  status append_pdf(const std::string& pdf_file) override;
  status append_ccitt(const ccitt_page& page) override;
  status write_to(platform::writable_file& output) override;

 private:
  QPDF document_;
  // Sources of copied pages; qpdf reads their streams only when writing, and
  // closes each file between reads so that hundreds of sources stay cheap.
  std::vector<std::unique_ptr<QPDF>> sources_;
  std::string failed_file_;  // a page whose data could not be read while writing
  bool uses_units_ = false;  // a page is measured in units larger than a point
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
      // The copy just added; the document keeps its page list at hand.
      if (const status fitted =
              fit_copied_page(document_, document_.getAllPages().back(), pdf_file, uses_units_);
          !fitted.is_ok()) {
        return fitted;
      }
    }
    sources_.push_back(std::move(source));
    return status::ok();
  } catch (const std::exception& error) {
    return status::error(pdf_file + ": " + error.what());
  }
}

status qpdf_page_builder::append_ccitt(const ccitt_page& page) {
  const result<ccitt_layout> layout = lay_out(page);
  if (!layout.is_ok()) {
    return layout.status();
  }
  try {
    QPDF& pdf = document_;
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

    QPDFObjectHandle contents = pdf.newStream(ccitt_page_content(*layout));
    QPDFObjectHandle box = QPDFObjectHandle::newArray(
        {QPDFObjectHandle::newInteger(0), QPDFObjectHandle::newInteger(0),
         QPDFObjectHandle::newReal(layout->width), QPDFObjectHandle::newReal(layout->height)});
    QPDFObjectHandle resources = QPDFObjectHandle::newDictionary();
    QPDFObjectHandle xobjects = QPDFObjectHandle::newDictionary();
    xobjects.replaceKey("/Im0", image);
    resources.replaceKey("/XObject", xobjects);

    QPDFObjectHandle page_dictionary = QPDFObjectHandle::newDictionary();
    page_dictionary.replaceKey("/Type", QPDFObjectHandle::newName("/Page"));
    page_dictionary.replaceKey("/MediaBox", box);
    page_dictionary.replaceKey("/Contents", contents);
    page_dictionary.replaceKey("/Resources", resources);
    if (layout->unit != 1) {
      page_dictionary.replaceKey("/UserUnit", QPDFObjectHandle::newInteger(layout->unit));
      uses_units_ = true;
    }
    QPDFPageDocumentHelper(pdf).addPage(
        QPDFPageObjectHelper(pdf.makeIndirectObject(page_dictionary)), false);
    return status::ok();
  } catch (const std::exception& error) {
    return status::error(page.file + ": " + error.what());
  }
}

// qpdf writes to a file by name through stdio and never checks the close,
// which is where a full disk shows for the last part of the file; so the
// document goes out through the engine's own file, every write checked.
status qpdf_page_builder::write_to(platform::writable_file& output) {
  file_pipeline pipeline(output);
  try {
    QPDFWriter writer(document_);
    writer.setOutputPipeline(&pipeline);
    // Encoded image data goes out as it came in; re-compressing it gains nothing.
    writer.setStreamDataMode(qpdf_s_preserve);
    // Written to a pipeline, qpdf would seed every document's /ID with the
    // same name and the second it was written in: documents of one run would
    // share an identifier. A digest of the content tells them apart.
    writer.setDeterministicID(true);
    if (uses_units_) {
      writer.setMinimumPDFVersion("1.6");  // the first version with /UserUnit
    }
    writer.write();
    pipeline.finish();
  } catch (const std::exception& error) {
    return status::error(std::string("the PDF could not be put together: ") + error.what());
  }
  if (!pipeline.failure().is_ok()) {
    return pipeline.failure();
  }
  if (!failed_file_.empty()) {
    return status::error(failed_file_ + ": page data could not be read");
  }
  return status::ok();
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
