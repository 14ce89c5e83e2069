// The uninstaller's states and what its window shows in each; no widgets.
// Idle -> Removing -> Succeeded, Failed (Removing may follow again) or Ended
// (authorization refused: the application ends).
#ifndef TQ58_UNINSTALLMODEL_H
#define TQ58_UNINSTALLMODEL_H

#include <atomic>
#include <cstdint>

// Result of the last request (0, -1 or 1 as in HelperClient.h), written by the
// worker before it clears g_process, which is true while a request is in flight.
extern std::atomic<int32_t> g_Ret;
extern std::atomic<bool> g_process;

enum class UninstallState { kIdle, kRemoving, kSucceeded, kFailed, kEnded };

// What the window shows; the texts are localized text keys.
struct UninstallView {
  const char* labelKey;
  const char* cancelTitleKey;
  bool uninstallEnabled;
  bool cancelEnabled;
  bool progressShown;
};

class UninstallModel {
public:
  UninstallState GetState() const { return state_; }
  UninstallView GetView() const;
  // The uninstall button: from Idle or Failed to Removing; false in other states.
  bool BeginRemoval();
  // The request's result (g_Ret) ends Removing.
  void FinishRemoval(int32_t result);
  // The window closes (and the application ends) in every state but Removing.
  bool IsCloseAllowed() const { return state_ != UninstallState::kRemoving; }

private:
  UninstallState state_ = UninstallState::kIdle;
};

#endif
