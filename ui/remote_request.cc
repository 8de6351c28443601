#include "ui/remote_request.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>

#include "base/diag.h"

namespace kestrelio {

std::optional<RemoteRequest> ParseRemoteRequest(const QByteArray& line, QJsonObject& reply) {
  QJsonParseError parse_error;
  const QJsonDocument document = QJsonDocument::fromJson(line, &parse_error);
  if (parse_error.error != QJsonParseError::NoError || !document.isObject()) {
    Diag("remote control: not a JSON object (%s)", parse_error.error != QJsonParseError::NoError
                                                       ? qPrintable(parse_error.errorString())
                                                       : "another JSON value");
    reply["error"] = "invalid JSON";
    return std::nullopt;
  }
  const QJsonObject request = document.object();
  if (request.contains("request_id")) reply["request_id"] = request.value("request_id");
  const QJsonValue command = request.value("command");
  if (!command.isArray() || command.toArray().isEmpty() || !command.toArray()[0].isString()) {
    reply["error"] = "command must be an array starting with a name";
    return std::nullopt;
  }
  RemoteRequest out;
  out.args = command.toArray();
  out.name = out.args.takeAt(0).toString();
  return out;
}

}  // namespace kestrelio
