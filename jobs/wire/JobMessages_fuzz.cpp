// The job messages in any shape and element type: job parameters read by a
// node, end messages read by a boss, and rows pushed to a boss. Each reader must agree with what was sent and refuse
// the rest.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "idl/BandLabel.h"
#include "idl/EndMessage.h"
#include "idl/JobParameters.h"
#include "idl/OrbInit.h"
#include "jobs/core/BandTally.h"
#include "jobs/wire/RenderBoss.h"
#include "node/FarmerServant.h"

namespace {

// One element as sent; kind 0 is a string, 1 a long, the rest other types.
struct Element {
  int kind = 0;
  std::string text;
  CORBA::Long number = 0;
};

std::string Text(FuzzedDataProvider& in) {
  static const char* const kTexts[] = {
      "OneFrame",   "Finish", "Render1.zip", "Render0.zip", "Render999999999.zip", "Render-1.zip", "oneframe",
      "Render.zip", ""};
  if (in.ConsumeBool()) return kTexts[in.ConsumeIntegralInRange<size_t>(0, std::size(kTexts) - 1)];
  std::string s = in.ConsumeRandomLengthString(40);
  s.erase(std::find(s.begin(), s.end(), '\0'), s.end());  // a CORBA string holds no NUL
  return s;
}

Lumora::DataSeq Build(FuzzedDataProvider& in, std::vector<Element>* sent) {
  const size_t n =
      in.ConsumeBool() ? in.ConsumeIntegralInRange<size_t>(0, 9) : in.ConsumeIntegralInRange<size_t>(0, 80);
  Lumora::DataSeq seq;
  seq.length(static_cast<CORBA::ULong>(n));
  for (CORBA::ULong i = 0; i < n; ++i) {
    Element e;
    e.kind = in.ConsumeIntegralInRange<int>(0, 9);
    CORBA::Any& a = seq[i];
    switch (e.kind) {
      case 0:
        e.text = Text(in);
        a <<= e.text.c_str();
        break;
      case 1:
        e.number = in.ConsumeIntegral<CORBA::Long>();
        a <<= e.number;
        break;
      case 2: a <<= in.ConsumeIntegral<CORBA::ULong>(); break;
      case 3: a <<= in.ConsumeIntegral<CORBA::Short>(); break;
      case 4: a <<= in.ConsumeFloatingPoint<CORBA::Double>(); break;
      case 5: a <<= CORBA::Any::from_boolean(in.ConsumeBool()); break;
      case 6: a <<= CORBA::Any::from_octet(in.ConsumeIntegral<CORBA::Octet>()); break;
      case 7: a <<= in.ConsumeIntegral<CORBA::LongLong>(); break;
      case 8: a <<= in.ConsumeFloatingPoint<CORBA::Float>(); break;
      default: break;  // an empty any
    }
    sent->push_back(e);
  }
  return seq;
}

void CheckOneFrame(const Lumora::DataSeq& seq, const std::vector<Element>& sent) {
  farm::JobParameters job;
  job.part = 4242;
  const farm::OneFrame result = farm::DecodeJobParameters(seq, &job);
  const bool named = !sent.empty() && sent[0].kind == 0 && sent[0].text == "OneFrame";
  if (!named) {
    if (result != farm::OneFrame::kIgnored || job.part != 4242) std::abort();
    return;
  }
  bool longs = sent.size() >= 7;
  for (size_t i = 1; longs && i < 7; ++i) longs = sent[i].kind == 1;
  // An eighth element, the frame, must be a long as well.
  const bool framed = sent.size() >= 8;
  longs = longs && (!framed || sent[7].kind == 1);
  if (!longs) {
    if (result != farm::OneFrame::kRefused || job.part != 4242) std::abort();
    return;
  }
  if (result != farm::OneFrame::kAccepted || job.part != sent[1].number || job.partCount != sent[2].number ||
      job.width != sent[3].number || job.height != sent[4].number ||
      job.rows.first != farm::IncomingRows(sent[1].number, sent[5].number, sent[6].number).first ||
      job.rows.last != farm::IncomingRows(sent[1].number, sent[5].number, sent[6].number).last ||
      farm::OutgoingFirstRow(job.part, job.rows) != (job.part == 1 && sent[5].number == 1 ? 0 : sent[5].number) ||
      job.rows.frame.has_value() != framed || (framed && *job.rows.frame != sent[7].number)) {
    std::abort();
  }
}

void CheckEndMessage(const Lumora::DataSeq& seq, const std::vector<Element>& sent) {
  const auto end = farm::DecodeEndMessage(seq);
  const bool named = !sent.empty() && sent[0].kind == 0 && sent[0].text == "Finish";
  if (end.has_value() != named) std::abort();
  if (!named) return;
  const std::optional<int32_t> band =
      sent.size() >= 2 && sent[1].kind == 0 ? farm::ParseBandLabel(sent[1].text) : std::nullopt;
  if (end->band != band) std::abort();
}

const std::filesystem::path& NodeFolder() {
  static const std::filesystem::path folder = [] {
    // Beside the run's other scratch files ($TMPDIR).
    std::string pattern = (std::filesystem::temp_directory_path() / "messages-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    return std::filesystem::path(pattern);
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  std::vector<Element> sent;
  const Lumora::DataSeq seq = Build(in, &sent);
  CheckOneFrame(seq, sent);
  CheckEndMessage(seq, sent);

  // The servants themselves: refusals raise, nothing else does.
  auto tally = std::make_shared<jobs::BandTally>();
  tally->SetBandCount(in.ConsumeIntegralInRange<int32_t>(0, 5));
  size_t rows = 0;
  jobs::RenderBoss_i boss(PortableServer::POA::_nil(), NodeFolder(), tally,
                          [&](int32_t, const int32_t*, std::size_t count) { rows += count; });
  auto node = node::RenderNode::Create(NodeFolder(), {});
  node::FarmerServant farmer(CORBA::ORB::_nil(), PortableServer::POA::_nil(), node, std::make_shared<node::BossLink>());
  const bool oversize = seq.length() > farm::kMaxDataSeqLength;
  for (auto* servant : {static_cast<void*>(&boss), static_cast<void*>(&farmer)}) {
    try {
      if (servant == &boss) {
        boss.SetData(seq);
      } else {
        farmer.SetData(seq);
      }
      if (oversize) std::abort();
    } catch (const CORBA::BAD_PARAM&) {
      // an oversize list, or a malformed "OneFrame" at the node
    }
  }
  Lumora::ColorLine line;
  const CORBA::ULong length = in.ConsumeBool() ? in.ConsumeIntegralInRange<CORBA::ULong>(0, 16)
                                               : in.ConsumeIntegralInRange<CORBA::ULong>(65530, 65540);
  line.length(length);
  try {
    boss.Push(in.ConsumeIntegral<CORBA::Long>(), line);
    if (length > farm::kMaxRowLength || rows != length) std::abort();
  } catch (const CORBA::BAD_PARAM&) {
    if (length <= farm::kMaxRowLength) std::abort();
  }
  return 0;
}
