#pragma once
#include <algorithm>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace farm {

// The farmers of one work group, in order of addition. The same farmer may
// be added any number of times; every addition is an entry of its own.
//
// Requests are served on several threads at once, and a liveness pass calls
// every farmer: the lock guards the list only, never a call. A pass finds
// its place again after each call by the identity of the entry it probed, so
// entries added or removed meanwhile neither break it nor make it drop the
// wrong farmer.
template <class Member>
class FarmerRoster {
 public:
  using Ptr = std::shared_ptr<Member>;
  // Answers true when the member answered its probe at all.
  using Probe = std::function<bool(Member&)>;

  void Add(Ptr member) {
    std::lock_guard<std::mutex> lock(mutex_);
    members_.push_back(std::move(member));
  }

  // Probes every entry once, in list order, removes each one whose probe
  // failed, and answers the list that is left.
  std::vector<Ptr> Prune(const Probe& answers) {
    size_t pos = 0;
    for (;;) {
      Ptr current;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (pos >= members_.size()) return members_;
        current = members_[pos];
      }
      const bool ok = answers(*current);
      std::lock_guard<std::mutex> lock(mutex_);
      auto it = std::find(members_.begin(), members_.end(), current);
      if (it == members_.end()) continue;  // another pass removed it; `pos` now holds the next one
      pos = static_cast<size_t>(it - members_.begin());
      if (ok) {
        ++pos;
      } else {
        members_.erase(it);  // the next entry moves into `pos`
      }
    }
  }

  std::vector<Ptr> Members() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return members_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<Ptr> members_;
};

}  // namespace farm
