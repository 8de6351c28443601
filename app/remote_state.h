// The handset's own parts of the remote control's get-state: own identity and
// addresses, the Online DB, the call and the chat, and the field study (app/remote_study.h).
#pragma once

namespace kestrelio {

class Handset;
class RemoteControl;
class Window;
struct HandsetContext;

void AddHandsetState(RemoteControl& remote, HandsetContext& context, Handset& handset,
                     Window& window);

}  // namespace kestrelio
