#pragma once
// The panel's drawn controls: a push button with an LED that shows its state, an LED
// meter row, and the track-number button that takes dropped files. The LEDs are drawn
// in code; no image files are needed.
#include <QAbstractButton>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

// A button whose LED shows a state the application decides (never toggled by a click).
class QPainter;

class LedButton : public QAbstractButton {
  Q_OBJECT
  Q_PROPERTY(bool lit READ lit)

 public:
  explicit LedButton(const QString& text, QWidget* parent = nullptr);
  bool lit() const { return lit_; }
  void setLit(bool lit);
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  bool lit_ = false;
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
