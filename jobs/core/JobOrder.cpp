#include "jobs/core/JobOrder.h"

#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

#include "idl/PackageDigest.h"
#include "idl/WellKnownNames.h"
#include "jobs/core/JobPackage.h"

namespace jobs {

namespace {

// A new folder of its own inside `workFolder`; empty when none could be
// made. The leading dot keeps it out of listings, and mkdtemp keeps it
// apart from the folders of jobs in other processes.
std::filesystem::path MakeJobFolder(const std::filesystem::path& workFolder) {
  std::string pattern = (workFolder / ".job-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) return {};
  return pattern;
}

}  // namespace

JobOrder::JobOrder(uint64_t number, Size size, BandPlan plan, std::filesystem::path workFolder)
    : number_(number), startSize_(size), plan_(plan), workFolder_(std::move(workFolder)), size_(size) {}

JobOrder::~JobOrder() {
  std::error_code ec;
  if (!packageFolder_.empty()) std::filesystem::remove_all(packageFolder_, ec);
}

void JobOrder::set_scene(std::shared_ptr<const UserScene> scene) {
  scene_ = std::move(scene);
  if (scene_) needs_.Add(farm::kAbilityScene);
}

JobOrder::Size JobOrder::pictureSize() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return size_;
}

void JobOrder::SetPictureSize(Size size) {
  std::lock_guard<std::mutex> lock(mutex_);
  size_ = size;
}

PackageBytes JobOrder::Pack() {
  packageFolder_ = MakeJobFolder(workFolder_);
  if (packageFolder_.empty()) return nullptr;
  const std::filesystem::path zip = packageFile();
  // A failure shows when the package is read.
  if (scene_) {
    WriteScenePackage(*scene_, zip);
  } else {
    WriteJobPackage(workFolder_ / farm::kPackageFolder, zip);
  }
  std::ifstream in(zip, std::ios::binary);
  if (!in) return nullptr;
  auto bytes = std::make_shared<std::vector<unsigned char>>(std::istreambuf_iterator<char>(in),
                                                            std::istreambuf_iterator<char>());
  if (in.bad()) return nullptr;
  packageDigest_ = farm::PackageDigestOf(zip, nullptr).value_or("");
  return bytes;
}

std::filesystem::path JobOrder::packageFile() const {
  return packageFolder_.empty() ? std::filesystem::path() : packageFolder_ / farm::kPackageName;
}

void JobOrder::ReleasePackage(bool keep) {
  if (packageFolder_.empty()) return;
  std::error_code ec;
  const std::filesystem::path left = workFolder_ / farm::kPackageName;
  if (keep) {
    std::filesystem::rename(packageFile(), left, ec);
  } else {
    std::filesystem::remove(left, ec);
  }
  std::filesystem::remove_all(packageFolder_, ec);
  packageFolder_.clear();
}

}  // namespace jobs
