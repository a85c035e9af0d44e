#pragma once
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>

#include "idl/Abilities.h"
#include "jobs/core/BandPlan.h"
#include "jobs/core/JobPackage.h"
#include "jobs/core/UserScene.h"

namespace jobs {

// What one render job is asked to do, owned by the job for its whole life:
// its number, the picture size, the height its bands are cut from, its band
// plan, and its own package in a folder of its own, so that jobs started at
// once from one work folder never share a package file.
//
// The picture size is the one thing that may change while the job runs:
// the host's SetImage reaches every running job (JobSlot::SetImage), and
// the dispatch reads the size again for every band it hands out. The height
// the bands are cut from stays the one the job started with.
//
// Threads: created by the host's thread; the dispatch thread, the host and
// JobSlot (on any thread) use it at once. The size is guarded by mutex_;
// the package calls are made by the dispatch thread alone; the rest never
// changes.
class JobOrder {
 public:
  struct Size {
    int32_t width = 0;
    int32_t height = 0;
    bool operator==(const Size&) const = default;
  };

  // A job numbered `number` for a picture of `size`, cut into bands as
  // `plan` says, packing `workFolder`/Render.
  JobOrder(uint64_t number, Size size, BandPlan plan, std::filesystem::path workFolder);
  // Removes the job's package folder (only) if ReleasePackage has not.
  ~JobOrder();
  JobOrder(const JobOrder&) = delete;
  JobOrder& operator=(const JobOrder&) = delete;

  uint64_t number() const { return number_; }
  const BandPlan& plan() const { return plan_; }
  const std::filesystem::path& workFolder() const { return workFolder_; }
  // The size the job started with: its viewer's picture.
  Size startSize() const { return startSize_; }
  // The height the bands are cut from: the picture's at the start.
  int32_t bandHeight() const { return startSize_.height; }

  // The size sent with the next band handed out.
  Size pictureSize() const;
  void SetPictureSize(Size size);

  // What a farmer must announce to get a band of this job (none for the
  // scene maker's scenes). Set before the dispatch starts.
  const farm::Abilities& needs() const { return needs_; }
  void set_needs(farm::Abilities needs) { needs_ = std::move(needs); }

  // Makes the job render a user's own scene: Pack writes its package, and
  // only farmers that announce farm::kAbilityScene get its bands. Set
  // before the dispatch starts.
  void set_scene(std::shared_ptr<const UserScene> scene);
  const std::shared_ptr<const UserScene>& scene() const { return scene_; }

  // Packs workFolder/Render (or the user's scene) into Render.zip in a new folder of this job's
  // own inside the work folder, and reads it back whole. Null when there is
  // no package to read (the folder or the archive could not be written).
  // Dispatch thread; once.
  PackageBytes Pack();
  // The digest of the package Pack wrote (farm::PackageDigestOf); empty
  // before, or when it could not be read. Dispatch thread.
  const std::string& packageDigest() const { return packageDigest_; }
  // The job's package file; empty before Pack.
  std::filesystem::path packageFile() const;

  // The job has ended: its package folder goes. With `keep`, the package is
  // first moved to workFolder/Render.zip, replacing what lies there, where
  // a job that failed or found no node leaves it; without, a package left
  // there by an earlier job goes too. Dispatch thread; later calls do
  // nothing.
  void ReleasePackage(bool keep);

 private:
  const uint64_t number_;
  const Size startSize_;
  const BandPlan plan_;
  const std::filesystem::path workFolder_;
  std::filesystem::path packageFolder_;  // empty until Pack, and after ReleasePackage
  std::string packageDigest_;
  farm::Abilities needs_;
  std::shared_ptr<const UserScene> scene_;

  mutable std::mutex mutex_;  // guards size_
  Size size_;
};

}  // namespace jobs
