#include "launcher/RenderState.h"

namespace launcher {

bool RenderState::Go() {
  if (phase_ != Phase::Idle) return false;
  phase_ = Phase::Starting;
  return true;
}

bool RenderState::ProcessStarted() {
  if (phase_ != Phase::Starting) return false;
  phase_ = Phase::Rendering;
  return true;
}

bool RenderState::StartFailed() {
  if (phase_ != Phase::Starting) return false;
  phase_ = Phase::Failed;
  return true;
}

void RenderState::ProcessEnded() {
  if (phase_ == Phase::Rendering) phase_ = Phase::Idle;
}

}  // namespace launcher
