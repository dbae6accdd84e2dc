#include "control/osc_request.h"

#include <lo/lo.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "control/action_catalogue.h"
#include "control/osc_state.h"

namespace {

struct MessageFree {
  void operator()(lo_message m) const { lo_message_free(m); }
};
using Message = std::unique_ptr<std::remove_pointer_t<lo_message>, MessageFree>;

// liblo's arguments sit on 4-byte boundaries inside the message, while its lo_arg union
// asks for 8: every value is copied out rather than read through the union.
int32_t Int(lo_arg* arg) {
  int32_t v;
  std::memcpy(&v, arg, sizeof v);
  return v;
}
float Float(lo_arg* arg) {
  float v;
  std::memcpy(&v, arg, sizeof v);
  return v;
}
const char* Text(lo_arg* arg) { return reinterpret_cast<const char*>(arg); }

// Only UDP replies: the server answers the way it is reached.
bool ReplyUrlUsable(const std::string& url) { return url.rfind("osc.udp://", 0) == 0 && url.size() < 256; }
bool ReplyPathUsable(const std::string& path) { return !path.empty() && path[0] == '/' && path.size() < 256; }

OscReject Action(const char* types, lo_arg** argv, int argc, OscRequest* request) {
  if (argc < 1 || argc > 3 || types[0] != 's') return OscReject::WrongTypes;
  int track = kCurrentTrack;
  bool trackGiven = false;
  double value = 0.0;
  // The optional track and value are told apart by type, so either may be left out.
  for (int i = 1; i < argc; ++i) {
    if (types[i] == 'i' && i == 1) {
      track = Int(argv[i]);
      trackGiven = true;
    } else if (types[i] == 'f' && i == argc - 1) {
      value = Float(argv[i]);
    } else {
      return OscReject::WrongTypes;
    }
  }
  uint32_t command = 0;
  if (!ActionCatalogue_CommandOfKey(Text(argv[0]), &command)) return OscReject::UnknownAction;
  if (!std::isfinite(value)) return OscReject::BadValue;
  const ActionRow& row = ActionCatalogue_Row(ActionCatalogue_RowOfCommand(command));
  int32_t field = kCurrentTrack;
  if (row.trackUse == TrackUse::Mode) {
    // Loop Time Mode reads its track field as the mode: 1..3 choose one, 0 steps on.
    if (trackGiven && (track < 0 || track > 3)) return OscReject::BadTrack;
    field = trackGiven ? track : 0;
  } else if (trackGiven) {
    if (track < 1 || track > 9) return OscReject::BadTrack;
    field = track - 1;
  }
  request->kind = OscRequestKind::Action;
  request->action = ControlAction{command, field};
  request->value = OscRequest_Value(command, value);
  return OscReject::None;
}

OscReject Reply(const char* types, lo_arg** argv, int argc, int first, OscRequest* request) {
  for (int i = 0; i < argc; ++i)
    if (types[i] != 's') return OscReject::WrongTypes;
  request->replyUrl = Text(argv[first]);
  request->replyPath = Text(argv[first + 1]);
  if (!ReplyUrlUsable(request->replyUrl) || !ReplyPathUsable(request->replyPath)) return OscReject::BadValue;
  return OscReject::None;
}

}  // namespace

const char* OscReject_Name(OscReject reason) {
  static const char* const kNames[kOscRejectCount] = {
      "none", "oversized", "malformed", "unknown path", "wrong types", "unknown action", "bad track", "bad value",
      "unknown what"};
  const int i = static_cast<int>(reason);
  return i >= 0 && i < kOscRejectCount ? kNames[i] : "?";
}

uint16_t OscRequest_Value(uint32_t commandId, double value) {
  if (!(value > 0.0)) return 0;  // NaN too
  if (commandId == CommandNumber::FilterModeSet) return static_cast<uint16_t>(std::lround(std::fmin(value, 3.0)));
  return static_cast<uint16_t>(std::lround(std::fmin(value, 1.0) * 65535.0));
}

namespace {

constexpr char kBundleTag[8] = {'#', 'b', 'u', 'n', 'd', 'l', 'e', '\0'};
constexpr size_t kBundleHeader = sizeof kBundleTag + 8;  // the tag, then the time tag

uint32_t BigEndian32(const unsigned char* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}

// A message, or a bundle whose elements (each a big-endian size, then that many bytes, a
// multiple of 4) are unpacked in order.
void ParseElement(const unsigned char* p, size_t size, int depth, std::vector<OscParsed>* out) {
  if (size < sizeof kBundleTag || std::memcmp(p, kBundleTag, sizeof kBundleTag) != 0) {
    OscParsed parsed;
    parsed.reason = OscRequest_Parse(p, size, &parsed.request);
    out->push_back(std::move(parsed));
    return;
  }
  const auto malformed = [out] { out->push_back(OscParsed{OscReject::Malformed, {}}); };
  if (depth >= kOscMaxBundleDepth || size < kBundleHeader) return malformed();
  size_t at = kBundleHeader;
  while (at < size) {
    if (size - at < 4) return malformed();
    const uint32_t length = BigEndian32(p + at);
    at += 4;
    if (length > size - at || length % 4 != 0) return malformed();
    ParseElement(p + at, length, depth + 1, out);
    at += length;
  }
}

}  // namespace

void OscRequest_ParsePacket(const void* data, size_t size, std::vector<OscParsed>* out) {
  out->clear();
  if (size > kOscMaxPacketBytes) {
    out->push_back(OscParsed{OscReject::Oversized, {}});
    return;
  }
  ParseElement(static_cast<const unsigned char*>(data), size, 0, out);
}

OscReject OscRequest_Parse(const void* data, size_t size, OscRequest* request) {
  if (size > kOscMaxPacketBytes) return OscReject::Oversized;
  if (size < 4) return OscReject::Malformed;
  // The library decodes a block it may write to: it gets a copy.
  std::vector<char> copy(static_cast<const char*>(data), static_cast<const char*>(data) + size);
  int result = 0;
  Message message(lo_message_deserialise(copy.data(), copy.size(), &result));
  if (!message) return OscReject::Malformed;
  const char* path = copy.data();  // the deserialiser checked it is a terminated string
  const char* types = lo_message_get_types(message.get());
  lo_arg** argv = lo_message_get_argv(message.get());
  const int argc = lo_message_get_argc(message.get());
  if (!types) types = "";

  if (std::strcmp(path, "/kestrine/action") == 0) return Action(types, argv, argc, request);
  if (std::strcmp(path, "/kestrine/get") == 0) {
    if (argc != 3) return OscReject::WrongTypes;
    const OscReject r = Reply(types, argv, argc, 1, request);
    if (r != OscReject::None) return r;
    request->kind = OscRequestKind::Get;
    request->what = Text(argv[0]);
    return OscState_Knows(request->what) ? OscReject::None : OscReject::UnknownWhat;
  }
  const bool reg = std::strcmp(path, "/kestrine/register") == 0;
  if (reg || std::strcmp(path, "/kestrine/unregister") == 0) {
    if (argc != 2) return OscReject::WrongTypes;
    request->kind = reg ? OscRequestKind::Register : OscRequestKind::Unregister;
    return Reply(types, argv, argc, 0, request);
  }
  return OscReject::UnknownPath;
}
