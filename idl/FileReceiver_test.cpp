#include "idl/FileReceiver.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/TestEnv.h"
#include "tests/support/TestOrb.h"

namespace {

namespace fs = std::filesystem;

Lumora::BinaryFile Octets(const std::string& text) {
  Lumora::BinaryFile data;
  data.length(static_cast<CORBA::ULong>(text.size()));
  for (size_t i = 0; i < text.size(); ++i) data[static_cast<CORBA::ULong>(i)] = static_cast<CORBA::Octet>(text[i]);
  return data;
}

class FileReceiverTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { orb_ = new farmtest::TestOrb(); }
  static void TearDownTestSuite() {
    delete orb_;
    orb_ = nullptr;
  }

  // A receiver owned by the POA, reached only through its reference, as a
  // boss reaches it.
  Lumora::FileTransform_ptr NewReceiver() { return FileReceiver::Activate(orb_->poa(), dir_.path()); }

  static farmtest::TestOrb* orb_;
  farmtest::TempDir dir_;
};

farmtest::TestOrb* FileReceiverTest::orb_ = nullptr;

TEST_F(FileReceiverTest, OverwriteZeroKeepsAnExistingFileAndOneReplacesIt) {
  const fs::path target = dir_.path() / "Render.zip";
  {
    Lumora::FileTransform_var r = NewReceiver();
    ASSERT_TRUE(r->CreateFile("Render.zip", 1));
    ASSERT_TRUE(r->WriteBuffer(12, Octets("old package.")));
    ASSERT_TRUE(r->CloseFile());
  }
  ASSERT_EQ(farmtest::ReadFile(target), "old package.");

  Lumora::FileTransform_var keep = NewReceiver();
  EXPECT_FALSE(keep->CreateFile("Render.zip", 0));
  EXPECT_EQ(farmtest::ReadFile(target), "old package.");
  // Nothing was opened, so there is nothing to write to.
  EXPECT_THROW(keep->WriteBuffer(3, Octets("new")), CORBA::SystemException);
  EXPECT_TRUE(keep->CloseFile());
  EXPECT_EQ(farmtest::ReadFile(target), "old package.");

  Lumora::FileTransform_var replace = NewReceiver();
  ASSERT_TRUE(replace->CreateFile("Render.zip", 1));
  EXPECT_EQ(fs::file_size(target), 0u);  // cut to length 0 at once
  ASSERT_TRUE(replace->WriteBuffer(3, Octets("new")));
  ASSERT_TRUE(replace->CloseFile());
  EXPECT_EQ(farmtest::ReadFile(target), "new");
}

TEST_F(FileReceiverTest, WritesAppendInCallOrderAndHonourTheLength) {
  Lumora::FileTransform_var r = NewReceiver();
  ASSERT_TRUE(r->CreateFile("data.bin", 0));
  EXPECT_TRUE(r->WriteBuffer(10, Octets("0123456789")));
  EXPECT_TRUE(r->WriteBuffer(20, Octets("abcdefghijklmnopqrst")));
  EXPECT_TRUE(r->WriteBuffer(0, Octets("ignored")));
  EXPECT_TRUE(r->WriteBuffer(0, Lumora::BinaryFile()));
  EXPECT_TRUE(r->WriteBuffer(2, Octets("XYZ")));  // only the first two octets
  // A length past the data, or a negative one, is refused and writes nothing.
  EXPECT_THROW(r->WriteBuffer(4, Octets("abc")), CORBA::BAD_PARAM);
  EXPECT_THROW(r->WriteBuffer(-1, Octets("abc")), CORBA::BAD_PARAM);
  ASSERT_TRUE(r->CloseFile());
  EXPECT_EQ(farmtest::ReadFile(dir_.path() / "data.bin"), "0123456789abcdefghijklmnopqrstXY");
}

TEST_F(FileReceiverTest, ClosingRetiresTheObject) {
  Lumora::FileTransform_var r = NewReceiver();
  ASSERT_TRUE(r->CreateFile("a.txt", 1));
  ASSERT_TRUE(r->WriteBuffer(1, Octets("a")));
  ASSERT_TRUE(r->CloseFile());
  EXPECT_THROW(r->WriteBuffer(1, Octets("b")), CORBA::OBJECT_NOT_EXIST);
  EXPECT_THROW(r->CreateFile("b.txt", 1), CORBA::OBJECT_NOT_EXIST);
  EXPECT_THROW(r->CloseFile(), CORBA::OBJECT_NOT_EXIST);
  EXPECT_EQ(farmtest::ReadFile(dir_.path() / "a.txt"), "a");
  EXPECT_FALSE(fs::exists(dir_.path() / "b.txt"));

  // Closing without a file still answers TRUE and ends the object.
  Lumora::FileTransform_var unused = NewReceiver();
  EXPECT_TRUE(unused->CloseFile());
  EXPECT_THROW(unused->CreateFile("c.txt", 1), CORBA::OBJECT_NOT_EXIST);
}

TEST_F(FileReceiverTest, NamesThatLeaveTheFolderAreRefused) {
  const fs::path inner = dir_.path() / "inner";
  fs::create_directories(inner / "sub");
  auto* servant = new FileReceiver(inner);
  CORBA::Object_var obj = orb_->Activate(servant);
  servant->_remove_ref();
  Lumora::FileTransform_var r = Lumora::FileTransform::_narrow(obj);

  for (const char* name :
       {"../escape.txt", "..", ".", "", "sub/x.txt", "sub\\x.txt", "/tmp/escape.txt", "..\\escape.txt"}) {
    EXPECT_FALSE(r->CreateFile(name, 1)) << name;
  }
  EXPECT_THROW(r->WriteBuffer(1, Octets("x")), CORBA::SystemException);
  EXPECT_FALSE(fs::exists(dir_.path() / "escape.txt"));
  EXPECT_FALSE(fs::exists(inner / "sub" / "x.txt"));
  EXPECT_FALSE(fs::exists(inner / "sub\\x.txt"));

  // A name that cannot be opened (here: a folder) is accepted, and the
  // following write fails at the caller.
  ASSERT_TRUE(r->CreateFile("sub", 1));
  EXPECT_THROW(r->WriteBuffer(1, Octets("x")), CORBA::SystemException);
  EXPECT_TRUE(r->CloseFile());
}

TEST_F(FileReceiverTest, AFullDiskFailsTheUploadAndLeavesNoPartialFile) {
  // The name stands for a file on a full disk: every write fails there.
  const fs::path target = dir_.path() / "Render.zip";
  fs::create_symlink("/dev/full", target);
  Lumora::FileTransform_var r = NewReceiver();
  ASSERT_TRUE(r->CreateFile("Render.zip", 1));
  EXPECT_THROW(r->WriteBuffer(12, Octets("package data")), CORBA::NO_RESOURCES);
  EXPECT_FALSE(fs::exists(fs::symlink_status(target)));
  EXPECT_THROW(r->WriteBuffer(1, Octets("x")), CORBA::BAD_INV_ORDER);
  EXPECT_TRUE(r->CloseFile());
  EXPECT_FALSE(fs::exists(fs::symlink_status(target)));
}

}  // namespace
