#include "idl/JobParameters.h"

#include <cstring>

#include "Lumora.hh"
#include "idl/WellKnownNames.h"

namespace farm {
namespace {

OneFrame Answer(OneFrame answer, std::string* reason, std::string why) {
  if (reason != nullptr) *reason = std::move(why);
  return answer;
}

}  // namespace

Lumora::DataSeq EncodeJobParameters(const JobParameters& job) {
  Lumora::DataSeq data;
  data.length(job.rows.frame ? 8 : 7);
  data[0] <<= kOneFrameWord;
  data[1] <<= static_cast<CORBA::Long>(job.part);
  data[2] <<= static_cast<CORBA::Long>(job.partCount);
  data[3] <<= static_cast<CORBA::Long>(job.width);
  data[4] <<= static_cast<CORBA::Long>(job.height);
  data[5] <<= static_cast<CORBA::Long>(OutgoingFirstRow(job.part, job.rows));
  data[6] <<= static_cast<CORBA::Long>(job.rows.last);
  if (job.rows.frame) data[7] <<= static_cast<CORBA::Long>(*job.rows.frame);
  return data;
}

OneFrame DecodeJobParameters(const Lumora::DataSeq& data, JobParameters* out, std::string* reason) {
  if (data.length() == 0) return Answer(OneFrame::kIgnored, reason, "empty list");
  const char* kind = nullptr;
  if (!(data[0] >>= kind) || kind == nullptr) return Answer(OneFrame::kIgnored, reason, "element 0 is no string");
  if (std::strcmp(kind, kOneFrameWord) != 0) {
    return Answer(OneFrame::kIgnored, reason, std::string("element 0 is not ") + kOneFrameWord);
  }
  if (data.length() < 7) {
    return Answer(OneFrame::kRefused, reason, std::to_string(data.length()) + " elements, not 7");
  }
  CORBA::Long v[6];
  for (CORBA::ULong i = 0; i < 6; ++i) {
    if (!(data[i + 1] >>= v[i])) {
      return Answer(OneFrame::kRefused, reason, "element " + std::to_string(i + 1) + " is no long");
    }
  }
  std::optional<std::int32_t> frame;
  if (data.length() > 7) {
    CORBA::Long f = 0;
    if (!(data[7] >>= f)) return Answer(OneFrame::kRefused, reason, "element 7 is no long");
    frame = f;
  }
  out->part = v[0];
  out->partCount = v[1];
  out->width = v[2];
  out->height = v[3];
  out->rows = IncomingRows(v[0], v[4], v[5]);
  out->rows.frame = frame;
  return OneFrame::kAccepted;
}

}  // namespace farm
