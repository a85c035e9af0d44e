#include "idl/EndMessage.h"

#include <cstring>

#include "idl/BandLabel.h"
#include "idl/WellKnownNames.h"

namespace farm {

Lumora::DataSeq EncodeEndMessage(std::int32_t band, const std::optional<std::string>& failure, bool sceneWrong) {
  Lumora::DataSeq message;
  message.length(failure ? (sceneWrong ? 5 : 4) : 2);
  message[0] <<= kFinishWord;
  message[1] <<= FormatBandLabel(band).c_str();
  if (failure) {
    message[2] <<= kFailedWord;
    message[3] <<= failure->c_str();
    if (sceneWrong) message[4] <<= kSceneWrongWord;
  }
  return message;
}

std::optional<EndMessage> DecodeEndMessage(const Lumora::DataSeq& data, std::string* reason) {
  const char* word = nullptr;
  if (data.length() < 1 || !(data[0] >>= word) || word == nullptr || std::strcmp(word, kFinishWord) != 0) {
    if (reason != nullptr) *reason = std::string("element 0 is not the string ") + kFinishWord;
    return std::nullopt;
  }
  EndMessage end;
  const char* label = nullptr;
  if (data.length() >= 2 && (data[1] >>= label) && label != nullptr) end.band = ParseBandLabel(label);
  const char* failed = nullptr;
  if (data.length() >= 3 && (data[2] >>= failed) && failed != nullptr && std::strcmp(failed, kFailedWord) == 0) {
    const char* why = nullptr;
    end.failure = data.length() >= 4 && (data[3] >>= why) && why != nullptr ? why : "no reason given";
    const char* mark = nullptr;
    end.sceneWrong =
        data.length() >= 5 && (data[4] >>= mark) && mark != nullptr && std::strcmp(mark, kSceneWrongWord) == 0;
  }
  return end;
}

}  // namespace farm
