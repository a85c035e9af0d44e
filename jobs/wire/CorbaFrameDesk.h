#pragma once
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>

#include "Lumora.hh"
#include "jobs/core/BandTally.h"
#include "jobs/core/FrameDispatcher.h"
#include "jobs/view/Picture.h"

namespace jobs {

// The frames of an animation on the wire: every frame open for rendering
// has a boss servant of its own (rows carry no frame number, the boss a
// node pushes to says which frame they are), its own tally of end
// messages under the frame's labels, and its picture. A whole frame is
// saved under a temporary name in the output folder and renamed to its
// frame file, so a frame file on disk is always whole.
//
// Threads: the dispatch thread calls it; the bosses' ORB threads fill the
// pictures (each behind its frame's mutex) and the tallies (locked).
class CorbaFrameDesk : public FrameDesk {
 public:
  // Frames are `width` x `height`, saved as FrameFileName(out, frame,
  // finalFrame); received files land in `folder`. `poa` activates the
  // bosses.
  CorbaFrameDesk(PortableServer::POA_ptr poa, std::filesystem::path folder, std::filesystem::path out,
                 int32_t finalFrame, int32_t width, int32_t height);
  ~CorbaFrameDesk() override;

  void Open(int32_t frame, const std::map<int32_t, farm::WorkUnit>& owed) override;
  // `farmer` must be a CorbaFarmer.
  void HandOut(FarmerLink& farmer, int32_t frame, const JobParameters& job) override;
  void Stop(FarmerLink& farmer, int32_t frame) override;
  Heard Hear(int32_t frame, int32_t label) override;
  platform::Status Finish(int32_t frame) override;
  void Drop(int32_t frame) override;

 private:
  struct Room {
    std::shared_ptr<BandTally> tally = std::make_shared<BandTally>();
    std::map<int32_t, farm::WorkUnit> owed;
    std::mutex mutex;  // guards picture
    Picture picture;
    PortableServer::ObjectId_var id;
    Lumora::RenderBoss_var boss;
  };
  Room* Find(int32_t frame);
  void Close(int32_t frame);

  PortableServer::POA_var poa_;
  const std::filesystem::path folder_;
  const std::filesystem::path out_;
  const int32_t finalFrame_;
  const int32_t width_;
  const int32_t height_;
  std::map<int32_t, std::shared_ptr<Room>> rooms_;
};

}  // namespace jobs
