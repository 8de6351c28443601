// Text chat during a call: the edit box (kControlChatEdit), the history list
// (kControlChatList) and the Send button (kControlSend). Lines read "name> text"; sent lines carry
// the own user name, received ones the chat peer name (the caller's name, or the name picked in
// Contacts/History).
#pragma once

#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "base/state/call_flags.h"
#include "base/state/own_identity.h"
#include "base/window/window.h"
#include "call/call_devices.h"

namespace kestrelio {

inline constexpr size_t kChatTextChars = 255;  // the edit box is read with this limit
inline constexpr size_t kChatLineChars = 511;  // a shown line is cut to this
inline constexpr size_t kChatPeerNameChars = 31;
inline constexpr std::string_view kChatNotSent = "--Message could not be sent--";
inline constexpr std::string_view kChatNoConnection = "--No connection established--";

// UTF-8 and UTF-16 as the edit box and the wire carry them. Invalid sequences become
// U+FFFD; the UTF-16 result is cut to `max_units` without splitting a surrogate pair.
std::u16string Utf8ToUtf16(std::string_view text, size_t max_units);
std::string Utf16ToUtf8(std::u16string_view text);

// "name> text", cut to kChatLineChars UTF-16 units.
std::string ChatLine(std::string_view name, std::u16string_view text);

class ChatControl {
 public:
  // Sends one ChatText to the peer; true when the whole message went out.
  using SendChat = std::function<bool(std::u16string_view)>;

  ChatControl(Window& window, const CallFlags& call_flags, CallDevices& devices,
              const OwnIdentity& identity, SendChat send);

  // Command kCommandSend and the Enter key in the edit box.
  void Send();
  // A received line (UDP thread).
  void ShowReceived(std::u16string_view text);
  void SetPeerName(std::string_view name);
  std::string PeerName() const;
  // Start of call: the history list is emptied.
  void Clear();
  // The history list's lines, oldest first: the newest kChatListMaxLines.
  std::vector<std::string> Lines() const;

 private:
  void Append(std::string line);

  Window& window_;
  const CallFlags& call_flags_;
  CallDevices& devices_;
  const OwnIdentity& identity_;
  SendChat send_;

  mutable std::mutex mutex_;
  std::string peer_name_;
  std::vector<std::string> lines_;
};

}  // namespace kestrelio
