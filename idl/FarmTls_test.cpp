#include "idl/FarmTls.h"

#include <gtest/gtest.h>

#include <vector>

namespace farm {
namespace {

using Args = std::vector<std::string>;

TEST(FarmTls, SslArgumentsServeOnlySsl) {
  EXPECT_EQ(SslArguments({"kintrahub"}), (Args{"kintrahub", "-ORBendPoint", "giop:ssl::"}));
  EXPECT_EQ(SslArguments({"tessel", "-ORBendPoint", "giop:tcp:10.0.0.3:", "-ORBtraceLevel", "1"}),
            (Args{"tessel", "-ORBendPoint", "giop:ssl:10.0.0.3:", "-ORBtraceLevel", "1"}));
  EXPECT_EQ(SslArguments({"kintrahub", "-ORBendPoint", "giop:ssl:10.0.0.2:2809"}),
            (Args{"kintrahub", "-ORBendPoint", "giop:ssl:10.0.0.2:2809"}));
  // A value that only looks like an option's is not an endpoint.
  EXPECT_EQ(SslArguments({"x", "giop:tcp::"}), (Args{"x", "giop:tcp::", "-ORBendPoint", "giop:ssl::"}));
}

}  // namespace
}  // namespace farm
