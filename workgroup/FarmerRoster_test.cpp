#include "workgroup/FarmerRoster.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "workgroup/GroupDirectory.h"

namespace workgroup {
namespace {

struct Member {
  std::string name;
  int probes = 0;
  // Answers of the probes to come, oldest first; once used up, `answers`.
  std::vector<bool> script;
  bool answers = true;
  std::function<void()> during;  // runs inside the probe
};

using Roster = FarmerRoster<Member>;

std::shared_ptr<Member> M(std::string name, bool answers = true) {
  auto m = std::make_shared<Member>();
  m->name = std::move(name);
  m->answers = answers;
  return m;
}

bool Probe(Member& m) {
  ++m.probes;
  if (m.during) std::exchange(m.during, nullptr)();
  if (!m.script.empty()) {
    bool a = m.script.front();
    m.script.erase(m.script.begin());
    return a;
  }
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
  EXPECT_EQ(Names(r.Prune(Probe)), "aba");
  EXPECT_EQ(a->probes, 2);
  EXPECT_EQ(x->probes, 1);
  EXPECT_EQ(y->probes, 1);
  EXPECT_EQ(b->probes, 1);
  EXPECT_EQ(Names(r.Members()), "aba");

  Roster empty;
  EXPECT_TRUE(empty.Prune(Probe).empty());
}

TEST(FarmerRoster, ListChangesDuringAProbeAreFollowed) {
  Roster r;
  auto m = M("m"), x = M("x"), l = M("l"), late = M("n");
  r.Add(m);
  r.Add(x);
  r.Add(l);
  m->script = {true, false};  // alive for the outer pass, gone for the inner
  x->script = {true, false};  // alive for the inner pass, gone for the outer
  // While x is probed, a farmer joins and another pass runs to its end.
  x->during = [&] {
    r.Add(late);
    EXPECT_EQ(Names(r.Prune(Probe)), "xln");
  };
  // Removing by position would take "l" here instead of "x".
  EXPECT_EQ(Names(r.Prune(Probe)), "ln");
  EXPECT_EQ(l->probes, 2);
  EXPECT_EQ(late->probes, 2);
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
