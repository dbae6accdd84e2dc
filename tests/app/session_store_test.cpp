// Quicksaves, the default session and the in-progress save: folders and names, the
// overwrite question, the messages, and what a failure leaves of the session's state.
#include <gtest/gtest.h>

#include "app/session_fixture.h"

namespace session_test {
namespace {

namespace fs = std::filesystem;

class SessionStoreTest : public SessionTest {
 protected:
  int Count(const std::string& caption) const {
    int n = 0;
    for (const ShownMessage& m : dialog.shown) n += m.caption == caption;
    return n;
  }
};

TEST_F(SessionStoreTest, NumberedQuicksaveAsksBeforeOverwritingOnlyWhileWarned) {
  fs::create_directory(dir.path / "q");
  App_Preferences().quicksave_directory = Path("q");
  FillTrack(0, 0.5);
  const struct {
    int warn, answer;
    bool saved;
    int questions;
  } cases[] = {{1, IDOK, true, 0}, {1, IDCANCEL, false, 1}, {1, IDOK, true, 1}, {0, IDCANCEL, true, 0}};
  for (const auto& c : cases) {
    dialog.shown.clear();
    dialog.answers = {c.answer};
    App_Preferences().warn_quicksave = c.warn;
    fs::remove(dir.path / "q/Quicksave03/Quicksave03.session");
    App_SetDirty(app.get(), true);
    EXPECT_EQ(store->Quicksave("Quicksave03"), c.saved);
    EXPECT_EQ(Exists("q/Quicksave03/Quicksave03.session"), c.saved);
    EXPECT_EQ(app->dirty, !c.saved);
    EXPECT_EQ(Count("Overwrite Quicksave?"), c.questions);
    if (c.questions) {
      EXPECT_EQ(dialog.shown[0].text, "Quicksave Quicksave03 exists, overwrite?");
    }
    EXPECT_EQ(Count("Quicksave Complete"), 0);
  }
  EXPECT_TRUE(Exists("q/Quicksave03/Quicksave03_Midi.xml"));
  EXPECT_EQ(app->title, "Kestrine 1.73 - [Quicksave03]");

  // Loading meets saving under the same spelling; an unsaved number is the reader's message.
  Restart();
  App_Preferences().quicksave_directory = Path("q");
  ASSERT_TRUE(store->LoadQuicksave(3));
  EXPECT_EQ(app->sessionName, "Quicksave03");
  ExpectAudio(0, 0.5);
  EXPECT_FALSE(store->LoadQuicksave(4));
  EXPECT_TRUE(dialog.Saw("Couldn't open session file.", "File error"));
  EXPECT_FALSE(store->LoadQuicksave(9));
}

TEST_F(SessionStoreTest, TypedNameLosesItsExtensionAndIsConfirmed) {
  ASSERT_TRUE(store->Quicksave("Gig.session"));
  EXPECT_TRUE(Exists("Gig/Gig.session"));
  EXPECT_TRUE(Exists("Gig/Gig_Midi.xml"));
  EXPECT_EQ(app->sessionName, "Gig");
  EXPECT_EQ(app->sessionDirectory, Path("Gig"));
  EXPECT_EQ(Quicksave_LastName(), "Gig");
  EXPECT_TRUE(dialog.Saw("Quicksaved Session as Gig.", "Quicksave Complete"));

  EXPECT_STREQ(QuicksaveName_Check(""), "No name entered for quicksave.");
  EXPECT_STREQ(QuicksaveName_Check(std::string(260, 'n')), "Quicksave name too long");
  EXPECT_EQ(QuicksaveName_Check(std::string(259, 'n')), nullptr);
}

TEST_F(SessionStoreTest, RefusedOrFailedQuicksavesKeepTheSessionDirtyAndItsName) {
  fs::create_directories(dir.path / "Gig/Gig.session");  // the session file cannot be written
  App_SetDirty(app.get(), true);
  for (const char* name : {"../Escape", "a/b", "/tmp/Abs", "..", "Back\\slash", "Gig"}) {
    SCOPED_TRACE(name);
    dialog.shown.clear();
    EXPECT_FALSE(store->Quicksave(name));
    EXPECT_EQ(dialog.Saw("Invalid quicksave name", "Error"), name != std::string("Gig"));
    EXPECT_TRUE(app->dirty);
    EXPECT_EQ(app->sessionName, "untitled");
    EXPECT_EQ(app->sessionDirectory, dir.path.string());
  }
  EXPECT_EQ(fs::directory_iterator(dir.path)->path().filename(), "Gig");
  EXPECT_EQ(Count("Quicksave Complete"), 0);
}

TEST_F(SessionStoreTest, InProgressSaveOverwritesWithoutAWord) {
  fs::create_directory(dir.path / "InProgress");
  WriteBytes(Path("InProgress/InProgress.session"), "old");
  App_Preferences().quicksave_directory = Path("elsewhere");
  FillTrack(2, 0.5);
  ASSERT_TRUE(store->SaveInProgress());
  EXPECT_TRUE(dialog.shown.empty());
  EXPECT_NE(ReadBytes(Path("InProgress/InProgress.session")), "old");
  EXPECT_TRUE(Exists("InProgress/Track 3.wav"));
}

TEST_F(SessionStoreTest, DefaultSessionIsWrittenOnceAndLoadedAsUntitled) {
  EXPECT_FALSE(store->DefaultExists());
  FillTrack(0, 0.5);
  ASSERT_TRUE(store->SaveDefault());
  EXPECT_TRUE(store->DefaultExists());
  EXPECT_TRUE(Exists("SysConfig.xml"));
  EXPECT_FALSE(Exists("Default_Midi.xml"));

  Restart();
  App_SetDirty(app.get(), true);
  dialog.answers = {IDNO};
  EXPECT_FALSE(store->LoadDefault());
  EXPECT_TRUE(dialog.Saw("Current session has unsaved changes, continue anyway?", "Session Unsaved"));
  EXPECT_TRUE(app->strips[0].empty);

  ASSERT_TRUE(store->LoadDefault());  // the script has run out: Yes
  EXPECT_EQ(app->title, "Kestrine 1.73 - [Untitled]");
  EXPECT_FALSE(app->dirty);
  ExpectAudio(0, 0.5);
}

}  // namespace
}  // namespace session_test
