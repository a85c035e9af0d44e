#include "node/JobParameters.h"

namespace node {

OneFrame ReadOneFrame(const Lumora::DataSeq& data, JobParameters* out) {
  const char* kind = nullptr;
  if (data.length() == 0 || !(data[0] >>= kind) || kind == nullptr || std::string(kind) != "OneFrame") {
    return OneFrame::kIgnored;
  }
  if (data.length() < 7) return OneFrame::kRefused;
  CORBA::Long v[6];
  for (CORBA::ULong i = 0; i < 6; ++i) {
    if (!(data[i + 1] >>= v[i])) return OneFrame::kRefused;
  }
  out->part = v[0];
  out->partCount = v[1];
  out->width = v[2];
  out->height = v[3];
  out->firstRow = v[4];
  out->lastRow = v[5];
  return OneFrame::kAccepted;
}

std::string FinishLabel(std::int32_t part) { return "Render" + std::to_string(part) + ".zip"; }

Lumora::DataSeq FinishMessage(std::int32_t part) {
  Lumora::DataSeq message;
  message.length(2);
  message[0] <<= "Finish";
  message[1] <<= FinishLabel(part).c_str();
  return message;
}

Lumora::DataSeq FailureMessage(std::int32_t part, const std::string& reason) {
  Lumora::DataSeq message = FinishMessage(part);
  message.length(4);
  message[2] <<= "Failed";
  message[3] <<= reason.c_str();
  return message;
}

}  // namespace node
