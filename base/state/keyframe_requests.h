// Key-frame requests shared by the network thread (a reported loss), the camera
// callback (a still stretch) and the encoder (which takes both).
#pragma once

#include <atomic>

namespace kestrelio {

// Requests for a self-contained picture: the peer reported a loss, or a whole window of
// frames passed without motion. The encoder takes both before each picture.
struct KeyframeRequests {
  std::atomic<bool> packet_loss{false};
  std::atomic<bool> still{false};
};

}  // namespace kestrelio
