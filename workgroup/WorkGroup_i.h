#pragma once
#include <atomic>
#include <string>

#include "Kintra.hh"
#include "Lumora.hh"
#include "workgroup/FarmerRoster.h"
#include "workgroup/JobLine.h"
#include "workgroup/StatusBoard.h"
#include "workgroup/StatusGatherer.h"

namespace workgroup {

// The servant of one work group: its name, its farmers, its line of jobs
// waiting for farmers and its policy; as a FarmBoard it takes its jobs'
// reports and answers the farm's status (the board and the gatherer are
// the server's, shared by all its work groups).
//
// Called on any ORB thread, several at once: the roster's and the line's
// locks guard the farmers and the line,
// the policy is atomic and the name never changes.
class WorkGroup_i : public POA_Lumora::FarmBoard {
 public:
  // Time limit of every call the work group makes on a farmer (the ID call
  // back of Add_Farmer and the probes of GetValidFarmer), and the deadline
  // of a whole pass of probes, which run all at once: however many nodes
  // are stopped, a pass takes this long at most instead of hanging every
  // render job controller that asks.
  static constexpr CORBA::ULong kFarmerCallTimeoutMs = 2000;

  // Without a board and gatherer the group shows nothing ("{}") and drops
  // reports.
  explicit WorkGroup_i(std::string name, std::shared_ptr<StatusBoard> board = nullptr,
                       std::shared_ptr<StatusGatherer> gatherer = nullptr);

  // Stores the farmer, then reads its ID as a sign of life; a failure of
  // that call reaches the caller, but the farmer stays until a pass finds
  // it unreachable. A nil reference, or one that is not a Farmer, is
  // refused: nothing is stored and the answer is FALSE.
  CORBA::Boolean Add_Farmer(CORBA::Object_ptr& farmer) override;

  // Probes every farmer with IsLive, all at once, drops those that fail to
  // answer within kFarmerCallTimeoutMs (any answer, TRUE or FALSE, keeps a
  // farmer); other callers are served meanwhile; and answers the rest in order
  // of addition in `farmers`, whatever the caller sent. Always TRUE.
  CORBA::Boolean GetValidFarmer(Kintra::farmerlist& farmers) override;

  // The line of jobs, each known by the text of its boss's reference; a
  // nil boss is refused with BAD_PARAM.
  CORBA::Long WaitInLine(CORBA::Object_ptr boss) override;
  void LeaveLine(CORBA::Object_ptr boss) override;

  // A report on the job of `boss` (nil: ignored).
  void JobReport(CORBA::Object_ptr boss, const Lumora::JobNews& news) override;
  // The board's last snapshot.
  char* FarmStatus() override;

  // Kept for whoever writes it; starts at 0 and nothing here reads it.
  CORBA::Long policy() override { return policy_; }
  void policy(CORBA::Long value) override { policy_ = value; }

  const std::string& name() const { return name_; }

 private:
  struct Entry {
    Kintra::Farmer_var farmer;
  };

  const std::string name_;
  FarmerRoster<Entry> farmers_;
  JobLine line_;
  const std::shared_ptr<StatusBoard> board_;
  const std::shared_ptr<StatusGatherer> gatherer_;
  std::atomic<CORBA::Long> policy_{0};
};

}  // namespace workgroup
