#include "device/single_instance.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QString>

#include "base/diag.h"

namespace kestrelio {
namespace {

constexpr char kRaiseRequest[] = "raise\n";
constexpr int kConnectTimeoutMs = 1000;
constexpr int kMaxRequestBytes = 64;

// Asks a running instance to raise its window. False when nobody listens.
bool AskToRaise(const QString& name) {
  QLocalSocket socket;
  socket.connectToServer(name);
  if (!socket.waitForConnected(kConnectTimeoutMs)) return false;
  socket.write(kRaiseRequest);
  socket.waitForBytesWritten(kConnectTimeoutMs);
  socket.disconnectFromServer();
  if (socket.state() != QLocalSocket::UnconnectedState) {
    socket.waitForDisconnected(kConnectTimeoutMs);
  }
  return true;
}

}  // namespace

struct SingleInstance::Impl {
  QString name;
  QLocalServer server;
  std::function<void()> on_raise_request;
};

SingleInstance::SingleInstance(const std::string& profile_dir) : impl_(std::make_unique<Impl>()) {
  impl_->name = QString::fromStdString(ServerNameFor(profile_dir));
}

SingleInstance::~SingleInstance() { impl_->server.close(); }

std::string SingleInstance::ServerNameFor(const std::string& profile_dir) {
  QString canonical = QDir(QString::fromStdString(profile_dir)).canonicalPath();
  if (canonical.isEmpty()) canonical = QDir::cleanPath(QString::fromStdString(profile_dir));
  QByteArray digest =
      QCryptographicHash::hash(canonical.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
  return "kestrelio-" + digest.toStdString();
}

InstanceClaim SingleInstance::Claim(std::function<void()> on_raise_request) {
  if (impl_->server.isListening()) return InstanceClaim::kFirst;
  if (AskToRaise(impl_->name)) return InstanceClaim::kOtherRunning;

  impl_->on_raise_request = std::move(on_raise_request);
  // Only this user may connect.
  impl_->server.setSocketOptions(QLocalServer::UserAccessOption);
  if (!impl_->server.listen(impl_->name)) {
    // Another start may have begun listening since we asked; ask once more before
    // taking the name over, so two simultaneous starts do not both serve.
    if (AskToRaise(impl_->name)) return InstanceClaim::kOtherRunning;
    // Nobody answers, so a socket file left by a crashed instance is in the way.
    QLocalServer::removeServer(impl_->name);
    if (!impl_->server.listen(impl_->name)) {
      Diag("single-instance socket %s: %s", impl_->name.toUtf8().constData(),
           impl_->server.errorString().toUtf8().constData());
      return InstanceClaim::kError;
    }
  }
  Impl* impl = impl_.get();
  QObject::connect(&impl->server, &QLocalServer::newConnection, &impl->server, [impl] {
    while (QLocalSocket* socket = impl->server.nextPendingConnection()) {
      QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
      QObject::connect(socket, &QLocalSocket::readyRead, socket, [impl, socket] {
        // Wait for a whole line, but never collect more than a request can hold.
        if (!socket->canReadLine() && socket->bytesAvailable() < kMaxRequestBytes) return;
        QByteArray request = socket->readLine(kMaxRequestBytes);
        if (request == kRaiseRequest) {
          if (impl->on_raise_request) impl->on_raise_request();
        } else {
          Diag("single-instance socket: ignored an unknown request of %d bytes",
               static_cast<int>(request.size()));
        }
        socket->disconnectFromServer();
      });
    }
  });
  return InstanceClaim::kFirst;
}

}  // namespace kestrelio
