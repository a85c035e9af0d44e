#pragma once
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace workgroup {

// Work groups by name, in order of creation. Names are compared byte for
// byte: case matters and the empty name is a name like any other. Groups
// live as long as the directory.
//
// Any thread: a mutex guards the list (and is held while a group is made).
template <class Group>
class GroupDirectory {
 public:
  using Make = std::function<std::unique_ptr<Group>(const std::string& name)>;

  // The group called `name`, made with `make` on its first use. When `make`
  // throws or answers null nothing is stored, the exception passes on, and
  // a later call tries again. Concurrent calls for one name make one group.
  Group* FindOrCreate(const std::string& name, const Make& make) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& [n, g] : groups_) {
      if (n == name) return g.get();
    }
    std::unique_ptr<Group> group = make(name);
    if (!group) return nullptr;
    groups_.emplace_back(name, std::move(group));
    return groups_.back().second.get();
  }

  size_t size() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return groups_.size();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::pair<std::string, std::unique_ptr<Group>>> groups_;
};

}  // namespace workgroup
