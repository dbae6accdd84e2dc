// The loop edit widget paints exactly the model's columns, redraws only the crossed
// columns between full redraws, and hands the mouse to the model.
#include <QApplication>
#include <QTest>
#include <cmath>
#include <memory>

#include "app/app.h"
#include "app/loopedit/loop_edit_model.h"
#include "gui/gui_fixture.h"
#include "gui/loop_edit_widget.h"
#include "support/engine_fixture.h"

namespace {

class LoopEditWidgetTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    GuiApplication();
    // 64 columns of 10 frames: a sine on the left, a step on the right.
    slot = MakeLoop(640, 2, [](int f, int c) {
      return c == 0 ? 0.8f * static_cast<float>(std::sin(f * 0.05)) : (f < 320 ? 0.0f : -0.5f);
    });
    app.tracks.strips[0].slot = slot;
    model = App_MakeLoopEditView(&app);
    widget = std::make_unique<LoopEditWidget>(model.get());
    widget->resize(64, 40);
  }
  void TearDown() override {
    widget.reset();
    EngineTest::TearDown();
  }

  // Compares column x of the image with what the model says it holds.
  void ExpectColumn(const QImage& image, int x, const LoopEditColumn& c) {
    const LoopEditColours& colours = widget->colours();
    for (int y = 0; y < image.height(); ++y) {
      uint8_t pen = c.background;
      for (int l = 0; l < c.lanes; ++l)
        if (y >= c.lane[l].top && y <= c.lane[l].bottom) pen = c.lane[l].pen;
      ASSERT_EQ(image.pixel(x, y) & 0xFFFFFF, colours.rgb[pen]) << "x " << x << " y " << y;
    }
  }
  void ExpectImageMatchesModel() {
    const QImage& image = widget->image();
    std::vector<LoopEditColumn> cols;
    model->Columns(0, 64, &cols);
    ASSERT_EQ(cols.size(), 64u);
    for (int x = 0; x < 64; ++x) ExpectColumn(image, x, cols[static_cast<size_t>(x)]);
  }

  App app;
  int slot = -1;
  std::unique_ptr<AppLoopEdit> model;
  std::unique_ptr<LoopEditWidget> widget;
};

}  // namespace

TEST_F(LoopEditWidgetTest, ImageHoldsTheModelsColumnsPixelForPixel) {
  Audio_SetEditRange(slot, 100, 500);
  QTest::mouseClick(widget.get(), Qt::LeftButton, Qt::NoModifier, QPoint(20, 10));
  QTest::mouseClick(widget.get(), Qt::LeftButton, Qt::ShiftModifier, QPoint(30, 10));
  EXPECT_EQ(model->State().selStart, 200);
  EXPECT_EQ(model->State().selEnd, 300);
  ExpectImageMatchesModel();

  // Other colours (a skin): every column again.
  LoopEditColours skin;
  for (uint32_t& c : skin.rgb) c ^= 0x102030;
  widget->setColours(skin);
  ExpectImageMatchesModel();
}

TEST_F(LoopEditWidgetTest, PlayTickRedrawsOnlyTheColumnsThePositionCrossed) {
  widget->image();
  std::vector<LoopEditColumn> before;
  model->Columns(0, 64, &before);
  // The loop is recorded over (silence everywhere) while the head moves to frame 255.
  float* buffer = track(slot).pBuffer;
  std::fill(buffer, buffer + 640 * 2, 0.0f);
  track(slot).position = 255;
  model->Refresh();
  const QImage& image = widget->image();
  std::vector<LoopEditColumn> after;
  model->Columns(0, 64, &after);
  for (int x = 0; x < 64; ++x) ExpectColumn(image, x, x <= 25 ? after[x] : before[x]);
  EXPECT_EQ(after[25].background, PenPosition);

  model->Redraw();  // the track changed: every column
  ExpectImageMatchesModel();
}

TEST_F(LoopEditWidgetTest, EmptyTrackShowsOnlyTheBackground) {
  Audio_DeleteLoop(slot);
  const QImage& image = widget->image();
  for (int x = 0; x < 64; x += 9)
    for (int y = 0; y < 40; y += 7) ASSERT_EQ(image.pixel(x, y) & 0xFFFFFF, widget->colours().rgb[PenUnlooped]);
}
