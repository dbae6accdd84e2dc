// Ableton Link sessions, each run in a private network namespace so that no packet leaves the machine (Link
// discovers peers by multicast on every interface). The test program runs itself again inside the namespace:
// `unshare -n`, then loopback up with a multicast route, or no interface up at all for the machine without a
// network. Where namespaces are refused (not root), the tests skip and say so.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "audio_io/link_session.h"

namespace {

constexpr const char* kInside = "KESTRINE_LINK_NAMESPACE";

bool Inside() { return std::getenv(kInside) != nullptr; }

// Runs this test again in a new network namespace after `setup` (shell commands); its output and exit code.
int RunInNamespace(const std::string& setup, std::string* output) {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string filter = std::string(info->test_suite_name()) + "." + info->name();
  const std::string command = std::string("unshare -n sh -c '") + setup + "exec env " + kInside +
                              "=1 /proc/" + std::to_string(::getpid()) + "/exe --gtest_filter=" + filter + "' 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return -1;
  std::array<char, 512> buffer;
  while (std::fgets(buffer.data(), buffer.size(), pipe)) *output += buffer.data();
  const int status = ::pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool NamespacesAllowed() { return std::system("unshare -n true >/dev/null 2>&1") == 0; }

// Outside the namespace: runs the test inside one and reports its result. True when the caller is inside and
// should run the body.
#define RUN_INSIDE_NAMESPACE(setup)                                                                 \
  do {                                                                                              \
    if (!Inside()) {                                                                                \
      if (!NamespacesAllowed())                                                                     \
        GTEST_SKIP() << "private network namespaces are refused here (unshare -n needs root): "     \
                        "Link is not started, as it would reach the real network";                  \
      std::string output;                                                                           \
      const int code = RunInNamespace(setup, &output);                                              \
      EXPECT_EQ(code, 0) << output;                                                                 \
      if (output.find("[  SKIPPED ]") != std::string::npos && output.find("[  PASSED  ]") == std::string::npos) \
        GTEST_SKIP() << output;                                                                     \
      std::printf("%s", output.substr(output.find("[ RUN")).c_str());                              \
      return;                                                                                       \
    }                                                                                               \
  } while (0)

const char* const kLoopbackOnly =
    "ip link set lo up && ip link set lo multicast on && ip route add 224.0.0.0/4 dev lo && ";

template <class F>
bool Within(double seconds, F&& done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

}  // namespace

// Not even loopback: enabling Link, setting the tempo and reading the session all work; no peers come.
TEST(LinkSession, StartsOnAMachineWithoutANetwork) {
  RUN_INSIDE_NAMESPACE("");
  LinkSession link(97.0);
  ASSERT_TRUE(link.Usable()) << link.Error();
  link.Enable(true);
  EXPECT_TRUE(link.Enabled());
  link.EnableStartStopSync(true);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(link.Peers(), 0);
  EXPECT_DOUBLE_EQ(link.Read(link.NowMicros(), 4).bpm, 97.0);
  link.SetTempo(111.0);
  EXPECT_DOUBLE_EQ(link.Tempo(), 111.0);
  // Alone, a requested beat lands where asked: bar 1 starts now.
  const int64_t now = link.NowMicros();
  link.RequestBeatFromAudio(0.0, now, 4);
  EXPECT_NEAR(link.Read(now, 4).beat, 0.0, 1e-6);
  EXPECT_NEAR(link.Read(now + 60'000'000 / 111, 4).phase, 1.0, 1e-5);  // to the microsecond
  link.Enable(false);
  EXPECT_FALSE(link.Enabled());
}

// Kestrine's session and another peer on loopback: they find each other; the peer sets 133 BPM and Kestrine
// follows within a second; their bar phases at one host time agree within a millisecond; the start/stop state
// is shared; and a tempo Kestrine leads with reaches the peer.
TEST(LinkSession, FollowsAPeerOnLoopback) {
  RUN_INSIDE_NAMESPACE(kLoopbackOnly);
  LinkSession kestrine(120.0), peer(90.0);
  ASSERT_TRUE(kestrine.Usable() && peer.Usable());
  kestrine.EnableStartStopSync(true), peer.EnableStartStopSync(true);
  kestrine.Enable(true), peer.Enable(true);
  ASSERT_TRUE(Within(10.0, [&] { return kestrine.Peers() == 1 && peer.Peers() == 1; })) << "the peers never met";

  peer.SetTempo(133.0);
  const auto set = std::chrono::steady_clock::now();
  ASSERT_TRUE(Within(1.0, [&] { return std::fabs(kestrine.Read(kestrine.NowMicros(), 4).bpm - 133.0) < 0.01; }))
      << "still at " << kestrine.Read(kestrine.NowMicros(), 4).bpm;
  const double followMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - set).count();
  ::testing::Test::RecordProperty("link_follow_ms", std::to_string(followMs));

  // Link measures the peers' clock offsets over a short while after they meet; phases then agree.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  double worstMs = 0;
  for (int i = 0; i < 50; ++i) {
    const int64_t t = kestrine.NowMicros();
    const double a = kestrine.Read(t, 4).phase, b = peer.Read(t, 4).phase;
    double d = std::fabs(a - b);
    d = std::min(d, 4 - d);  // across the bar line
    worstMs = std::max(worstMs, d * 60'000.0 / 133.0);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_LT(worstMs, 1.0);
  ::testing::Test::RecordProperty("link_phase_error_ms", std::to_string(worstMs));
  std::printf("Link: followed 133 BPM after %.1f ms; bar phases within %.4f ms\n", followMs, worstMs);

  peer.SetPlaying(true);
  EXPECT_TRUE(Within(1.0, [&] { return kestrine.Read(kestrine.NowMicros(), 4).playing; }));
  kestrine.CommitTempoFromAudio(140.0, kestrine.NowMicros());
  EXPECT_TRUE(Within(1.0, [&] { return std::fabs(peer.Read(peer.NowMicros(), 4).bpm - 140.0) < 0.01; }));
}
