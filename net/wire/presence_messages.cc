#include "net/wire/presence_messages.h"

#include "base/diag.h"

namespace kestrelio {

using wire_internal::BeginMessage;
using wire_internal::CheckMessage;
using wire_internal::FieldsIfSound;

namespace {

constexpr size_t kKeepAliveReadEnd = 116;  // through the status

}  // namespace

size_t BuildKeepAlive(std::span<uint8_t> out, const KeepAliveFields& f) {
  if (!BeginMessage(out, MessageType::kKeepAlive, kKeepAliveBytes, f.counter)) return 0;
  ByteWriter w(out);
  w.Text(6, f.phone);
  w.Text(22, f.local_address);
  w.U16Le(42, f.local_port);
  w.Text(44, f.user_name);
  w.Text(76, f.version);
  w.Text(92, f.device_id);
  w.U16Le(114, f.status);
  w.Chars(116, kKeepAliveMarker);  // eight characters fill the message to its end
  return w.ok() ? kKeepAliveBytes : 0;
}

std::optional<KeepAliveFields> ParseKeepAlive(std::span<const uint8_t> datagram) {
  auto header = CheckMessage(datagram, MessageType::kKeepAlive, kKeepAliveReadEnd);
  if (!header) return std::nullopt;
  ByteReader r(datagram);
  KeepAliveFields f;
  f.counter = header->word4;
  f.phone = r.Text<16>(6);
  f.local_address = r.Text<20>(22);
  f.local_port = r.U16Le(42);
  f.user_name = r.Text<32>(44);
  f.version = r.Text<16>(76);
  f.device_id = r.Text<22>(92);
  f.status = r.U16Le(114);
  return FieldsIfSound(r, MessageType::kKeepAlive, datagram.size(), f);
}

size_t BuildUserListInd(std::span<uint8_t> out, const UserListFields& f) {
  if (f.entry_count > kUserListPageEntries) return 0;
  size_t length = UserListIndBytes(f.entry_count);
  if (!BeginMessage(out, MessageType::kUserListInd, length, f.word4)) return 0;
  ByteWriter w(out);
  w.Text(6, f.public_address);
  w.U16Le(26, f.public_port);
  w.U16Le(28, f.page);
  w.U16Le(30, f.page_count);
  w.U16Le(32, f.entry_count);
  w.U16Le(34, f.total);
  for (size_t i = 0; i < f.entry_count; ++i) {
    size_t at = kUserListHeaderBytes + kUserListEntryBytes * i;
    w.U16Le(at, f.entries[i].status);
    w.Text(at + 2, f.entries[i].phone);
    w.Text(at + 18, f.entries[i].user_name);
  }
  return w.ok() ? length : 0;
}

std::optional<UserListFields> ParseUserListInd(std::span<const uint8_t> datagram) {
  auto header = CheckMessage(datagram, MessageType::kUserListInd, kUserListHeaderBytes);
  if (!header) return std::nullopt;
  ByteReader r(datagram);
  UserListFields f;
  f.word4 = header->word4;
  f.public_address = r.Text<20>(6);
  f.public_port = r.U16Le(26);
  f.page = r.U16Le(28);
  f.page_count = r.U16Le(30);
  f.entry_count = r.U16Le(32);
  f.total = r.U16Le(34);
  if (f.page == 0 || f.page > f.page_count || f.page_count > kMaxUserListPages ||
      f.entry_count > kUserListPageEntries || f.total > kMaxListedUsers) {
    Diag("wire: dropped UserListInd page %u of %u with %u entries, total %u: out of range", f.page,
         f.page_count, f.entry_count, f.total);
    return std::nullopt;
  }
  if (datagram.size() < UserListIndBytes(f.entry_count)) {
    Diag("wire: dropped UserListInd of %zu bytes, its %u entries need %zu", datagram.size(),
         f.entry_count, UserListIndBytes(f.entry_count));
    return std::nullopt;
  }
  for (size_t i = 0; i < f.entry_count; ++i) {
    size_t at = kUserListHeaderBytes + kUserListEntryBytes * i;
    f.entries[i].status = r.U16Le(at);
    f.entries[i].phone = r.Text<16>(at + 2);
    f.entries[i].user_name = r.Text<32>(at + 18);
  }
  return FieldsIfSound(r, MessageType::kUserListInd, datagram.size(), f);
}

size_t BuildCallRequest(std::span<uint8_t> out, const CallRequestFields& f) {
  if (!BeginMessage(out, MessageType::kCallRequest, kCallRequestBytes, f.counter)) return 0;
  ByteWriter w(out);
  w.Text(6, f.phone);
  w.Text(22, f.callee);
  return w.ok() ? kCallRequestBytes : 0;
}

std::optional<CallRequestFields> ParseCallRequest(std::span<const uint8_t> datagram) {
  auto header = CheckMessage(datagram, MessageType::kCallRequest, kCallRequestBytes);
  if (!header) return std::nullopt;
  ByteReader r(datagram);
  CallRequestFields f{header->word4, r.Text<16>(6), r.Text<16>(22)};
  return FieldsIfSound(r, MessageType::kCallRequest, datagram.size(), f);
}

size_t BuildCallConnectInd(std::span<uint8_t> out, const CallConnectFields& f) {
  if (!BeginMessage(out, MessageType::kCallConnectInd, kCallConnectIndBytes, f.call_number)) {
    return 0;
  }
  ByteWriter w(out);
  w.U16Le(6, f.role);
  WriteEndpoint(w, 8, f.peer);
  w.Text(68, f.own_public_address);
  w.U16Le(88, f.own_public_port);
  w.Text(90, f.note);
  return w.ok() ? kCallConnectIndBytes : 0;
}

std::optional<CallConnectFields> ParseCallConnectInd(std::span<const uint8_t> datagram) {
  auto header = CheckMessage(datagram, MessageType::kCallConnectInd, kCallConnectIndBytes);
  if (!header) return std::nullopt;
  ByteReader r(datagram);
  CallConnectFields f;
  f.call_number = header->word4;
  f.role = r.U16Le(6);
  f.peer = ReadEndpoint(r, 8);
  f.own_public_address = r.Text<20>(68);
  f.own_public_port = r.U16Le(88);
  f.note = r.Text<22>(90);
  return FieldsIfSound(r, MessageType::kCallConnectInd, datagram.size(), f);
}

size_t BuildCallSetupReport(std::span<uint8_t> out, const CallSetupReportFields& f) {
  if (!BeginMessage(out, MessageType::kCallSetupReport, kCallSetupReportBytes, f.counter)) {
    return 0;
  }
  ByteWriter w(out);
  w.U16Le(6, f.outcome);
  w.U16Le(8, f.role);
  w.U16Le(10, f.state);
  w.U16Le(12, f.repetitions);
  WriteEndpoint(w, 14, f.peer);
  WriteEndpoint(w, 74, f.own);
  return w.ok() ? kCallSetupReportBytes : 0;
}

std::optional<CallSetupReportFields> ParseCallSetupReport(std::span<const uint8_t> datagram) {
  auto header = CheckMessage(datagram, MessageType::kCallSetupReport, kCallSetupReportBytes);
  if (!header) return std::nullopt;
  ByteReader r(datagram);
  CallSetupReportFields f;
  f.counter = header->word4;
  f.outcome = r.U16Le(6);
  f.role = r.U16Le(8);
  f.state = r.U16Le(10);
  f.repetitions = r.U16Le(12);
  f.peer = ReadEndpoint(r, 14);
  f.own = ReadEndpoint(r, 74);
  return FieldsIfSound(r, MessageType::kCallSetupReport, datagram.size(), f);
}

}  // namespace kestrelio
