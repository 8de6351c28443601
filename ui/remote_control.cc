#include "ui/remote_control.h"

#include <QCoreApplication>
#include <QEvent>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QTimer>
#include <cmath>
#include <limits>
#include <mutex>
#include <optional>

#include "base/diag.h"
#include "ui/dialog_host.h"
#include "ui/main_window.h"
#include "ui/remote_request.h"

namespace kestrelio {
namespace {

const char* const kBuiltIn[] = {"get-state",     "command",       "answer",       "dialog-set-text",
                                "dialog-click",  "dialog-select", "dialog-close", "screenshot",
                                "textlognotify", "quit"};

std::optional<int> IntArg(const QJsonArray& args, qsizetype index) {
  if (index >= args.size() || !args[index].isDouble()) return std::nullopt;
  const double value = args[index].toDouble();
  if (value != std::floor(value) || value < std::numeric_limits<int>::min() ||
      value > std::numeric_limits<int>::max()) {
    return std::nullopt;
  }
  return static_cast<int>(value);
}

std::optional<QString> StringArg(const QJsonArray& args, qsizetype index) {
  if (index >= args.size() || !args[index].isString()) return std::nullopt;
  return args[index].toString();
}

RemoteControl::Reply Error(const QString& text) { return {QJsonValue(), text}; }

TemplateDialog* FindDialog(MainWindow& window, int dialog_id) {
  TemplateDialog* found = nullptr;
  for (TemplateDialog* dialog : window.OpenDialogs()) {
    if (dialog->dialog_id() == dialog_id) found = dialog;  // the newest wins
  }
  return found;
}

}  // namespace

RemoteControl::RemoteControl(MainWindow& window) : window_(window) {
  later_->owner = this;
  connect(&server_, &QLocalServer::newConnection, this, &RemoteControl::OnNewConnection);
  window_.SetBoxOpenedListener([this](const OpenBoxInfo& box) {
    QJsonObject event;
    event["event"] = "message-box";
    event["caption"] = QString::fromStdString(box.caption);
    event["text"] = QString::fromStdString(box.text);
    PushEvent(event);
  });
}

RemoteControl::~RemoteControl() {
  {
    std::lock_guard lock(later_->mutex);
    later_->owner = nullptr;
  }
  window_.SetBoxOpenedListener(nullptr);
  for (QLocalSocket* socket : clients_) socket->disconnect(this);
}

bool RemoteControl::Listen(const QString& path) {
  QLocalServer::removeServer(path);
  server_.setSocketOptions(QLocalServer::UserAccessOption);
  if (!server_.listen(path)) {
    Diag("remote control: cannot listen on %s: %s", qPrintable(path),
         qPrintable(server_.errorString()));
    return false;
  }
  return true;
}

void RemoteControl::AddStateProvider(const QString& key, std::function<QJsonValue()> provider) {
  providers_.emplace_back(key, std::move(provider));
}

bool RemoteControl::IsBuiltIn(const QString& name) {
  for (const char* built_in : kBuiltIn) {
    if (name == QLatin1String(built_in)) {
      Diag("remote control: command %s is built in", qPrintable(name));
      return true;
    }
  }
  return false;
}

void RemoteControl::AddCommand(const QString& name, CommandHandler handler) {
  if (IsBuiltIn(name)) return;
  async_commands_.erase(name);
  commands_[name] = std::move(handler);
}

void RemoteControl::AddAsyncCommand(const QString& name, AsyncCommandHandler handler) {
  if (IsBuiltIn(name)) return;
  commands_.erase(name);
  async_commands_[name] = std::move(handler);
}

void RemoteControl::customEvent(QEvent* /*event*/) { SendLaterReplies(); }

void RemoteControl::SendLaterReplies() {
  std::vector<std::pair<uint64_t, Reply>> ready;
  {
    std::lock_guard lock(later_->mutex);
    ready.swap(later_->ready);
  }
  for (const auto& [serial, result] : ready) {
    auto it = waiting_.find(serial);
    if (it == waiting_.end()) continue;
    const Waiting waiting = it->second;
    waiting_.erase(it);
    QJsonObject reply;
    if (!waiting.request_id.isUndefined()) reply["request_id"] = waiting.request_id;
    reply = ReplyObject(QStringLiteral("asynchronous command"), result, reply);
    // A client that went away meanwhile gets nothing.
    if (waiting.socket && waiting.socket->state() == QLocalSocket::ConnectedState) {
      waiting.socket->write(QJsonDocument(reply).toJson(QJsonDocument::Compact) + '\n');
    }
  }
}

void RemoteControl::OnNewConnection() {
  while (QLocalSocket* socket = server_.nextPendingConnection()) {
    clients_.push_back(socket);
    buffers_.emplace(socket, LineFramer(static_cast<size_t>(kMaxLineBytes)));
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] { OnReadyRead(socket); });
    connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
      clients_.erase(std::remove(clients_.begin(), clients_.end(), socket), clients_.end());
      buffers_.erase(socket);
      socket->deleteLater();
    });
  }
}

void RemoteControl::PushEvent(const QJsonObject& event) {
  const QByteArray line = QJsonDocument(event).toJson(QJsonDocument::Compact) + '\n';
  for (QLocalSocket* socket : clients_) socket->write(line);
}

void RemoteControl::OnReadyRead(QLocalSocket* socket) {
  auto it = buffers_.find(socket);
  if (it == buffers_.end()) return;
  LineFramer& framer = it->second;
  const QByteArray bytes = socket->readAll();
  // Every line is answered, in order; a too-long one with an error as soon as it passes
  // the limit, and the rest of it is skipped without being kept.
  for (const LineFramer::Piece& piece :
       framer.Feed(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())))) {
    QJsonObject reply;
    if (piece.too_long) {
      Diag("remote control: line longer than %lld bytes refused",
           static_cast<long long>(kMaxLineBytes));
      reply["error"] = "line too long";
    } else {
      std::optional<QJsonObject> answer = HandleLine(QByteArray::fromStdString(piece.line), socket);
      if (!answer) continue;  // answered when its work is done
      reply = std::move(*answer);
    }
    socket->write(QJsonDocument(reply).toJson(QJsonDocument::Compact) + '\n');
  }
}

QJsonObject RemoteControl::ReplyObject(const QString& name, const Reply& result,
                                       QJsonObject reply) {
  if (!result.error.isEmpty()) {
    Diag("remote control: %s: %s", qPrintable(name), qPrintable(result.error));
    reply["error"] = result.error;
  } else {
    reply["error"] = "success";
    reply["data"] = result.data;
  }
  return reply;
}

std::optional<QJsonObject> RemoteControl::HandleLine(const QByteArray& line, QLocalSocket* socket) {
  QJsonObject reply;
  const std::optional<RemoteRequest> request = ParseRemoteRequest(line, reply);
  if (!request) return reply;
  auto async = async_commands_.find(request->name);
  if (async != async_commands_.end()) {
    const uint64_t serial = next_serial_++;
    waiting_[serial] = Waiting{QPointer<QLocalSocket>(socket), reply.value("request_id")};
    std::shared_ptr<LaterReplies> later = later_;
    auto once = std::make_shared<std::once_flag>();
    ReplyLater reply_later = [later, once, serial](Reply result) {
      std::call_once(*once, [&] {
        std::lock_guard lock(later->mutex);
        if (later->owner == nullptr) return;
        later->ready.emplace_back(serial, std::move(result));
        // A bare event whose contents the GUI thread never reads: what it reads was
        // all written under the mutex, a hand-off ThreadSanitizer can see (it cannot
        // see into Qt's event queue).
        QCoreApplication::postEvent(later->owner, new QEvent(QEvent::User));
      });
    };
    std::optional<Reply> now = async->second(request->args, std::move(reply_later));
    if (!now) return std::nullopt;
    waiting_.erase(serial);
    return ReplyObject(request->name, *now, reply);
  }
  return ReplyObject(request->name, Dispatch(request->name, request->args), reply);
}

RemoteControl::Reply RemoteControl::Dispatch(const QString& name, const QJsonArray& args) {
  if (name == "get-state") {
    QJsonObject state = window_.StateJson();
    for (const auto& [key, provider] : providers_) state[key] = provider();
    return {state, {}};
  }
  if (name == "command") {
    const auto id = IntArg(args, 0);
    if (!id || args.size() != 1) return Error("usage: [\"command\", id]");
    QTimer::singleShot(0, &window_, [this, id] { window_.Command(*id); });
    return {};
  }
  if (name == "answer") {
    const auto caption = StringArg(args, 0);
    const auto button = StringArg(args, 1);
    if (!caption || !button || args.size() != 2) {
      return Error("usage: [\"answer\", caption, \"yes\"|\"no\"|\"ok\"]");
    }
    MessageBoxResult result;
    if (*button == "yes") {
      result = MessageBoxResult::kYes;
    } else if (*button == "no") {
      result = MessageBoxResult::kNo;
    } else if (*button == "ok") {
      result = MessageBoxResult::kOk;
    } else {
      return Error("button must be yes, no or ok");
    }
    if (!window_.AnswerBox(caption->toStdString(), result)) {
      return Error("no open message box with that caption and button");
    }
    return {};
  }
  if (name == "dialog-set-text") {
    const auto dialog_id = IntArg(args, 0);
    const auto control_id = IntArg(args, 1);
    const auto text = StringArg(args, 2);
    if (!dialog_id || !control_id || !text || args.size() != 3) {
      return Error("usage: [\"dialog-set-text\", dialog_id, control_id, text]");
    }
    TemplateDialog* dialog = FindDialog(window_, *dialog_id);
    if (dialog == nullptr) return Error("dialog not open");
    if (!dialog->SetTextFromOutside(*control_id, text->toStdString())) {
      return Error("no edit control with that id");
    }
    return {};
  }
  if (name == "dialog-click") {
    const auto dialog_id = IntArg(args, 0);
    const auto control_id = IntArg(args, 1);
    if (!dialog_id || !control_id || args.size() != 2) {
      return Error("usage: [\"dialog-click\", dialog_id, control_id]");
    }
    TemplateDialog* dialog = FindDialog(window_, *dialog_id);
    if (dialog == nullptr) return Error("dialog not open");
    QPointer<TemplateDialog> target(dialog);
    const int control = *control_id;
    // Checked now so the reply tells; pressed after the reply (it may open a box).
    if (!dialog->CanClick(control)) return Error("no enabled button with that id");
    QTimer::singleShot(0, &window_, [target, control] {
      if (target) target->ClickFromOutside(control);
    });
    return {};
  }
  if (name == "dialog-close") {
    // As the window's close button: the controller's close, not a button press.
    const auto dialog_id = IntArg(args, 0);
    if (!dialog_id || args.size() != 1) return Error("usage: [\"dialog-close\", dialog_id]");
    TemplateDialog* dialog = FindDialog(window_, *dialog_id);
    if (dialog == nullptr || dialog->is_page()) return Error("dialog not open");
    QPointer<TemplateDialog> target(dialog);
    QTimer::singleShot(0, &window_, [target] {
      if (target) target->close();
    });
    return {};
  }
  if (name == "dialog-select") {
    const auto dialog_id = IntArg(args, 0);
    const auto control_id = IntArg(args, 1);
    const auto index = IntArg(args, 2);
    if (!dialog_id || !control_id || !index || args.size() != 3) {
      return Error("usage: [\"dialog-select\", dialog_id, control_id, index]");
    }
    TemplateDialog* dialog = FindDialog(window_, *dialog_id);
    if (dialog == nullptr) return Error("dialog not open");
    const int control = *control_id;
    const int item = *index;
    // Checked now so the reply tells; selected after the reply (its notification may
    // open a box).
    if (!dialog->CanSelect(control, item)) {
      return Error("no enabled list, drop-down or tab control with that id and item");
    }
    QPointer<TemplateDialog> target(dialog);
    QTimer::singleShot(0, &window_, [target, control, item] {
      if (target) target->SelectFromOutside(control, item);
    });
    return {};
  }
  if (name == "screenshot") {
    const auto path = StringArg(args, 0);
    if (!path || path->isEmpty() || args.size() != 1) return Error("usage: [\"screenshot\", path]");
    if (!window_.SaveScreenshot(*path)) return Error("cannot write the screenshot");
    return {};
  }
  if (name == "textlognotify") {
    const auto value = IntArg(args, 0);
    if (!value || args.size() != 1) return Error("usage: [\"textlognotify\", n]");
    window_.logic().OnTextLogNotify(*value);
    return {};
  }
  if (name == "quit") {
    if (!args.isEmpty()) return Error("usage: [\"quit\"]");
    QTimer::singleShot(0, &window_, [this] { window_.Close(); });
    return {};
  }
  auto it = commands_.find(name);
  if (it != commands_.end()) return it->second(args);
  return Error("unknown command");
}

}  // namespace kestrelio
