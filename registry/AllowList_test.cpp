#include "registry/AllowList.h"

#include <gtest/gtest.h>

namespace registry {
namespace {

constexpr std::uint32_t Ip(unsigned a, unsigned b, unsigned c, unsigned d) { return a << 24 | b << 16 | c << 8 | d; }

TEST(AllowList, NetworksAndSingleHosts) {
  auto list = AllowList::Parse("10.0.0.0/24,127.0.0.1/32,192.168.7.9");
  ASSERT_TRUE(list.ok()) << list.status().reason();
  EXPECT_TRUE(list->Allows(Ip(10, 0, 0, 0)));
  EXPECT_TRUE(list->Allows(Ip(10, 0, 0, 255)));
  EXPECT_FALSE(list->Allows(Ip(10, 0, 1, 0)));
  EXPECT_TRUE(list->Allows(Ip(127, 0, 0, 1)));
  EXPECT_FALSE(list->Allows(Ip(127, 0, 0, 2)));
  EXPECT_TRUE(list->Allows(Ip(192, 168, 7, 9)));
  EXPECT_FALSE(list->Allows(Ip(192, 168, 7, 8)));
  // Host bits in the network address do not widen or shift it.
  auto loose = AllowList::Parse("10.0.0.77/30");
  ASSERT_TRUE(loose.ok());
  EXPECT_TRUE(loose->Allows(Ip(10, 0, 0, 76)));
  EXPECT_FALSE(loose->Allows(Ip(10, 0, 0, 80)));
  auto all = AllowList::Parse("0.0.0.0/0");
  ASSERT_TRUE(all.ok());
  EXPECT_TRUE(all->Allows(Ip(8, 8, 8, 8)));
}

TEST(AllowList, MalformedListsAreRefusedNamingTheEntry) {
  for (const char* text :
       {"", "10.0.0.0/24,", "10.0.0.0/33", "10.0.0/24", "10.0.0.0/", "10.0.0.0/2x", "host/8", "::1/128", " 10.0.0.1"}) {
    auto list = AllowList::Parse(text);
    EXPECT_FALSE(list.ok()) << text;
    if (!list.ok()) {
      EXPECT_NE(list.status().reason().find("LEDGO_ALLOW"), std::string::npos);
    }
  }
  EXPECT_NE(AllowList::Parse("10.0.0.0/24,bad").status().reason().find("\"bad\""), std::string::npos);
}

}  // namespace
}  // namespace registry
