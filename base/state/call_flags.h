// Call state flags that several threads read: the camera callback and the encoder
// (in call), the display thread and painting (video active), the dial command
// (calling). Each has one writer at a time: call control.
#pragma once

#include <atomic>

namespace kestrelio {

struct CallFlags {
  std::atomic<bool> in_call{false};       // a call is connected
  std::atomic<bool> video_active{false};  // the call's media run (encoder and decoder open)
  std::atomic<bool> calling{false};       // an outgoing attempt is ringing
  std::atomic<bool> cancelled{false};     // the user cancelled the outgoing attempt
};

}  // namespace kestrelio
