#include "platform/ClassRegistry.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <thread>
#include <vector>

#include "platform/Com.h"
#include "platform/RegistrationScript.h"

namespace {

TEST(ClassRegistry, TextRoundTripsWithEscapesAndIgnoresCase) {
  platform::com::ClassRegistry r;
  r.SetValue("CLSID\\{A}\\InprocServer32", "", "/a \"quoted\" \\ path");
  r.SetValue("CLSID\\{A}\\InprocServer32", "ThreadingModel", "Both");
  r.CreateKey("CLSID\\{A}\\Programmable");
  platform::com::ClassRegistry back;
  std::string error;
  ASSERT_TRUE(back.Parse(r.Serialize(), "x", &error)) << error;
  EXPECT_EQ(back.Serialize(), r.Serialize());
  EXPECT_EQ(back.Value("clsid\\{a}\\inprocserver32"), "/a \"quoted\" \\ path");
  EXPECT_EQ(back.Value("CLSID\\{A}\\InprocServer32", "threadingmodel"), "Both");
  EXPECT_TRUE(back.HasKey("CLSID\\{A}\\Programmable"));
  EXPECT_TRUE(back.HasSubkeys("CLSID"));

  for (const char* bad : {"@=\"x\"\n", "[K]\n\"v\"=unquoted\n", "[K]\n@=\"x\" tail\n", "[K\n", "[a\\\\b]\n"}) {
    EXPECT_FALSE(back.Parse(std::string("; c\n\n") + bad, "f.reg", &error)) << bad;
    EXPECT_EQ(error.rfind("f.reg:", 0), 0u) << error;
  }
}

TEST(ClassRegistry, UnregisterRemovesWhatRegistrationWroteAndKeepsSharedKeys) {
  platform::com::ClassRegistry r;
  r.SetValue("CLSID\\{OTHER}", "", "someone else's class");
  const platform::com::ClassInfo info = {"D", "P.C.1", "P.C", "{G}", "Free"};
  platform::com::RegisterScript(platform::com::ClassScript(info, "/old/lib.so", "{APP}", "{LIB}"), r);
  r.SetValue("CLSID\\{G}\\Stale", "", "left by an older version");
  platform::com::RegisterScript(platform::com::ClassScript(info, "/new/lib.so", "{APP}", "{LIB}"), r);
  EXPECT_FALSE(r.HasKey("CLSID\\{G}\\Stale"));  // the class key is written afresh
  EXPECT_EQ(r.Value("CLSID\\{G}\\InprocServer32"), "/new/lib.so");
  EXPECT_EQ(r.Value("CLSID\\{G}", "AppID"), "{APP}");
  EXPECT_EQ(r.Value("P.C\\CurVer"), "P.C.1");

  platform::com::UnregisterScript(platform::com::ClassScript(info, "/new/lib.so", "{APP}", "{LIB}"), r);
  platform::com::ClassRegistry expected;
  expected.SetValue("CLSID\\{OTHER}", "", "someone else's class");
  EXPECT_EQ(r.Serialize(), expected.Serialize());
}

TEST(ClassRegistry, ConcurrentEditsLoseNothing) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("classreg" + std::to_string(getpid()));
  const std::filesystem::path file = dir / "sub" / "classes.reg";
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 25; ++i) {
        std::string error;
        EXPECT_EQ(platform::com::ClassRegistry::Edit(
                      file,
                      [&](platform::com::ClassRegistry& r) {
                        r.SetValue("K" + std::to_string(t) + "_" + std::to_string(i), "", "v");
                        return S_OK;
                      },
                      &error),
                  S_OK)
            << error;
      }
    });
  }
  for (auto& th : threads) th.join();
  platform::com::ClassRegistry r;
  std::string error;
  ASSERT_EQ(platform::com::ClassRegistry::Load(file, &r, &error), S_OK) << error;
  for (int t = 0; t < 4; ++t) {
    for (int i = 0; i < 25; ++i) EXPECT_TRUE(r.HasKey("K" + std::to_string(t) + "_" + std::to_string(i)));
  }
  std::filesystem::remove_all(dir);
}

TEST(Guid, ParsesAndPrintsTheBracedForm) {
  platform::com::GUID g;
  ASSERT_TRUE(platform::com::ParseGuid("{c3b34545-7ba0-4cf9-88f1-31b694229f9e}", &g));
  EXPECT_EQ(platform::com::ToString(g), "{C3B34545-7BA0-4CF9-88F1-31B694229F9E}");
  for (const char* bad : {"C3B34545-7BA0-4CF9-88F1-31B694229F9E", "{C3B34545-7BA0-4CF9-88F1-31B694229F9}",
                          "{C3B34545+7BA0-4CF9-88F1-31B694229F9E}", "{G3B34545-7BA0-4CF9-88F1-31B694229F9E}"}) {
    EXPECT_FALSE(platform::com::ParseGuid(bad, &g)) << bad;
  }
}

}  // namespace
