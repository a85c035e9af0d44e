#pragma once

namespace launcher {

// Life of one launcher object's render, apart from any process or thread:
//
//   Idle --Go--> Starting --ProcessStarted--> Rendering --ProcessEnded--> Idle
//                   |                              |
//                   +--StartFailed--> Failed       +--Stop--> Idle
//
// Stop leads to Idle from every phase. A Go outside Idle is refused, so a
// failed start blocks further renders until Stop.
//
// Plain data: Render calls it under its own lock.
class RenderState {
 public:
  enum class Phase { Idle, Starting, Rendering, Failed };

  Phase phase() const { return phase_; }

  // The host-visible running flag: set from an accepted Go until the process
  // has ended or Stop was called.
  bool running() const { return phase_ != Phase::Idle; }

  // Accepts a render only in Idle; answers whether it was accepted.
  bool Go();

  // The worker's report on starting the process. Only a render that is
  // still Starting moves on; one that Stop ended meanwhile stays Idle.
  // Answers whether the phase changed.
  bool ProcessStarted();
  bool StartFailed();

  // The process ended by itself or was killed. Only Rendering ends here: a
  // failed start waits for Stop, and a render still Starting belongs to a
  // process that has not run yet.
  void ProcessEnded();

  void Stop() { phase_ = Phase::Idle; }

 private:
  Phase phase_ = Phase::Idle;
};

}  // namespace launcher
