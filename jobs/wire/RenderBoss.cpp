#include "jobs/wire/RenderBoss.h"

#include <utility>

#include "idl/EndMessage.h"
#include "idl/FileReceiver.h"
#include "idl/OrbInit.h"

namespace jobs {

RenderBoss_i::RenderBoss_i(PortableServer::POA_ptr poa, std::filesystem::path folder, std::shared_ptr<BandTally> tally,
                           RowSink sink)
    : poa_(PortableServer::POA::_duplicate(poa)),
      folder_(std::move(folder)),
      tally_(std::move(tally)),
      sink_(std::move(sink)) {}

char* RenderBoss_i::ID() { return CORBA::string_dup("Lumora_RenderBoss_i"); }

CORBA::Boolean RenderBoss_i::IsLive() { return true; }

Lumora::FileTransform_ptr RenderBoss_i::CreateFileAndPass() { return FileReceiver::Activate(poa_.in(), folder_); }

void RenderBoss_i::SetData(const Lumora::DataSeq& data) {
  if (data.length() > farm::kMaxDataSeqLength) throw CORBA::BAD_PARAM(0, CORBA::COMPLETED_NO);
  const std::optional<farm::EndMessage> end = farm::DecodeEndMessage(data);
  if (!end) return;
  if (end->failure) {
    if (end->band) {
      tally_->ReportFailure(*end->band, *end->failure, end->sceneWrong);
    } else {
      tally_->ReportUnlabelled();
    }
  } else if (end->band) {
    tally_->Report(*end->band);
    if (on_band_end) on_band_end(*end->band);
  } else {
    tally_->ReportUnlabelled();
  }
}

void RenderBoss_i::Push(CORBA::Long line, const Lumora::ColorLine& colors) {
  if (colors.length() > farm::kMaxRowLength) throw CORBA::BAD_PARAM(0, CORBA::COMPLETED_NO);
  if (sink_) sink_(line, colors.get_buffer(), colors.length());
  tally_->RowArrived(line);
}

}  // namespace jobs
