#pragma once
// The panel's drawn controls: a push button with an LED that shows its state, an LED
// meter row, and the track-number button that takes dropped files. The LEDs are drawn
// in code; no image files are needed.
#include <QAbstractButton>
#include <QSlider>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "app/settings/skin.h"

// A button whose LED shows a state the application decides (never toggled by a click).
class QPainter;

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
