// The screen-saver inhibit and the sign-in notification against fake desktop services
// on a private D-Bus daemon.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QStringList>
#include <QThread>
#include <QVariantMap>
#include <chrono>
#include <cstring>
#include <fstream>
#include <mutex>
#include <thread>

#include "device/notifications.h"
#include "device/power.h"
#include "tests/support/scratch_dir.h"

extern char** environ;

namespace kestrelio {
namespace {

// A dbus-daemon of our own, ended (by its pid) when the test ends.
class PrivateBus {
 public:
  explicit PrivateBus(const std::string& dir) {
    socket_ = dir + "/bus";
    address_ = "unix:path=" + socket_;
    // A bus of our own with no service activation, so no real desktop service can be
    // started in place of the fakes.
    std::string config = dir + "/bus.conf";
    std::ofstream(config) << "<busconfig><type>session</type><listen>" << address_
                          << "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                             "<allow send_destination=\"*\" eavesdrop=\"true\"/>"
                             "<allow eavesdrop=\"true\"/><allow own=\"*\"/>"
                             "</policy></busconfig>\n";
    std::string config_option = "--config-file=" + config;
    const char* argv[] = {"dbus-daemon", config_option.c_str(), "--nofork", "--nopidfile", nullptr};
    if (::posix_spawnp(&pid_, "dbus-daemon", nullptr, nullptr, const_cast<char**>(argv), environ) !=
        0) {
      pid_ = 0;
      return;
    }
    // The socket file appears at bind, a moment before the daemon listens: wait until a
    // connection is taken.
    while (!Accepts(socket_)) {
      if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {  // the daemon gave up
        pid_ = 0;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  ~PrivateBus() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  bool running() const { return pid_ > 0; }

  static bool Accepts(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0) return false;
    bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
  }
  const std::string& address() const { return address_; }

 private:
  pid_t pid_ = 0;
  std::string socket_;
  std::string address_;
};

// Answers every method call with a scripted reply and records the calls.
class FakeService : public QDBusVirtualObject {
 public:
  explicit FakeService(std::function<QList<QVariant>(const QDBusMessage&)> reply)
      : reply_(std::move(reply)) {}

  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    {
      std::lock_guard lock(mutex_);
      calls_.push_back(message);
    }
    QDBusMessage answer = message.createReply(reply_(message));
    connection.send(answer);
    return true;
  }
  QString introspect(const QString&) const override { return {}; }

  std::vector<QDBusMessage> calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }

 private:
  std::function<QList<QVariant>(const QDBusMessage&)> reply_;
  mutable std::mutex mutex_;
  std::vector<QDBusMessage> calls_;
};

// Runs the fake service on its own thread so blocking calls from the test get answers.
class ServiceHost {
 public:
  ServiceHost(const std::string& address, const QString& service, const QString& path,
              FakeService& object)
      : connection_(QDBusConnection::connectToBus(QString::fromStdString(address),
                                                  QStringLiteral("fake-") + service)) {
    thread_.start();
    object.moveToThread(&thread_);
    connection_.registerVirtualObject(path, &object);
    connection_.registerService(service);
  }
  ~ServiceHost() {
    thread_.quit();
    thread_.wait();
  }

 private:
  QDBusConnection connection_;
  QThread thread_;
};

struct App {
  int argc = 1;
  char name[16] = "dbus_test";
  char* argv[2] = {name, nullptr};
  QCoreApplication app{argc, argv};
};

TEST(DesktopServicesTest, BacklightHoldsAndReleasesTheScreenSaverInhibition) {
  App app;
  ScratchDir dir;
  PrivateBus bus(dir.path());
  if (!bus.running()) GTEST_SKIP() << "no dbus-daemon";

  {
    // No screen saver on the bus: nothing held, nothing breaks.
    PowerLayer power(bus.address());
    power.BacklightOn();
    EXPECT_FALSE(power.backlight_held());
    power.BacklightOff();
  }

  FakeService screen_saver([](const QDBusMessage& call) -> QList<QVariant> {
    if (call.member() == "Inhibit") return {QVariant::fromValue(77u)};
    return {};
  });
  ServiceHost host(bus.address(), "org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver",
                   screen_saver);
  PowerLayer power(bus.address());
  EXPECT_TRUE(power.SetUnattendedMode(true));
  EXPECT_TRUE(power.RequireWlan());
  power.BacklightOn();
  power.BacklightOn();  // a second call holds nothing more
  EXPECT_TRUE(power.backlight_held());
  power.BacklightOff();
  EXPECT_FALSE(power.backlight_held());

  std::vector<QDBusMessage> calls = screen_saver.calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].member(), "Inhibit");
  EXPECT_EQ(calls[0].arguments().value(0).toString(), "kestrelio");
  EXPECT_EQ(calls[1].member(), "UnInhibit");
  EXPECT_EQ(calls[1].arguments().value(0).toUInt(), 77u);
}

TEST(DesktopServicesTest, SignInBubbleBecomesADesktopNotificationThatReplacesTheLastOne) {
  App app;
  ScratchDir dir;
  PrivateBus bus(dir.path());
  if (!bus.running()) GTEST_SKIP() << "no dbus-daemon";

  DesktopNotifier notifier(bus.address());
  EXPECT_FALSE(notifier.ShowSignInBubble("<html><body>nobody listens</body></html>"));

  FakeService server([](const QDBusMessage& call) -> QList<QVariant> {
    if (call.member() == "GetCapabilities") {
      return {QStringList{QStringLiteral("body"), QStringLiteral("body-markup")}};
    }
    if (call.member() == "Notify") return {QVariant::fromValue(41u)};
    return {};
  });
  ServiceHost host(bus.address(), "org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                   server);
  const char html[] = "<html><body>[<b>Ann</b>] has just signed in.</body></html>";
  EXPECT_TRUE(notifier.ShowSignInBubble(html));
  EXPECT_TRUE(notifier.ShowSignInBubble(html));

  std::vector<QDBusMessage> notifies;
  for (const QDBusMessage& call : server.calls()) {
    if (call.member() == "Notify") notifies.push_back(call);
  }
  ASSERT_EQ(notifies.size(), 2u);
  QList<QVariant> first = notifies[0].arguments();
  ASSERT_EQ(first.size(), 8);
  EXPECT_EQ(first[1].toUInt(), 0u);
  EXPECT_EQ(first[3].toString(), "Incoming Users");
  EXPECT_EQ(first[4].toString(), "[<b>Ann</b>] has just signed in.");
  EXPECT_EQ(first[5].toStringList(), (QStringList{"dismiss", "Dismiss"}));
  EXPECT_EQ(first[7].toInt(), 5000);
  EXPECT_EQ(notifies[1].arguments()[1].toUInt(), 41u) << "the second bubble replaces the first";
}

}  // namespace
}  // namespace kestrelio
