// Window state that worker threads read: the display thread needs the view mode and
// the paused flags to decide what to paint. Written on the GUI thread (and the paused
// flag of the peer by the network thread that hears the peer's pause).
#pragma once

#include <atomic>

namespace kestrelio {

struct ViewFlags {
  std::atomic<int> view_mode{1};                // 0..3, picture layout
  std::atomic<bool> own_video_paused{false};    // own picture replaced by the paused image
  std::atomic<bool> peer_video_paused{false};   // peer picture replaced by the paused image
  std::atomic<bool> paused_during_call{false};  // the user paused during the current call
  std::atomic<bool> call_statistics{false};     // the statistics overlay shows
};

}  // namespace kestrelio
