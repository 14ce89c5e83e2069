#include "UninstallModel.h"

#include "HelperClient.h"

std::atomic<int32_t> g_Ret{0};
std::atomic<bool> g_process{false};

UninstallView UninstallModel::GetView() const
{
  switch (state_) {
  case UninstallState::kRemoving: return {"EXEC_MSG", "CANCEL_BUTTON", false, false, true};
  case UninstallState::kSucceeded: return {"SUCCESS_MSG", "EXIT", false, true, false};
  case UninstallState::kFailed: return {"FAIL_MSG", "CANCEL_BUTTON", true, true, false};
  case UninstallState::kIdle:
  case UninstallState::kEnded: break;
  }
  return {"FIRST_MSG", "CANCEL_BUTTON", true, true, false};
}

bool UninstallModel::BeginRemoval()
{
  if (state_ != UninstallState::kIdle && state_ != UninstallState::kFailed) return false;
  state_ = UninstallState::kRemoving;
  return true;
}

void UninstallModel::FinishRemoval(int32_t result)
{
  if (state_ != UninstallState::kRemoving) return;
  if (result == kRequestSucceeded) state_ = UninstallState::kSucceeded;
  else if (result == kRequestRefused) state_ = UninstallState::kEnded;
  else state_ = UninstallState::kFailed;
}
