// The shape of one remote-control request line, checked before anything runs:
//   {"command": ["name", args...], "request_id": any}
// Needs only Qt Core (JSON), so the fuzzer takes it without a window.
#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <optional>

namespace kestrelio {

struct RemoteRequest {
  QString name;
  QJsonArray args;  // without the name
};

// The request in `line`, or nullopt with `reply["error"]` set. Either way `reply` gets
// the line's "request_id" when it has one.
std::optional<RemoteRequest> ParseRemoteRequest(const QByteArray& line, QJsonObject& reply);

}  // namespace kestrelio
