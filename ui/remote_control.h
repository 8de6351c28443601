// The remote-control socket: JSON lines on a Unix socket, like mpv's IPC.
//
//   -> {"command": ["get-state"], "request_id": 7}
//   <- {"request_id": 7, "error": "success", "data": {...}}
//   <- {"event": "message-box", "caption": "...", "text": "..."}   (pushed)
//
// Commands: get-state; command ID; answer CAPTION yes|no|ok; dialog-set-text DIALOG
// CONTROL TEXT; dialog-click DIALOG CONTROL; dialog-select DIALOG CONTROL INDEX; screenshot PATH;
// textlognotify N; quit. Every line is validated; a bad one gets an error reply. A line longer than
// kMaxLineBytes gets an error reply as soon as it passes that length, the rest of it is
// skipped unread, and the lines after it are answered as usual (ui/line_framer.h). Commands that
// may open a modal box or dialog (command, dialog-click, dialog-select, quit) run just after the
// reply, so the client can go on and answer what they open. A command added with
// AddAsyncCommand answers when its work is done, from any thread; the lines after it are
// answered meanwhile, so its reply may come after theirs (match on "request_id").
#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QLocalServer>
#include <QObject>
#include <QPointer>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "ui/line_framer.h"

class QLocalSocket;

namespace kestrelio {

class MainWindow;

class RemoteControl : public QObject {
 public:
  static constexpr qsizetype kMaxLineBytes = 64 * 1024;

  // The data of a successful reply, or an error text (non-empty means failure).
  struct Reply {
    QJsonValue data;
    QString error;
  };
  using CommandHandler = std::function<Reply(const QJsonArray& args)>;
  // Gives the reply of an asynchronous command; any thread, once (later calls and calls
  // after the remote control is gone do nothing).
  using ReplyLater = std::function<void(Reply reply)>;
  // Starts the command's work and returns nothing, or returns a reply at once (an error
  // for bad arguments) and never calls `later`.
  using AsyncCommandHandler =
      std::function<std::optional<Reply>(const QJsonArray& args, ReplyLater later)>;

  explicit RemoteControl(MainWindow& window);
  ~RemoteControl() override;

  // Listens on `path` (a stale socket file is replaced). False, with a diagnostic, when
  // the socket cannot be opened.
  bool Listen(const QString& path);

  // Later subsystems add their part of get-state under `key` ...
  void AddStateProvider(const QString& key, std::function<QJsonValue()> provider);
  // ... and their own commands (args excludes the name). Built-in names cannot be replaced.
  void AddCommand(const QString& name, CommandHandler handler);
  void AddAsyncCommand(const QString& name, AsyncCommandHandler handler);

  // Sends an event object to every connected client.
  void PushEvent(const QJsonObject& event);

  // Handles one line and returns the reply object (public for tests and fuzzing). An
  // asynchronous command's reply goes to `socket` later and nullopt is returned.
  std::optional<QJsonObject> HandleLine(const QByteArray& line, QLocalSocket* socket = nullptr);

 private:
  // Replies of asynchronous commands, handed from their threads to the GUI thread under
  // a mutex; `owner` is cleared when the remote control goes.
  struct LaterReplies {
    std::mutex mutex;
    RemoteControl* owner = nullptr;
    std::vector<std::pair<uint64_t, Reply>> ready;
  };
  struct Waiting {
    QPointer<QLocalSocket> socket;
    QJsonValue request_id;
  };

  void OnNewConnection();
  void OnReadyRead(QLocalSocket* socket);
  Reply Dispatch(const QString& name, const QJsonArray& args);
  static bool IsBuiltIn(const QString& name);
  static QJsonObject ReplyObject(const QString& name, const Reply& result, QJsonObject reply);
  // GUI thread: writes every reply that is ready to the socket still waiting for it.
  void SendLaterReplies();
  // The wake-up that a later reply posts.
  void customEvent(QEvent* event) override;

  MainWindow& window_;
  QLocalServer server_;
  std::vector<QLocalSocket*> clients_;
  std::map<QLocalSocket*, LineFramer> buffers_;
  std::vector<std::pair<QString, std::function<QJsonValue()>>> providers_;
  std::map<QString, CommandHandler> commands_;
  std::map<QString, AsyncCommandHandler> async_commands_;
  std::shared_ptr<LaterReplies> later_ = std::make_shared<LaterReplies>();
  std::map<uint64_t, Waiting> waiting_;  // GUI thread, by serial
  uint64_t next_serial_ = 1;
};

}  // namespace kestrelio
