// Fuzz target for the OSC server's packet reader: any byte string as a UDP packet. Each
// message of it (a bundle holds several) is either refused with a reason or becomes a
// request whose fields are in range:
// a catalogue command, a track field 0..8 (0..3 for the loop time mode), a reply URL and
// path the sender may be answered at, a value name the state knows.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "control/action_catalogue.h"
#include "control/osc_request.h"
#include "control/osc_state.h"

namespace {

void Check(const OscRequest& request) {
  switch (request.kind) {
    case OscRequestKind::Action:
      if (ActionCatalogue_RowOfCommand(request.action.commandId) == 0 &&
          ActionCatalogue_Row(0).commandId != request.action.commandId)
        std::abort();
      if (request.action.track < 0 || request.action.track > 8) std::abort();
      break;
    case OscRequestKind::Get:
      if (!OscState_Knows(request.what)) std::abort();
      [[fallthrough]];
    case OscRequestKind::Register:
    case OscRequestKind::Unregister:
      if (request.replyUrl.rfind("osc.udp://", 0) != 0 || request.replyPath.empty() || request.replyPath[0] != '/')
        std::abort();
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<OscParsed> parsed;
  OscRequest_ParsePacket(data, size, &parsed);
  // Every element takes at least four bytes of the packet: a packet can never give more.
  if (parsed.empty() && (size < 16 || std::memcmp(data, "#bundle", 8) != 0)) std::abort();  // only a bundle holds nothing
  if (parsed.size() > size / 4 + 1) std::abort();
  for (const OscParsed& p : parsed)
    if (p.reason == OscReject::None) Check(p.request);
  return 0;
}
