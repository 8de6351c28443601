// The handset's own parts of the remote control's get-state: own identity and
// addresses, the Online DB, the call and the chat, the survey triggers.
#pragma once

namespace kestrelio {

class Handset;
class RemoteControl;
class Window;
struct HandsetContext;

void AddHandsetState(RemoteControl& remote, HandsetContext& context, const Handset& handset,
                     Window& window);

}  // namespace kestrelio
