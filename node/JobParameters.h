#pragma once
#include <cstdint>
#include <string>

#include "Lumora.hh"

namespace node {

// The band a boss hands to this node, as the last "OneFrame" carried it.
// Until a boss sends one, the node would render the whole default picture.
struct JobParameters {
  std::int32_t part = 1;       // band number, from 1; names the output and the report
  std::int32_t partCount = 1;  // bands in the job; kept, not used
  std::int32_t width = 640;
  std::int32_t height = 480;
  std::int32_t firstRow = 0;   // 0 means the top row
  std::int32_t lastRow = 480;  // inclusive
};

enum class OneFrame {
  kIgnored,   // element 0 is not exactly the text "OneFrame": not for us
  kRefused,   // "OneFrame" with fewer than seven elements or a non-long among 1..6
  kAccepted,  // *out holds elements 1..6
};

// Reads a job-parameter list. *out changes only when the answer is kAccepted.
OneFrame ReadOneFrame(const Lumora::DataSeq& data, JobParameters* out);

// The label of a band's end report: "Render<part>.zip".
std::string FinishLabel(std::int32_t part);

// The end report a node sends to its boss: "Finish", then the label.
Lumora::DataSeq FinishMessage(std::int32_t part);

// The end report of a band that could not be rendered: the end report, then
// "Failed" and one line of reason. A boss that knows only the end report
// reads the first two elements and ignores the rest.
Lumora::DataSeq FailureMessage(std::int32_t part, const std::string& reason);

}  // namespace node
