#pragma once
#include <string>
#include <string_view>

namespace workgroup {

// Text made safe inside HTML, in elements and in quoted attributes.
std::string HtmlEscape(std::string_view text);

// The status page: one self-contained HTML document (no outside files),
// readable on a phone, that shows the nodes of `snapshotJson` (the board's
// snapshot) at once and then asks /status.json every second and redraws
// nodes, jobs, the line and the history. Every text from a node or a
// controller is escaped here and set as text (never as markup) by the
// page's script. A snapshot that is not JSON shows an empty table.
std::string StatusPage(const std::string& snapshotJson);

}  // namespace workgroup
