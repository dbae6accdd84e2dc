#pragma once
// One OSC packet turned into a request of the program's address space, or the reason it
// is ignored. The library (liblo) decodes the packet; this module only checks that the
// address, the argument types and the values mean something here:
//
//   /kestrine/action     s:name [i:track] [f:value]
//   /kestrine/get        s:what s:reply_url s:reply_path
//   /kestrine/register   s:reply_url s:reply_path
//   /kestrine/unregister s:reply_url s:reply_path
//
// A bundle (#bundle) carries messages, or bundles, of its own: each is taken as if it had
// come alone, in the order they stand. The time tag is not waited for: a bundle's
// messages act when it arrives.
//
// Pure and thread-free: the OSC thread calls it on every packet, the fuzz target too.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "control/control_action.h"

// Larger packets are refused unread: no request of ours comes near it.
inline constexpr size_t kOscMaxPacketBytes = 1024;
// Bundles inside bundles go this deep at most; a deeper one is malformed.
inline constexpr int kOscMaxBundleDepth = 4;

enum class OscRequestKind : uint8_t { Action, Get, Register, Unregister };

// Why a packet is ignored; each reason is counted apart.
enum class OscReject : uint8_t {
  None,
  Oversized,      // more than kOscMaxPacketBytes
  Malformed,      // not an OSC message the library can decode, a bundle cut short or nested too deep
  UnknownPath,    // an address outside /kestrine/...
  WrongTypes,     // arguments missing, extra or of the wrong type
  UnknownAction,  // an action name the catalogue does not have
  BadTrack,       // a track outside 1..8 (9 is the current track)
  BadValue,       // a value that is not a finite number, a reply URL that is not osc.udp
  UnknownWhat,    // a /kestrine/get of something that is not reported
};
inline constexpr int kOscRejectCount = 9;
const char* OscReject_Name(OscReject reason);

struct OscRequest {
  OscRequestKind kind = OscRequestKind::Action;
  ControlAction action;  // Action: the command and track (0..7, 8 the current one)
  uint16_t value = 0;    // Action: the value as a MIDI trigger would fire it
  std::string what;      // Get
  std::string replyUrl;  // Get, Register, Unregister: osc.udp://host:port/
  std::string replyPath;
};

// Decodes `size` bytes holding one message (a bundle is Malformed here). On
// OscReject::None *request holds the request.
OscReject OscRequest_Parse(const void* data, size_t size, OscRequest* request);

// One message of a packet: its request, or the reason it is ignored.
struct OscParsed {
  OscReject reason = OscReject::None;
  OscRequest request;
};
// Decodes a packet into *out (cleared first): one result for a message, one for each
// message of a bundle, nested bundles unpacked in place. An oversized packet gives one
// Oversized; where a bundle is cut short or nested too deep, one Malformed stands for
// what could not be read, after the messages read before it.
void OscRequest_ParsePacket(const void* data, size_t size, std::vector<OscParsed>* out);

// The 16-bit trigger value an OSC value stands for: 0..1 spans the whole range, as a
// controller's travel does; the filter mode row takes the mode number itself (0..3).
uint16_t OscRequest_Value(uint32_t commandId, double value);
