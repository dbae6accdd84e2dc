#pragma once
// The effects panel: filter with LFO, stereo delay and reverb. Every slider, box and
// text goes through the application's effects model (app/model/effects_panel.h), which maps
// positions to engine values, keeps the link and sync rules and gives the texts.
#include <QObject>
#include <vector>

#include "gui/panel_widgets.h"

class PanelContext;
class QAbstractButton;
class QBoxLayout;
class QCheckBox;
class QLabel;
class QLineEdit;
class QSlider;
class QWidget;

class EffectsSection : public QObject {
  Q_OBJECT

 public:
  // The three groups are made as children of `parent`, which places them.
  EffectsSection(PanelContext* context, QWidget* parent);
  void Refresh();
  QWidget* filterBox() const { return filterBox_; }
  QWidget* delayBox() const { return delayBox_; }
  QWidget* reverbBox() const { return reverbBox_; }
  // The check boxes and filter types, which the skin draws.
  std::vector<QAbstractButton*> switches() const;

 private:
  struct SliderText {
    QSlider* slider = nullptr;
    QLabel* text = nullptr;
  };
  // A labelled slider 0..127 of `box`, put in `row`, whose moves call `move(p)`.
  SliderText AddSlider(QWidget* box, QBoxLayout* row, const QString& name, const QString& caption,
                       void (*move)(EffectsSection*, int));
  // A switch of panel control `controlId` (which names its skin images).
  QCheckBox* AddCheck(QWidget* box, const QString& name, int controlId, const QString& caption,
                      void (*toggle)(EffectsSection*, bool));

  PanelContext* context_;
  QWidget* parent_;
  QWidget *filterBox_, *delayBox_, *reverbBox_;
  SliderText frequency_[2], resonance_[2], rate_[2], depth_[2];
  SliderText delayTime_[2], delayFeedback_[2], delayMix_;
  SliderText reverbLength_, reverbMix_, reverbDamping_;
  QLineEdit* delayMs_[2] = {};
  SkinnedRadioButton* mode_[4] = {};
  QCheckBox *filterOn_, *lfoOn_, *filterLink_, *lfoLink_;
  QCheckBox *delayOn_, *delayMode_, *delayLink_, *delaySync_;
  QCheckBox* reverbOn_;
};
