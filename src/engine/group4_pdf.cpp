#include "engine/group4_pdf.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "common/md5.h"
#include "engine/pdf_layout.h"
#include "engine/pieced_output.h"
#include "platform/file_system.h"

namespace zq::engine {
namespace {

// The document's bytes on their way to the file: counted for the cross
// reference table, and summed for the identifier until the trailer asks for
// it.
class pdf_output {
 public:
  explicit pdf_output(platform::writable_file& file) : pieces_(file) {}

  void put(std::string_view bytes) {
    offset_ += bytes.size();
    if (summing_) {
      sum_.update(bytes);
    }
    pieces_.put(bytes);
  }

  std::uint64_t offset() const { return offset_; }

  // The digest of everything put so far; nothing after it is summed.
  std::string end_sum() {
    summing_ = false;
    return sum_.hex_digest();
  }

  status finish() { return pieces_.finish(); }

 private:
  pieced_output pieces_;
  std::uint64_t offset_ = 0;
  md5 sum_;
  bool summing_ = true;
};

std::string reference(std::size_t object) { return std::to_string(object) + " 0 R"; }

// Copies the page's encoded data from its file.
bool put_page_data(pdf_output& output, const ccitt_page& page) {
  std::ifstream file(page.file, std::ios::binary);
  file.seekg(static_cast<std::streamoff>(page.offset));
  std::vector<char> buffer(64 * 1024);
  for (std::uint64_t left = page.length; left > 0;) {
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer.size()));
    if (!file.read(buffer.data(), static_cast<std::streamsize>(want))) {
      return false;
    }
    output.put(std::string_view(buffer.data(), want));
    left -= want;
  }
  return true;
}

}  // namespace

status group4_pdf::append(const ccitt_page& page) {
  result<ccitt_layout> layout = lay_out(page);
  if (!layout.is_ok()) {
    return layout.status();
  }
  pages_.push_back(page);
  layouts_.push_back(std::move(layout).value());
  return status::ok();
}

// The joiner's layout: catalogue (1), page tree (2), the pages (3 on), then
// each page's drawing and image in turn; dictionary keys in order; one cross
// reference table; an identifier made of a digest of the bytes before it,
// twice.
status group4_pdf::write_to(platform::writable_file& file) const {
  const bool uses_units = std::any_of(layouts_.begin(), layouts_.end(),
                                      [](const ccitt_layout& layout) { return layout.unit != 1; });
  const std::size_t count = pages_.size();
  const std::size_t first_page = 3;
  const std::size_t first_drawing = first_page + count;
  std::vector<std::uint64_t> offsets;  // of objects 1, 2, ...

  pdf_output output(file);
  // "1.6" is the first version with /UserUnit.
  output.put(std::string("%PDF-") + (uses_units ? "1.6" : "1.3") + "\n%\xbf\xf7\xa2\xfe\n");
  auto object = [&](const std::string& body) {
    offsets.push_back(output.offset());
    output.put(std::to_string(offsets.size()) + " 0 obj\n" + body + "\nendobj\n");
  };
  object("<< /Pages 2 0 R /Type /Catalog >>");
  std::string kids;
  for (std::size_t index = 0; index < count; ++index) {
    kids += reference(first_page + index) + " ";
  }
  object("<< /Count " + std::to_string(count) + " /Kids [ " + kids + "] /Type /Pages >>");
  for (std::size_t index = 0; index < count; ++index) {
    const ccitt_layout& layout = layouts_[index];
    object("<< /Contents " + reference(first_drawing + 2 * index) + " /MediaBox [ 0 0 " +
           layout.width + " " + layout.height + " ] /Parent 2 0 R /Resources << /XObject << /Im0 " +
           reference(first_drawing + 2 * index + 1) + " >> >> /Type /Page" +
           (layout.unit != 1 ? " /UserUnit " + std::to_string(layout.unit) : "") + " >>");
  }
  for (std::size_t index = 0; index < count; ++index) {
    const std::string content = ccitt_page_content(layouts_[index]);
    object("<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content +
           "endstream");
    const ccitt_page& page = pages_[index];
    offsets.push_back(output.offset());
    output.put(std::to_string(offsets.size()) +
               " 0 obj\n<< /BitsPerComponent 1 /ColorSpace /DeviceGray /DecodeParms << /BlackIs1 " +
               (page.black_is_1 ? "true" : "false") + " /Columns " + std::to_string(page.columns) +
               " /K -1 /Rows " + std::to_string(page.rows) +
               " >> /Filter /CCITTFaxDecode /Height " + std::to_string(page.rows) +
               " /Subtype /Image /Type /XObject /Width " + std::to_string(page.columns) +
               " /Length " + std::to_string(page.length) + " >>\nstream\n");
    if (!put_page_data(output, page)) {
      return status::error(page.file + ": page data could not be read");
    }
    output.put("endstream\nendobj\n");
  }

  const std::uint64_t table = output.offset();
  const std::string size = std::to_string(offsets.size() + 1);
  std::string tail = "xref\n0 " + size + "\n0000000000 65535 f \n";
  for (const std::uint64_t offset : offsets) {
    char entry[32];
    std::snprintf(entry, sizeof entry, "%010llu 00000 n \n",
                  static_cast<unsigned long long>(offset));
    tail += entry;
  }
  output.put(tail + "trailer << /Root 1 0 R /Size " + size + " /ID [");
  md5 identifier;
  identifier.update(output.end_sum() + " QPDF ");
  const std::string id = "<" + identifier.hex_digest() + ">";
  output.put(id + id + "] >>\nstartxref\n" + std::to_string(table) + "\n%%EOF\n");
  return output.finish();
}

}  // namespace zq::engine
