#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "Lumora.hh"
#include "node/NodeStatus.h"
#include "node/RenderNode.h"

namespace node {

// The boss that engaged the node last, shared between the wire side (which
// replaces it) and the worker (which reports the end of a band to it).
//
// Any thread (ORB threads set it, the worker reports): a mutex guards the reference.
class BossLink {
 public:
  void Set(Lumora::RenderBoss_ptr boss);
  // Sends the end report of band `part`, trying again over a broken
  // connection; raises what the last attempt raises, and
  // CORBA::OBJECT_NOT_EXIST when no boss has engaged the node yet.
  void ReportFinish(std::int32_t part);
  // Sends the failure report of band `part`, marked when the scene is
  // wrong; raises like ReportFinish.
  void ReportFailure(std::int32_t part, const std::string& reason, bool sceneWrong = false);
  // Asks the boss IsLive, waiting at most `timeoutMs`: true when it answered
  // that it is, and when no boss has engaged the node. Call it from a
  // thread that makes no other ORB calls (it sets the thread's call time
  // limit).
  bool Answers(unsigned timeoutMs);

 private:
  static constexpr int kSendAttempts = 3;
  void Send(const Lumora::DataSeq& message);

  std::mutex mutex_;
  Lumora::RenderBoss_var boss_;
};

// The node's render farmer on the wire: a thin layer over RenderNode. It
// serves Lumora::StatusFarmer: a RenderFarmer that also lists what it can do
// beyond the base protocol (farm::Abilities::OfThisNode()) and answers its
// state (NodeStatus).
//
// Called on any ORB thread, several at once: it holds no state of its own beyond
// what it is built with; RenderNode and BossLink guard theirs.
class FarmerServant : public POA_Lumora::StatusFarmer {
 public:
  // `poa` receives the file receivers; usually the root adapter.
  FarmerServant(CORBA::ORB_ptr orb, PortableServer::POA_ptr poa, std::shared_ptr<RenderNode> node,
                std::shared_ptr<BossLink> boss);

  char* ID() override;
  CORBA::Boolean IsLive() override;
  CORBA::Boolean CouldEngage(CORBA::Object_ptr& boss) override;
  CORBA::Boolean IsIdle() override;
  void Zarvo() override;
  CORBA::Boolean Stop() override;
  // Stops only the band (or engagement) of `boss`: see RenderNode::StopFor.
  CORBA::Boolean StopJob(Lumora::RenderBoss_ptr boss) override;
  Lumora::FileTransform_ptr CreateFileAndPass() override;
  // Job parameters are stored (other lists are ignored); a list that is
  // short or holds a non-long raises BAD_PARAM and changes nothing; a
  // Farmer.ini that cannot be written raises NO_RESOURCES; a list over
  // farm::kMaxDataSeqLength raises BAD_PARAM.
  void SetData(const Lumora::DataSeq& data) override;
  Lumora::AbilityList* Abilities() override;
  Lumora::NodeStatus* Status() override;

 private:
  CORBA::ORB_var orb_;
  PortableServer::POA_var poa_;
  std::shared_ptr<RenderNode> node_;
  std::shared_ptr<BossLink> boss_;
  NodeStatus status_;
};

}  // namespace node
