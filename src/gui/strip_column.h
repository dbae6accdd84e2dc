#pragma once
// One track strip of the panel: number button (drop target, popup), Active, Mute, Solo,
// Mix, FX, Slow and Rev. buttons, volume with its two meter bars, pan, effects mix, the
// name field and the loop-time display.
#include <QWidget>

#include "app/panel_view.h"

class PanelContext;
class LedButton;
class LedMeter;
class QGridLayout;
class QLabel;
class QLineEdit;
class QSlider;
class TrackNumberButton;

// The control ids of each strip, tracks 1 to 8.
struct StripIds {
  int mute, submix, solo, active, effects, effectsMix, meterA, volume, pan, meterB, slow, reverse, name,
      loopTime, number;
};
const StripIds& Strip_Ids(int strip);

class StripColumn : public QWidget {
  Q_OBJECT

 public:
  StripColumn(PanelContext* context, int strip, QWidget* parent = nullptr);
  void Refresh(const StripView& view, int meterLit, int meterLeds);
  TrackNumberButton* numberButton() const { return number_; }
  // Lays the switches out for the installed skin's images (after a skin change) and
  // takes the width they need.
  void ArrangeSwitches();
  // The width the strip needs so that no switch or caption is cut: at least kNarrowest.
  int FittingWidth() const;
  static constexpr int kNarrowest = 70;

 protected:
  // The skin's Track<N>Background image behind the strip: image 1 while the track is the
  // current one, image 0 otherwise.
  void paintEvent(QPaintEvent* event) override;

 private:
  // True when the skin draws all six toggles (Mute, Solo, Mix, FX, Slow, Rev.).
  bool SkinnedSwitches() const;

  bool current_ = false;
  bool arrangedSkinned_ = false;  // the switches are laid out for the skin's images
  PanelContext* context_;
  int strip_;
  TrackNumberButton* number_;
  LedButton *active_, *mute_, *solo_, *submix_, *effects_, *slow_, *reverse_;
  QGridLayout* switches_;
  QSlider *volume_, *pan_, *effectsMix_;
  LedMeter *meterA_, *meterB_;
  QLineEdit* name_;
  QLabel* loopTime_;
};
