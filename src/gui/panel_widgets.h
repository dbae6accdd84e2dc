#pragma once
// The panel's drawn controls: a push button with an LED that shows its state, an LED
// meter row, and the track-number button that takes dropped files. The LEDs are drawn
// in code; no image files are needed.
#include <QAbstractButton>
#include <QCheckBox>
#include <QRadioButton>
#include <QSlider>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "app/settings/skin.h"

class QPainter;

// ---- Switches drawn from the skin ----
// The CheckBox and Radio images are glyphs shared by many switches: the switch's caption
// is drawn beside the image, or under it where a narrow strip has no room beside. The
// Mute and Solo images serve one purpose each and say it themselves: no caption.
enum class SwitchCaption { Beside, Below };
inline bool SkinSwitch_HasCaption(SkinSwitch kind) {
  return kind == SkinSwitch::CheckBox || kind == SkinSwitch::Radio;
}

// The image slot a switch of `kind` shows in its state; -1 when the installed skin lacks
// it or the panel background that shows around it.
int SkinnedSwitch_Slot(SkinSwitch kind, bool on, bool enabled);
// The room the image `slot` and the caption (the button's text) take for a switch of `kind`.
QSize SkinnedSwitch_Size(const QAbstractButton& widget, SkinSwitch kind, int slot, SwitchCaption caption);
// Draws `widget` (its text is the caption) as a switch of `kind` in state `on` over the
// panel's background; false, drawing nothing, when the skin lacks the image or the
// widget is not on the panel.
bool SkinnedSwitch_Paint(QAbstractButton& widget, SkinSwitch kind, bool on, SwitchCaption caption);

// A check box or radio button of the panel (the effects' switches and filter types) that
// the skin draws with its CheckBox or Radio images; Qt's own box without them.
template <class Box>
class SkinnedBox : public Box {
 public:
  SkinnedBox(const QString& text, SkinSwitch kind, QWidget* parent) : Box(text, parent), kind_(kind) {
    // A skin may lack the image of the new state, and the size follows the image.
    QObject::connect(this, &QAbstractButton::toggled, this, [this] { this->updateGeometry(); });
  }
  SkinSwitch kind() const { return kind_; }
  bool skinned() const { return Slot() >= 0; }
  QSize sizeHint() const override {
    return skinned() ? SkinnedSwitch_Size(*this, kind_, Slot(), SwitchCaption::Beside) : Box::sizeHint();
  }
  QSize minimumSizeHint() const override { return skinned() ? sizeHint() : Box::minimumSizeHint(); }

 protected:
  void paintEvent(QPaintEvent* event) override {
    if (!SkinnedSwitch_Paint(*this, kind_, this->isChecked(), SwitchCaption::Beside)) Box::paintEvent(event);
  }
  // Qt's box answers only over its indicator and text as its style places them.
  bool hitButton(const QPoint& pos) const override {
    return skinned() ? this->rect().contains(pos) : Box::hitButton(pos);
  }

 private:
  int Slot() const { return SkinnedSwitch_Slot(kind_, this->isChecked(), this->isEnabled()); }
  SkinSwitch kind_;
};
using SkinnedCheckBox = SkinnedBox<QCheckBox>;
using SkinnedRadioButton = SkinnedBox<QRadioButton>;

// A button whose LED shows a state the application decides (never toggled by a click).
class LedButton : public QAbstractButton {
  Q_OBJECT
  Q_PROPERTY(bool lit READ lit)

 public:
  explicit LedButton(const QString& text, QWidget* parent = nullptr);
  bool lit() const { return lit_; }
  void setLit(bool lit);
  // What the skin draws it as: a push button of control `controlId`'s image row, or,
  // with a switch kind, that switch's images over the panel's background.
  void setSkinRole(int controlId, SkinSwitch kind = SkinSwitch::None);
  // Where a skinned switch puts its caption (beside the image unless told otherwise).
  void setCaption(SwitchCaption caption);
  // True when the installed skin has the image this button shows now.
  bool skinned() const;
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  // The image slot for the state; -1 when the skin gives none.
  int SkinSlot() const;

  bool lit_ = false;
  int controlId_ = 0;
  SkinSwitch switch_ = SkinSwitch::None;
  SwitchCaption caption_ = SwitchCaption::Beside;
};

// A slider drawn from the skin's background and knob images of its kind, when the skin
// has both; Qt's own slider otherwise.
class SkinnedSlider : public QSlider {
  Q_OBJECT

 public:
  SkinnedSlider(SkinSlider kind, Qt::Orientation orientation, QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  SkinSlider kind_;
};

// One or two rows of LEDs (a meter's channels, drawn 12 pixels apart when horizontal).
class LedMeter : public QWidget {
  Q_OBJECT

 public:
  LedMeter(int channels, Qt::Orientation orientation, QWidget* parent = nullptr);
  // LEDs lit from the start and the one showing the held peak, per channel.
  void setLevel(int channel, int lit, int held);
  void setLedCount(int count);
  int lit(int channel) const { return lit_[channel]; }
  int held(int channel) const { return held_[channel]; }
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  bool PaintSkinned(QPainter& p);

  int channels_;
  Qt::Orientation orientation_;
  int count_ = 22;
  int lit_[2] = {0, 0};
  int held_[2] = {0, 0};
};

// The "1" .. "8" button of a strip: files dropped on it go to its track.
class TrackNumberButton : public QAbstractButton {
  Q_OBJECT

 public:
  TrackNumberButton(int strip, QWidget* parent = nullptr);
  int strip() const { return strip_; }
  std::function<void(int strip, const std::vector<std::string>& paths)> onDrop;
  QSize sizeHint() const override { return {28, 22}; }

 protected:
  void paintEvent(QPaintEvent*) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  int strip_;
};
