#include "jobs/RenderBoss.h"

#include <gtest/gtest.h>

#include <fstream>
#include <mutex>
#include <vector>

#include "tests/support/TestEnv.h"
#include "tests/support/TestOrb.h"

namespace lumora {
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
  auto end = ReadEndMessage(Seq({"Finish", "Render3.zip"}));
  ASSERT_TRUE(end.has_value());
  EXPECT_EQ(end->band, 3);
  end = ReadEndMessage(Seq({"Finish"}));
  ASSERT_TRUE(end.has_value());
  EXPECT_FALSE(end->band.has_value());
  end = ReadEndMessage(Seq({"Finish", "Render3.zip", "more"}));
  ASSERT_TRUE(end.has_value());
  EXPECT_EQ(end->band, 3);

  for (const char* word : {"finish", "Finish ", " Finish", "FINISH", "OneFrame", ""}) {
    EXPECT_FALSE(ReadEndMessage(Seq({word, "Render1.zip"})).has_value()) << '"' << word << '"';
  }
  EXPECT_FALSE(ReadEndMessage(Lumora::DataSeq()).has_value());
  Lumora::DataSeq number;
  number.length(2);
  number[0] <<= static_cast<CORBA::Long>(7);
  number[1] <<= "Render1.zip";
  EXPECT_FALSE(ReadEndMessage(number).has_value());

  Lumora::DataSeq bad_label;  // a label that is not a string names no band
  bad_label.length(2);
  bad_label[0] <<= "Finish";
  bad_label[1] <<= static_cast<CORBA::Long>(1);
  end = ReadEndMessage(bad_label);
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

}  // namespace
}  // namespace lumora
