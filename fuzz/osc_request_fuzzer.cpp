// Fuzz target for the OSC server's packet reader: any byte string as a UDP packet. A
// packet is either refused with a reason or becomes a request whose fields are in range:
// a catalogue command, a track field 0..8 (0..3 for the loop time mode), a reply URL and
// path the sender may be answered at, a value name the state knows.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "control/action_catalogue.h"
#include "control/osc_request.h"
#include "control/osc_state.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  OscRequest request;
  const OscReject reason = OscRequest_Parse(data, size, &request);
  if (reason != OscReject::None) return 0;
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
  return 0;
}
