// Drawing from a skin: the knob's travel, which image a switch shows, the fall-back to
// the ordinary control, the Select Skin dialog, and the shipped skin filling every slot.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QListWidget>
#include <QPainter>
#include <chrono>
#include <filesystem>

#include "app/settings/preferences.h"
#include "app/settings/skin.h"
#include "gui/gui_fixture.h"
#include "gui/skin_dialog.h"
#include "gui/skin_images.h"
#include "gui/skin_painter.h"
#include "persist/config_directory.h"
#include "persist/temp_dir.h"
#include "support/scripted_dialog.h"

namespace {

class SkinPainterTest : public ::testing::Test {
 protected:
  // A solid image of `colour` in `slot`.
  void Fill(int slot, QColor colour, QSize size = {10, 10}) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    const std::string path = dir.File(std::to_string(slot) + ".png");
    ASSERT_TRUE(image.save(QString::fromStdString(path)));
    ASSERT_TRUE(images.Load(slot, path));
  }
  QImage Canvas(QSize size) {
    QImage canvas(size, QImage::Format_RGB32);
    canvas.fill(Qt::black);
    return canvas;
  }

  QApplication* application = GuiApplication();  // before any pixmap
  TempDir dir;
  SkinImageCache images;
};

TEST(SkinKnobTest, KnobTravelsEightyTwoPercentOfTheFreeWidthAroundTheCentre) {
  const struct {
    int control, knob;
    double fraction;
    int x;
  } cases[] = {
      {100, 20, 0.0, 8},  {100, 20, 0.5, 40}, {100, 20, 1.0, 73},
      {101, 20, 0.0, 7},  {101, 20, 0.5, 40}, {101, 20, 1.0, 73},
      {100, 20, -1.0, 8}, {100, 20, 2.0, 73},
  };
  for (const auto& c : cases) EXPECT_EQ(SkinKnob_X(c.control, c.knob, c.fraction), c.x) << c.control << " " << c.fraction;
}

TEST_F(SkinPainterTest, ASwitchShowsTheImageOfItsStateOverThePanelBackground) {
  const QColor background(10, 20, 30);
  Fill(SkinSlot_Background, background, {200, 100});
  const struct {
    bool on, enabled;
    int slot;
    QColor colour;
  } states[] = {
      {false, true, SkinSlot_Mute, QColor(200, 0, 0)},
      {true, true, SkinSlot_Mute + 1, QColor(0, 200, 0)},
      {false, false, SkinSlot_Mute + 2, QColor(0, 0, 200)},
      {true, false, SkinSlot_Mute + 3, QColor(200, 200, 0)},
  };
  for (const auto& s : states) Fill(s.slot, s.colour, {8, 8});
  for (const auto& s : states) {
    QImage canvas = Canvas({20, 12});
    QPainter painter(&canvas);
    ASSERT_TRUE(SkinPaint_Switch(painter, QRect(50, 40, 20, 12), {200, 100}, images, SkinSwitch::Mute, s.on,
                                 s.enabled));
    painter.end();
    EXPECT_EQ(canvas.pixelColor(1, 1), s.colour) << s.on << s.enabled;  // its own size at the corner
    EXPECT_EQ(canvas.pixelColor(15, 10), background);                  // not stretched
  }
  // Without the state's image, or without a background, the ordinary button is drawn.
  QImage canvas = Canvas({20, 12});
  QPainter painter(&canvas);
  EXPECT_FALSE(SkinPaint_Switch(painter, QRect(0, 0, 20, 12), {200, 100}, images, SkinSwitch::Solo, true, true));
  images.Load(SkinSlot_Background, {});
  EXPECT_FALSE(SkinPaint_Switch(painter, QRect(0, 0, 20, 12), {200, 100}, images, SkinSwitch::Mute, true, true));
}

TEST_F(SkinPainterTest, SliderKnobSitsAtItsTravelInEitherOrientation) {
  const QColor groove(40, 40, 40), knob(250, 250, 250);
  Fill(SkinSlider_Background(SkinSlider::Volume), groove, {50, 10});
  QImage across = Canvas({100, 30});
  QPainter painter(&across);
  EXPECT_FALSE(SkinPaint_Slider(painter, {100, 30}, images, SkinSlider::Volume, 0.5));
  Fill(SkinSlider_Knob(SkinSlider::Volume), knob, {20, 40});
  ASSERT_TRUE(SkinPaint_Slider(painter, {100, 30}, images, SkinSlider::Volume, 1.0));
  painter.end();
  EXPECT_EQ(across.pixelColor(73, 0), knob);       // no taller than the control
  EXPECT_EQ(across.pixelColor(92, 15), knob);
  EXPECT_EQ(across.pixelColor(93, 15), groove);
  EXPECT_EQ(across.pixelColor(72, 15), groove);

  QImage upright = Canvas({30, 100});
  painter.begin(&upright);
  ASSERT_TRUE(SkinPaint_Slider(painter, {30, 100}, images, SkinSlider::Volume, 1.0, Qt::Vertical));
  painter.end();
  EXPECT_EQ(upright.pixelColor(15, 100 - 74), knob);  // the top end is 1
  EXPECT_EQ(upright.pixelColor(15, 100 - 95), groove);
}

TEST_F(SkinPainterTest, MeterLightsItsCountAndTheHeldLed) {
  Fill(SkinSlot_MeterLed, Qt::darkGreen);
  QImage canvas = Canvas({100, 10});
  QPainter painter(&canvas);
  EXPECT_FALSE(SkinPaint_Meter(painter, {100, 10}, images, 10, 3, 7));
  Fill(SkinSlot_MeterLed + 1, Qt::green);
  ASSERT_TRUE(SkinPaint_Meter(painter, {100, 10}, images, 10, 3, 7));
  painter.end();
  QString lit;
  for (int i = 0; i < 10; ++i) lit += canvas.pixelColor(i * 10 + 5, 5) == QColor(Qt::green) ? '1' : '0';
  EXPECT_EQ(lit, "1110000100");
}

TEST_F(SkinPainterTest, SelectSkinDialogSetsTheChosenName) {
  ScriptedDialog messages;
  std::filesystem::create_directories(dir.path / "Skins" / "Moss");
  WriteBytes(dir.File("Skins/Moss/Moss.xml"), "<Skin/>");
  ConfigDirectory = dir.path.string();
  SelectSkinDialog dialog;
  ASSERT_TRUE(dialog.Fill());
  ASSERT_EQ(dialog.list()->count(), 2);
  EXPECT_EQ(dialog.list()->item(0)->text(), "<None>");
  dialog.accept();
  EXPECT_TRUE(messages.Saw("Invalid Skin selection!", "Error"));
  EXPECT_NE(dialog.result(), QDialog::Accepted);
  dialog.list()->setCurrentRow(1);
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(App_SystemConfiguration().skin, "Moss");
  App_SystemConfiguration().skin.clear();
  ConfigDirectory.clear();
}

// The cache reads an image's size from the file's header, so an oversized skin image is
// refused before its pixels are decoded.
TEST_F(SkinPainterTest, ImageSizesComeFromTheHeaders) {
  ScriptedDialog messages;
  std::filesystem::create_directories(dir.path / "Skins" / "Wide");
  WriteBytes(dir.File("Skins/Wide/Wide.xml"), "<Skin><Background>wide.png</Background><StopButton0>b.bmp</StopButton0></Skin>");
  QImage wide(kSkinImageMaxSide + 1, 2, QImage::Format_RGB32), button(30, 20, QImage::Format_RGB32);
  wide.fill(Qt::red), button.fill(Qt::blue);
  ASSERT_TRUE(wide.save(QString::fromStdString(dir.File("Skins/Wide/wide.png"))));
  ASSERT_TRUE(button.save(QString::fromStdString(dir.File("Skins/Wide/b.bmp"))));
  int width = 0, height = 0;
  ASSERT_TRUE(images.ReadSize(dir.File("Skins/Wide/b.bmp"), &width, &height));
  EXPECT_EQ(QSize(width, height), QSize(30, 20));
  ASSERT_TRUE(images.ReadSize(dir.File("Skins/Wide/wide.png"), &width, &height));
  EXPECT_EQ(QSize(width, height), QSize(kSkinImageMaxSide + 1, 2));
  EXPECT_FALSE(images.ReadSize(dir.File("Skins/Wide/Wide.xml"), &width, &height));

  Skin skin;
  EXPECT_FALSE(Skin_Load(&skin, "Wide", dir.path.string()));
  EXPECT_EQ(messages.shown.size(), 1u);
  EXPECT_FALSE(images.Has(SkinSlot_Background) || images.Has(SkinSlot_StopButton));
  ASSERT_TRUE(images.Load(SkinSlot_StopButton, dir.File("Skins/Wide/b.bmp")));
  images.SlotSize(SkinSlot_StopButton, &width, &height);
  EXPECT_EQ(QSize(width, height), QSize(30, 20));
}

#ifdef KESTRINE_SKINS_DIR
TEST_F(SkinPainterTest, ShippedSkinFillsEverySlot) {
  ScriptedDialog messages;
  Skin skin;
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(Skin_Load(&skin, "Kestrel", std::filesystem::path(KESTRINE_SKINS_DIR).parent_path().string()));
  const auto took = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  RecordProperty("load_ms", std::to_string(took));
  EXPECT_TRUE(messages.shown.empty());
  for (int slot = 0; slot < kSkinImageCount; ++slot)
    EXPECT_TRUE(images.Has(slot) && Skin_HasImage(skin, slot)) << SkinImage_Name(slot);
  EXPECT_EQ(Skin_MeterLeds(skin), 24);
  EXPECT_TRUE(skin.textColourSet);
  EXPECT_FALSE(skin.author.empty());
}
#endif

}  // namespace
