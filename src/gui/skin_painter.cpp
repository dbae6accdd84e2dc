#include "gui/skin_painter.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

#include "gui/skin_images.h"

namespace {

QColor ToQt(SkinColour c) { return QColor(c.red, c.green, c.blue); }

}  // namespace

int SkinKnob_X(int controlWidth, int knobWidth, double fraction) {
  const int free = controlWidth - knobWidth;
  const int travel = static_cast<int>(free * 0.82);
  return static_cast<int>(travel * std::clamp(fraction, 0.0, 1.0)) - travel / 2 + free / 2;
}

bool SkinPaint_Background(QPainter& painter, const QRect& panel, const SkinImageCache& images) {
  const QPixmap& background = images.PanelBackground(panel.size());
  if (background.isNull()) return false;
  painter.drawPixmap(panel.topLeft(), background);
  return true;
}

bool SkinPaint_Stretched(QPainter& painter, const QRect& rect, const SkinImageCache& images, int slot) {
  if (!images.Has(slot)) return false;
  painter.drawPixmap(rect, images.Image(slot));
  return true;
}

bool SkinPaint_PushButton(QPainter& painter, QSize size, const SkinImageCache& images, int controlId, bool pressed,
                          bool enabled) {
  int first = 0, count = 0;
  if (!SkinButton_Row(controlId, &first, &count)) return false;
  return SkinPaint_Stretched(painter, QRect(QPoint(0, 0), size), images,
                             SkinButton_Image(first, count, pressed, enabled));
}

bool SkinPaint_Switch(QPainter& painter, const QRect& inPanel, QSize panelSize, const SkinImageCache& images,
                      SkinSwitch kind, bool on, bool enabled, int imageX) {
  const int slot = SkinSwitch_Image(kind, on, enabled);
  const QPixmap& background = images.PanelBackground(panelSize);
  if (!images.Has(slot) || background.isNull()) return false;
  painter.drawPixmap(QPoint(0, 0), background, inPanel);
  painter.drawPixmap(QPoint(imageX, 0), images.Image(slot));
  return true;
}

bool SkinPaint_Slider(QPainter& painter, QSize size, const SkinImageCache& images, SkinSlider kind, double fraction,
                      Qt::Orientation orientation) {
  const int backgroundSlot = SkinSlider_Background(kind), knobSlot = SkinSlider_Knob(kind);
  if (!images.Has(backgroundSlot) || !images.Has(knobSlot)) return false;
  painter.save();
  if (orientation == Qt::Vertical) {
    // The horizontal drawing turned a quarter to the left: 0 at the bottom, 1 at the top.
    painter.translate(0, size.height());
    painter.rotate(-90);
    size.transpose();
  }
  painter.drawPixmap(QRect(QPoint(0, 0), size), images.Image(backgroundSlot));
  const QPixmap& knob = images.Image(knobSlot);
  const int height = std::min(knob.height(), size.height());
  const int x = SkinKnob_X(size.width(), knob.width(), fraction);
  painter.drawPixmap(QRect(x, (size.height() - height) / 2, knob.width(), height), knob);
  painter.restore();
  return true;
}

bool SkinPaint_Meter(QPainter& painter, QSize size, const SkinImageCache& images, int leds, int lit, int held) {
  if (!images.Has(SkinSlot_MeterLed) || !images.Has(SkinSlot_MeterLed + 1)) return false;
  if (leds <= 0) return true;
  const bool horizontal = size.width() >= size.height();
  const int length = horizontal ? size.width() : size.height();
  for (int i = 0; i < leds; ++i) {
    // Cells share the length exactly; a vertical meter fills from the bottom.
    const int from = length * i / leds, to = length * (i + 1) / leds;
    const QRect cell = horizontal ? QRect(from, 0, to - from, size.height())
                                  : QRect(0, size.height() - to, size.width(), to - from);
    const bool on = i < lit || i == held;
    painter.drawPixmap(cell, images.Image(SkinSlot_MeterLed + (on ? 1 : 0)));
  }
  return true;
}

QColor SkinColour_Qt(const Skin& skin, SkinPanelColour which, const QPalette& base) {
  if (which == SkinColour_Text && !skin.textColourSet) return base.color(QPalette::ButtonText);
  return ToQt(skin.panel[which]);
}

QColor SkinColour_Qt(const Skin& skin, SkinLoopEditColour which) { return ToQt(skin.loopEdit[which]); }

QPalette SkinPalette(const Skin& skin, const QPalette& base) {
  QPalette p = base;
  const QColor text = SkinColour_Qt(skin, SkinColour_Text, base);
  for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
    p.setColor(QPalette::Active, role, text), p.setColor(QPalette::Inactive, role, text);
  p.setColor(QPalette::Window, SkinColour_Qt(skin, SkinColour_ControlBackground, base));
  p.setColor(QPalette::Button, SkinColour_Qt(skin, SkinColour_TextBackground, base));
  p.setColor(QPalette::Base, SkinColour_Qt(skin, SkinColour_EditBackground, base));
  // A disabled field must not look editable: the panel's own background behind text
  // half-way to it.
  const QColor control = SkinColour_Qt(skin, SkinColour_ControlBackground, base);
  const QColor faded((text.red() + control.red()) / 2, (text.green() + control.green()) / 2,
                     (text.blue() + control.blue()) / 2);
  p.setColor(QPalette::Disabled, QPalette::Base, control);
  for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
    p.setColor(QPalette::Disabled, role, faded);
  return p;
}

QPalette SkinProgressPalette(const Skin& skin, const QPalette& base) {
  QPalette p = SkinPalette(skin, base);
  p.setColor(QPalette::Highlight, SkinColour_Qt(skin, SkinColour_ProgressBar, base));
  p.setColor(QPalette::Base, SkinColour_Qt(skin, SkinColour_ProgressBarBackground, base));
  p.setColor(QPalette::Window, SkinColour_Qt(skin, SkinColour_ProgressBarBackground, base));
  return p;
}
