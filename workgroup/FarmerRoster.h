#pragma once
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace workgroup {

// The farmers of one work group, in order of addition. The same farmer may
// be added any number of times; every addition is an entry of its own.
//
// Requests are served on several threads at once, and a liveness pass calls
// every farmer: the lock guards the list only, never a call. A pass probes
// the entries it found at its start all at once, each on a thread of its
// own, and waits for them until one deadline; it then removes the silent
// ones by identity, so entries added or removed meanwhile neither break it
// nor make it drop the wrong farmer.
template <class Member>
class FarmerRoster {
 public:
  using Ptr = std::shared_ptr<Member>;
  // Answers true when the member answered its probe at all. Runs on a
  // thread of the pass, possibly after the pass has returned (a probe
  // past the deadline): it must own, or outlive, all it touches.
  using Probe = std::function<bool(Member&)>;

  void Add(Ptr member) {
    auto slot = std::make_shared<Slot>(Slot{std::move(member)});
    std::lock_guard<std::mutex> lock(mutex_);
    slots_.push_back(std::move(slot));
  }

  // Probes every entry once, all at once, removes each one whose probe
  // failed or had not answered within `deadline`, and answers the list that
  // is left. Entries added during the pass stay unprobed.
  std::vector<Ptr> Prune(const Probe& answers, std::chrono::milliseconds deadline) {
    std::vector<std::shared_ptr<Slot>> probed;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      probed = slots_;
    }
    const std::vector<bool> ok = ProbeAll(probed, answers, deadline);
    std::lock_guard<std::mutex> lock(mutex_);
    for (std::size_t i = 0; i < probed.size(); ++i) {
      if (ok[i]) continue;
      auto it = std::find(slots_.begin(), slots_.end(), probed[i]);
      if (it != slots_.end()) slots_.erase(it);  // else another pass removed it already
    }
    return MembersLocked();
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

  // What the probe threads share with the pass; kept alive by the threads
  // that outlast it.
  struct Pass {
    explicit Pass(Probe p, std::size_t n) : probe(std::move(p)), answered(n, false) {}
    const Probe probe;
    std::mutex mutex;
    std::condition_variable done;
    std::vector<bool> answered;  // true: the probe answered (a late answer is not looked at)
    std::size_t pending = 0;
  };

  static std::vector<bool> ProbeAll(const std::vector<std::shared_ptr<Slot>>& slots, const Probe& answers,
                                    std::chrono::milliseconds deadline) {
    const auto until = std::chrono::steady_clock::now() + deadline;
    auto pass = std::make_shared<Pass>(answers, slots.size());
    for (std::size_t i = 0; i < slots.size(); ++i) {
      auto run = [pass, slot = slots[i], i] {
        const bool ok = pass->probe(*slot->member);
        std::lock_guard<std::mutex> lock(pass->mutex);
        pass->answered[i] = ok;
        if (--pass->pending == 0) pass->done.notify_all();
      };
      {
        std::lock_guard<std::mutex> lock(pass->mutex);
        ++pass->pending;
      }
      try {
        std::thread(run).detach();
      } catch (const std::system_error&) {
        run();  // no thread to be had: this one probes in turn
      }
    }
    std::unique_lock<std::mutex> lock(pass->mutex);
    pass->done.wait_until(lock, until, [&] { return pass->pending == 0; });
    std::vector<bool> out = pass->answered;
    // A probe still running counts as silent, even if it answers later.
    return out;
  }

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
