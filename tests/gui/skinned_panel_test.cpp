// The skin on the real panel: push buttons, switches and sliders drawn from the skin's
// images where the layout puts them (at the images' sizes), the track numbers and track
// backgrounds, and the captions a skin hides.
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QSlider>

#include "app/settings/skin.h"
#include "gui/gui_fixture.h"
#include "gui/panel_widgets.h"
#include "gui/skin_images.h"

namespace {

class SkinnedPanelTest : public GuiTest {
 protected:
  void TearDown() override {
    Skin_Reset(&App_Skin());
    GuiTest::TearDown();
  }
  // A solid image of `colour` in `slot` of the window's skin images; the panel takes it.
  void Fill(int slot, QColor colour, QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    const std::string path = dir + "/" + std::to_string(slot) + ".png";
    ASSERT_TRUE(image.save(QString::fromStdString(path)));
    ASSERT_TRUE(window_->panel()->skinImages()->Load(slot, path));
    window_->Refresh();
    Settle();
  }
  static QColor Pixel(QWidget* w, QPoint at) { return w->grab().toImage().pixelColor(at); }
};

const QColor kRed(200, 10, 10), kGreen(10, 200, 10), kBlue(10, 10, 200), kYellow(220, 220, 0);

}  // namespace

TEST_F(SkinnedPanelTest, PushButtonsTakeTheirImagesSizeAndShowTheImageOfTheirState) {
  auto* play = Control<LedButton>(1002);
  ASSERT_NE(play, nullptr);
  const QColor builtIn = Pixel(play, {20, 8});
  Fill(SkinSlot_PlayButton, kRed, {60, 24});
  Fill(SkinSlot_PlayButton + 1, kGreen, {60, 24});
  EXPECT_EQ(play->size(), QSize(60, 24));  // laid out from the image, not stretched
  EXPECT_EQ(Pixel(play, {20, 8}), kRed);
  EXPECT_NE(builtIn, kRed);
  Click(1002);  // playing: the pressed image
  EXPECT_EQ(Pixel(play, {20, 8}), kGreen);
  // A button whose row the skin leaves empty keeps the built-in look.
  EXPECT_FALSE(Control<LedButton>(1001)->skinned());
}

TEST_F(SkinnedPanelTest, SwitchesShowTheirImageAtItsSizeOverThePanelsBackgroundWithTheirCaption) {
  auto* mute2 = Control<LedButton>(1070);  // track 2: muted at start
  Fill(SkinSlot_Mute + 1, kYellow, {12, 12});
  EXPECT_FALSE(mute2->skinned()) << "a switch needs the panel's background too";
  Fill(SkinSlot_Background, kBlue, {50, 50});
  ASSERT_TRUE(mute2->skinned());
  EXPECT_EQ(mute2->height(), std::max(12, mute2->fontMetrics().height() + 2));
  EXPECT_GT(mute2->width(), 12);  // the caption beside the image
  EXPECT_EQ(Pixel(mute2, {3, 3}), kYellow);
  EXPECT_EQ(Pixel(mute2, {13, mute2->height() - 1}), kBlue);
  Click(1070);  // unmuted: the off image, which this skin lacks
  EXPECT_FALSE(mute2->skinned());
}

TEST_F(SkinnedPanelTest, SlidersTrackNumbersAndTrackBackgroundsComeFromTheSkin) {
  auto* volume = Control<QSlider>(1057);  // track 1, at 127: the knob at the top
  Fill(SkinSlot_VolumeSlider, kGreen, {10, 60});
  Fill(SkinSlot_VolumeSlider + 1, kRed, {8, 6});
  const QImage drawn = volume->grab().toImage();
  EXPECT_EQ(drawn.pixelColor(volume->width() / 2, volume->height() - 2), kGreen);
  bool knobNearTop = false;
  for (int y = 0; y < volume->height() / 3; ++y) knobNearTop |= drawn.pixelColor(volume->width() / 2, y) == kRed;
  EXPECT_TRUE(knobNearTop);

  auto* five = Control(1235);
  Fill(SkinSlot_TrackNumber + 4, kYellow, {20, 20});
  EXPECT_EQ(Pixel(five, {five->width() / 2, five->height() / 2}), kYellow);

  QWidget* strip1 = Control(1239)->parentWidget();  // the current track: image 1
  Fill(SkinSlot_TrackBackground + 1, kBlue, {30, 30});
  EXPECT_EQ(Pixel(strip1, {0, 0}), kBlue);
}

TEST_F(SkinnedPanelTest, HideStaticTextHidesCaptionsButNotValues) {
  QLabel* tempo = nullptr;
  for (QLabel* label : window_->panel()->findChildren<QLabel*>())
    if (label->text() == "Tempo") tempo = label;
  ASSERT_NE(tempo, nullptr);
  App_Skin().current = "Plain";  // as a load leaves it
  App_Skin().hideStaticText = true;
  window_->Refresh();
  EXPECT_FALSE(tempo->isVisible());
  EXPECT_TRUE(Control(1291)->isVisible());  // the undo label
  EXPECT_TRUE(window_->panel()->findChild<QLabel*>("delayMixText")->isVisible());
  EXPECT_TRUE(window_->panel()->findChildren<QGroupBox*>()[0]->title().isEmpty());
  Skin_Reset(&App_Skin());
  window_->Refresh();
  EXPECT_TRUE(tempo->isVisible());
  EXPECT_FALSE(window_->panel()->findChildren<QGroupBox*>()[0]->title().isEmpty());
}
