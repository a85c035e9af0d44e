#include "registry/RegistryTable.h"

#include <gtest/gtest.h>

namespace registry {
namespace {

RegistryEntry Entry(std::string key, std::string name, std::string reference, int uses = 0) {
  RegistryEntry e;
  e.key = std::move(key);
  e.name = std::move(name);
  e.reference = std::move(reference);
  e.uses = uses;
  return e;
}

std::string Next(RegistryTable& t, const char* name = "WorkGroup") {
  auto c = t.Resolve(name);
  return c ? c->entry.reference : "noneior";
}

TEST(RegistryTable, EqualCountsRotateFromTheLastCandidate) {
  RegistryTable t;
  ASSERT_TRUE(t.Put(Entry("k1", "WorkGroup", "ref1")));
  ASSERT_TRUE(t.Put(Entry("k2", "WorkGroup", "ref2")));
  EXPECT_EQ(Next(t), "ref2");
  EXPECT_EQ(Next(t), "ref1");
  EXPECT_EQ(Next(t), "ref2");
  EXPECT_EQ(Next(t), "ref1");

  RegistryTable three;
  three.Put(Entry("a", "N", "A"));
  three.Put(Entry("other", "M", "X"));  // other names are not candidates
  three.Put(Entry("b", "N", "B"));
  three.Put(Entry("c", "N", "C"));
  std::string seen;
  for (int i = 0; i < 6; ++i) seen += Next(three, "N");
  EXPECT_EQ(seen, "CBACBA");
  EXPECT_EQ(Next(three, "M"), "X");
}

TEST(RegistryTable, ComparesWithTheFirstCandidateOnly) {
  RegistryTable t;
  // Against the running choice c1 (3) the last one (4) would lose; against
  // c0 (5) both qualify and the last one wins.
  t.Assign({Entry("k0", "N", "c0", 5), Entry("k1", "N", "c1", 3), Entry("k2", "N", "c2", 4)});
  auto c = t.Resolve("N");
  ASSERT_TRUE(c);
  EXPECT_EQ(c->entry.reference, "c2");
  EXPECT_EQ(c->entry.uses, 5);
  EXPECT_EQ(t.entries()[2].uses, 5);

  // A late registration is chosen until its count passes that of c0.
  RegistryTable late;
  late.Put(Entry("a", "N", "A"));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Next(late, "N"), "A");
  late.Put(Entry("b", "N", "B"));
  std::string seen;
  for (int i = 0; i < 7; ++i) seen += Next(late, "N");
  EXPECT_EQ(seen, "BBBBABA");
}

TEST(RegistryTable, LookupsAreExactAndCountSameReferences) {
  RegistryTable t;
  EXPECT_FALSE(t.Resolve("WorkGroup"));
  t.Put(Entry("k1", "WorkGroup", "ref"));
  EXPECT_FALSE(t.Resolve("workgroup"));
  EXPECT_FALSE(t.Resolve("WorkGroup "));
  EXPECT_EQ(t.Resolve("WorkGroup")->sameReference, 0);

  t.Put(Entry("k2", "WorkGroup", "ref"));
  // c0 has 1 use, c1 none: c1 is chosen and holds c0's reference.
  auto c = t.Resolve("WorkGroup");
  ASSERT_TRUE(c);
  EXPECT_EQ(c->entry.key, "k2");
  EXPECT_EQ(c->sameReference, 1);
}

TEST(RegistryTable, SameKeyKeepsTheFirstEntry) {
  RegistryTable t;
  EXPECT_TRUE(t.Put(Entry("k", "WorkGroup", "first")));
  EXPECT_FALSE(t.Put(Entry("k", "Other", "second")));
  ASSERT_EQ(t.entries().size(), 1u);
  EXPECT_EQ(t.entries()[0].reference, "first");
  EXPECT_EQ(Next(t), "first");
  EXPECT_EQ(Next(t, "Other"), "noneior");

  t.Assign({Entry("x", "N", "1"), Entry("y", "N", "2"), Entry("x", "N", "3")});
  ASSERT_EQ(t.entries().size(), 2u);
  EXPECT_EQ(t.entries()[1].reference, "2");
}

TEST(RegistryTable, RemovingAReferenceTakesEveryEntryHoldingIt) {
  RegistryTable t;
  t.Put(Entry("k1", "WorkGroup", "dead"));
  t.Put(Entry("k2", "Other", "dead"));
  t.Put(Entry("k3", "WorkGroup", "live"));
  t.Put(Entry("k4", "WorkGroup", "dead"));
  auto removed = t.RemoveReference("dead");
  ASSERT_EQ(removed.size(), 3u);
  EXPECT_EQ(removed[0].key, "k1");
  EXPECT_EQ(removed[1].key, "k2");
  EXPECT_EQ(removed[2].key, "k4");
  ASSERT_EQ(t.entries().size(), 1u);
  EXPECT_EQ(t.entries()[0].key, "k3");
  EXPECT_TRUE(t.RemoveReference("dead").empty());
  EXPECT_TRUE(t.RemoveReference("dea").empty());
  EXPECT_EQ(Next(t), "live");
}

}  // namespace
}  // namespace registry
