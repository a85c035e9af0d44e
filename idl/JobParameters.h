#pragma once
#include <cstdint>
#include <string>

#include "idl/WorkUnit.h"

// Declared only, so that plain code can hold the parameters without the
// ORB's headers; callers of the codec include "Lumora.hh".
namespace Lumora {
class DataSeq;
}

// The job parameters a boss sends a farmer before its band starts: a
// DataSeq of seven elements, the string kOneFrameWord and six longs: part,
// part count, width, height, first row, last row (band 1's first row sent
// as 0; see OutgoingFirstRow in idl/WorkUnit.h). A band of an animation
// frame carries the frame number as an eighth long, which a decoder of the
// base protocol never reads: such frames go only to farmers that announce
// farm::kAbilityFrames.
namespace farm {

// The defaults are what a node renders until a boss has sent its band: the
// whole default picture as band 1 of 1.
//
// Plain data: copy it freely, from any thread.
struct JobParameters {
  std::int32_t part = 1;       // band number, from 1; names the output and the end message
  std::int32_t partCount = 1;  // bands in the job
  std::int32_t width = 640;    // picture size
  std::int32_t height = 480;
  WorkUnit rows{1, 480, std::nullopt};  // rows to render, already widened at inner seams; rows.frame:
                                        // the animation frame they belong to

  bool operator==(const JobParameters&) const = default;
};

enum class OneFrame {
  kIgnored,   // element 0 is not exactly the string kOneFrameWord: not job parameters
  kRefused,   // job parameters with fewer than seven elements or a non-long among 1..6
  kAccepted,  // *out holds elements 1..6
};

Lumora::DataSeq EncodeJobParameters(const JobParameters& job);

// *out changes only when the answer is kAccepted. For kIgnored and
// kRefused, *reason (when not null) says why. An eighth element is the
// frame number and must be a long; elements past it are not read.
OneFrame DecodeJobParameters(const Lumora::DataSeq& data, JobParameters* out, std::string* reason = nullptr);

}  // namespace farm
