#include "engine/PpmImage.h"

#include <cctype>

namespace engine {
namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// Next header number at *pos, skipping blanks and comments.
PpmParse ReadNumber(std::string_view b, std::size_t* pos, long* value) {
  std::size_t i = *pos;
  for (;;) {
    while (i < b.size() && IsSpace(b[i])) ++i;
    if (i >= b.size()) return PpmParse::kNeedMore;
    if (b[i] != '#') break;
    while (i < b.size() && b[i] != '\n') ++i;
    if (i >= b.size()) return PpmParse::kNeedMore;
  }
  if (!std::isdigit(static_cast<unsigned char>(b[i]))) return PpmParse::kBad;
  long v = 0;
  while (i < b.size() && std::isdigit(static_cast<unsigned char>(b[i]))) {
    v = v * 10 + (b[i] - '0');
    if (v > 100000000) return PpmParse::kBad;
    ++i;
  }
  if (i >= b.size()) return PpmParse::kNeedMore;  // the number may go on
  *pos = i;
  *value = v;
  return PpmParse::kOk;
}

}  // namespace

PpmParse ParsePpmHeader(std::string_view bytes, PpmHeader* header) {
  if (bytes.size() < 2) return bytes.empty() || bytes[0] == 'P' ? PpmParse::kNeedMore : PpmParse::kBad;
  if (bytes[0] != 'P' || bytes[1] != '6') return PpmParse::kBad;
  std::size_t pos = 2;
  long values[3];
  for (long& v : values) {
    const PpmParse r = ReadNumber(bytes, &pos, &v);
    if (r != PpmParse::kOk) return r;
  }
  if (values[0] <= 0 || values[1] <= 0 || values[2] <= 0 || values[2] > 65535) return PpmParse::kBad;
  if (!IsSpace(bytes[pos])) return PpmParse::kBad;  // exactly one blank before the pixels
  header->width = static_cast<int>(values[0]);
  header->height = static_cast<int>(values[1]);
  header->maxValue = static_cast<int>(values[2]);
  header->dataOffset = pos + 1;
  return PpmParse::kOk;
}

void PpmRowToColorref(const unsigned char* row, const PpmHeader& header, std::int32_t* out) {
  const int bps = header.bytesPerSample();
  const unsigned max = static_cast<unsigned>(header.maxValue);
  auto sample = [&](const unsigned char* p) -> std::uint32_t {
    const unsigned v = bps == 2 ? (static_cast<unsigned>(p[0]) << 8 | p[1]) : p[0];
    return max == 255 ? v : (v * 255u + max / 2) / max;
  };
  for (int x = 0; x < header.width; ++x) {
    const unsigned char* p = row + static_cast<std::size_t>(x) * 3 * bps;
    const std::uint32_t r = sample(p), g = sample(p + bps), b = sample(p + 2 * bps);
    out[x] = static_cast<std::int32_t>(r | (g << 8) | (b << 16));
  }
}

}  // namespace engine
