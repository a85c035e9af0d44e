#pragma once
#include <algorithm>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace workgroup {

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
    auto slot = std::make_shared<Slot>(Slot{std::move(member)});
    std::lock_guard<std::mutex> lock(mutex_);
    slots_.push_back(std::move(slot));
  }

  // Probes every entry once, in list order, removes each one whose probe
  // failed, and answers the list that is left.
  std::vector<Ptr> Prune(const Probe& answers) {
    size_t pos = 0;
    for (;;) {
      std::shared_ptr<Slot> current;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (pos >= slots_.size()) return MembersLocked();
        current = slots_[pos];
      }
      const bool ok = answers(*current->member);
      std::lock_guard<std::mutex> lock(mutex_);
      auto it = std::find(slots_.begin(), slots_.end(), current);
      if (it == slots_.end()) continue;  // another pass removed it; `pos` now holds the next one
      pos = static_cast<size_t>(it - slots_.begin());
      if (ok) {
        ++pos;
      } else {
        slots_.erase(it);  // the next entry moves into `pos`
      }
    }
  }

  std::vector<Ptr> Members() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return MembersLocked();
  }

 private:
  // One per addition: the identity a pass looks for, even when the same
  // member was added twice.
  struct Slot {
    Ptr member;
  };

  std::vector<Ptr> MembersLocked() const {
    std::vector<Ptr> out;
    out.reserve(slots_.size());
    for (const auto& s : slots_) out.push_back(s->member);
    return out;
  }

  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<Slot>> slots_;
};

}  // namespace workgroup
