// The handset's own parts of the remote control's get-state and its extra commands.
#pragma once

namespace kestrelio {

class RemoteControl;
struct HandsetContext;

void AddHandsetState(RemoteControl& remote, HandsetContext& context);

}  // namespace kestrelio
