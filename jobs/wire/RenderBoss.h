#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "Lumora.hh"
#include "jobs/core/BandTally.h"

namespace jobs {

// The boss callback object of one render job: farmers report the end of
// their bands to it, and the engines on the nodes push rendered rows.
// Thin: rows go to the job's row sink, end messages to the job's tally.
//
// Threads: omniORB serves calls on its own threads, several at once; the
// boss's own fields never change once it is active, the tally locks
// itself, and the sink must be safe to call from several threads.
class RenderBoss_i : public POA_Lumora::RenderBoss {
 public:
  // Receives one row: `line` counts from 1 at the top; `colors` holds
  // `count` COLORREF values, valid for the duration of the call only.
  using RowSink = std::function<void(int32_t line, const int32_t* colors, std::size_t count)>;

  // `poa` activates the file receivers; `folder` is where they write.
  RenderBoss_i(PortableServer::POA_ptr poa, std::filesystem::path folder, std::shared_ptr<BandTally> tally,
               RowSink sink);

  char* ID() override;
  CORBA::Boolean IsLive() override;

  // A new file receiver writing into the boss's folder.
  Lumora::FileTransform_ptr CreateFileAndPass() override;

  // Counts end messages (idl/EndMessage.h) and failure reports in the
  // tally; every other message is ignored. A list over
  // farm::kMaxDataSeqLength raises BAD_PARAM.
  void SetData(const Lumora::DataSeq& data) override;

  // Hands the row to the sink, then counts it as arrived; one over
  // farm::kMaxRowLength colours raises BAD_PARAM.
  void Push(CORBA::Long line, const Lumora::ColorLine& colors) override;

  // Told the band of every labelled end message, after the tally; may be
  // empty. Set before the boss is activated.
  std::function<void(int32_t band)> on_band_end;

 private:
  PortableServer::POA_var poa_;
  const std::filesystem::path folder_;
  std::shared_ptr<BandTally> tally_;
  RowSink sink_;
};

}  // namespace jobs
