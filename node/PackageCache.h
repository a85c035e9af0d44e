#pragma once
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>

namespace node {

// The packages a node unpacked lately, kept as their archives under their
// digest (idl/PackageDigest.h), so that a boss that offers a digest the
// node holds need not send the bytes again.
//
// A package is admitted only when its own bytes give the digest it was
// offered under: a boss cannot make the node keep, under one digest, what
// another package would be. When the archives together exceed the size
// limit, the ones used longest ago go; the one admitted or taken last always
// stays, so a package larger than the limit still serves its own job.
//
// Any thread: a mutex guards the folder.
class PackageCache {
 public:
  // $LUMORA_PACKAGE_CACHE_MB (megabytes, 0 keeps only the package in use)
  // when it is a number, else kDefaultMaxBytes.
  static constexpr std::uint64_t kDefaultMaxBytes = std::uint64_t{2048} << 20;
  static std::uint64_t MaxBytesFromEnvironment();

  // Keeps its archives in `folder` (made when missing; archives left there
  // by an earlier run are used again).
  PackageCache(std::filesystem::path folder, std::uint64_t maxBytes);

  // Whether the package `digest` is here; marks it used.
  bool Has(const std::string& digest);

  // Checks the archive `received` against `digest`; when it matches, moves
  // it into the cache (replacing an equal one) and lets older packages go
  // down to the size limit. Otherwise removes `received` and answers false
  // with a one-line reason. `maxUnpacked` bounds what the check inflates.
  bool Admit(const std::filesystem::path& received, const std::string& digest, std::uint64_t maxUnpacked,
             std::string* error);

  // Where the archive of `digest` lies (whether or not it is there).
  std::filesystem::path PathOf(const std::string& digest) const;

 private:
  void TrimLocked(const std::filesystem::path& keep);

  const std::filesystem::path folder_;
  const std::uint64_t maxBytes_;
  std::mutex mutex_;
};

}  // namespace node
