// Fuzz target for the session-manager client's packet reader: any byte string as a UDP
// packet from the manager. A packet is either dropped or becomes a request the program
// can act on: an open names a folder, a refusal carries a code and a message.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "control/nsm_client.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  NsmRequest request;
  if (!NsmRequest_Parse(data, size, &request)) return 0;
  if (request.kind == NsmRequestKind::Open && request.path.empty()) std::abort();
  if (request.kind != NsmRequestKind::Open && !request.path.empty()) std::abort();
  return 0;
}
