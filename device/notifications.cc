#include "device/notifications.h"

#include <strings.h>

#include <QDBusMessage>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>
#include <mutex>

#include "base/diag.h"
#include "device/dbus_link.h"

namespace kestrelio {
namespace {

const char kService[] = "org.freedesktop.Notifications";
const char kPath[] = "/org/freedesktop/Notifications";
const char kInterface[] = "org.freedesktop.Notifications";

bool StartsWithTag(std::string_view text, std::string_view tag) {
  return text.size() >= tag.size() && ::strncasecmp(text.data(), tag.data(), tag.size()) == 0;
}

}  // namespace

std::string SignInBubbleBody(std::string_view html, bool server_has_markup) {
  static constexpr std::string_view kDropped[] = {"<html>", "</html>", "<body>", "</body>"};
  static constexpr std::string_view kBold[] = {"<b>", "</b>"};
  std::string body;
  while (!html.empty()) {
    bool consumed = false;
    for (std::string_view tag : kDropped) {
      if (StartsWithTag(html, tag)) {
        html.remove_prefix(tag.size());
        consumed = true;
        break;
      }
    }
    for (std::string_view tag : kBold) {
      if (!consumed && StartsWithTag(html, tag)) {
        if (server_has_markup) body += tag;
        html.remove_prefix(tag.size());
        consumed = true;
      }
    }
    if (consumed) continue;
    char c = html.front();
    html.remove_prefix(1);
    if (server_has_markup && c == '<') {
      body += "&lt;";
    } else if (server_has_markup && c == '>') {
      body += "&gt;";
    } else if (server_has_markup && c == '&') {
      body += "&amp;";
    } else {
      body += c;
    }
  }
  return body;
}

struct DesktopNotifier::Impl {
  std::string bus_address;
  std::mutex mutex;
  uint32_t last_id = 0;
  bool capabilities_known = false;
  bool has_markup = false;
  bool failed_once = false;
};

DesktopNotifier::DesktopNotifier(std::string bus_address) : impl_(std::make_unique<Impl>()) {
  impl_->bus_address = std::move(bus_address);
}

DesktopNotifier::~DesktopNotifier() = default;

bool DesktopNotifier::ShowSignInBubble(std::string_view html) {
  std::lock_guard lock(impl_->mutex);
  QDBusConnection bus = ConnectBus(impl_->bus_address);
  if (!bus.isConnected()) {
    if (!impl_->failed_once) Diag("desktop notifications unavailable: no session bus");
    impl_->failed_once = true;
    return false;
  }
  if (!impl_->capabilities_known) {
    QDBusMessage reply =
        bus.call(QDBusMessage::createMethodCall(kService, kPath, kInterface, "GetCapabilities"),
                 QDBus::Block, kDbusCallTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
      impl_->capabilities_known = true;
      impl_->has_markup =
          reply.arguments().first().toStringList().contains(QStringLiteral("body-markup"));
    }
  }
  std::string body = SignInBubbleBody(html, impl_->has_markup);
  QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, kInterface, "Notify");
  QVariantMap hints;
  hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("kestrelio"));
  message.setArguments({QStringLiteral("Kestrelio"), QVariant::fromValue(impl_->last_id),
                        QStringLiteral("kestrelio"),
                        QString::fromUtf8(kSignInBubbleTitle.data(),
                                          static_cast<qsizetype>(kSignInBubbleTitle.size())),
                        QString::fromStdString(body),
                        QStringList{QStringLiteral("dismiss"), QStringLiteral("Dismiss")}, hints,
                        QVariant::fromValue(static_cast<int32_t>(kSignInBubbleMs))});
  QDBusMessage reply = bus.call(message, QDBus::Block, kDbusCallTimeoutMs);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
    if (!impl_->failed_once) {
      Diag("desktop notification failed: %s", reply.errorMessage().toUtf8().constData());
    }
    impl_->failed_once = true;
    return false;
  }
  impl_->last_id = reply.arguments().first().toUInt();
  return true;
}

}  // namespace kestrelio
