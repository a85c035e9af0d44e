#include "demo/ProgressReport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace demo {
namespace {

jobs::JobProgressSnapshot At(int rows, int total, double seconds, int nodes) {
  jobs::JobProgressSnapshot p;
  p.rowsPlaced = rows;
  p.rowsTotal = total;
  p.elapsedSeconds = seconds;
  p.nodesWorking = nodes;
  return p;
}

// Everything written to a memory stream.
struct Captured {
  char* text = nullptr;
  std::size_t size = 0;
  std::FILE* file = open_memstream(&text, &size);
  std::string Close() {
    std::fclose(file);
    std::string s(text, size);
    free(text);
    return s;
  }
};

TEST(ProgressReportTest, OffATerminalOneLinePerTenthThenTheNodes) {
  Captured out;
  ProgressReport report(out.file, false);
  for (int rows : {0, 3, 10, 11, 35, 35, 99, 100}) report.Update(At(rows, 100, rows / 10.0, 2));
  jobs::NodeWork w;
  w.node = "127.0.0.1:4242";
  w.band = 2;
  w.firstRow = 41;
  w.lastRow = 100;
  w.rows = 60;
  w.seconds = 4;
  w.rowsPerSecond = 15;
  w.handedOutAgain = true;
  w.lost = true;
  report.Finish(At(100, 100, 10, 0), {w});
  const std::string text = out.Close();
  // 10 %, 30 %, 90 % and 100 %: each tenth once, and only when reached.
  int lines = 0;
  for (char c : text) lines += c == '\n';
  EXPECT_EQ(lines, 4 + 2) << text;
  EXPECT_NE(text.find("[#---------]  10.0 %  10/100 rows  0:01 elapsed  0:09 left  2 nodes\n"), std::string::npos)
      << text;
  EXPECT_NE(text.find(" 100.0 %  100/100 rows"), std::string::npos) << text;
  EXPECT_EQ(text.find(" 35.0 %"), text.rfind(" 35.0 %")) << text;
  EXPECT_NE(text.find("127.0.0.1:4242              2      41-100     60      4.0     15.0  lost\n"), std::string::npos)
      << text;
}

TEST(ProgressReportTest, OnATerminalTheLineIsRewrittenInPlace) {
  Captured out;
  ProgressReport report(out.file, true);
  report.Update(At(0, 0, 0, 0));
  report.Update(At(240, 480, 12, 1));
  report.Finish(At(480, 480, 24, 0), {});
  const std::string text = out.Close();
  EXPECT_EQ(text.find('\n'), text.size() - 1) << text;
  EXPECT_NE(
      text.find("\r[###############---------------]  50.0 %  240/480 rows  0:12 elapsed  0:12 left  1 node\033[K"),
      std::string::npos)
      << text;
  EXPECT_NE(text.find("--:-- left"), std::string::npos) << text;  // nothing to go by at the start
}

}  // namespace
}  // namespace demo
