#include "jobs/wire/RenderBoss.h"

#include <gtest/gtest.h>

#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "idl/EndMessage.h"
#include "jobs/wire/CorbaFarm.h"
#include "tests/support/TestEnv.h"
#include "tests/support/TestOrb.h"

namespace jobs {
namespace {

namespace fs = std::filesystem;

Lumora::DataSeq Seq(std::initializer_list<const char*> texts) {
  Lumora::DataSeq d;
  d.length(static_cast<CORBA::ULong>(texts.size()));
  CORBA::ULong i = 0;
  for (const char* t : texts) d[i++] <<= t;
  return d;
}

TEST(ReadEndMessage, OnlyTheExactWordFinishIsAnEndMessage) {
  auto end = farm::DecodeEndMessage(Seq({"Finish", "Render3.zip"}));
  ASSERT_TRUE(end.has_value());
  EXPECT_EQ(end->band, 3);
  end = farm::DecodeEndMessage(Seq({"Finish"}));
  ASSERT_TRUE(end.has_value());
  EXPECT_FALSE(end->band.has_value());
  end = farm::DecodeEndMessage(Seq({"Finish", "Render3.zip", "more"}));
  ASSERT_TRUE(end.has_value());
  EXPECT_EQ(end->band, 3);

  for (const char* word : {"finish", "Finish ", " Finish", "FINISH", "OneFrame", ""}) {
    EXPECT_FALSE(farm::DecodeEndMessage(Seq({word, "Render1.zip"})).has_value()) << '"' << word << '"';
  }
  EXPECT_FALSE(farm::DecodeEndMessage(Lumora::DataSeq()).has_value());
  Lumora::DataSeq number;
  number.length(2);
  number[0] <<= static_cast<CORBA::Long>(7);
  number[1] <<= "Render1.zip";
  EXPECT_FALSE(farm::DecodeEndMessage(number).has_value());

  Lumora::DataSeq badLabel;  // a label that is not a string names no band
  badLabel.length(2);
  badLabel[0] <<= "Finish";
  badLabel[1] <<= static_cast<CORBA::Long>(1);
  end = farm::DecodeEndMessage(badLabel);
  ASSERT_TRUE(end.has_value());
  EXPECT_FALSE(end->band.has_value());
}

struct Row {
  int32_t line;
  std::vector<int32_t> colors;
};

class RenderBossTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tally_ = std::make_shared<BandTally>();
    tally_->SetBandCount(2);
    auto* boss = new RenderBoss_i(orb_.poa(), dir_.path(), tally_,
                                  [this](int32_t line, const int32_t* colors, std::size_t count) {
                                    std::lock_guard<std::mutex> lock(mutex_);
                                    rows_.push_back(Row{line, std::vector<int32_t>(colors, colors + count)});
                                  });
    CORBA::Object_var obj = orb_.Activate(boss);
    boss->_remove_ref();
    // Through a stringified reference, as a node reaches it.
    CORBA::Object_var remote = orb_.FromString(orb_.ToString(obj.in()));
    boss_ = Lumora::RenderBoss::_narrow(remote.in());
    ASSERT_FALSE(CORBA::is_nil(boss_.in()));
  }

  // One ORB for the whole program, created on first use.
  static farmtest::TestOrb& Orb() {
    static farmtest::TestOrb orb;  // shut down at exit
    return orb;
  }

  farmtest::TestOrb& orb_ = Orb();
  farmtest::TempDir dir_;
  std::shared_ptr<BandTally> tally_;
  Lumora::RenderBoss_var boss_;
  std::mutex mutex_;
  std::vector<Row> rows_;
};

TEST_F(RenderBossTest, AnswersItsIdentityAndLiveness) {
  CORBA::String_var id = boss_->ID();
  EXPECT_STREQ(id.in(), "Lumora_RenderBoss_i");
  EXPECT_TRUE(boss_->IsLive());
  EXPECT_TRUE(boss_->_is_a("IDL:Kintra/Boss:1.0"));
}

TEST_F(RenderBossTest, EndMessagesCompleteTheJobOnlyOncePerBand) {
  boss_->SetData(Seq({"Finish", "Render1.zip"}));
  boss_->SetData(Seq({"Finish", "Render1.zip"}));  // band 1 rendered twice
  boss_->SetData(Seq({"finish", "Render2.zip"}));
  boss_->SetData(Seq({"Finish"}));
  boss_->SetData(Seq({"OneFrame"}));
  EXPECT_FALSE(tally_->Complete());
  EXPECT_EQ(tally_->messages(), 3);
  boss_->SetData(Seq({"Finish", "Render2.zip"}));
  EXPECT_TRUE(tally_->Complete());
}

TEST_F(RenderBossTest, PushHandsEachRowToTheSinkWithItsOwnLength) {
  Lumora::ColorLine line;
  line.length(3);
  line[0] = 0x0000FF;
  line[1] = 0x00FF00;
  line[2] = 0x7FFF0000;
  boss_->Push(5, line);
  boss_->Push(-1, Lumora::ColorLine());
  std::lock_guard<std::mutex> lock(mutex_);
  ASSERT_EQ(rows_.size(), 2u);
  EXPECT_EQ(rows_[0].line, 5);
  EXPECT_EQ(rows_[0].colors, (std::vector<int32_t>{0x0000FF, 0x00FF00, 0x7FFF0000}));
  EXPECT_EQ(rows_[1].line, -1);
  EXPECT_TRUE(rows_[1].colors.empty());
}

TEST_F(RenderBossTest, OversizeRowsAndListsAreRefused) {
  Lumora::ColorLine wide;
  wide.length(65536);  // one colour more than the widest picture
  EXPECT_THROW(boss_->Push(1, wide), CORBA::BAD_PARAM);
  wide.length(65535);
  boss_->Push(2, wide);
  Lumora::DataSeq longList = Seq({"Finish", "Render1.zip"});
  longList.length(65);
  EXPECT_THROW(boss_->SetData(longList), CORBA::BAD_PARAM);
  EXPECT_EQ(tally_->messages(), 0);
  std::lock_guard<std::mutex> lock(mutex_);
  ASSERT_EQ(rows_.size(), 1u);
  EXPECT_EQ(rows_[0].line, 2);
}

TEST_F(RenderBossTest, CreateFileAndPassReceivesAFileIntoTheBossFolderOnly) {
  Lumora::FileTransform_var file = boss_->CreateFileAndPass();
  ASSERT_FALSE(CORBA::is_nil(file.in()));
  EXPECT_TRUE(file->CreateFile("Render.zip", 1));
  Lumora::BinaryFile data;
  data.length(4);
  for (CORBA::ULong i = 0; i < 4; ++i) data[i] = static_cast<CORBA::Octet>('a' + i);
  EXPECT_TRUE(file->WriteBuffer(4, data));
  EXPECT_TRUE(file->CloseFile());
  EXPECT_EQ(farmtest::ReadFile(dir_.path() / "Render.zip"), "abcd");

  Lumora::FileTransform_var escape = boss_->CreateFileAndPass();
  EXPECT_FALSE(escape->CreateFile("../escape.zip", 1));
  EXPECT_FALSE(fs::exists(dir_.path().parent_path() / "escape.zip"));
}

// A render farmer served by the test: it writes down every call it gets, in
// order, file receiver calls included.
class RecordingFarmer : public POA_Lumora::RenderFarmer {
 public:
  class File : public POA_Lumora::FileTransform {
   public:
    explicit File(RecordingFarmer& farmer) : farmer_(farmer) {}
    CORBA::Boolean CreateFile(const char* name, CORBA::Long overwrite) override {
      farmer_.Log(std::string("CreateFile ") + name + " " + std::to_string(overwrite));
      return true;
    }
    CORBA::Boolean WriteBuffer(CORBA::Long length, const Lumora::BinaryFile& data) override {
      farmer_.Log("WriteBuffer " + std::to_string(length) + " " + std::to_string(data.length()));
      std::lock_guard<std::mutex> lock(farmer_.mutex_);
      farmer_.received.assign(data.get_buffer(), data.get_buffer() + data.length());
      return true;
    }
    CORBA::Boolean CloseFile() override {
      farmer_.Log("CloseFile");
      return true;
    }

   private:
    RecordingFarmer& farmer_;
  };

  explicit RecordingFarmer(farmtest::TestOrb& orb) : orb_(orb) {}

  char* ID() override {
    Log("ID");
    return CORBA::string_dup("RecordingFarmer");
  }
  CORBA::Boolean IsLive() override {
    Log("IsLive");
    return true;
  }
  CORBA::Boolean CouldEngage(CORBA::Object_ptr& boss) override {
    Log("CouldEngage");
    std::lock_guard<std::mutex> lock(mutex_);
    engagedBy = CORBA::Object::_duplicate(boss);
    return !busy;
  }
  CORBA::Boolean IsIdle() override {
    Log("IsIdle");
    return true;
  }
  void Zarvo() override { Log("Zarvo"); }
  CORBA::Boolean Stop() override {
    Log("Stop");
    return true;
  }
  void SetData(const Lumora::DataSeq& data) override {
    Log("SetData");
    std::lock_guard<std::mutex> lock(mutex_);
    job = data;
  }
  Lumora::FileTransform_ptr CreateFileAndPass() override {
    Log("CreateFileAndPass");
    auto* file = new File(*this);
    CORBA::Object_var obj = orb_.Activate(file);
    file->_remove_ref();
    return Lumora::FileTransform::_narrow(obj.in());
  }

  void Log(const std::string& call) {
    std::lock_guard<std::mutex> lock(mutex_);
    calls.push_back(call);
  }

  std::mutex mutex_;
  bool busy = false;  // CouldEngage refuses
  std::vector<std::string> calls;
  Lumora::DataSeq job;
  CORBA::Object_var engagedBy;
  std::vector<unsigned char> received;

 private:
  farmtest::TestOrb& orb_;
};

TEST_F(RenderBossTest, AHandOutEngagesTheFarmerThenSendsItsRowsThePackageAndTheStart) {
  auto* servant = new RecordingFarmer(orb_);
  CORBA::Object_var obj = orb_.Activate(servant);
  CORBA::Object_var remote = orb_.FromString(orb_.ToString(obj.in()));
  Lumora::RenderFarmer_var farmer = Lumora::RenderFarmer::_narrow(remote.in());
  ASSERT_FALSE(CORBA::is_nil(farmer.in()));

  auto package = std::make_shared<std::vector<unsigned char>>();
  for (int i = 0; i < 5000; ++i) package->push_back(static_cast<unsigned char>(i * 7));
  CorbaFarmer link(farmer.in(), boss_.in(), PackageOffer{package}, kDefaultFarmerTimeoutMs);
  link.HandOut(JobParameters{2, 3, 640, 480, {151, 329}});

  std::lock_guard<std::mutex> lock(servant->mutex_);
  EXPECT_EQ(servant->calls,
            (std::vector<std::string>{"ID", "CouldEngage", "SetData", "CreateFileAndPass", "CreateFile Render.zip 1",
                                      "WriteBuffer 5000 5000", "CloseFile", "Zarvo"}));
  ASSERT_FALSE(CORBA::is_nil(servant->engagedBy.in()));
  EXPECT_TRUE(servant->engagedBy->_is_equivalent(boss_.in())) << "CouldEngage must pass the job's boss";
  EXPECT_EQ(servant->received, *package);

  // Seven elements: the job kind as a string, then six longs.
  const Lumora::DataSeq& job = servant->job;
  ASSERT_EQ(job.length(), 7u);
  const char* kind = nullptr;
  ASSERT_TRUE(job[0] >>= kind);
  EXPECT_STREQ(kind, "OneFrame");
  const CORBA::Long expected[] = {2, 3, 640, 480, 151, 329};
  for (CORBA::ULong i = 1; i < 7; ++i) {
    CORBA::Long value = -99;
    EXPECT_TRUE(job[i] >>= value) << "element " << i << " is not a long";
    EXPECT_EQ(value, expected[i - 1]) << "element " << i;
  }
  servant->_remove_ref();
}

TEST_F(RenderBossTest, ABusyFarmerGetsNeitherTheJobNorThePackage) {
  auto* servant = new RecordingFarmer(orb_);
  CORBA::Object_var obj = orb_.Activate(servant);
  CORBA::Object_var remote = orb_.FromString(orb_.ToString(obj.in()));
  Lumora::RenderFarmer_var farmer = Lumora::RenderFarmer::_narrow(remote.in());
  auto package = std::make_shared<std::vector<unsigned char>>(10, 1);
  CorbaFarmer link(farmer.in(), boss_.in(), PackageOffer{package}, 300);
  EXPECT_NE(link.Name().find(':'), std::string::npos) << link.Name();

  servant->busy = true;
  EXPECT_THROW(link.HandOut(JobParameters{1, 1, 64, 48, {1, 48}}), EngagementRefused);
  {
    std::lock_guard<std::mutex> lock(servant->mutex_);
    EXPECT_EQ(servant->calls, (std::vector<std::string>{"ID", "CouldEngage"}));
  }

  servant->_remove_ref();
}

TEST_F(RenderBossTest, WithRowsOwedAnEndCompletesABandOnlyWithItsRowsAndAFailureNever) {
  tally_->SetRows(4, {{1, 2}, {3, 4}});
  const Lumora::ColorLine row;
  boss_->Push(1, row);
  boss_->SetData(Seq({"Finish", "Render1.zip"}));  // the end message of today's nodes
  EXPECT_FALSE(tally_->Done(1)) << "row 2 is missing";
  boss_->Push(2, row);
  EXPECT_TRUE(tally_->Done(1));
  boss_->Push(3, row);
  boss_->Push(4, row);
  boss_->SetData(Seq({"Finish", "Render2.zip", "Failed", "the engine ended with status 1"}));
  EXPECT_FALSE(tally_->Complete()) << "a failure report is no end";
  EXPECT_EQ(tally_->Failures(2), 1);
  EXPECT_EQ(tally_->LastFailure(2), "the engine ended with status 1");
  boss_->SetData(Seq({"Finish", "Render2.zip"}));
  EXPECT_TRUE(tally_->Complete());
}

}  // namespace
}  // namespace jobs
