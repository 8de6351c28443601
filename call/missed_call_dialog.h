// The Missed Call dialog (kMissedCallDialog): "You have N missed call(s)", "See History" and
// "Dismiss". GUI thread only. While it is open a further missed call updates its text
// instead of opening a second one.
#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "base/window/window.h"

namespace kestrelio {

inline constexpr int kMissedCallDialog = 157;
inline constexpr int kMissedCallText = 2006;
inline constexpr int kMissedCallSeeHistory = 1081;
inline constexpr int kMissedCallDismiss = 2;

// "You have 1 missed call" for 1, "You have %d missed calls" otherwise.
std::string MissedCallText(int count);
// The text a further missed call sets in the open dialog: always the plural form.
std::string MissedCallUpdateText(int count);

class MissedCallDialog : public DialogController {
 public:
  // `counter` is the missed-call counter; `open_history` runs the History dialog (may be
  // empty); `survey` sets survey trigger 4 (missed_call).
  MissedCallDialog(Window& window, std::atomic<int>& counter, std::function<void()> open_history,
                   std::function<void()> survey)
      : window_(window),
        counter_(counter),
        open_history_(std::move(open_history)),
        survey_(std::move(survey)) {}

  // Runs the dialog modally (GUI thread). Closing it by any means clears the counter.
  void Run();
  bool is_open() const { return open_ != nullptr; }
  // A further missed call while open.
  void Update();
  // Start of call closes it.
  void Close();

  void OnInit(DialogAccess& dialog) override;
  void OnCommand(DialogAccess& dialog, int control_id) override;
  // The close button or Escape: the counter is cleared, no survey, no history.
  void OnClose(DialogAccess& dialog) override;
  // The handset was turned: placed again over the new client area.
  void OnOwnerResized(DialogAccess& dialog) override { PlaceOverClientArea(dialog); }

 private:
  void PlaceOverClientArea(DialogAccess& dialog);

  Window& window_;
  std::atomic<int>& counter_;
  std::function<void()> open_history_;
  std::function<void()> survey_;
  DialogAccess* open_ = nullptr;
  bool see_history_ = false;
  bool pressed_ = false;
};

}  // namespace kestrelio
