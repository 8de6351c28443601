#include "ui/remote_control.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <atomic>
#include <thread>

#include "base/window/ids.h"
#include "tests/support/qt_app.h"
#include "ui/main_window.h"

namespace kestrelio {
namespace {

using testing_support::App;
using testing_support::PumpUntil;

class NullHandler : public WindowHandler {
 public:
  void OnCommand(int id) override { commands.push_back(id); }
  void OnTimer(int) override {}
  void OnTextLogNotify(int wparam) override { notifies.push_back(wparam); }
  void OnDestroy() override { ++destroyed; }
  std::vector<int> commands, notifies;
  int destroyed = 0;
};

class RemoteControlTest : public ::testing::Test {
 protected:
  RemoteControlTest() {
    App();
    window = std::make_unique<MainWindow>(call_flags, view_flags);
    window->SetHandler(&handler);
    window->InitialiseForStartUp();
    window->SetControlText(kControlStatusLine, "Disconnected, 0:00, 87%");
    window->show();
    remote = std::make_unique<RemoteControl>(*window);
    path = dir.filePath("ipc.sock");
    EXPECT_TRUE(remote->Listen(path));
    client.connectToServer(path);
    EXPECT_TRUE(PumpUntil([&] { return client.state() == QLocalSocket::ConnectedState; }));
    // One round trip: the client counts as connected before the server has taken the
    // connection, and events pushed in between would reach nobody.
    State();
  }

  // Sends one line, returns the next non-event reply (events are kept in `events`).
  QJsonObject Send(const QByteArray& line) {
    client.write(line + '\n');
    return NextReply(line);
  }
  QJsonObject NextReply(const QByteArray& line = "(a later reply)") {
    QJsonObject reply;
    const bool got = PumpUntil([&] {
      while (client.canReadLine()) {
        const QJsonObject object = QJsonDocument::fromJson(client.readLine()).object();
        if (object.contains("event")) {
          events.push_back(object);
        } else {
          reply = object;
          return true;
        }
      }
      return false;
    });
    EXPECT_TRUE(got) << line.toStdString();
    return reply;
  }
  QJsonObject State() { return Send(R"({"command":["get-state"]})")["data"].toObject(); }

  QTemporaryDir dir;
  QString path;
  CallFlags call_flags;
  ViewFlags view_flags;
  NullHandler handler;
  std::unique_ptr<MainWindow> window;
  std::unique_ptr<RemoteControl> remote;
  QLocalSocket client;
  std::vector<QJsonObject> events;
};

TEST_F(RemoteControlTest, GetStateAtStartUp) {
  const QJsonObject reply = Send(R"({"command":["get-state"],"request_id":7})");
  EXPECT_EQ(reply["request_id"].toInt(), 7);
  EXPECT_EQ(reply["error"].toString(), "success");
  const QJsonObject state = reply["data"].toObject();
  EXPECT_EQ(state["view_mode"].toInt(), 1);
  EXPECT_EQ(state["chat_mode"].toInt(), 0);
  EXPECT_EQ(state["status_text"].toString(), "Disconnected, 0:00, 87%");
  const QJsonObject controls = state["controls"].toObject();
  EXPECT_FALSE(controls["154"].toObject()["visible"].toBool());
  EXPECT_FALSE(controls["155"].toObject()["visible"].toBool());
  EXPECT_FALSE(controls["123"].toObject()["visible"].toBool());
  EXPECT_TRUE(controls["124"].toObject()["visible"].toBool());
  EXPECT_EQ(controls["120"].toObject()["image"].toInt(), 6);
  EXPECT_EQ(state["window"].toObject()["width"].toInt(), 240);
  EXPECT_EQ(state["window"].toObject()["height"].toInt(), 320);
  EXPECT_FALSE(state["flags"].toObject()["in_call"].toBool());
  EXPECT_TRUE(state["message_boxes"].toArray().isEmpty());
  EXPECT_TRUE(state["dialogs"].toArray().isEmpty());
}

TEST_F(RemoteControlTest, ViewCommandFourTimesWalksImages) {
  const int expected[] = {6, 7, 5, 6};
  for (int image : expected) {
    EXPECT_EQ(Send(R"({"command":["command",120]})")["error"].toString(), "success");
    EXPECT_EQ(State()["controls"].toObject()["120"].toObject()["image"].toInt(), image);
  }
  EXPECT_EQ(State()["view_mode"].toInt(), 1);
}

TEST_F(RemoteControlTest, AnswerBoxOfWorkerAndPushedEvent) {
  MessageBoxResult result = MessageBoxResult::kClosed;
  std::thread worker([&] {
    result = window->ShowMessageBox("Incoming call from A (1).", "Connection",
                                    MessageBoxButtons::kYesNo);
  });
  ASSERT_TRUE(PumpUntil([&] { return !window->OpenBoxes().empty(); }));
  const QJsonArray boxes = State()["message_boxes"].toArray();
  ASSERT_EQ(boxes.size(), 1);
  EXPECT_EQ(boxes[0].toObject()["caption"].toString(), "Connection");
  EXPECT_EQ(boxes[0].toObject()["buttons"].toString(), "yes-no");
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events[0]["event"].toString(), "message-box");
  EXPECT_EQ(events[0]["text"].toString(), "Incoming call from A (1).");

  EXPECT_NE(Send(R"({"command":["answer","Nobody","yes"]})")["error"].toString(), "success");
  EXPECT_NE(Send(R"({"command":["answer","Connection","maybe"]})")["error"].toString(), "success");
  EXPECT_EQ(Send(R"({"command":["answer","Connection","no"]})")["error"].toString(), "success");
  worker.join();
  EXPECT_EQ(result, MessageBoxResult::kNo);
}

class EndOnSign : public DialogController {
 public:
  void OnInit(DialogAccess&) override {}
  void OnCommand(DialogAccess& dialog, int id) override {
    if (id == 1012) {
      text = dialog.Text(1001);
      dialog.End(0);
    }
  }
  std::string text;
};

TEST_F(RemoteControlTest, DialogSetTextAndClick) {
  EndOnSign controller;
  std::atomic<int> result{-2};  // polled while the worker writes it
  std::thread worker([&] { result = window->RunDialog(105, controller); });
  ASSERT_TRUE(PumpUntil([&] { return !window->OpenDialogs().empty(); }));
  const QJsonArray dialogs = State()["dialogs"].toArray();
  ASSERT_EQ(dialogs.size(), 1);
  EXPECT_EQ(dialogs[0].toObject()["id"].toInt(), 105);
  EXPECT_EQ(Send(R"({"command":["dialog-set-text",105,1001,"5551234"]})")["error"].toString(),
            "success");
  EXPECT_NE(Send(R"({"command":["dialog-set-text",141,1001,"x"]})")["error"].toString(), "success");
  EXPECT_NE(Send(R"({"command":["dialog-click",105,4242]})")["error"].toString(), "success");
  EXPECT_EQ(Send(R"({"command":["dialog-click",105,1012]})")["error"].toString(), "success");
  ASSERT_TRUE(PumpUntil([&] { return result != -2; }));
  worker.join();
  EXPECT_EQ(result, 0);
  EXPECT_EQ(controller.text, "5551234");
}

// Fills the contacts list and ends with the list's selection when Sign is pressed.
class ListThenSign : public DialogController {
 public:
  void OnInit(DialogAccess& dialog) override {
    dialog.ListAppendWithIcon(1048, "Alma (me), 12065550101", 148);
    dialog.ListAppendWithIcon(1048, "Bruno, 12065550102", 1000);
  }
  void OnCommand(DialogAccess& dialog, int id) override {
    notified.push_back(id);
    if (id == 1041) dialog.End(dialog.ListSelection(1048));
  }
  std::vector<int> notified;
};

TEST_F(RemoteControlTest, DialogSelectPicksAnItemWithItsNotification) {
  ListThenSign controller;
  std::atomic<int> result{-2};
  std::thread worker([&] { result = window->RunDialog(141, controller); });
  ASSERT_TRUE(PumpUntil([&] { return !window->OpenDialogs().empty(); }));
  const QJsonObject list =
      State()["dialogs"].toArray()[0].toObject()["controls"].toObject()["1048"].toObject();
  EXPECT_EQ(list["items"].toArray().size(), 2);
  EXPECT_EQ(list["icons"].toArray()[1].toInt(), 1000);
  EXPECT_EQ(list["selection"].toInt(), -1);

  for (const char* line :
       {R"({"command":["dialog-select",141,1048,2]})",
        R"({"command":["dialog-select",141,1041,0]})",
        R"({"command":["dialog-select",143,1048,0]})", R"({"command":["dialog-select",141,1048]})",
        R"({"command":["dialog-select",141,1048,"1"]})"}) {
    EXPECT_NE(Send(line)["error"].toString(), "success") << line;
  }
  EXPECT_EQ(Send(R"({"command":["dialog-select",141,1048,1]})")["error"].toString(), "success");
  ASSERT_TRUE(PumpUntil([&] { return !controller.notified.empty(); }));
  EXPECT_EQ(controller.notified, std::vector<int>{1048});
  EXPECT_EQ(Send(R"({"command":["dialog-click",141,1041]})")["error"].toString(), "success");
  ASSERT_TRUE(PumpUntil([&] { return result != -2; }));
  worker.join();
  EXPECT_EQ(result, 1);
}

TEST_F(RemoteControlTest, ScreenshotWritesPng) {
  const QString shot = dir.filePath("shot.png");
  EXPECT_EQ(Send(QByteArray(R"({"command":["screenshot",")") + shot.toUtf8() + R"("]})")["error"]
                .toString(),
            "success");
  QFile file(shot);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.read(8), QByteArray("\x89PNG\r\n\x1a\n", 8));
  EXPECT_NE(Send(R"({"command":["screenshot","/nonexistent-dir/x.png"]})")["error"].toString(),
            "success");
}

TEST_F(RemoteControlTest, TextLogNotifyAndCommandReachHandler) {
  Send(R"({"command":["textlognotify",1]})");
  Send(R"({"command":["textlognotify",5]})");
  EXPECT_EQ(handler.notifies, (std::vector<int>{1, 5}));
  Send(R"({"command":["command",111]})");
  ASSERT_TRUE(PumpUntil([&] { return !handler.commands.empty(); }));
  EXPECT_EQ(handler.commands[0], 111);
}

TEST_F(RemoteControlTest, BadLinesGetErrorReplies) {
  EXPECT_EQ(Send("not json")["error"].toString(), "invalid JSON");
  EXPECT_EQ(Send("[1,2]")["error"].toString(), "invalid JSON");
  EXPECT_NE(Send(R"({"command":"get-state"})")["error"].toString(), "success");
  EXPECT_NE(Send(R"({"command":[]})")["error"].toString(), "success");
  EXPECT_NE(Send(R"({"command":[42]})")["error"].toString(), "success");
  EXPECT_EQ(Send(R"({"command":["launch-missiles"],"request_id":"x"})")["error"].toString(),
            "unknown command");
  for (const char* line : {R"({"command":["command","120"]})", R"({"command":["command",1.5]})",
                           R"({"command":["command",1e30]})", R"({"command":["command"]})",
                           R"({"command":["command",120,1]})", R"({"command":["answer",1,"yes"]})",
                           R"({"command":["textlognotify",null]})", R"({"command":["quit",1]})",
                           R"({"command":["dialog-click","105",1012]})"}) {
    EXPECT_NE(Send(line)["error"].toString(), "success") << line;
  }
  EXPECT_EQ(State()["view_mode"].toInt(), 1);  // nothing ran
  // A huge line gets an error as soon as it passes the limit, before its end; its rest
  // is skipped and the connection goes on with the next line.
  client.write(QByteArray(RemoteControl::kMaxLineBytes + 10, 'x'));
  ASSERT_TRUE(PumpUntil([&] { return client.canReadLine(); }));
  EXPECT_EQ(QJsonDocument::fromJson(client.readLine()).object()["error"].toString(),
            "line too long");
  client.write(QByteArray(RemoteControl::kMaxLineBytes * 3, 'x') + "\n");
  EXPECT_EQ(Send(R"({"command":["get-state"]})")["error"].toString(), "success");
  EXPECT_EQ(client.state(), QLocalSocket::ConnectedState);
}

// A too-long line and a good command in one write: the first gets its error, the
// second its answer, and the connection stays.
TEST_F(RemoteControlTest, ALongLineThenAGoodCommandInOneWriteGetBothAnswered) {
  QByteArray data(RemoteControl::kMaxLineBytes + 10, 'x');
  data += "\n";
  data += R"({"command":["get-state"],"request_id":77})";
  data += "\n";
  client.write(data);
  ASSERT_TRUE(PumpUntil([&] { return client.canReadLine(); }));
  EXPECT_EQ(QJsonDocument::fromJson(client.readLine()).object()["error"].toString(),
            "line too long");
  ASSERT_TRUE(PumpUntil([&] { return client.canReadLine(); }));
  const QJsonObject reply = QJsonDocument::fromJson(client.readLine()).object();
  EXPECT_EQ(reply["request_id"].toInt(), 77);
  EXPECT_EQ(reply["error"].toString(), "success");
  EXPECT_EQ(client.state(), QLocalSocket::ConnectedState);
  EXPECT_EQ(Send(R"({"command":["get-state"]})")["error"].toString(), "success");
}

TEST_F(RemoteControlTest, ExtraStateProvidersAndCommands) {
  remote->AddStateProvider("call", [] { return QJsonObject{{"peer", "A"}}; });
  remote->AddCommand("echo", [](const QJsonArray& args) { return RemoteControl::Reply{args, {}}; });
  remote->AddCommand("quit", [](const QJsonArray&) { return RemoteControl::Reply{}; });
  EXPECT_EQ(State()["call"].toObject()["peer"].toString(), "A");
  EXPECT_EQ(Send(R"({"command":["echo",1,"b"]})")["data"].toArray().size(), 2);
}

TEST_F(RemoteControlTest, AsynchronousCommandAnswersLaterAndOthersAreAnsweredMeanwhile) {
  std::thread worker;
  std::atomic<bool> release{false};
  RemoteControl::ReplyLater kept;
  int started = 0;
  remote->AddAsyncCommand(
      "slow",
      [&](const QJsonArray& args,
          RemoteControl::ReplyLater later) -> std::optional<RemoteControl::Reply> {
        if (!args.isEmpty()) return RemoteControl::Reply{QJsonValue(), "slow takes nothing"};
        kept = later;
        ++started;
        if (started > 1) return std::nullopt;  // only the first one gets a worker
        worker = std::thread([&release, later] {
          while (!release) std::this_thread::yield();
          later(RemoteControl::Reply{QJsonObject{{"done", true}}, {}});
        });
        return std::nullopt;
      });
  // Bad arguments are answered at once.
  EXPECT_EQ(Send(R"({"command":["slow",1],"request_id":1})")["error"].toString(),
            "slow takes nothing");
  // The slow command is not answered yet; a line after it is.
  client.write(R"({"command":["slow"],"request_id":2})"
               "\n");
  const QJsonObject state = Send(R"({"command":["get-state"],"request_id":3})");
  EXPECT_EQ(state["request_id"].toInt(), 3);
  EXPECT_EQ(state["error"].toString(), "success");
  release = true;
  const QJsonObject later = NextReply();
  worker.join();
  EXPECT_EQ(later["request_id"].toInt(), 2);
  EXPECT_EQ(later["error"].toString(), "success");
  EXPECT_TRUE(later["data"].toObject()["done"].toBool());
  // A second reply to the same request goes nowhere ...
  kept(RemoteControl::Reply{QJsonValue(), "again"});
  EXPECT_EQ(Send(R"({"command":["get-state"],"request_id":4})")["request_id"].toInt(), 4);
  // ... nor does one that comes after the remote control is gone.
  client.write(R"({"command":["slow"],"request_id":5})"
               "\n");
  ASSERT_TRUE(PumpUntil([&] { return started == 2; }));
  remote.reset();
  kept(RemoteControl::Reply{QJsonValue(), "gone"});
  for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
  EXPECT_FALSE(client.canReadLine());
}

TEST_F(RemoteControlTest, AsynchronousCommandCannotReplaceABuiltInOne) {
  remote->AddAsyncCommand("get-state", [](const QJsonArray&, RemoteControl::ReplyLater) {
    return std::optional<RemoteControl::Reply>(RemoteControl::Reply{QJsonValue(), "replaced"});
  });
  EXPECT_EQ(Send(R"({"command":["get-state"]})")["error"].toString(), "success");
}

TEST_F(RemoteControlTest, QuitRunsShutdownAndEndsLoop) {
  client.write(R"({"command":["quit"]})"
               "\n");
  EXPECT_EQ(RunEventLoop(), 0);
  EXPECT_EQ(handler.destroyed, 1);
}

}  // namespace
}  // namespace kestrelio
