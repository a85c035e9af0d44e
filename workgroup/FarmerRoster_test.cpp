#include "workgroup/FarmerRoster.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "workgroup/GroupDirectory.h"

namespace workgroup {
namespace {

struct Member {
  std::string name;
  std::atomic<int> probes{0};
  bool answers = true;
  std::function<void()> during;  // runs inside the probe
};

using Roster = FarmerRoster<Member>;
constexpr std::chrono::milliseconds kDeadline{5000};

std::shared_ptr<Member> M(std::string name, bool answers = true) {
  auto m = std::make_shared<Member>();
  m->name = std::move(name);
  m->answers = answers;
  return m;
}

bool Probe(Member& m) {
  if (m.probes++ == 0 && m.during) m.during();
  return m.answers;
}

std::string Names(const std::vector<std::shared_ptr<Member>>& list) {
  std::string s;
  for (auto& m : list) s += m->name;
  return s;
}

TEST(FarmerRoster, DropsAdjacentSilentEntriesAndProbesEachOnce) {
  Roster r;
  auto a = M("a"), x = M("x", false), y = M("y", false), b = M("b");
  r.Add(a);
  r.Add(x);
  r.Add(y);
  r.Add(b);
  r.Add(a);  // the same farmer again: an entry of its own
  EXPECT_EQ(Names(r.Prune(Probe, kDeadline)), "aba");
  EXPECT_EQ(a->probes.load(), 2);
  EXPECT_EQ(x->probes.load(), 1);
  EXPECT_EQ(y->probes.load(), 1);
  EXPECT_EQ(b->probes.load(), 1);
  EXPECT_EQ(Names(r.Members()), "aba");

  Roster empty;
  EXPECT_TRUE(empty.Prune(Probe, kDeadline).empty());
}

// Stopped members hang their probes: the pass waits for them all at once,
// until its deadline, and drops them; the roster serves meanwhile, and
// changes made during the pass are kept.
TEST(FarmerRoster, HungProbesShareOneDeadlineAndTheListChangesMeanwhile) {
  Roster r;
  std::mutex mutex;
  std::condition_variable cv;
  bool released = false;
  const auto hang = [&] {
    std::unique_lock<std::mutex> lock(mutex);
    cv.wait(lock, [&] { return released; });
  };
  std::vector<std::shared_ptr<Member>> all;
  for (char c : std::string("aHbHHcHH")) {
    all.push_back(M(std::string(1, c)));
    if (c == 'H') all.back()->during = hang;
    r.Add(all.back());
  }
  auto late = M("n"), gone = M("g", false);
  r.Add(gone);
  // While "a" is probed, a farmer joins and the list is read.
  std::string seen;
  all[0]->during = [&] {
    r.Add(late);
    seen = Names(r.Members());
  };
  const auto start = std::chrono::steady_clock::now();
  const std::string left = Names(r.Prune(Probe, std::chrono::milliseconds(300)));
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(left, "abcn");
  EXPECT_EQ(seen, "aHbHHcHHgn");
  EXPECT_GE(took, std::chrono::milliseconds(300));
  EXPECT_LT(took, std::chrono::milliseconds(300 * 5 - 100));  // five hung probes in turn would take 1.5 s
  for (auto& m : all) EXPECT_EQ(m->probes.load(), 1) << m->name;
  EXPECT_EQ(late->probes.load(), 0);
  {
    std::lock_guard<std::mutex> lock(mutex);
    released = true;
  }
  cv.notify_all();
  // The late answers of the released probes change nothing.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(Names(r.Members()), "abcn");
}

struct Group {
  std::string name;
};

TEST(GroupDirectory, OneGroupPerExactName) {
  GroupDirectory<Group> d;
  int made = 0;
  auto make = [&](const std::string& n) {
    ++made;
    return std::make_unique<Group>(Group{n});
  };
  Group* tessel = d.FindOrCreate("Tessel", make);
  EXPECT_EQ(d.FindOrCreate("Tessel", make), tessel);
  Group* lower = d.FindOrCreate("tessel", make);
  Group* empty = d.FindOrCreate("", make);
  EXPECT_NE(lower, tessel);
  EXPECT_NE(empty, tessel);
  EXPECT_NE(empty, lower);
  EXPECT_EQ(d.FindOrCreate("", make), empty);
  EXPECT_EQ(empty->name, "");
  EXPECT_EQ(made, 3);

  // A group that cannot be made is not kept; the next call tries again.
  EXPECT_THROW(d.FindOrCreate("bad", [](const std::string&) -> std::unique_ptr<Group> { throw 1; }), int);
  EXPECT_EQ(d.FindOrCreate("bad", [](const std::string&) { return std::unique_ptr<Group>(); }), nullptr);
  EXPECT_EQ(d.size(), 3u);
  EXPECT_EQ(d.FindOrCreate("bad", make)->name, "bad");
}

}  // namespace
}  // namespace workgroup
