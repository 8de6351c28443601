// kestrelio: the handset program.
#include <QApplication>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/handset.h"
#include "app/handset_context.h"
#include "app/network_plan.h"
#include "app/remote_state.h"
#include "base/diag.h"
#include "device/profile_paths.h"
#include "device/settings_store.h"
#include "device/single_instance.h"
#include "device/updater.h"
#include "media/camera_driver.h"
#include "ui/main_window.h"
#include "ui/remote_control.h"

namespace {

constexpr std::string_view kWindowPlacementName = "WindowPlacement";
constexpr std::string_view kSmoothPicturesName = "SmoothPictures";

// The build tree keeps the camera drivers beside the program; an installed program keeps
// them in <prefix>/lib/kestrelio.
std::string CameraDriverDir() {
  std::string beside = kestrelio::ProgramDir();
  if (std::filesystem::exists(beside + "/libkcam-synthetic.so")) return beside;
  return beside + "/../lib/kestrelio";
}

}  // namespace

int main(int argc, char** argv) {
  using namespace kestrelio;
  QApplication application(argc, argv);

  std::vector<std::string> args;
  for (const QString& arg : QCoreApplication::arguments().mid(1)) args.push_back(arg.toStdString());
  std::string error;
  std::optional<CommandLine> command_line = ParseCommandLine(args, error);
  if (!command_line) {
    std::fprintf(stderr, "kestrelio: %s\n", error.c_str());
    return 2;
  }

  ProfilePaths paths = MakeProfilePaths(command_line->profile_dir);
  if (paths.profile_dir.empty() || !EnsureProfileFolder(paths)) {
    std::fprintf(stderr, "kestrelio: no usable profile folder\n");
    return 1;
  }
  DiagFileScope diagnostic_file(paths.diagnostic_log);

  // One handset per profile: a second start raises the first window and ends.
  MainWindow* raise_target = nullptr;
  SingleInstance instance(paths.profile_dir);
  InstanceClaim claim = instance.Claim([&raise_target] {
    if (raise_target != nullptr) raise_target->Raise();
  });
  if (claim == InstanceClaim::kOtherRunning) return 0;

  auto context = std::make_unique<HandsetContext>(*command_line, paths);
  std::optional<NetworkPlan> plan = MakeNetworkPlan(*command_line, context->settings, error);
  if (!plan) {
    std::fprintf(stderr, "kestrelio: %s\n", error.c_str());
    return 2;
  }
  MainWindow main_window(context->call, context->view);
  main_window.SetMediaStatistics(&context->media_statistics);
  Handset handset(*context, main_window.window(), ProgramDir(), *plan);
  main_window.SetHandler(&handset);
  main_window.InitialiseForStartUp();
  // Where the window was last time, and how pictures are stretched, are in the
  // profile's own settings file.
  SettingsStore& settings = context->settings;
  std::optional<ScreenRect> placement;
  if (auto text = settings.GetString(kKestrelioKey, kWindowPlacementName)) {
    placement = ParsePlacement(*text);
  }
  main_window.PlaceAtOpening(placement);
  main_window.SetSmoothPictures(settings.GetDword(kKestrelioKey, kSmoothPicturesName).value_or(1) !=
                                0);
  main_window.SetSmoothPicturesListener(
      [&settings](bool on) { settings.SetDword(kKestrelioKey, kSmoothPicturesName, on ? 1 : 0); });
  main_window.SetPlacementListener([&settings](const ScreenRect& now) {
    settings.SetString(kKestrelioKey, kWindowPlacementName, FormatPlacement(now));
  });
  main_window.show();
  raise_target = &main_window;

  // Listening before start-up lets a script answer the boxes start-up may show.
  std::unique_ptr<RemoteControl> remote;
  if (!command_line->ipc_server.empty()) {
    remote = std::make_unique<RemoteControl>(main_window);
    if (!remote->Listen(QString::fromStdString(command_line->ipc_server))) return 1;
    AddHandsetState(*remote, *context, handset, main_window.window());
  }

  std::string camera =
      ResolveCameraLibrary(command_line->camera, CameraDriverDir(), CaptureDevicePresent());
  Diag("camera driver %s", camera.c_str());
  if (!handset.StartUp(camera)) return 0;

  const int code = RunEventLoop();
  settings.SetString(kKestrelioKey, kWindowPlacementName, FormatPlacement(main_window.Placement()));
  return code;
}
