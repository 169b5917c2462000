// The entries of the dialog's lists, in list order: the position of an entry
// is the code the job file holds for it. The dialog fills its lists from
// here and the load takes each list's length from here, so a code outside a
// list is recognised with the same entries the user sees.
#pragma once

#include <string_view>
#include <vector>

#include "jobfile/job_keys.h"

namespace zq::gui {

// The entries of the list that holds `key`: the target formats' labels for
// [PARAMS] image_type (from the format table), the fixed labels for the page
// sizes, compressions and colour spaces. Empty for a key no list holds.
std::vector<std::string_view> list_entries(job_key_id key);

}  // namespace zq::gui
