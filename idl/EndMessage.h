#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "Lumora.hh"

// The message a node sends its boss when its band has ended: a DataSeq of
// strings, kFinishWord and the band's label (idl/BandLabel.h); a band that
// could not be rendered adds kFailedWord and one line of reason, and a
// fifth element kSceneWrongWord when the scene itself is wrong (a boss of
// the base protocol reads the first four and sees a failed band). Older
// nodes send kFinishWord alone or with the label only.
namespace farm {

// Plain data: copy it freely, from any thread.
struct EndMessage {
  // The band the label names; nothing when the label is missing, no string
  // or names no usable band.
  std::optional<std::int32_t> band;
  // Set when element 2 is kFailedWord: element 3, or "no reason given" when
  // that is missing or no string.
  std::optional<std::string> failure;
  // Element 4 of a failure is kSceneWrongWord: the scene does not render
  // anywhere, so the band is not worth another attempt.
  bool sceneWrong = false;

  bool operator==(const EndMessage& o) const {
    return band == o.band && failure == o.failure && sceneWrong == o.sceneWrong;
  }
};

// Two elements, or four with a failure, five when `sceneWrong`. `band` is
// written as it is, even one ParseBandLabel would refuse.
Lumora::DataSeq EncodeEndMessage(std::int32_t band, const std::optional<std::string>& failure = std::nullopt,
                                 bool sceneWrong = false);

// Nothing, with the reason in *reason when not null, unless element 0 is
// exactly the string kFinishWord. Elements past those above are ignored,
// and so is an element 2 other than kFailedWord.
std::optional<EndMessage> DecodeEndMessage(const Lumora::DataSeq& data, std::string* reason = nullptr);

}  // namespace farm
