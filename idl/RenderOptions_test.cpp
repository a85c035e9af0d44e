#include "idl/RenderOptions.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "tests/support/TestEnv.h"

namespace farm {
namespace {

// Applies each argument; the first refusal's reason, or "" when all pass.
std::string Apply(RenderOptions* options, std::initializer_list<const char*> args) {
  for (const char* arg : args) {
    if (platform::Status s = ApplyArgument(arg, options); !s) return s.reason();
  }
  return "";
}

TEST(RenderOptionsTest, SwitchesAndIniOptionsMeanTheSame) {
  RenderOptions bySwitch;
  ASSERT_EQ(Apply(&bySwitch, {"+W320", "+H240", "+A0.3", "+AM2", "+R4", "-J", "+Q9", "+K0.5", "Declare=Foo=1",
                              "Declare=Bar=2", "+MB5", "-UA", "+SR0.0", "+EC1.0", "+Linc", "scene.pov"}),
            "");
  RenderOptions byIni;
  ASSERT_TRUE(
      ApplyIniText("; a comment\nWidth=320\nheight = 240 ; trailing\nAntialias=on\nAntialias_Threshold=0.3\n"
                   "Sampling_Method=2\nAntialias_Depth=4\nJitter=off\nQuality=9\nClock=0.5\n"
                   "Declare=Foo=1\nDeclare=Bar=2\nBounding=on\nBounding_Threshold=5\nOutput_Alpha=off\n"
                   "Library_Path=\"inc\"\nInput_File_Name=scene.pov\n[Other]\nWidth=1\n",
                   "", &byIni));
  EXPECT_EQ(bySwitch.width, 320);
  EXPECT_EQ(bySwitch.height, 240);
  EXPECT_EQ(bySwitch.settings, byIni.settings);
  EXPECT_EQ(bySwitch.libraryPaths, byIni.libraryPaths);
  EXPECT_EQ(byIni.width, 320);  // the [Other] section is not read
  EXPECT_EQ(bySwitch.inputFile, "scene.pov");
  EXPECT_EQ(bySwitch.Setting("Declare"), "Foo=1");  // both declarations kept
  EXPECT_EQ(RendererArguments(bySwitch).size(), bySwitch.settings.size());

  RenderOptions section;
  ASSERT_TRUE(ApplyIniText("Width=10\n[Small]\nWidth=64\n+H48\n[Big]\nWidth=2000\n", "small", &section));
  EXPECT_EQ(section.width, 64);
  EXPECT_EQ(section.height, 48);
}

TEST(RenderOptionsTest, TheAllowListRefusesWhatTheFarmForbidsNamingTheOption) {
  const std::pair<const char*, const char*> refused[] = {
      {"Pre_Scene_Command=rm -rf x", "Pre_Scene_Command"},
      {"Post_Frame_Command=touch y", "Post_Frame_Command"},
      {"+UA", "Output_Alpha"},
      {"Output_Alpha=on", "Output_Alpha"},
      {"+SR10", "Start_Row"},
      {"+SC0.5", "Start_Column"},  // half the width, as a fraction
      {"End_Row=0.5", "End_Row"},
      {"+GAlog.txt", "All_File"},
      {"Debug_File=on", "Debug_File"},
      {"+FN16", "Output_File_Type"},
      {"Output_File_Type=E", "Output_File_Type"},
      {"Bits_Per_Color=16", "Bits_Per_Color"},
      {"+W0", "Width"},
      {"Height=2.7e19", "Height"},  // past int: refused, never converted
      {"Frobnicate=1", "Frobnicate"},
      {"+ZZ", "+ZZ"},
      {"Declare=A=1\nPre_Scene_Command=x", "Declare"},
  };
  for (const auto& [arg, name] : refused) {
    RenderOptions options;
    const std::string reason = Apply(&options, {arg});
    EXPECT_NE(reason.find(name), std::string::npos) << arg << " gave: " << reason;
  }
  // What POV-Ray's own benchmark.ini sets (empty commands among it) passes.
  RenderOptions bench;
  EXPECT_TRUE(
      ApplyIniText("Pre_Scene_Command=\nAll_File=\nOutput_File_Name=\nEnd_Row=1\nStart_Column=0\n"
                   "Output_File_Type=n\nBits_Per_Color=8\nFinal_Frame=1\nRadiosity_To_File=off\n",
                   "", &bench));
  // Final_Frame=1 is no animation, but goes to the nodes like any frame option.
  EXPECT_EQ(bench.settings, (decltype(bench.settings){{"Final_Frame", "1"}}));
  // An INI line refused names its line.
  RenderOptions ini;
  const platform::Status s = ApplyIniText("Width=4\n\nUser_Abort_Command=halt\n", "", &ini);
  EXPECT_NE(s.reason().find("line 3"), std::string::npos) << s.reason();
}

TEST(RenderOptionsTest, ANodeReadsTheOptionsFileBackAndTrustsNothingInIt) {
  RenderOptions options;
  ASSERT_EQ(Apply(&options, {"+W64", "+H48", "+A", "Declare=Foo=1", "+Q5"}), "");
  options.inputFile = "scene/main.pov";
  options.libraryPaths = {"scene/inc", "lib1"};
  platform::StatusOr<RenderOptions> back = ParseFarmOptions(FormatFarmOptions(options));
  ASSERT_TRUE(back) << back.status().reason();
  EXPECT_EQ(back->inputFile, options.inputFile);
  EXPECT_EQ(back->libraryPaths, options.libraryPaths);
  EXPECT_EQ(back->settings, options.settings);

  for (const char* bad :
       {"Input_File_Name=../x.pov\n", "Input_File_Name=/etc/x.pov\n", "Input_File_Name=a.pov\nLibrary_Path=/usr\n",
        "Input_File_Name=a.pov\n+ORender.png\n", "Input_File_Name=a.pov\nPost_Scene_Command=sh -c x\n", ""}) {
    EXPECT_FALSE(ParseFarmOptions(bad)) << bad;
  }
  EXPECT_NE(
      ParseFarmOptions("Input_File_Name=a.pov\nFatal_Error_Command=x\n").status().reason().find("Fatal_Error_Command"),
      std::string::npos);
}

TEST(RenderOptionsTest, IniFilesNameTheSceneBesideThemAndDefaultsComeFromPovrayIni) {
  farmtest::TempDir dir;
  std::ofstream(dir.path() / "scene.pov") << "sphere{0,1}";
  std::ofstream(dir.path() / "scene.ini") << "Input_File_Name=scene.pov\n+W100\n";
  RenderOptions options;
  ASSERT_EQ(Apply(&options, {(dir.path() / "scene.ini").c_str()}), "");
  EXPECT_EQ(options.inputFile, (dir.path() / "scene.pov").string());
  EXPECT_EQ(options.width, 100);

  std::ofstream(dir.path() / "povray.ini") << "Width=800\nHeight=600\nLibrary_Path=\"/usr/share/povray-3.7/include\"\n";
  setenv("POVINI", (dir.path() / "povray.ini").c_str(), 1);
  RenderOptions defaults;
  ASSERT_TRUE(LoadPovrayDefaults(&defaults));
  unsetenv("POVINI");
  EXPECT_EQ(defaults.width, 800);
  EXPECT_EQ(defaults.height, 600);
  ASSERT_EQ(defaults.libraryPaths.size(), 1u);
  EXPECT_TRUE(IsStandardFolder(defaults.libraryPaths[0]));
  EXPECT_FALSE(IsStandardFolder("/usr/share/povray-3.7/scenes/advanced"));
  EXPECT_FALSE(IsStandardFolder(dir.path()));
}

TEST(RenderOptionsTest, AnAnimationsFramesStayWithTheControllerAndItsClockGoesToTheNodes) {
  RenderOptions options;
  ASSERT_EQ(
      Apply(&options, {"+W64", "+H48", "Initial_Frame=2", "+KFF20", "+KI0", "+KF2", "+KC", "+SF5", "+EF30", "+C"}), "");
  platform::StatusOr<FrameRange> frames = AnimationFrames(options);
  ASSERT_TRUE(frames) << frames.status().reason();
  EXPECT_TRUE(frames->animation());
  EXPECT_EQ(frames->initial, 2);
  EXPECT_EQ(frames->final, 20);
  EXPECT_EQ(frames->first, 5);  // the subset's start
  EXPECT_EQ(frames->last, 20);  // the subset's end lies past the final frame
  EXPECT_TRUE(options.continueTrace);
  // A node gets its own frame with each band: the subset and +C never reach it.
  options.inputFile = "scene/main.pov";
  const std::string text = FormatFarmOptions(options);
  EXPECT_EQ(text.find("Subset"), std::string::npos) << text;
  EXPECT_EQ(text.find("Continue"), std::string::npos) << text;
  platform::StatusOr<RenderOptions> back = ParseFarmOptions(text);
  ASSERT_TRUE(back) << back.status().reason();
  EXPECT_EQ(back->Setting("Final_Frame"), "20");
  EXPECT_EQ(back->Setting("Cyclic_Animation"), "on");
  EXPECT_EQ(back->Setting("Final_Clock"), "2");

  RenderOptions still;
  ASSERT_EQ(Apply(&still, {"+W64", "+H48"}), "");
  EXPECT_FALSE(AnimationFrames(still)->animation());
  RenderOptions fraction, empty, word;
  ASSERT_EQ(Apply(&fraction, {"+KFF10", "+SF1.5"}), "");
  ASSERT_EQ(Apply(&empty, {"+KFF10", "+SF8", "+EF3"}), "");
  ASSERT_EQ(Apply(&word, {"Final_Frame=x"}), "");
  EXPECT_FALSE(AnimationFrames(fraction));
  EXPECT_FALSE(AnimationFrames(empty));
  EXPECT_FALSE(AnimationFrames(word));
}

}  // namespace
}  // namespace farm
