// Skins: the file's elements and their rules, failures falling back to the built-in
// look, the limits on a skin's images, the Select Skin dialog's list and choice, and the
// commands that load a skin.

#include <cstdio>
#include <filesystem>

#include "app/app_fixture.h"
#include "app/file_commands.h"
#include "app/model/progress_dialog.h"
#include "app/session/session_store.h"
#include "app/settings/config_files.h"
#include "app/settings/preferences.h"
#include "app/settings/skin.h"
#include "app/settings/skin_select.h"
#include "persist/temp_dir.h"

namespace fs = std::filesystem;

namespace {

// A skin folder under `root`/Skins with its XML file and, for each given name, an image file.
void MakeSkin(const fs::path& root, const std::string& name, const std::string& elements,
              const std::vector<std::string>& images = {}) {
  const fs::path folder = root / "Skins" / name;
  fs::create_directories(folder);
  WriteBytes((folder / (name + ".xml")).string(),
             "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<Skin>\n" + elements + "</Skin>\n");
  for (const std::string& image : images) {
    fs::create_directories((folder / image).parent_path());
    WriteBytes((folder / image).string(), "image bytes");
  }
}

TEST(SkinImageTest, ButtonsShowTheirGreyedImageOnlyInARowOfThree) {
  int first = 0, count = 0;
  ASSERT_TRUE(SkinButton_Row(1001, &first, &count));
  EXPECT_EQ(SkinButton_Image(first, count, true, false), SkinSlot_RecordButton + 1);
  ASSERT_TRUE(SkinButton_Row(1262, &first, &count));
  EXPECT_EQ(SkinButton_Image(first, count, false, true), SkinSlot_TrimButton);
  EXPECT_EQ(SkinButton_Image(first, count, true, true), SkinSlot_TrimButton + 1);
  EXPECT_EQ(SkinButton_Image(first, count, true, false), SkinSlot_TrimButton + 2);
  EXPECT_FALSE(SkinButton_Row(1275, &first, &count));
}

class SkinFileTest : public ::testing::Test {
 protected:
  void SetUp() override { ProgressDialog_Install(&progress); }
  void TearDown() override {
    ProgressDialog_Install(nullptr);
    Skin_Reset(&skin);
  }
  bool Load(const std::string& name) { return Skin_Load(&skin, name, dir.path.string()); }

  TempDir dir;
  ScriptedDialog messages;
  RecordingProgress progress;
  Skin skin;
};

TEST_F(SkinFileTest, ElementsSetImagesColoursAndSwitches) {
  WriteBytes(dir.File("outside.png"), "image bytes");
  MakeSkin(dir.path, "Dusk",
           "<Background>back.png</Background>\n"
           "<StopButton0>missing.png</StopButton0>\n"
           "<StopButton1>../../outside.png</StopButton1>\n"
           "<MeterLED0>img\\led0.png</MeterLED0><MeterLED1>img/led1.png</MeterLED1>\n"
           "<textcolor>1,2,3</textcolor>\n"
           "<TextBackgroundColor>300,-5</TextBackgroundColor>\n"
           "<LoopEditBeatColor>4,5,6</LoopEditBeatColor>\n"
           "<Author>A. Painter</Author><NumMeterLED>-3</NumMeterLED><HideStaticText>2</HideStaticText>\n",
           {"back.png", "img/led0.png", "img/led1.png"});
  ASSERT_TRUE(Load("Dusk"));
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(skin.current, "Dusk");
  EXPECT_EQ(skin.author, "A. Painter");
  EXPECT_TRUE(Skin_HasImage(skin, SkinSlot_Background));
  EXPECT_FALSE(Skin_HasImage(skin, SkinSlot_StopButton));      // names a file that is not there
  EXPECT_FALSE(Skin_HasImage(skin, SkinSlot_StopButton + 1));  // outside the skin's folder
  EXPECT_TRUE(Skin_HasImage(skin, SkinSlot_MeterLed));
  EXPECT_EQ(Skin_MeterLeds(skin), 0);  // both LED images, count clamped to 0
  EXPECT_FALSE(skin.textColourSet);   // "textcolor" is not "TextColor"
  EXPECT_EQ(skin.panel[SkinColour_TextBackground], (SkinColour{255, 0, 0}));
  EXPECT_EQ(skin.loopEdit[LoopEditColour_Beat], (SkinColour{4, 5, 6}));
  EXPECT_TRUE(Skin_HidesStaticText(skin));
  // Five image and two colour elements were recognised; the window closed.
  EXPECT_EQ(progress.calls, (std::vector<std::string>{"Loading Skin: Dusk 131", "Close"}));
  EXPECT_EQ(progress.steps, 7);
}

TEST_F(SkinFileTest, AFailedLoadLeavesTheBuiltInLook) {
  MakeSkin(dir.path, "Good", "<Author>Me</Author><NumMeterLED>30</NumMeterLED>"
           "<MeterLED0>a.png</MeterLED0><MeterLED1>a.png</MeterLED1><ProgressBarColor>1,1,1</ProgressBarColor>",
           {"a.png"});
  MakeSkin(dir.path, "Broken", "<MeterLED0>a.png</MeterLED0><TextColor>9,9,9</TextColor><Unclosed>", {"a.png"});
  const struct { const char* name; const char* text; const char* caption; } cases[] = {
      {"Nope", "Couldn't open skin file Skins/Nope/Nope.xml", "File error"},
      {"../Good", "Couldn't open skin file Skins/../Good/../Good.xml", "File error"},
      {"Broken", "Error parsing skin file: Skins/Broken/Broken.xml", "XML Error"},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(Load("Good"));
    EXPECT_EQ(Skin_MeterLeds(skin), 30);
    messages.shown.clear();
    EXPECT_FALSE(Load(c.name)) << c.name;
    EXPECT_TRUE(messages.Saw(c.text, c.caption)) << c.name;
    EXPECT_EQ(skin.current + skin.author, "");
    EXPECT_FALSE(Skin_HasImage(skin, SkinSlot_MeterLed)) << c.name;
    EXPECT_EQ(Skin_MeterLeds(skin), kBuiltInMeterLeds);
    EXPECT_EQ(skin.panel[SkinColour_ProgressBar], SkinColour_PanelDefault(SkinColour_ProgressBar));
    EXPECT_TRUE(progress.Closed());
  }
  // A skin without an author or LED count does not keep the previous skin's.
  MakeSkin(dir.path, "Plain", "<MeterLED0>a.png</MeterLED0><MeterLED1>a.png</MeterLED1>", {"a.png"});
  ASSERT_TRUE(Load("Good"));
  ASSERT_TRUE(Load("Plain"));
  EXPECT_EQ(skin.author, "");
  EXPECT_EQ(Skin_MeterLeds(skin), kSkinDefaultMeterLeds);
  EXPECT_FALSE(Load(""));
  EXPECT_EQ(skin.current, "");
}

TEST(SkinImageBudgetTest, EachImageAndTheirSumAreCapped) {
  SkinImageBudget budget;
  EXPECT_EQ(SkinImageBudget_Take(&budget, "Big", "a.png", kSkinImageMaxSide, kSkinImageMaxSide), "");
  EXPECT_EQ(SkinImageBudget_Take(&budget, "Big", "wide.png", kSkinImageMaxSide + 1, 1),
            "Skin image wide.png is 4097 x 1 pixels, more than the 4096 x 4096 a skin image may have.\n"
            "The skin Big is not loaded.");
  EXPECT_NE(SkinImageBudget_Take(&budget, "Big", "tall.png", 1, kSkinImageMaxSide + 1), "");
  const long long left = kSkinImagesMaxPixels - budget.pixels;
  EXPECT_NE(SkinImageBudget_Take(&budget, "Big", "b.png", 1, static_cast<int>(left + 1)).find("4096"),
            std::string::npos);  // too tall, whatever is left
  EXPECT_EQ(SkinImageBudget_Take(&budget, "Big", "b.png", 4000, static_cast<int>(left / 4000)), "");
  const int more = static_cast<int>(kSkinImagesMaxPixels - budget.pixels) + 1;
  EXPECT_EQ(SkinImageBudget_Take(&budget, "Big", "c.png", more, 1),
            "The images of skin Big come to more than the 32 million pixels a skin may have; c.png goes past it.\n"
            "The skin is not loaded.");
  EXPECT_EQ(SkinImageBudget_Take(&budget, "Big", "d.png", more - 1, 1), "");  // the refusal took nothing
  EXPECT_EQ(budget.pixels, kSkinImagesMaxPixels);
}

// Image files holding "W H" as their header would tell it, or "? W H" for a file whose
// size is known only once decoded; records what it decoded.
struct SizedImages : SkinImages {
  SizedImages() { SkinImages_Install(this); }
  ~SizedImages() override { SkinImages_Install(nullptr); }
  void Clear() override {
    for (auto& size : slots) size = {0, 0};
  }
  static bool Parse(const std::string& path, bool* header, int* width, int* height) {
    const std::string text = ReadBytes(path);
    *header = text.empty() || text[0] != '?';
    return std::sscanf(text.c_str() + (*header ? 0 : 1), "%d %d", width, height) == 2;
  }
  bool ReadSize(const std::string& path, int* width, int* height) override {
    bool header = false;
    return Parse(path, &header, width, height) && header;
  }
  bool Load(int slot, const std::string& path) override {
    slots[slot] = {0, 0};
    bool header = false;
    if (path.empty() || !Parse(path, &header, &slots[slot].first, &slots[slot].second)) return false;
    decoded.push_back(fs::path(path).filename().string());
    return true;
  }
  void SlotSize(int slot, int* width, int* height) const override {
    *width = slots[slot].first;
    *height = slots[slot].second;
  }
  std::pair<int, int> slots[kSkinImageCount] = {};
  std::vector<std::string> decoded;
};

TEST_F(SkinFileTest, ASkinPastTheImageLimitsIsRefusedBeforeItsImagesAreDecoded) {
  SizedImages images;
  // Slots of 4000 x 4000: two fill the budget to the pixel, the third goes past it.
  const auto write = [&](const std::string& skin, const std::string& file, const std::string& bytes) {
    WriteBytes(dir.File("Skins/" + skin + "/" + file), bytes);
  };
  MakeSkin(dir.path, "Heavy", "<Background>a.png</Background><StopButton0>b.png</StopButton0>"
           "<StopButton1>c.png</StopButton1><PlayButton0>d.png</PlayButton0>");
  for (const char* file : {"a.png", "b.png", "c.png", "d.png"}) write("Heavy", file, "4000 4000");
  MakeSkin(dir.path, "Wide", "<Background>a.png</Background><PlayButton0>wide.bmp</PlayButton0>"
           "<PlayButton1>b.png</PlayButton1>");
  write("Wide", "a.png", "100 100"), write("Wide", "b.png", "10 10"), write("Wide", "wide.bmp", "? 5600 20");
  const struct { const char* name; std::vector<std::string> decoded; const char* message; } cases[] = {
      {"Heavy", {"a.png", "b.png"},
       "The images of skin Heavy come to more than the 32 million pixels a skin may have; c.png goes past it.\n"
       "The skin is not loaded."},
      // A file whose header does not tell is measured once decoded.
      {"Wide", {"a.png", "wide.bmp"},
       "Skin image wide.bmp is 5600 x 20 pixels, more than the 4096 x 4096 a skin image may have.\n"
       "The skin Wide is not loaded."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    images.decoded.clear(), messages.shown.clear(), progress.calls.clear();
    EXPECT_FALSE(Load(c.name));
    EXPECT_EQ(images.decoded, c.decoded);
    EXPECT_TRUE(messages.Saw(c.message, kSkinTooLargeCaption));
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(skin.current, "");
    for (int slot = 0; slot < kSkinImageCount; ++slot) {
      EXPECT_FALSE(Skin_HasImage(skin, slot)) << slot;
      int width = -1, height = -1;
      images.SlotSize(slot, &width, &height);
      EXPECT_EQ(width + height, 0) << slot;
    }
    EXPECT_TRUE(progress.Closed());
  }
  // Within the limits the same skin loads.
  for (const char* file : {"b.png", "c.png", "d.png"}) write("Heavy", file, "100 100");
  ASSERT_TRUE(Load("Heavy"));
  EXPECT_TRUE(Skin_HasImage(skin, SkinSlot_PlayButton));
}

TEST_F(SkinFileTest, TheDialogListsFoldersHoldingTheirOwnFile) {
  std::vector<std::string> entries{"stale"};
  EXPECT_FALSE(SkinSelect_List(dir.path.string(), &entries));
  EXPECT_TRUE(messages.Saw("Unable to set current directory to:\n" + dir.File("Skins") +
                               "\nPerhaps the Skins directory is missing?",
                           "Directory Error"));
  MakeSkin(dir.path, "zeta", "");
  MakeSkin(dir.path, "Alpha", "");
  fs::create_directories(dir.path / "Skins" / "NoFile");
  fs::create_directories(dir.path / "Skins" / "Other");
  WriteBytes(dir.File("Skins/Other/Different.xml"), "<a/>");
  WriteBytes(dir.File("Skins/Loose.xml"), "<a/>");
  ASSERT_TRUE(SkinSelect_List(dir.path.string(), &entries));
  EXPECT_EQ(entries, (std::vector<std::string>{"<None>", "Alpha", "zeta"}));

  EXPECT_TRUE(SkinSelect_Confirm(entries, 2));
  EXPECT_EQ(App_SystemConfiguration().skin, "zeta");
  EXPECT_TRUE(SkinSelect_Confirm({"<none>"}, 0));
  EXPECT_EQ(App_SystemConfiguration().skin, "");
}

// Command 32854 and the About dialog, through the application.
class SkinCommandTest : public AppTest {
 protected:
  void TearDown() override {
    Skin_Reset(&App_Skin());
    AppTest::TearDown();
  }
  // The dialog as a person uses it: the list, then OK on entry `index`.
  void ChooseInDialog(int index) {
    dialogs.during = [this, index] {
      std::vector<std::string> list;
      ASSERT_TRUE(SkinSelect_List(dir, &list));
      ASSERT_TRUE(SkinSelect_Confirm(list, index));
    };
    Do(Command::SelectSkinDialog);
  }
};

TEST_F(SkinCommandTest, SelectingOrTheDefaultSessionLoadsTheSkinAndNoneRestoresTheBuiltInLook) {
  MakeSkin(dir, "Ember", "<Author>Kay</Author><MeterLED0>l.png</MeterLED0><MeterLED1>l.png</MeterLED1>"
           "<NumMeterLED>16</NumMeterLED>", {"l.png"});
  ChooseInDialog(1);  // "Ember" after "<None>"
  EXPECT_EQ(App_Skin().current, "Ember");
  EXPECT_EQ(app().meterLeds, 16);
  Do(Command::AboutDialog);
  EXPECT_EQ(dialogs.about.skin + ", " + dialogs.about.author, "Current Skin: Ember, Skin Author: Kay");

  ChooseInDialog(0);
  EXPECT_FALSE(Skin_Loaded(App_Skin()));
  EXPECT_EQ(app().meterLeds, kBuiltInMeterLeds);
  ASSERT_TRUE(WriteSystemConfiguration());
  EXPECT_NE(ReadBytes(dir + "/SysConfig.xml").find("<skin></skin>"), std::string::npos);
  EXPECT_TRUE(dialog.shown.empty());

  App_SystemConfiguration().skin = "Ember";
  AppSessionStore store(App_SessionParts(app_.get()));
  app_->sessions = &store;
  EXPECT_FALSE(App_LoadDefaultSession(app_.get()));  // no default session: the skin loads all the same
  EXPECT_EQ(App_Skin().current, "Ember");
}

}  // namespace
