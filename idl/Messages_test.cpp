// Each message between the farm's processes: what the encoder writes is
// read back as it was, the bytes are those every peer expects, and every
// malformed form is refused for its own reason.
#include <gtest/gtest.h>

#include "Lumora.hh"
#include "idl/BandLabel.h"
#include "idl/ConfigRecords.h"
#include "idl/EndMessage.h"
#include "idl/JobParameters.h"
#include "idl/OrbInit.h"
#include "idl/RegistryDatagram.h"

namespace farm {
namespace {

// Anys need the ORB's type machinery; no adapter or connection is made.
class OrbEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    int argc = 0;
    orb_ = InitOrb(argc, nullptr);
  }
  void TearDown() override {
    orb_->destroy();
    CORBA::release(orb_);
  }

 private:
  CORBA::ORB_ptr orb_ = CORBA::ORB::_nil();
};
[[maybe_unused]] const auto* const kOrb = ::testing::AddGlobalTestEnvironment(new OrbEnvironment);

Lumora::DataSeq Texts(std::initializer_list<const char*> texts) {
  Lumora::DataSeq d;
  d.length(static_cast<CORBA::ULong>(texts.size()));
  CORBA::ULong i = 0;
  for (const char* t : texts) d[i++] <<= t;
  return d;
}

std::string TextAt(const Lumora::DataSeq& d, CORBA::ULong i) {
  const char* text = nullptr;
  return (d[i] >>= text) ? std::string(text) : std::string("<not a string>");
}

TEST(Messages, JobParametersRoundTrip) {
  const JobParameters sent{2, 3, 800, 600, {151, 329}};
  const Lumora::DataSeq wire = EncodeJobParameters(sent);
  ASSERT_EQ(wire.length(), 7u);
  EXPECT_EQ(TextAt(wire, 0), "OneFrame");
  CORBA::Long width = 0;
  ASSERT_TRUE(wire[3] >>= width);
  EXPECT_EQ(width, 800);

  JobParameters got;
  std::string reason;
  ASSERT_EQ(DecodeJobParameters(wire, &got, &reason), OneFrame::kAccepted);
  EXPECT_EQ(got, sent);

  // Every refusal leaves the output alone and names its cause.
  auto expect = [&](const Lumora::DataSeq& data, OneFrame answer, const std::string& why) {
    JobParameters out;
    std::string r;
    EXPECT_EQ(DecodeJobParameters(data, &out, &r), answer) << why;
    EXPECT_EQ(r, why);
    EXPECT_EQ(out, JobParameters());
  };
  expect(Lumora::DataSeq(), OneFrame::kIgnored, "empty list");
  Lumora::DataSeq number = wire;
  number[0] <<= static_cast<CORBA::Long>(7);
  expect(number, OneFrame::kIgnored, "element 0 is no string");
  expect(Texts({"oneframe"}), OneFrame::kIgnored, "element 0 is not OneFrame");
  Lumora::DataSeq shortList = wire;
  shortList.length(6);
  expect(shortList, OneFrame::kRefused, "6 elements, not 7");
  Lumora::DataSeq text = wire;
  text[4] <<= "600";
  expect(text, OneFrame::kRefused, "element 4 is no long");
  Lumora::DataSeq wide = wire;
  wide[6] <<= CORBA::Double(329.0);
  expect(wide, OneFrame::kRefused, "element 6 is no long");

  // An animation frame rides as an eighth long; a still sends seven.
  JobParameters frame = sent;
  frame.rows.frame = 7;
  const Lumora::DataSeq frameWire = EncodeJobParameters(frame);
  ASSERT_EQ(frameWire.length(), 8u);
  ASSERT_EQ(DecodeJobParameters(frameWire, &got, &reason), OneFrame::kAccepted);
  EXPECT_EQ(got, frame);
  ASSERT_EQ(DecodeJobParameters(wire, &got, &reason), OneFrame::kAccepted);
  EXPECT_FALSE(got.rows.frame) << "a still clears the frame of the band before";
  Lumora::DataSeq badFrame = frameWire;
  badFrame[7] <<= "7";
  expect(badFrame, OneFrame::kRefused, "element 7 is no long");
}

// Band 1 from the top goes out as row 0 in the message and in Farmer.ini,
// and comes back as row 1; every other row goes as it is, also rows above
// the picture that a seam's widening reaches.
TEST(Messages, BandOneStartsAtRowZeroOnTheWire) {
  CORBA::Long first = -1;
  const Lumora::DataSeq band1 = EncodeJobParameters({1, 3, 640, 480, {1, 169}});
  ASSERT_TRUE(band1[5] >>= first);
  EXPECT_EQ(first, 0);
  JobParameters got;
  ASSERT_EQ(DecodeJobParameters(band1, &got), OneFrame::kAccepted);
  EXPECT_EQ(got.rows, (WorkUnit{1, 169}));
  EXPECT_EQ(FarmerRecordOf(1, got.rows, 480).firstRow, 0);

  for (const std::int32_t edge : {0, -9, 1}) {
    const Lumora::DataSeq inner = EncodeJobParameters({2, 4, 640, 2, {edge, 9}});
    ASSERT_TRUE(inner[5] >>= first);
    EXPECT_EQ(first, edge);
    ASSERT_EQ(DecodeJobParameters(inner, &got), OneFrame::kAccepted);
    EXPECT_EQ(got.rows.first, edge);
    EXPECT_EQ(EncodeFarmerRecord(FarmerRecordOf(2, got.rows, 2)), EncodeFarmerRecord({edge, 9, 2}));
  }
}

TEST(Messages, EndMessageRoundTrip) {
  const Lumora::DataSeq finish = EncodeEndMessage(12);
  ASSERT_EQ(finish.length(), 2u);
  EXPECT_EQ(TextAt(finish, 0), "Finish");
  EXPECT_EQ(TextAt(finish, 1), "Render12.zip");
  EXPECT_EQ(DecodeEndMessage(finish), (EndMessage{12, std::nullopt}));

  const Lumora::DataSeq failed = EncodeEndMessage(4, std::string("why"));
  ASSERT_EQ(failed.length(), 4u);
  EXPECT_EQ(TextAt(failed, 2), "Failed");
  EXPECT_EQ(TextAt(failed, 3), "why");
  EXPECT_EQ(DecodeEndMessage(failed), (EndMessage{4, std::string("why")}));

  // Older nodes, and labels or failures that say less than they should.
  EXPECT_EQ(DecodeEndMessage(Texts({"Finish"})), (EndMessage{std::nullopt, std::nullopt}));
  EXPECT_EQ(DecodeEndMessage(EncodeEndMessage(0)), (EndMessage{std::nullopt, std::nullopt}));
  EXPECT_EQ(DecodeEndMessage(Texts({"Finish", "Render5.zip", "Failed"})),
            (EndMessage{5, std::string("no reason given")}));
  EXPECT_EQ(DecodeEndMessage(Texts({"Finish", "Render5.zip", "failed", "x"})), (EndMessage{5, std::nullopt}));

  for (const Lumora::DataSeq& bad : {Lumora::DataSeq(), Texts({"finish", "Render1.zip"}), Texts({"Finish "})}) {
    std::string reason;
    EXPECT_FALSE(DecodeEndMessage(bad, &reason).has_value());
    EXPECT_EQ(reason, "element 0 is not the string Finish");
  }
}

TEST(Messages, BandLabelRoundTrip) {
  for (std::int32_t band : {1, 7, 12, 999999999}) EXPECT_EQ(ParseBandLabel(FormatBandLabel(band)), band);
  EXPECT_EQ(FormatBandLabel(3), "Render3.zip");
  EXPECT_EQ(FormatBandLabel(-1), "Render-1.zip");

  const std::pair<const char*, const char*> refused[] = {
      {"Render.zip", "too short for a band label"},
      {"render1.zip", "does not begin with Render"},
      {"Render1.ZIP", "does not end with .zip"},
      {"Render1234567890.zip", "band number too long"},
      {"Render-1.zip", "band number is not decimal digits"},
      {"Render 1.zip", "band number is not decimal digits"},
      {"Render0.zip", "band number below 1"},
  };
  for (const auto& [label, why] : refused) {
    std::string reason;
    EXPECT_FALSE(ParseBandLabel(label, &reason).has_value()) << label;
    EXPECT_EQ(reason, why) << label;
  }
}

TEST(Messages, RegistryDatagramRoundTrip) {
  using Command = RegistryRequest::Command;
  auto parse = [](const std::string& text, const std::string& host) {
    return ParseRegistryRequest(text + std::string(1, '\0'), host);
  };
  EXPECT_EQ(FormatPutRequest("WorkGroup", "IOR:00", "k1"), "PUT;WorkGroup;IOR:00;k1");
  EXPECT_EQ(FormatGetRequest("WorkGroup"), "Get;WorkGroup");
  EXPECT_EQ(FormatBadServiceRequest("IOR:00"), "BADSERVICE;IOR:00");
  EXPECT_EQ(FormatStopRequest(), "STOP");

  EXPECT_EQ(parse(FormatPutRequest("WorkGroup", "IOR:00", "k1"), "alpha"),
            (RegistryRequest{Command::kPut, "WorkGroup", "IOR:00", "k1", "alpha"}));
  EXPECT_EQ(parse(FormatGetRequest("WorkGroup"), "alpha"),
            (RegistryRequest{Command::kGet, "WorkGroup", "", "", "alpha"}));
  EXPECT_EQ(parse(FormatBadServiceRequest("IOR:00"), "b"),
            (RegistryRequest{Command::kBadService, "", "IOR:00", "", "b"}));
  EXPECT_EQ(parse(FormatStopRequest(), "b"), (RegistryRequest{Command::kStop, "", "", "", "b"}));
  // A look-up without a name reads the appended host in its place.
  EXPECT_EQ(parse("Get", "alpha"), (RegistryRequest{Command::kGet, "alpha", "", "", "alpha"}));

  const std::pair<std::string, const char*> refused[] = {
      {"Get;WorkGroup", "malformed datagram"},  // no NUL
      {std::string(1, '\0'), "no fields"},      // empty text, empty host
      {"PUT;WorkGroup;IOR:00" + std::string(1, '\0'), "PUT needs name, reference and key"},
      {"STOP" + std::string(1, '\0'), "STOP without a field"},
      {"get;WorkGroup" + std::string(1, '\0'), "unknown command get"},
  };
  for (const auto& [datagram, why] : refused) {
    std::string reason;
    EXPECT_FALSE(ParseRegistryRequest(datagram, "", &reason).has_value()) << datagram;
    EXPECT_EQ(reason, why) << datagram;
  }

  EXPECT_EQ(FormatGetAnswer(std::nullopt), "noneior");
  EXPECT_EQ(ParseGetAnswer(FormatGetAnswer(std::nullopt)), std::nullopt);
  EXPECT_EQ(ParseGetAnswer(FormatGetAnswer(std::string("IOR:01"))), std::string("IOR:01"));
}

}  // namespace
}  // namespace farm
