// Intake of one received message, the same for the UDP thread and the TCP control
// threads: version check with its diagnostic, header check, then routing. The video path
// (PacketLoss, RttProbeReq, RttProbeRsp, VideoData) goes to the media handler, every
// other type to the control handler (which reports undefined types itself).
//
// Control sessions on TCP carry signalling only: of the video path they take PacketLoss;
// RttProbeReq, RttProbeRsp and VideoData read from TCP are undefined there: written to the
// diagnostic output as "Undefined Message Type", never a box that would hold the session.
#pragma once

#include <cstdint>
#include <span>

#include "base/window/window.h"
#include "net/transport/control_port.h"

namespace kestrelio {

struct MessageHandlers {
  ControlMessageHandler& control;
  MediaMessageHandler& media;
};

enum class DispatchResult { kDropped, kMedia, kControl, kUndefined };

// Whether a type belongs to the video path that the media handler takes.
bool IsMediaType(uint8_t type);

// `socket` only names a TCP session in diagnostics. `window` is not used: nothing a
// message does here opens a box.
DispatchResult DispatchMessage(std::span<const uint8_t> message, const NetAddress& from,
                               Channel channel, int socket, MessageHandlers& handlers,
                               Window& window);

}  // namespace kestrelio
