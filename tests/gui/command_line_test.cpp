// The command line: what starts the window, what renders, and what is a usage error
// (exit code 2, usage on stderr).
#include <gtest/gtest.h>

#include "gui/command_line.h"

namespace {

CommandLine Parse(const QStringList& rest) {
  testing::internal::CaptureStderr();
  testing::internal::CaptureStdout();
  CommandLine line = CommandLine_Parse(QStringList{QStringLiteral("/usr/bin/kestrine")} + rest);
  testing::internal::GetCapturedStdout();
  testing::internal::GetCapturedStderr();
  return line;
}

}  // namespace

TEST(CommandLine, SessionRenderAndUsageErrors) {
  CommandLine line = Parse({"gig.session", "-platform", "offscreen"});
  EXPECT_FALSE(line.exit || line.render);
  EXPECT_EQ(line.session, "gig.session");

  line = Parse({"--render", "gig.session", "out.wav", "--passes", "3"});
  ASSERT_TRUE(line.render && !line.exit);
  EXPECT_EQ(line.renderRequest.session, "gig.session");
  EXPECT_EQ(line.renderRequest.output, "out.wav");
  EXPECT_EQ(line.renderRequest.passes, 3);
  EXPECT_EQ(Parse({"--render", "gig.session", "out.wav", "--seconds", "2.5"}).renderRequest.seconds, 2.5);
  EXPECT_FALSE(line.renderRequest.floatSamples);
  EXPECT_EQ(line.renderRequest.track, 0);
  line = Parse({"--render", "gig.session", "out.wav", "--float", "--mix", "8"});
  EXPECT_TRUE(line.render && line.renderRequest.floatSamples);
  EXPECT_EQ(line.renderRequest.track, 8);
  EXPECT_EQ(Parse({"--render", "gig.session", "out.wav", "--mix", "all"}).renderRequest.track, 0);

  for (const QStringList& bad : {QStringList{"--render", "gig.session"},
                                 QStringList{"--render", "g.session", "o.wav", "--seconds", "1", "--passes", "1"},
                                 QStringList{"--render", "g.session", "o.wav", "--seconds", "-1"},
                                 QStringList{"--render", "g.session", "o.wav", "--passes", "two"},
                                 QStringList{"--render", "g.session", "o.wav", "--mix", "9"},
                                 QStringList{"--render", "g.session", "o.wav", "--mix", "0"},
                                 QStringList{"--float"}, QStringList{"--mix", "1"},
                                 QStringList{"--seconds", "3"}, QStringList{"a.session", "b.session"},
                                 QStringList{"--no-such-option"}}) {
    line = Parse(bad);
    EXPECT_TRUE(line.exit && line.exitCode == 2) << bad.join(' ').toStdString();
  }
  line = Parse({"--version"});
  EXPECT_TRUE(line.exit && line.exitCode == 0);
}

TEST(CommandLine, SyncChoosesTheTempoSourceForOneRun) {
  EXPECT_EQ(Parse({}).syncSource, -1);
  const char* words[] = {"internal", "midi", "jack", "link"};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Parse({"--sync", words[i]}).syncSource, i) << words[i];
  for (const QStringList& bad : {QStringList{"--sync", "MIDI"}, QStringList{"--sync", "ableton"}, QStringList{"--sync"}}) {
    const CommandLine line = Parse(bad);
    EXPECT_TRUE(line.exit && line.exitCode == 2) << bad.join(' ').toStdString();
  }
}
