#include "gui/strip_column.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QSlider>

#include "gui/panel_context.h"
#include "gui/panel_widgets.h"
#include "gui/skin_images.h"
#include "gui/skin_painter.h"

namespace {

constexpr StripIds kIds[kStripCount] = {
    {1069, 1160, 1141, 1146, 1059, 1296, 1097, 1057, 11205, 1113, 1125, 1133, 1105, 1164, 1239},
    {1070, 1161, 1142, 1147, 1061, 1297, 1098, 1058, 11207, 1114, 1126, 1134, 1106, 1165, 1238},
    {1071, 1162, 1143, 1149, 1064, 1298, 1099, 1063, 11208, 1115, 1127, 1135, 1107, 1167, 1237},
    {1072, 1163, 1148, 1151, 1067, 1299, 1100, 1066, 11209, 1116, 1128, 1136, 1108, 1227, 1236},
    {1075, 1166, 1150, 1153, 1074, 1300, 1101, 1073, 11210, 1117, 1129, 1137, 1109, 1228, 1235},
    {1079, 1168, 1152, 1155, 1078, 1301, 1102, 1077, 11211, 1118, 1130, 1138, 1110, 1229, 1232},
    {1083, 1169, 1154, 1157, 1082, 1302, 1103, 1081, 11212, 1119, 1131, 1139, 1111, 1230, 1233},
    {1087, 1170, 1156, 1158, 1086, 1303, 1104, 1085, 11213, 1120, 1132, 1140, 1112, 1231, 1234},
};

}  // namespace

const StripIds& Strip_Ids(int strip) { return kIds[strip]; }

StripColumn::StripColumn(PanelContext* context, int strip, QWidget* parent)
    : QWidget(parent), context_(context), strip_(strip) {
  const StripIds& id = kIds[strip];
  QFont small = font();
  small.setPointSize(7);
  setFont(small);
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(2, 2, 2, 2);
  grid->setSpacing(2);

  number_ = context->Add(new TrackNumberButton(strip, this), id.number);
  name_ = context->Field(TrackNameField(strip), id.name, this);
  loopTime_ = context->Add(new QLabel(this), id.loopTime);
  loopTime_->setAlignment(Qt::AlignCenter);
  grid->addWidget(number_, 0, 0, 1, 2);
  grid->addWidget(name_, 1, 0, 1, 2);
  grid->addWidget(loopTime_, 2, 0, 1, 2);

  // Each switch posts its track's command; the app decides what it does.
  auto button = [&](const char* text, int controlId, Command command, SkinSwitch kind) {
    auto* b = context->Add(new LedButton(text, this), controlId);
    b->setSkinRole(controlId, kind);
    connect(b, &QAbstractButton::clicked, this,
            [this, command] { context_->Command(command, App_Parameter(strip_, 0)); });
    return b;
  };
  active_ = button("Active", id.active, Command::TrackRecord, SkinSwitch::Radio);
  mute_ = button("Mute", id.mute, Command::TrackMute, SkinSwitch::Mute);
  solo_ = button("Solo", id.solo, Command::TrackSolo, SkinSwitch::Solo);
  submix_ = button("Mix", id.submix, Command::TrackSubmix, SkinSwitch::CheckBox);
  effects_ = button("FX", id.effects, Command::TrackEffect, SkinSwitch::CheckBox);
  slow_ = button("Slow", id.slow, Command::TrackSlow, SkinSwitch::CheckBox);
  reverse_ = button("Rev.", id.reverse, Command::TrackReverse, SkinSwitch::CheckBox);
  grid->addWidget(active_, 3, 0, 1, 2);
  switches_ = new QGridLayout;
  switches_->setSpacing(2);
  grid->addLayout(switches_, 4, 0, 1, 2);
  ArrangeSwitches();

  auto slider = [&](Qt::Orientation o, int controlId, Slider which, SkinSlider kind) {
    QSlider* s = context->Add(PanelContext::Slider(o, 127, this, kind), controlId);
    connect(s, &QSlider::valueChanged, this, [this, which](int p) { context_->Slide(which, strip_, p); });
    return s;
  };
  volume_ = slider(Qt::Vertical, id.volume, Slider::TrackVolume, SkinSlider::Volume);
  volume_->setMinimumHeight(72);
  meterA_ = context->Add(new LedMeter(1, Qt::Vertical, this), id.meterA);
  meterB_ = context->Add(new LedMeter(1, Qt::Vertical, this), id.meterB);
  auto* levels = new QHBoxLayout;
  levels->setSpacing(3);
  levels->addWidget(meterA_);
  levels->addWidget(volume_);
  levels->addWidget(meterB_);
  grid->addLayout(levels, 5, 0, 1, 2, Qt::AlignHCenter);

  pan_ = slider(Qt::Horizontal, id.pan, Slider::TrackPan, SkinSlider::Pan);
  effectsMix_ = slider(Qt::Horizontal, id.effectsMix, Slider::TrackEffectsMix, SkinSlider::FxSend);
  // Each caption beside its slider: a row less each, for a panel that fits 1280 x 720.
  auto sideBySide = [&](const char* caption, QSlider* s, int row) {
    auto* line = new QHBoxLayout;
    line->setSpacing(2);
    line->addWidget(new QLabel(caption, this));
    line->addWidget(s, 1);
    grid->addLayout(line, row, 0, 1, 2);
  };
  sideBySide("Pan", pan_, 6);
  sideBySide("FX", effectsMix_, 7);
}

bool StripColumn::SkinnedSwitches() const {
  for (const LedButton* b : {mute_, solo_, submix_, effects_, slow_, reverse_})
    if (!b->skinned()) return false;
  return true;
}

void StripColumn::ArrangeSwitches() {
  // The built-in buttons share the strip two by two. A skin's check boxes with their
  // captions beside are wider: their captions go under the images and the four sit in
  // one row under Mute and Solo, which keeps the strip about as tall.
  const bool skinned = arrangedSkinned_ = SkinnedSwitches();
  const SwitchCaption caption = skinned ? SwitchCaption::Below : SwitchCaption::Beside;
  LedButton* const order[] = {mute_, solo_, submix_, effects_, slow_, reverse_};
  for (LedButton* b : order) {
    switches_->removeWidget(b);
    b->setCaption(caption);
  }
  for (int i = 0; i < 6; ++i) {
    if (skinned && i >= 2)
      switches_->addWidget(order[i], 1, i - 2, Qt::AlignHCenter | Qt::AlignTop);
    else if (skinned)
      switches_->addWidget(order[i], 0, 2 * i, 1, 2, Qt::AlignHCenter | Qt::AlignTop);
    else
      switches_->addWidget(order[i], i / 2, i % 2);
  }
  setFixedWidth(FittingWidth());
}

int StripColumn::FittingWidth() const {
  const int s = switches_->horizontalSpacing();
  auto w = [](const QWidget* b) { return b->sizeHint().width(); };
  int widest = w(active_);
  if (arrangedSkinned_)  // Mute over Mix and FX, Solo over Slow and Rev.
    widest = std::max(widest, std::max(w(mute_), w(submix_) + s + w(effects_)) + s +
                                  std::max(w(solo_), w(slow_) + s + w(reverse_)));
  else
    widest = std::max(widest, std::max({w(mute_), w(submix_), w(slow_)}) + s +
                                  std::max({w(solo_), w(effects_), w(reverse_)}));
  const QMargins m = layout()->contentsMargins();
  return std::max(kNarrowest, widest + m.left() + m.right());
}

void StripColumn::paintEvent(QPaintEvent*) {
  const auto* images = dynamic_cast<const SkinImageCache*>(SkinImages_Installed());
  if (!images) return;
  QPainter p(this);
  SkinPaint_Stretched(p, rect(), *images, SkinSlot_TrackBackground + 2 * strip_ + (current_ ? 1 : 0));
}

void StripColumn::Refresh(const StripView& v, int meterLit, int meterLeds) {
  // A skin may lack the image of a state: the layout follows what is drawn.
  if (SkinnedSwitches() != arrangedSkinned_) ArrangeSwitches();
  if (current_ != v.active) {
    current_ = v.active;
    update();
  }
  active_->setLit(v.active);
  mute_->setLit(v.mute);
  solo_->setLit(v.solo);
  submix_->setLit(v.submixB);
  effects_->setLit(v.effects);
  slow_->setLit(v.slow);
  reverse_->setLit(v.reverse);
  for (auto [slider, value] : {std::pair{volume_, v.volume}, {pan_, v.pan}, {effectsMix_, v.effectsMix}}) {
    if (slider->isSliderDown() || slider->value() == value) continue;
    const QSignalBlocker block(slider);
    slider->setValue(value);
  }
  meterA_->setLedCount(meterLeds);
  meterB_->setLedCount(meterLeds);
  meterA_->setLevel(0, meterLit, 0);
  meterB_->setLevel(0, meterLit, 0);
  ShowFieldText(name_, v.name);
  loopTime_->setText(QString::fromStdString(v.loopTime));
}
