// The skin on the real panel: push buttons, switches and sliders drawn from the skin's
// images where the layout puts them (at the images' sizes), the track numbers and track
// backgrounds, and the captions a skin hides.
#include <QCheckBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QRadioButton>
#include <QSlider>
#include <QTest>

#include "app/settings/skin.h"
#include "gui/gui_fixture.h"
#include "gui/panel_widgets.h"
#include "gui/skin_images.h"
#include "gui/strip_column.h"

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

TEST_F(SkinnedPanelTest, SwitchesShowTheirImageAtItsSizeOverThePanelsBackground) {
  auto* mute2 = Control<LedButton>(1070);  // track 2: muted at start
  Fill(SkinSlot_Mute + 1, kYellow, {12, 12});
  EXPECT_FALSE(mute2->skinned()) << "a switch needs the panel's background too";
  Fill(SkinSlot_Background, kBlue, {50, 50});
  ASSERT_TRUE(mute2->skinned());
  EXPECT_EQ(mute2->size(), QSize(12, 12)) << "a Mute image says what it is: no caption";
  EXPECT_EQ(Pixel(mute2, {3, 3}), kYellow);
  Click(1070);  // unmuted: the off image, which this skin lacks
  EXPECT_FALSE(mute2->skinned());
}

// The effects' check boxes and filter types are switches of the skin like the strips'
// ones, and the mixer's mutes look like the tracks' mutes.
TEST_F(SkinnedPanelTest, EffectsSwitchesFilterTypesAndMixerMutesAreDrawnFromTheSkin) {
  auto* delayOn = Named<QCheckBox>("delayOn");
  auto* band = Named<QRadioButton>("filterMode1");
  ASSERT_TRUE(delayOn && band);
  const QColor builtIn = Pixel(delayOn, {3, 3});
  Fill(SkinSlot_Background, kBlue, {50, 50});
  Fill(SkinSlot_CheckBox, kRed, {14, 14});
  Fill(SkinSlot_CheckBox + 1, kGreen, {14, 14});
  Fill(SkinSlot_Radio, kRed, {14, 14});
  Fill(SkinSlot_Radio + 1, kYellow, {14, 14});
  Fill(SkinSlot_Mute, kRed, {30, 14});
  Fill(SkinSlot_Mute + 1, kGreen, {30, 14});
  EXPECT_NE(builtIn, kRed);
  EXPECT_EQ(Pixel(delayOn, {3, 3}), app().effects.delayEnabled ? kGreen : kRed);
  EXPECT_GE(delayOn->width(), 14 + delayOn->fontMetrics().horizontalAdvance("On"));  // the caption beside it
  const bool wasOn = app().effects.delayEnabled;
  QTest::mouseClick(delayOn, Qt::LeftButton, {}, {delayOn->width() - 2, delayOn->height() / 2});
  Settle();
  EXPECT_NE(app().effects.delayEnabled, wasOn) << "the whole switch answers a click, its caption too";
  EXPECT_EQ(Pixel(delayOn, {3, 3}), wasOn ? kRed : kGreen);

  // The chosen filter type shows the on image; the skin's image says it, not bold text.
  QTest::mouseClick(band, Qt::LeftButton, {}, {band->width() - 2, band->height() / 2});
  Settle();
  ASSERT_EQ(app().effects.filterMode, 1);
  for (int m = 0; m < 4; ++m) {
    auto* mode = Named<QRadioButton>(QString("filterMode%1").arg(m).toUtf8().constData());
    EXPECT_EQ(Pixel(mode, {3, 3}), m == 1 ? kYellow : kRed) << m;
    EXPECT_FALSE(mode->font().bold()) << m;
  }

  auto* masterMute = Control<LedButton>(1022);
  ASSERT_TRUE(masterMute->skinned());
  const QColor before = Pixel(masterMute, {3, 3});
  Click(1022);
  EXPECT_NE(Pixel(masterMute, {3, 3}), before);
  EXPECT_TRUE(Pixel(masterMute, {3, 3}) == kRed || Pixel(masterMute, {3, 3}) == kGreen);
}

// Switch images wider than the built-in buttons (the Kestrel skin's pills) widen the
// strips rather than being cut off; so do the built-in buttons' captions.
TEST_F(SkinnedPanelTest, StripsAreAsWideAsTheirSwitchesNeedSoNothingIsCut) {
  QWidget* strip1 = Control(1239)->parentWidget();
  const int builtInWidth = strip1->width();
  auto expectWhole = [&](const char* look) {
    for (int strip = 0; strip < kStripCount; ++strip) {
      const StripIds& id = Strip_Ids(strip);
      QWidget* column = Control(id.number)->parentWidget();
      EXPECT_EQ(column->width(), strip1->width());
      for (int control : {id.active, id.mute, id.solo, id.submix, id.effects, id.slow, id.reverse}) {
        auto* b = Control<LedButton>(control);
        EXPECT_TRUE(column->rect().contains(b->geometry())) << look << ": " << control << " reaches out of its strip";
        EXPECT_GE(b->width(), b->sizeHint().width()) << look << ": " << control << " is cut";
      }
    }
  };
  expectWhole("built-in");
  Fill(SkinSlot_Background, kBlue, {50, 50});
  for (int i = 0; i < 4; ++i) {
    Fill(SkinSlot_Mute + i, kRed, {40, 18});
    Fill(SkinSlot_Solo + i, kYellow, {40, 18});
    Fill(SkinSlot_CheckBox + i, kGreen, {16, 16});
  }
  ASSERT_TRUE(Control<LedButton>(1069)->skinned() && Control<LedButton>(1125)->skinned());
  expectWhole("skinned");
  // The check boxes' captions go under their images, which sit in the middle.
  auto* slow = Control<LedButton>(1125);
  EXPECT_GE(slow->height(), 16 + slow->fontMetrics().height());
  EXPECT_EQ(Pixel(slow, {slow->width() / 2, 2}), kGreen);
  // Back to the built-in look: the strips as before.
  window_->panel()->skinImages()->Clear();
  window_->Refresh();
  Settle();
  EXPECT_EQ(strip1->width(), builtInWidth);
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
  ASSERT_GT(five->width(), 24);
  EXPECT_NE(Pixel(five, {1, five->height() / 2}), kYellow) << "the number's image is not stretched";

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
  EXPECT_TRUE(Control(1291)->isVisible() && Control(1293)->isVisible());  // the undo label and its depth
  EXPECT_TRUE(window_->panel()->findChild<QLabel*>("delayMixText")->isVisible());
  EXPECT_TRUE(window_->panel()->findChildren<QGroupBox*>()[0]->title().isEmpty());
  Skin_Reset(&App_Skin());
  window_->Refresh();
  EXPECT_TRUE(tempo->isVisible());
  EXPECT_FALSE(window_->panel()->findChildren<QGroupBox*>()[0]->title().isEmpty());
}
