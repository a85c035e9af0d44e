#include "workgroup/StatusBoard.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "workgroup/StatusHttp.h"
#include "workgroup/StatusPage.h"

namespace {

using namespace std::chrono_literals;
using nlohmann::json;
using workgroup::StatusBoard;

farm::NodeState Busy(const std::string& folder) {
  farm::NodeState s;
  s.busy = true;
  s.controller = "10.0.0.9";
  s.width = 2048;
  s.height = 1536;
  s.band = 2;
  s.bandCount = 2;
  s.firstRow = 768;
  s.lastRow = 1536;
  s.rowsDone = 100;
  s.rowsAsked = 769;
  s.folder = folder;
  s.host = "n1";
  return s;
}

json Published(StatusBoard& board, const std::vector<std::string>& line, StatusBoard::Clock::time_point now) {
  board.Publish(line, now);
  return json::parse(*board.Latest());
}

TEST(StatusBoardTest, NodesJobsLineAndHistoryAsJson) {
  StatusBoard board;
  StatusBoard::Clock::time_point now{1000s};
  board.NodeAnswered("a", "10.0.0.1", Busy("/srv/a"), false, now);
  board.NodeAnswered("b", "10.0.0.2", std::nullopt, true, now);  // a node without the status ability
  board.NodeAnswered("c", "10.0.0.3", std::nullopt, false, now);
  workgroup::JobReport report;
  report.controller = "10.0.0.9";
  report.state = "running";
  report.rowsDone = 384;
  report.rowsTotal = 1536;
  report.elapsedSeconds = 10;
  report.bandsTotal = 2;
  board.JobReported("boss1", report, now);
  board.JobReported("boss2", {.controller = "10.0.0.8", .state = "waiting"}, now);

  // c stops answering: shown as unreachable with its address, not dropped.
  now += 1s;
  board.NodeSilent("c", "10.0.0.3", now);
  json s = Published(board, {"boss2", "IOR:nonsense"}, now);
  ASSERT_EQ(s["nodes"].size(), 3u);
  EXPECT_EQ(s["nodes"][0]["state"], "busy");
  EXPECT_EQ(s["nodes"][0]["status"]["rowsDone"], 100);
  EXPECT_EQ(s["nodes"][0]["status"]["folder"], "/srv/a");
  EXPECT_EQ(s["nodes"][1]["state"], "idle");
  EXPECT_TRUE(s["nodes"][1]["status"].is_null());
  EXPECT_EQ(s["nodes"][2]["state"], "unreachable");
  EXPECT_EQ(s["nodes"][2]["address"], "10.0.0.3");
  ASSERT_EQ(s["jobs"].size(), 2u);
  EXPECT_DOUBLE_EQ(s["jobs"][0]["secondsLeft"].get<double>(), 30.0);  // a quarter in 10 s
  EXPECT_TRUE(s["jobs"][1]["secondsLeft"].is_null());                 // no row yet: unknown
  ASSERT_EQ(s["waiting"].size(), 2u);
  EXPECT_EQ(s["waiting"][0]["job"], s["jobs"][1]["id"]);
  EXPECT_TRUE(s["waiting"][1]["job"].is_null());

  // The job ends: it leaves for the history; the silent job is lost after
  // kJobSilence; c is dropped after kUnreachableKept, and said so.
  report.state = "incomplete";
  report.failures = {"band 2: engine failed"};
  board.JobReported("boss1", report, now);
  now += StatusBoard::kJobSilence + 1s;
  EXPECT_TRUE(board.Prune(now).empty());
  now += StatusBoard::kUnreachableKept;
  EXPECT_EQ(board.Prune(now), std::vector<std::string>{"c"});
  s = Published(board, {}, now);
  EXPECT_EQ(s["nodes"].size(), 2u);
  EXPECT_TRUE(s["jobs"].empty());
  ASSERT_EQ(s["history"].size(), 2u);
  EXPECT_EQ(s["history"][0]["state"], "lost");
  EXPECT_EQ(s["history"][1]["state"], "incomplete");
  EXPECT_EQ(s["history"][1]["failures"][0], "band 2: engine failed");
}

TEST(StatusBoardTest, MarkupFromANodeStaysText) {
  StatusBoard board;
  const std::string folder = "/srv/<script>alert(\"x\")</script>&";
  board.NodeAnswered("a", "10.0.0.1", Busy(folder), false, StatusBoard::Clock::now());
  board.Publish({}, StatusBoard::Clock::now());
  const std::string text = *board.Latest();
  // No markup in the JSON as sent, and the same text once read.
  EXPECT_EQ(text.find('<'), std::string::npos);
  EXPECT_EQ(text.find('&'), std::string::npos);
  EXPECT_EQ(json::parse(text)["nodes"][0]["status"]["folder"], folder);

  const std::string page = workgroup::StatusPage(text);
  EXPECT_NE(page.find("/srv/&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt;&amp;"), std::string::npos);
  EXPECT_EQ(page.find("<script>alert"), std::string::npos);
  EXPECT_EQ(page.find("innerHTML"), std::string::npos);  // the script sets text only
  EXPECT_NE(workgroup::StatusPage("not json").find("</html>"), std::string::npos);
}

TEST(StatusBoardTest, HttpAddresses) {
  auto a = workgroup::ParseHttpAddress("8080");
  ASSERT_TRUE(a.ok());
  EXPECT_EQ(a->host, "127.0.0.1");
  EXPECT_EQ(a->port, 8080);
  a = workgroup::ParseHttpAddress("0.0.0.0:80");
  ASSERT_TRUE(a.ok());
  EXPECT_EQ(a->host, "0.0.0.0");
  a = workgroup::ParseHttpAddress("[::1]:9000");
  ASSERT_TRUE(a.ok());
  EXPECT_EQ(a->host, "::1");
  EXPECT_FALSE(workgroup::ParseHttpAddress("host:0").ok());
  EXPECT_FALSE(workgroup::ParseHttpAddress(":80").ok());
  EXPECT_FALSE(workgroup::ParseHttpAddress("x:80x").ok());
}

}  // namespace
