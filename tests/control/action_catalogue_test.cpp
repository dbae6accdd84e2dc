// The action catalogue's lookups, descriptions and value conversions, and firing its commands.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "control/action_catalogue.h"
#include "control/posted_commands.h"

namespace {

TEST(ActionCatalogue, KeysAndIdsAreUniqueRowsAreFoundAndDescribedAndTogglesResolve) {
  std::set<std::string> keys;
  std::set<uint32_t> ids;
  for (int i = 0; i < kActionCount; ++i) {
    const ActionRow& row = ActionCatalogue_Row(i);
    EXPECT_LT(row.commandId, 65536u) << row.keyName;  // ids travel in 16 bits
    keys.insert(row.keyName);
    ids.insert(row.commandId);
    // Exactly the "Now" rows run at once instead of being posted.
    EXPECT_EQ(TransportNow_IsImmediate(row.commandId), row.kind == ActionKind::Now) << row.keyName;
  }
  EXPECT_TRUE(keys.size() == 136u && ids.size() == 137u);
  EXPECT_EQ(ActionCatalogue_RowOfCommand(12345), 0);  // unknown: row 0
  uint32_t id = 7;
  EXPECT_TRUE(ActionCatalogue_CommandOfKey("track_volume", &id) && id == 32813u);
  EXPECT_TRUE(!ActionCatalogue_CommandOfKey("Track_Volume", &id) && id == 32813u);  // case-sensitive
  const std::pair<ControlAction, const char*> described[] = {{{32806, 2}, "Mute Track (Toggle) - 3"},
      {{32806, 8}, "Mute Track (Toggle) - Current"}, {{112, 0}, "Set Track - 1"},
      {{32776, 3}, "Transport Play"} /* no track part */, {{32824, 0}, "No Text For Message"}};
  for (const auto& [action, text] : described) EXPECT_EQ(Describe(action), text) << text;
  // The toggles run what the transport's state calls for.
  const struct { uint32_t id; TransportState state; TransportOp op; } toggles[] = {
      {32934, Paused, TransportOp::Play},     {32934, Playing, TransportOp::Pause},
      {32933, Stopped, TransportOp::Record},  {32933, Recording, TransportOp::Stop},
      {32935, Playing, TransportOp::Record},  {32935, Stopped, TransportOp::Play},
      {32792, Playing, TransportOp::SetLoop},
  };
  for (const auto& c : toggles) EXPECT_EQ(TransportNow_Resolve(c.id, c.state), c.op) << c.id;
}

TEST(ActionCatalogue, ValueConversionsAtTheirEdges) {
  // A full-scale 7-bit trigger value (65534) sets 126; the full 16-bit value is the top.
  const int s127[][2] = {{65535, 127}, {516, 0}, {517, 1}, {65534, 126}};
  for (const auto& [in, out] : s127) EXPECT_EQ(ActionValue_S127(in), out) << in;
  EXPECT_TRUE(ActionValue_S1(0) == 0.0 && ActionValue_S1(65535) == 1.0);
  EXPECT_EQ(ActionValue_Ms(32768, 1000), 500);
  EXPECT_NEAR(ActionValue_Pos(32768), 0.5, 1e-4);
  // Filter Mode (Set): the value capped at 3, so a trigger's scaled value gives 0 or 3.
  EXPECT_TRUE(ActionValue_FilterMode(2) == 2 && ActionValue_FilterMode(516) == 3 && FilterMode_Next(3) == 0);
  // Loop time mode: "2" sets Seconds, "4" Max Time, Current steps, and steps wrap.
  const int after[][3] = {{1, 2, 0}, {3, 0, 2}, {8, 1, 2}, {0, 2, 0}};
  for (const auto& [value, mode, next] : after) EXPECT_EQ(LoopTimeMode_After(value, mode), next) << value;
}

struct RecordingTransport : TransportNow {
  std::vector<uint32_t> ran;
  bool ExecuteTransportNow(uint32_t id) override { return TransportNow_IsImmediate(id) && (ran.push_back(id), true); }
};

TEST(Fire, ImmediateCommandsRunOthersArePostedInOrderAndNotified) {
  ControlCommands().Clear();
  RecordingTransport transport;
  Control_InstallTransportNow(&transport);
  int notified = 0;
  ControlCommands().SetNotify([](void* user) { ++*static_cast<int*>(user); }, &notified);
  Fire({32771, 0}, 1234);
  Fire({32813, 5}, 0x1FFFF);  // only the low 16 bits of the value travel
  Fire({32806, 8}, 0);
  Control_InstallTransportNow(nullptr);
  Fire({32771, 0}, 0);  // without a transport even an immediate command is posted
  ControlCommands().SetNotify(nullptr, nullptr);
  EXPECT_EQ(transport.ran, std::vector<uint32_t>{32771});
  EXPECT_EQ(notified, 3);
  EXPECT_EQ(Posted(), (Commands{{32813, 0xFFFF, 5}, {32806, 0, 8}, {32771, 0, 0}}));
}

}  // namespace
