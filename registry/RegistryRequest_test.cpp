#include <gtest/gtest.h>

#include "idl/RegistryDatagram.h"

namespace farm {
namespace {

using Fields = std::vector<std::string>;

std::string Datagram(const std::string& text) { return text + std::string(1, '\0'); }

TEST(RegistryRequest, SeparatorRunsCountAsOneAndHostIsAppended) {
  EXPECT_EQ(ParseRequest(Datagram("PUT;;WorkGroup;;;IOR:00;k1"), "alpha"),
            (Fields{"PUT", "WorkGroup", "IOR:00", "k1", "alpha"}));
  EXPECT_EQ(ParseRequest(Datagram(";;Get;"), "alpha"), (Fields{"Get", "alpha"}));
  EXPECT_EQ(ParseRequest(Datagram(""), "alpha"), (Fields{"alpha"}));
  // The text ends at its first NUL; what follows is not read.
  EXPECT_EQ(ParseRequest(std::string("Get;a\0b;c\0", 10), "h"), (Fields{"Get", "a", "h"}));
}

TEST(RegistryRequest, MalformedDatagramsAreRefused) {
  EXPECT_FALSE(ParseRequest("Get;WorkGroup", "alpha"));  // no NUL
  EXPECT_FALSE(ParseRequest(std::string(), "alpha"));
  // 1024 bytes in all, NUL included: the text and ";" + host must fit.
  const std::string host = "h2345";  // ";h2345" adds 6 bytes
  std::string fits(1024 - 1 - 6, 'x');
  EXPECT_TRUE(ParseRequest(Datagram(fits), host));
  EXPECT_FALSE(ParseRequest(Datagram(fits + "x"), host));
  // A datagram over 1024 bytes is refused even when its text is short.
  std::string big = Datagram("Get;a") + std::string(1024, 'z');
  EXPECT_FALSE(ParseRequest(big, host));
  EXPECT_TRUE(ParseRequest(big.substr(0, 1024), host));
}

}  // namespace
}  // namespace farm
