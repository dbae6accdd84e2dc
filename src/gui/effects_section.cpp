#include "gui/effects_section.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>

#include "app/model/effects_panel.h"
#include "gui/panel_context.h"
#include "gui/panel_widgets.h"

namespace {

QGroupBox* Group(const QString& title, QWidget* parent) {
  auto* box = new QGroupBox(title, parent);
  auto* row = new QHBoxLayout(box);
  row->setContentsMargins(4, 2, 4, 2);
  row->setSpacing(6);
  return box;
}

// One effect's part of a group: its switches in rows over its row of sliders, so that the
// switches take no width of their own beside the sliders.
struct Part {
  QGridLayout* switches;
  QHBoxLayout* sliders;
};
Part AddPart(QWidget* box) {
  auto* column = new QVBoxLayout;
  column->setSpacing(2);
  Part part{new QGridLayout, new QHBoxLayout};
  part.switches->setHorizontalSpacing(6);
  part.switches->setVerticalSpacing(2);
  part.sliders->setSpacing(2);
  column->addLayout(part.switches);
  column->addLayout(part.sliders, 1);
  static_cast<QBoxLayout*>(box->layout())->addLayout(column);
  return part;
}

void Show(QSlider* slider, int p) {
  if (slider->isSliderDown() || slider->value() == p) return;
  const QSignalBlocker block(slider);
  slider->setValue(p);
}

void Show(QCheckBox* box, bool on) {
  if (box->isChecked() == on) return;
  const QSignalBlocker block(box);
  box->setChecked(on);
}

void Show(QLabel* label, const std::string& text) { label->setText(QString::fromStdString(text)); }

}  // namespace

// The section's slider callbacks need the model; they are plain functions over `this`.
#define MODEL (&self->context_->app()->effects)

EffectsSection::SliderText EffectsSection::AddSlider(QWidget* box, QBoxLayout* row, const QString& name,
                                                     const QString& caption, void (*move)(EffectsSection*, int)) {
  auto* column = new QVBoxLayout;
  column->setSpacing(1);
  SliderText st;
  st.text = new QLabel(box);
  st.text->setAlignment(Qt::AlignCenter);
  st.text->setObjectName(name + "Text");
  st.slider = PanelContext::Slider(Qt::Vertical, kEffectsSliderMax, box, SkinSlider::Fx);
  st.slider->setObjectName(name);
  st.slider->setMinimumHeight(60);
  auto* label = new QLabel(caption, box);
  // Narrow columns (the panel fits 1280 x 720): the texts in the strips' small font.
  QFont small = label->font();
  small.setPointSize(7);
  st.text->setFont(small);
  label->setFont(small);
  st.text->setFixedWidth(33);
  label->setFixedWidth(33);
  label->setAlignment(Qt::AlignCenter);
  column->addWidget(st.text);
  column->addWidget(st.slider, 1, Qt::AlignHCenter);
  column->addWidget(label);
  row->addLayout(column);
  connect(st.slider, &QSlider::valueChanged, this, [this, move](int p) {
    move(this, p);
    context_->Changed();
  });
  return st;
}

QCheckBox* EffectsSection::AddCheck(QWidget* parent, const QString& name, int controlId, const QString& caption,
                                    void (*toggle)(EffectsSection*, bool)) {
  auto* box = new SkinnedCheckBox(caption, SkinSwitch_ForControl(controlId), parent);
  box->setObjectName(name);
  box->setFocusPolicy(Qt::NoFocus);
  connect(box, &QCheckBox::toggled, this, [this, toggle](bool on) {
    toggle(this, on);
    App_FocusPanel(context_->app());
    context_->Changed();
  });
  return box;
}

EffectsSection::EffectsSection(PanelContext* context, QWidget* parent)
    : QObject(parent), context_(context), parent_(parent) {
  using S = EffectsSection;

  // ---- Filter and LFO ----
  auto* filter = filterBox_ = Group("Filter", parent);
  const Part filterPart = AddPart(filter);
  filterOn_ = AddCheck(filter, "filterOn", 1042, "On", [](S* self, bool on) { EffectsPanel_EnableFilter(MODEL, on); });
  filterLink_ = AddCheck(filter, "filterLink", 1038, "Link", [](S* self, bool on) { EffectsPanel_SetFilterLink(MODEL, on); });
  filterPart.switches->addWidget(filterOn_, 0, 0);
  filterPart.switches->addWidget(filterLink_, 0, 1);
  const int modeIds[4] = {1043, 1048, 1049, 1052};  // Low, Band, High, Notch
  for (int m = 0; m < 4; ++m) {
    mode_[m] = new SkinnedRadioButton(EffectsPanel_FilterModeName(m), SkinSwitch_ForControl(modeIds[m]), filter);
    mode_[m]->setObjectName(QString("filterMode%1").arg(m));
    mode_[m]->setFocusPolicy(Qt::NoFocus);
    connect(mode_[m], &QRadioButton::clicked, this, [this, m] {
      EffectsPanel_SetFilterMode(&context_->app()->effects, m);
      App_FocusPanel(context_->app());
      context_->Changed();
    });
    filterPart.switches->addWidget(mode_[m], 1 + m / 2, m % 2);
  }
  frequency_[0] = AddSlider(filter, filterPart.sliders, "filterFrequency0", "Freq L", [](S* self, int p) { EffectsPanel_SetFilterFrequency(MODEL, 0, p); });
  frequency_[1] = AddSlider(filter, filterPart.sliders, "filterFrequency1", "Freq R", [](S* self, int p) { EffectsPanel_SetFilterFrequency(MODEL, 1, p); });
  resonance_[0] = AddSlider(filter, filterPart.sliders, "filterResonance0", "Res L", [](S* self, int p) { EffectsPanel_SetFilterResonance(MODEL, 0, p); });
  resonance_[1] = AddSlider(filter, filterPart.sliders, "filterResonance1", "Res R", [](S* self, int p) { EffectsPanel_SetFilterResonance(MODEL, 1, p); });
  const Part lfoPart = AddPart(filter);
  lfoPart.switches->addWidget(new QLabel("LFO", filter), 0, 0);
  lfoOn_ = AddCheck(filter, "lfoOn", 1053, "On", [](S* self, bool on) { EffectsPanel_EnableLfo(MODEL, on); });
  lfoLink_ = AddCheck(filter, "lfoLink", 1045, "Link", [](S* self, bool on) { EffectsPanel_SetLfoLink(MODEL, on); });
  lfoPart.switches->addWidget(lfoOn_, 1, 0);
  lfoPart.switches->addWidget(lfoLink_, 1, 1);
  lfoPart.switches->setRowStretch(2, 1);
  rate_[0] = AddSlider(filter, lfoPart.sliders, "lfoRate0", "Rate L", [](S* self, int p) { EffectsPanel_SetLfoRate(MODEL, 0, p); });
  rate_[1] = AddSlider(filter, lfoPart.sliders, "lfoRate1", "Rate R", [](S* self, int p) { EffectsPanel_SetLfoRate(MODEL, 1, p); });
  depth_[0] = AddSlider(filter, lfoPart.sliders, "lfoDepth0", "Dep. L", [](S* self, int p) { EffectsPanel_SetLfoDepth(MODEL, 0, p); });
  depth_[1] = AddSlider(filter, lfoPart.sliders, "lfoDepth1", "Dep. R", [](S* self, int p) { EffectsPanel_SetLfoDepth(MODEL, 1, p); });

  // ---- Delay ----
  auto* delay = delayBox_ = Group("Delay", parent);
  const Part delayPart = AddPart(delay);
  delayOn_ = AddCheck(delay, "delayOn", 1068, "On", [](S* self, bool on) { EffectsPanel_EnableDelay(MODEL, on); });
  delayMode_ = AddCheck(delay, "delayMode", 1092, "Mode", [](S* self, bool on) { EffectsPanel_SetDelayMode(MODEL, on); });
  delayLink_ = AddCheck(delay, "delayLink", 1076, "Link", [](S* self, bool on) { EffectsPanel_SetDelayLink(MODEL, on); });
  delaySync_ = AddCheck(delay, "delaySync", 1093, "Sync", [](S* self, bool on) { EffectsPanel_SetDelaySync(MODEL, on); });
  int cell = 0;
  for (QCheckBox* b : {delayOn_, delayMode_, delayLink_, delaySync_}) delayPart.switches->addWidget(b, 0, cell++);
  const PanelField msFields[2] = {PanelField::DelayLeft, PanelField::DelayRight};
  const int msIds[2] = {1294, 1295};
  auto* milliseconds = new QHBoxLayout;
  milliseconds->setSpacing(3);
  for (int c = 0; c < 2; ++c) {
    delayMs_[c] = context->Field(msFields[c], msIds[c], delay);
    delayMs_[c]->setMaximumWidth(48);
    milliseconds->addWidget(new QLabel(c == 0 ? "ms L" : "ms R", delay));
    milliseconds->addWidget(delayMs_[c]);
  }
  milliseconds->addStretch();
  delayPart.switches->addLayout(milliseconds, 1, 0, 1, 4);
  delayTime_[0] = AddSlider(delay, delayPart.sliders, "delayTime0", "Time L", [](S* self, int p) { EffectsPanel_SetDelayTimePosition(MODEL, 0, p); });
  delayTime_[1] = AddSlider(delay, delayPart.sliders, "delayTime1", "Time R", [](S* self, int p) { EffectsPanel_SetDelayTimePosition(MODEL, 1, p); });
  delayFeedback_[0] = AddSlider(delay, delayPart.sliders, "delayFeedback0", "Fb L", [](S* self, int p) { EffectsPanel_SetDelayFeedback(MODEL, 0, p); });
  delayFeedback_[1] = AddSlider(delay, delayPart.sliders, "delayFeedback1", "Fb R", [](S* self, int p) { EffectsPanel_SetDelayFeedback(MODEL, 1, p); });
  delayMix_ = AddSlider(delay, delayPart.sliders, "delayMix", "Mix", [](S* self, int p) { EffectsPanel_SetDelayMix(MODEL, p); });

  // ---- Reverb ----
  auto* reverb = reverbBox_ = Group("Reverb", parent);
  auto* reverbRow = static_cast<QBoxLayout*>(reverb->layout());
  reverbRow->setSpacing(2);
  reverbOn_ = AddCheck(reverb, "reverbOn", 1054, "On", [](S* self, bool on) { EffectsPanel_EnableReverb(MODEL, on); });
  reverbRow->addWidget(reverbOn_, 0, Qt::AlignTop);
  reverbLength_ = AddSlider(reverb, reverbRow, "reverbLength", "Time", [](S* self, int p) { EffectsPanel_SetReverbLength(MODEL, p); });
  reverbMix_ = AddSlider(reverb, reverbRow, "reverbMix", "Mix", [](S* self, int p) { EffectsPanel_SetReverbMix(MODEL, p); });
  reverbDamping_ = AddSlider(reverb, reverbRow, "reverbDamping", "Tone", [](S* self, int p) { EffectsPanel_SetReverbDamping(MODEL, p); });
}

#undef MODEL

std::vector<QAbstractButton*> EffectsSection::switches() const {
  return {filterOn_, filterLink_, lfoOn_, lfoLink_, delayOn_, delayMode_, delayLink_, delaySync_, reverbOn_,
          mode_[0], mode_[1], mode_[2], mode_[3]};
}

void EffectsSection::Refresh() {
  const EffectsPanel* m = &context_->app()->effects;
  for (int c = 0; c < 2; ++c) {
    Show(frequency_[c].slider, m->filterFrequency[c]);
    Show(frequency_[c].text, EffectsPanel_FrequencyText(m, c));
    Show(resonance_[c].slider, m->filterResonance[c]);
    Show(resonance_[c].text, EffectsPanel_ResonanceText(m, c));
    Show(rate_[c].slider, m->lfoRate[c]);
    Show(rate_[c].text, EffectsPanel_LfoRateText(m, c));
    Show(depth_[c].slider, m->lfoDepth[c]);
    Show(depth_[c].text, EffectsPanel_LfoDepthText(m, c));
    Show(delayTime_[c].slider, m->delayTime[c]);
    Show(delayTime_[c].text, EffectsPanel_DelayTimeText(m, c));
    Show(delayFeedback_[c].slider, m->delayFeedback[c]);
    Show(delayFeedback_[c].text, EffectsPanel_DelayFeedbackText(m, c));
    ShowFieldText(delayMs_[c], std::to_string(m->delayMilliseconds[c]));
  }
  Show(delayMix_.slider, m->delayMix);
  Show(delayMix_.text, EffectsPanel_DelayMixText(m));
  Show(reverbLength_.slider, m->reverbLength);
  Show(reverbLength_.text, EffectsPanel_ReverbLengthText(m));
  Show(reverbMix_.slider, m->reverbMix);
  Show(reverbMix_.text, EffectsPanel_ReverbMixText(m));
  Show(reverbDamping_.slider, m->reverbDamping);
  Show(reverbDamping_.text, EffectsPanel_ReverbDampingText(m));
  for (int i = 0; i < 4; ++i) {
    const bool chosen = m->filterMode == i;
    if (mode_[i]->isChecked() != chosen) {
      const QSignalBlocker block(mode_[i]);
      mode_[i]->setChecked(chosen);
    }
    // The chosen filter type stands out in every look: a skin shows it with its Radio
    // images, Qt's radio button (small in a dark palette) gets bold text as well.
    const bool bold = chosen && !mode_[i]->skinned();
    if (mode_[i]->font().bold() != bold) {
      QFont font = mode_[i]->font();
      font.setBold(bold);
      mode_[i]->setFont(font);
    }
  }
  Show(filterOn_, m->filterEnabled);
  Show(lfoOn_, m->lfoEnabled);
  Show(filterLink_, m->filterLink);
  Show(lfoLink_, m->lfoLink);
  Show(delayOn_, m->delayEnabled);
  Show(delayMode_, m->delayCrossMode);
  Show(delayLink_, m->delayLink);
  Show(delaySync_, m->delaySync);
  Show(reverbOn_, m->reverbEnabled);
}
