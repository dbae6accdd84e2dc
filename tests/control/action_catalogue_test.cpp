// The action catalogue, its conversions and descriptions, and firing into the command
// queue or the immediate transport commands.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "control/action_catalogue.h"
#include "control/fire_action.h"

namespace {

TEST(ActionCatalogue, RowsKeepTheirOrderAndIds) {
  EXPECT_STREQ(ActionCatalogue_Row(0).keyName, "transport_record");
  EXPECT_EQ(ActionCatalogue_Row(2).commandId, 32776u);
  EXPECT_STREQ(ActionCatalogue_Row(92).displayName, "Filter Mode (Set)");
  EXPECT_EQ(ActionCatalogue_Row(104).commandId, 110u);
  EXPECT_STREQ(ActionCatalogue_Row(135).keyName, "set_all_tracks_time");
  EXPECT_EQ(ActionCatalogue_Row(135).commandId, 32875u);
  // Every command id fits 16 bits and, but for the shared key, every key is unique.
  std::set<std::string> keys;
  std::set<uint32_t> ids;
  for (int i = 0; i < kActionCount; ++i) {
    EXPECT_LT(ActionCatalogue_Row(i).commandId, 65536u);
    keys.insert(ActionCatalogue_Row(i).keyName);
    ids.insert(ActionCatalogue_Row(i).commandId);
  }
  EXPECT_EQ(keys.size(), 135u);
  EXPECT_EQ(ids.size(), 136u);
  int now = 0, track = 0;
  for (int i = 0; i < kActionCount; ++i) {
    now += ActionCatalogue_Row(i).kind == ActionKind::Now;
    track += ActionCatalogue_Row(i).trackUse == TrackUse::Track;
  }
  EXPECT_EQ(now, 9);
  EXPECT_EQ(track, 17);
}

TEST(ActionCatalogue, LookupsByIdAndKey) {
  EXPECT_EQ(ActionCatalogue_RowOfCommand(32806), 20);
  EXPECT_EQ(ActionCatalogue_RowOfCommand(12345), 0);  // unknown: row 0
  uint32_t id = 7;
  EXPECT_TRUE(ActionCatalogue_CommandOfKey("track_volume", &id));
  EXPECT_EQ(id, 32813u);
  // The shared key reads as the later row: a row 98 trigger comes back as row 127.
  EXPECT_TRUE(ActionCatalogue_CommandOfKey(ActionCatalogue_Row(98).keyName, &id));
  EXPECT_EQ(ActionCatalogue_RowOfCommand(id), 127);
  id = 7;
  EXPECT_FALSE(ActionCatalogue_CommandOfKey("Track_Volume", &id));  // case-sensitive
  EXPECT_EQ(id, 7u);
}

TEST(ActionCatalogue, Describe) {
  EXPECT_EQ(Describe({32806, 2}), "Mute Track (Toggle) - 3");
  EXPECT_EQ(Describe({32806, 8}), "Mute Track (Toggle) - Current");
  EXPECT_EQ(Describe({112, 0}), "Set Track - 1");
  EXPECT_EQ(Describe({32949, 9}), "Submix Track (Set) - Current");
  EXPECT_EQ(Describe({32776, 3}), "Transport Play");
  EXPECT_EQ(Describe({32824, 0}), "No Text For Message");
}

TEST(ActionCatalogue, ValueConversions) {
  EXPECT_EQ(ActionValue_S127(65535), 127);
  EXPECT_EQ(ActionValue_S127(516), 0);
  EXPECT_EQ(ActionValue_S127(517), 1);
  EXPECT_EQ(ActionValue_S127(65534), 126);  // a full-scale 7-bit value sets 126
  EXPECT_DOUBLE_EQ(ActionValue_S1(65535), 65535 * 1.5259021896696422e-5);
  EXPECT_DOUBLE_EQ(ActionValue_S1(0), 0.0);
  EXPECT_EQ(ActionValue_Ms(0, 640), 0);
  EXPECT_EQ(ActionValue_Ms(32768, 1000), 500);
  EXPECT_NEAR(ActionValue_Pos(32768), 0.5, 1e-4);
  EXPECT_TRUE(ActionValue_SetOn(1));
  EXPECT_FALSE(ActionValue_SetOn(0));
  // Filter Mode (Set): the value capped at 3, so a trigger's scaled value gives 0 or 3.
  EXPECT_EQ(ActionValue_FilterMode(0), 0);
  EXPECT_EQ(ActionValue_FilterMode(2), 2);
  EXPECT_EQ(ActionValue_FilterMode(516), 3);
  EXPECT_EQ(ActionCatalogue_Row(92).conversion, ValueConversion::FilterMode);
  EXPECT_EQ(FilterMode_Next(2), 3);
  EXPECT_EQ(FilterMode_Next(3), 0);
}

TEST(ActionCatalogue, LoopTimeModeReadsTheTrackField) {
  EXPECT_EQ(ActionCatalogue_Row(129).trackUse, TrackUse::Mode);
  EXPECT_EQ(LoopTimeMode_After(0, 0), 1);  // steps
  EXPECT_EQ(LoopTimeMode_After(0, 2), 0);  // wraps
  EXPECT_EQ(LoopTimeMode_After(1, 2), 0);  // "2" sets Seconds
  EXPECT_EQ(LoopTimeMode_After(3, 0), 2);  // "4" sets Max Time
  EXPECT_EQ(LoopTimeMode_After(8, 1), 2);  // Current steps
}

TEST(TransportNow, ResolvesTheImmediateCommands) {
  EXPECT_EQ(TransportNow_Resolve(32934, Paused), TransportOp::Play);
  EXPECT_EQ(TransportNow_Resolve(32934, Playing), TransportOp::Pause);
  EXPECT_EQ(TransportNow_Resolve(32933, Stopped), TransportOp::Record);
  EXPECT_EQ(TransportNow_Resolve(32933, Recording), TransportOp::Stop);
  EXPECT_EQ(TransportNow_Resolve(32935, Playing), TransportOp::Record);
  EXPECT_EQ(TransportNow_Resolve(32935, Stopped), TransportOp::Play);
  EXPECT_EQ(TransportNow_Resolve(32792, Playing), TransportOp::SetLoop);
  EXPECT_FALSE(TransportNow_IsImmediate(32932));  // Toggle Stop/Play is posted
  for (int i = 0; i < kActionCount; ++i) {
    const ActionRow& row = ActionCatalogue_Row(i);
    EXPECT_EQ(TransportNow_IsImmediate(row.commandId), row.kind == ActionKind::Now) << row.keyName;
  }
}

struct RecordingTransport : TransportNow {
  std::vector<uint32_t> ran;
  bool ExecuteTransportNow(uint32_t id) override {
    if (!TransportNow_IsImmediate(id)) return false;
    ran.push_back(id);
    return true;
  }
};

class FireTest : public ::testing::Test {
 protected:
  void SetUp() override { ControlCommands().Clear(); }
  void TearDown() override {
    Control_InstallTransportNow(nullptr);
    ControlCommands().Clear();
  }
};

TEST_F(FireTest, ImmediateCommandsRunAndOthersArePostedInOrder) {
  RecordingTransport transport;
  Control_InstallTransportNow(&transport);
  Fire({32771, 0}, 1234);
  Fire({32813, 5}, 0x1FFFF);  // only the low 16 bits of the value travel
  Fire({32806, 8}, 0);
  EXPECT_EQ(transport.ran, std::vector<uint32_t>{32771});
  ControlCommand c;
  ASSERT_TRUE(ControlCommands().Take(&c));
  EXPECT_EQ(c, (ControlCommand{32813, 0xFFFF, 5}));
  ASSERT_TRUE(ControlCommands().Take(&c));
  EXPECT_EQ(c, (ControlCommand{32806, 0, 8}));
  EXPECT_FALSE(ControlCommands().Take(&c));
}

TEST_F(FireTest, WithoutTransportEverythingIsPostedAndNotified) {
  int notified = 0;
  ControlCommands().SetNotify([](void* user) { ++*static_cast<int*>(user); }, &notified);
  Fire({32776, 0}, 0);
  ControlCommands().SetNotify(nullptr, nullptr);
  EXPECT_EQ(notified, 1);
  ControlCommand c;
  ASSERT_TRUE(ControlCommands().Take(&c));
  EXPECT_EQ(c.commandId, 32776);
}

}  // namespace
