#include "app/remote_state.h"

#include <QJsonArray>
#include <QJsonObject>
#include <mutex>

#include "app/handset.h"
#include "app/handset_context.h"
#include "app/remote_study.h"
#include "base/tick.h"
#include "ui/remote_control.h"

namespace kestrelio {
namespace {

QString Text(const std::string& text) { return QString::fromStdString(text); }

QJsonValue OwnJson(const HandsetContext& context, const Handset& handset) {
  QJsonObject own{
      {"phone_number", Text(context.identity.phone_number())},
      {"user_name", Text(context.identity.user_name())},
      {"device_id", Text(context.device_id.text)},
      {"profile", Text(context.paths.profile_dir)},
  };
  if (const PresenceClient* presence = handset.presence()) {
    NetAddress public_address = presence->OwnPublicAddress();
    own["local_address"] = Text(presence->OwnLocalAddress());
    own["local_port"] = presence->OwnLocalPort();
    own["public_address"] = Text(presence->OwnPublicAddressText());
    own["public_port"] = public_address.port;
  }
  return own;
}

QJsonValue OnlineDbJson(const HandsetContext& context) {
  QJsonArray entries;
  for (const OnlineUser& user : context.online_db.Snapshot()) {
    entries.append(QJsonObject{{"status", static_cast<int>(user.status)},
                               {"number", Text(user.number)},
                               {"name", Text(user.name)}});
  }
  return QJsonObject{{"count", static_cast<int>(context.online_db.Count())}, {"entries", entries}};
}

QJsonValue CallJson(const Handset& handset) {
  const CallService* calls = handset.calls();
  if (calls == nullptr) return QJsonValue();
  CallSnapshot call = calls->Snapshot();
  const CallStatistics& statistics = call.last_call.statistics;
  return QJsonObject{
      {"peer_name", Text(call.peer_name)},
      {"last_dialled_number", Text(call.last_dialled_number)},
      {"last_dialled_name", Text(call.last_dialled_name)},
      {"missed_calls", call.missed_calls},
      {"status_ticks", static_cast<qint64>(call.status_ticks)},
      {"in_call", call.in_call},
      {"calling", call.calling},
      {"last_call",
       QJsonObject{
           {"start_time", Text(call.last_call.start_time)},
           {"end_time", Text(call.last_call.end_time)},
           {"ticks", static_cast<qint64>(call.last_call.ticks)},
           {"start_battery", call.last_call.start_battery},
           {"end_battery", call.last_call.end_battery},
           {"sent_frame_sum", static_cast<qint64>(statistics.sent_frame_sum)},
           {"received_frame_sum", static_cast<qint64>(statistics.received_frame_sum)},
           {"encoded_byte_total", static_cast<qint64>(statistics.encoded_byte_total)},
           {"received_byte_total", static_cast<qint64>(statistics.received_byte_total)},
           {"lost_packet_total", static_cast<qint64>(statistics.lost_packet_total)},
       }},
  };
}

QJsonValue ChatJson(const Handset& handset) {
  QJsonArray lines;
  if (const CallService* calls = handset.calls()) {
    for (const std::string& line : calls->ChatLines()) lines.append(Text(line));
  }
  return lines;
}

// What the encoder holds: the settings the next open takes, the live ROI level read for
// every picture, and, while a call's encoder is open, its macroblock offsets.
QJsonValue EncoderJson(HandsetContext& context) {
  EncoderState& encoder = context.encoder;
  std::lock_guard lock(encoder.lock);
  QJsonArray offsets;
  for (float offset : encoder.quant_offsets) offsets.append(static_cast<double>(offset));
  return QJsonObject{
      {"roi_level", encoder.settings.roi_level},
      {"live_roi_level", encoder.roi_level.load(std::memory_order_relaxed)},
      {"bitrate_kbps", encoder.settings.bitrate_kbps},
      {"open", encoder.encoder != nullptr},
      {"roi_armed", encoder.roi_armed},
      {"quant_offsets", offsets},
  };
}

// What signalling and the video path dropped for who sent it or when.
QJsonValue DropsJson(const Handset& handset) {
  auto count = [](const std::atomic<uint32_t>& counter) {
    return static_cast<qint64>(counter.load(std::memory_order_relaxed));
  };
  const MediaDrops& media = handset.media_channel().drops();
  QJsonObject drops{{"media", QJsonObject{{"not_in_call", count(media.not_in_call)},
                                          {"not_peer", count(media.not_peer)}}}};
  if (const CallService* calls = handset.calls()) {
    const SignallingDrops& signalling = calls->signalling().drops();
    drops["signalling"] = QJsonObject{
        {"not_server", count(signalling.not_server)},
        {"not_requested", count(signalling.not_requested)},
        {"not_peer", count(signalling.not_peer)},
        {"not_current", count(signalling.not_current)},
        {"not_in_call", count(signalling.not_in_call)},
        {"incoming_turned_away", count(signalling.incoming_turned_away)},
    };
  }
  return drops;
}

// The running (or last) call's media figures, as the statistics overlay shows them.
QJsonValue MediaJson(const HandsetContext& context) {
  const MediaStatistics& s = context.media_statistics;
  const uint32_t now = TickCountMs();
  auto count = [](const std::atomic<uint32_t>& value) {
    return static_cast<qint64>(value.load(std::memory_order_relaxed));
  };
  auto milliseconds = [](const std::atomic<int32_t>& value) {
    const int32_t ms = value.load(std::memory_order_relaxed);
    return ms == MediaStatistics::kNone ? QJsonValue() : QJsonValue(ms);
  };
  return QJsonObject{
      {"frames_sent", count(s.frames_sent)},
      {"frames_received", count(s.frames_received)},
      {"frames_decoded", count(s.frames_decoded)},
      {"frames_painted", count(s.frames_painted)},
      {"frames_dropped", count(s.frames_dropped)},
      {"sent_kbps", static_cast<qint64>(s.sent.KbitPerSecond(now))},
      {"received_kbps", static_cast<qint64>(s.received.KbitPerSecond(now))},
      {"packets_lost", count(s.packets_lost)},
      {"last_rtt_ms", milliseconds(s.last_rtt_ms)},
      {"receive_to_paint_ms", milliseconds(s.receive_to_paint_ms)},
      {"overlay", context.view.call_statistics.load(std::memory_order_relaxed)},
  };
}

}  // namespace

void AddHandsetState(RemoteControl& remote, HandsetContext& context, Handset& handset,
                     Window& window) {
  // ["set-text", control_id, text]: types into a main-window control (the chat edit box).
  remote.AddCommand("set-text", [&window](const QJsonArray& args) {
    RemoteControl::Reply reply;
    if (args.size() != 2 || !args[0].isDouble() || !args[1].isString()) {
      reply.error = "set-text takes a control id and a text";
      return reply;
    }
    double id = args[0].toDouble();
    if (id != static_cast<int>(id) || id < 0 || id > 65535) {
      reply.error = "set-text: bad control id";
      return reply;
    }
    window.SetControlText(static_cast<int>(id), args[1].toString().toStdString());
    return reply;
  });
  remote.AddStateProvider("own", [&] { return OwnJson(context, handset); });
  remote.AddStateProvider("online_db", [&] { return OnlineDbJson(context); });
  remote.AddStateProvider("call", [&] { return CallJson(handset); });
  remote.AddStateProvider("chat", [&] { return ChatJson(handset); });
  remote.AddStateProvider("drops", [&] { return DropsJson(handset); });
  AddStudyRemote(remote, handset);
  remote.AddStateProvider("encoder", [&context] { return EncoderJson(context); });
  remote.AddStateProvider("media", [&context] { return MediaJson(context); });
  remote.AddStateProvider("battery", [&context] { return QJsonValue(context.battery.percent()); });
}

}  // namespace kestrelio
