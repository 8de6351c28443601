// The handset context: every piece of state the handset's modules share, owned in one
// place and handed to each module by reference. Lives from start-up to the end of the
// process's main function.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "app/command_line.h"
#include "base/event.h"
#include "base/state/call_flags.h"
#include "base/state/media_statistics.h"
#include "base/state/network_loss_watch.h"
#include "base/state/own_identity.h"
#include "base/state/view_flags.h"
#include "device/battery.h"
#include "device/device_id.h"
#include "device/identity.h"
#include "device/profile_paths.h"
#include "device/settings_store.h"
#include "media/capture_state.h"
#include "media/decoder.h"
#include "media/display_thread.h"
#include "media/encoder.h"
#include "net/presence/online_db.h"
#include "net/transport/control_port.h"
#include "net/transport/media_counters.h"

namespace kestrelio {

struct HandsetContext {
  HandsetContext(CommandLine line, ProfilePaths profile)
      : command_line(std::move(line)), paths(std::move(profile)), settings(paths.settings_file) {}

  const CommandLine command_line;
  const ProfilePaths paths;
  SettingsStore settings;

  // The one record of the own device ID, number and user name; every module reads it.
  OwnIdentity identity;
  DeviceId device_id;
  BatteryGauge battery;

  CallFlags call;
  ViewFlags view;
  OnlineDb online_db;
  PeerLink peer_link;  // where messages to the peer go during a call

  MediaSettings media_settings;
  KeyframeRequests keyframes;
  CaptureState capture;
  EncoderState encoder;
  DecoderState decoder;
  PeerBitmap peer_bitmap;
  MediaReceiveCounters receive_counters;
  MediaStatistics media_statistics;  // the call's figures for people
  NetworkLossWatch network_loss;     // when the peer's video was last heard

  // Serialises every end of a call (hang-up, network loss, shutdown, remote release).
  std::mutex connection_mutex;
  // Serialises writing and moving the study logs.
  std::timed_mutex logging_mutex;
  Event shutdown;
  std::string program_start_time;
};

}  // namespace kestrelio
