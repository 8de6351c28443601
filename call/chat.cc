#include "call/chat.h"

#include "base/window/ids.h"

namespace kestrelio {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view text, size_t max_units) {
  std::u16string out;
  size_t i = 0;
  while (i < text.size()) {
    const auto byte = static_cast<uint8_t>(text[i]);
    char32_t c = kReplacement;
    size_t extra = 0;
    char32_t minimum = 0;
    if (byte < 0x80) {
      c = byte;
    } else if ((byte & 0xE0) == 0xC0) {
      c = byte & 0x1F, extra = 1, minimum = 0x80;
    } else if ((byte & 0xF0) == 0xE0) {
      c = byte & 0x0F, extra = 2, minimum = 0x800;
    } else if ((byte & 0xF8) == 0xF0) {
      c = byte & 0x07, extra = 3, minimum = 0x10000;
    } else {
      extra = 0, c = kReplacement;
    }
    size_t used = 1;
    for (size_t k = 0; k < extra; ++k) {
      if (i + used >= text.size() || (static_cast<uint8_t>(text[i + used]) & 0xC0) != 0x80) {
        c = kReplacement;
        extra = 0;
        break;
      }
      c = (c << 6) | (static_cast<uint8_t>(text[i + used]) & 0x3F);
      ++used;
    }
    if (minimum != 0 && (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))) {
      c = kReplacement;
    }
    i += used;
    if (c >= 0x10000) {
      if (out.size() + 2 > max_units) break;
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      if (out.size() + 1 > max_units) break;
      out.push_back(static_cast<char16_t>(c));
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = kReplacement;
    }
    AppendUtf8(out, c);
  }
  return out;
}

std::string ChatLine(std::string_view name, std::u16string_view text) {
  std::u16string line = Utf8ToUtf16(name, kChatLineChars);
  line += u"> ";
  line += text;
  if (line.size() > kChatLineChars) {
    size_t cut = kChatLineChars;
    // Do not leave half a surrogate pair at the end.
    if (line[cut - 1] >= 0xD800 && line[cut - 1] <= 0xDBFF) --cut;
    line.resize(cut);
  }
  return Utf16ToUtf8(line);
}

ChatControl::ChatControl(Window& window, const CallFlags& call_flags, CallDevices& devices,
                         const OwnIdentity& identity, SendChat send)
    : window_(window),
      call_flags_(call_flags),
      devices_(devices),
      identity_(identity),
      send_(std::move(send)) {}

void ChatControl::Send() {
  // The edit box is hidden with the chat panel: nothing to send from.
  if (!window_.IsControlVisible(kControlChatEdit)) return;
  const std::u16string text = Utf8ToUtf16(window_.ControlText(kControlChatEdit), kChatTextChars);
  std::string line;
  if (call_flags_.in_call.load()) {
    // An empty text is sent too; it only adds no line.
    line = send_(text) ? ChatLine(identity_.user_name(), text) : std::string(kChatNotSent);
  } else {
    line = std::string(kChatNoConnection);
  }
  window_.SetControlText(kControlChatEdit, "");
  if (text.empty()) return;
  Append(std::move(line));
}

void ChatControl::ShowReceived(std::u16string_view text) {
  if (!call_flags_.in_call.load() || text.empty()) return;
  devices_.Vibrate(devices_.IsSilentMode() ? RingRequest::kIdle : RingRequest::kBuzz);
  Append(ChatLine(PeerName(), text));
}

void ChatControl::SetPeerName(std::string_view name) {
  std::lock_guard lock(mutex_);
  peer_name_ = std::string(name.substr(0, kChatPeerNameChars));
}

std::string ChatControl::PeerName() const {
  std::lock_guard lock(mutex_);
  return peer_name_;
}

void ChatControl::Clear() {
  {
    std::lock_guard lock(mutex_);
    lines_.clear();
  }
  window_.ListClear(kControlChatList);
}

std::vector<std::string> ChatControl::Lines() const {
  std::lock_guard lock(mutex_);
  return lines_;
}

void ChatControl::Append(std::string line) {
  window_.ListAppend(kControlChatList, line);
  std::lock_guard lock(mutex_);
  lines_.push_back(std::move(line));
  // A flood of lines must not grow the history without end: the newest stay.
  if (lines_.size() > kChatListMaxLines) {
    lines_.erase(lines_.begin(), lines_.end() - static_cast<ptrdiff_t>(kChatListMaxLines));
  }
}

}  // namespace kestrelio
