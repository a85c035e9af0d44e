#include "jobs/wire/CorbaFrameDesk.h"

#include <unistd.h>

#include <system_error>
#include <vector>

#include "jobs/view/ImageFormat.h"
#include "jobs/wire/CorbaFarm.h"
#include "jobs/wire/RenderBoss.h"

namespace jobs {

CorbaFrameDesk::CorbaFrameDesk(PortableServer::POA_ptr poa, std::filesystem::path folder, std::filesystem::path out,
                               int32_t finalFrame, int32_t width, int32_t height)
    : poa_(PortableServer::POA::_duplicate(poa)),
      folder_(std::move(folder)),
      out_(std::move(out)),
      finalFrame_(finalFrame),
      width_(width),
      height_(height) {}

CorbaFrameDesk::~CorbaFrameDesk() {
  while (!rooms_.empty()) Close(rooms_.begin()->first);
}

CorbaFrameDesk::Room* CorbaFrameDesk::Find(int32_t frame) {
  auto it = rooms_.find(frame);
  return it == rooms_.end() ? nullptr : it->second.get();
}

void CorbaFrameDesk::Open(int32_t frame, const std::map<int32_t, farm::WorkUnit>& owed) {
  if (Find(frame) != nullptr || owed.empty()) return;
  auto room = std::make_shared<Room>();
  room->owed = owed;
  // The tally counts ends by label: it spans every label up to the frame's last.
  const int32_t lastLabel = owed.rbegin()->first;
  std::vector<farm::WorkUnit> rows(static_cast<std::size_t>(lastLabel), farm::WorkUnit{1, 0, std::nullopt});
  for (const auto& [label, unit] : owed) rows[static_cast<std::size_t>(label - 1)] = unit;
  room->tally->SetBandCount(lastLabel);
  room->tally->SetRows(height_, rows);
  room->picture.Create(width_, height_);
  std::weak_ptr<Room> weak = room;
  auto* boss =
      new RenderBoss_i(poa_.in(), folder_, room->tally, [weak](int32_t line, const int32_t* colors, std::size_t count) {
        if (const std::shared_ptr<Room> r = weak.lock()) {
          std::lock_guard<std::mutex> lock(r->mutex);
          r->picture.PutRow(line, colors, count);
        }
      });
  room->id = poa_->activate_object(boss);
  boss->_remove_ref();  // the POA owns it
  CORBA::Object_var ref = poa_->id_to_reference(room->id.in());
  room->boss = Lumora::RenderBoss::_narrow(ref.in());
  rooms_[frame] = std::move(room);
}

void CorbaFrameDesk::HandOut(FarmerLink& farmer, int32_t frame, const JobParameters& job) {
  Room* room = Find(frame);
  if (room == nullptr) throw std::logic_error("frame " + std::to_string(frame) + " handed out before it was opened");
  dynamic_cast<CorbaFarmer&>(farmer).HandOutTo(room->boss.in(), job);
}

void CorbaFrameDesk::Stop(FarmerLink& farmer, int32_t frame) {
  Room* room = Find(frame);
  if (room == nullptr) return;
  try {
    dynamic_cast<CorbaFarmer&>(farmer).StopFor(room->boss.in());
  } catch (...) {
    // a farmer that does not answer notices by itself that the boss went
  }
}

FrameDesk::Heard CorbaFrameDesk::Hear(int32_t frame, int32_t label) {
  Heard heard;
  Room* room = Find(frame);
  if (room == nullptr) return heard;
  const BandTally& tally = *room->tally;
  heard.ends = tally.Ends(label);
  heard.failures = tally.Failures(label);
  heard.lastFailure = tally.LastFailure(label);
  heard.sceneWrong = heard.failures > 0 && !tally.SceneError().empty();
  auto owed = room->owed.find(label);
  heard.rowsThere = owed != room->owed.end() && tally.ArrivedRows(owed->second) == owed->second.rows();
  return heard;
}

platform::Status CorbaFrameDesk::Finish(int32_t frame) {
  Room* room = Find(frame);
  if (room == nullptr) return platform::Status::Error("frame " + std::to_string(frame) + " was never opened");
  const std::filesystem::path file = FrameFileName(out_, frame, finalFrame_);
  // Written beside its final name, then renamed: a reader never sees half a frame.
  std::filesystem::path part = file;
  part += ".part" + std::to_string(::getpid());
  bool saved = false;
  {
    std::lock_guard<std::mutex> lock(room->mutex);
    saved = room->picture.Save(part.string(), FormatForPath(file.string()).value_or(ImageFormat::Png));
  }
  std::error_code ec;
  if (saved) std::filesystem::rename(part, file, ec);
  Close(frame);
  if (!saved || ec) {
    std::filesystem::remove(part, ec);
    return platform::Status::Error("frame " + std::to_string(frame) + " could not be saved to " + file.string());
  }
  return platform::Status::Ok();
}

void CorbaFrameDesk::Drop(int32_t frame) { Close(frame); }

void CorbaFrameDesk::Close(int32_t frame) {
  auto it = rooms_.find(frame);
  if (it == rooms_.end()) return;
  try {
    // Late rows and reports of the frame now fail at their senders.
    poa_->deactivate_object(it->second->id.in());
  } catch (...) {
  }
  rooms_.erase(it);
}

}  // namespace jobs
