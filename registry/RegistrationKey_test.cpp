#include "registry/RegistrationKey.h"

#include <gtest/gtest.h>

namespace registry {
namespace {

// type id "IDL:A:1.0", one IIOP 1.2 profile: host 127.0.0.1, port 8080,
// object key "abc"; big-endian throughout.
const char kBigEndian[] =
    "IOR:"
    "00000000"
    "0000000a"
    "49444c3a413a312e3000"
    "0000"
    "00000001"
    "00000000"
    "0000001b"
    "00010200"
    "0000000a"
    "3132372e302e302e3100"
    "1f90"
    "00000003"
    "616263";

// The same with port 8081, little-endian, after a non-IIOP profile.
const char kLittleEndian[] =
    "IOR:"
    "01000000"
    "0a000000"
    "49444c3a413a312e3000"
    "0000"
    "02000000"
    "07000000"
    "02000000"
    "beef"
    "0000"
    "00000000"
    "1b000000"
    "01010200"
    "0a000000"
    "3132372e302e302e3100"
    "911f"
    "03000000"
    "616263";

TEST(RegistrationKey, EndpointAndObjectKeyOfTheFirstIiopProfile) {
  auto ep = FirstIiopEndpoint(kBigEndian);
  ASSERT_TRUE(ep);
  EXPECT_EQ(ep->host, "127.0.0.1");
  EXPECT_EQ(ep->port, 8080u);
  EXPECT_EQ(ep->objectKey, "abc");
  EXPECT_EQ(RegistrationKey(kBigEndian), "127.0.0.1:8080/616263");
  EXPECT_EQ(RegistrationKey(kLittleEndian), "127.0.0.1:8081/616263");
}

TEST(RegistrationKey, OtherTextFallsBackToAHash) {
  const std::string cut = std::string(kBigEndian).substr(0, 60);
  for (const std::string& text : {std::string("corbaloc::h:1/x"), cut, std::string("IOR:zz"), std::string()}) {
    EXPECT_FALSE(FirstIiopEndpoint(text)) << text;
    const std::string key = RegistrationKey(text);
    EXPECT_EQ(key.size(), 4u + 16u) << text;
    EXPECT_EQ(key.substr(0, 4), "IOR#");
  }
  EXPECT_NE(RegistrationKey("IOR:zz"), RegistrationKey("IOR:zy"));
  EXPECT_EQ(RegistrationKey("IOR:zz"), RegistrationKey("IOR:zz"));
}

}  // namespace
}  // namespace registry
