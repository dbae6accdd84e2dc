#include "gui/transport_panel.h"

#include <QContextMenuEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QSlider>
#include <QVBoxLayout>
#include <QWindow>

#include "app/loopedit/loop_edit_model.h"
#include "app/panel_view.h"
#include "app/settings/skin.h"
#include "gui/effects_section.h"
#include "gui/loop_edit_widget.h"
#include "gui/panel_widgets.h"
#include "gui/skin_images.h"
#include "gui/skin_painter.h"
#include "gui/strip_column.h"

namespace {

QGroupBox* Box(const QString& title, QWidget* parent) {
  auto* box = new QGroupBox(title, parent);
  return box;
}

QGridLayout* Grid(QWidget* w) {
  auto* g = new QGridLayout(w);
  g->setContentsMargins(4, 4, 4, 4);
  g->setSpacing(3);
  return g;
}

void ShowLit(QWidget* w, bool lit) { static_cast<LedButton*>(w)->setLit(lit); }

void ShowSlider(QSlider* s, int value) {
  if (s->isSliderDown() || s->value() == value) return;
  const QSignalBlocker block(s);
  s->setValue(value);
}

}  // namespace

TransportPanel::TransportPanel(App* app, std::function<void()> changed, QWidget* parent)
    : QWidget(parent), context_(app, std::move(changed)) {
  setObjectName("TransportPanel");
  setFocusPolicy(Qt::StrongFocus);
  // Made before start-up, which loads the configured skin through it.
  skinImages_ = new SkinImageCache(this);
  connect(skinImages_, &SkinImageCache::changed, this, [this] {
    skinChanged_ = true;
    update();
  });
  auto* page = new QVBoxLayout(this);
  page->setContentsMargins(6, 4, 6, 4);
  page->setSpacing(4);

  QFont small = font();
  small.setPointSize(8);
  setFont(small);
  effects_ = new EffectsSection(&context_, this);

  auto* top = new QHBoxLayout;
  top->addWidget(BuildTransport());
  top->addWidget(BuildLoopTime());
  top->addWidget(BuildMetronome());
  top->addWidget(BuildMixer());
  top->addWidget(effects_->reverbBox());
  top->addStretch(1);
  page->addLayout(top);
  page->addWidget(BuildPosition());

  auto* bottom = new QHBoxLayout;
  auto* stripBox = Box("Tracks", this);
  auto* stripRow = new QHBoxLayout(stripBox);
  stripRow->setContentsMargins(2, 2, 2, 2);
  stripRow->setSpacing(2);
  for (int i = 0; i < kStripCount; ++i) {
    strips_[i] = new StripColumn(&context_, i, stripBox);
    strips_[i]->numberButton()->onDrop = [this](int strip, const std::vector<std::string>& paths) {
      App_Drop(context_.app(), strip, paths);
      context_.Changed();
    };
    stripRow->addWidget(strips_[i]);
  }
  bottom->addWidget(stripBox);
  bottom->addWidget(effects_->filterBox());
  bottom->addWidget(effects_->delayBox());
  bottom->addStretch(1);
  page->addLayout(bottom, 1);
  basePalette_ = palette();
}

struct TransportPanel::Drawn {
  PanelView view;
  MixerView mixer;
  EffectsPanel effects;
  std::array<std::string, 7> fields;
  std::array<int, kStripCount> stripLeds{};
  bool operator==(const Drawn&) const = default;
};

namespace {
constexpr std::pair<int, PanelField> kFieldControls[] = {
    {1209, PanelField::Seconds}, {1211, PanelField::Measures}, {1212, PanelField::MaxTime},
    {1210, PanelField::Tempo},   {1159, PanelField::Beats},    {1144, PanelField::Countoff},
    {1145, PanelField::MuteAfter}};
}  // namespace

TransportPanel::~TransportPanel() = default;

LedButton* TransportPanel::PostButton(int controlId, const QString& text, QWidget* parent) {
  auto* b = context_.Add(new LedButton(text, parent), controlId);
  b->setSkinRole(controlId, SkinSwitch_ForControl(controlId));
  const PanelCommand command = Panel_Button(controlId);
  connect(b, &QAbstractButton::clicked, this,
          [this, command] { context_.Command(static_cast<uint32_t>(command.command), command.parameter); });
  return b;
}

LedButton* TransportPanel::CommandButton(int controlId, const QString& text, Command command, uint32_t parameter,
                                         QWidget* parent) {
  auto* b = context_.Add(new LedButton(text, parent), controlId);
  b->setSkinRole(controlId, SkinSwitch_ForControl(controlId));
  connect(b, &QAbstractButton::clicked, this, [this, command, parameter] { context_.Command(command, parameter); });
  return b;
}

QWidget* TransportPanel::BuildTransport() {
  auto* box = Box("Transport", this);
  auto* g = Grid(box);
  const std::pair<int, const char*> rows[] = {
      {1001, "Record"}, {1002, "Play"},     {1000, "Stop"},      {1004, "Pause"},
      {1011, "Insert"}, {1005, "Set Loop"}, {1006, "Multiply"},  {1013, "Divide"},
      {1003, "Erase"},  {1007, "Undo"},     {1008, "Slow"},      {1009, "Reverse"},
      {1014, "Mix->Disk"}, {1015, "Mix->Track"},
  };
  // Three columns: the panel has to fit a 1280 x 720 screen, and is wider than tall.
  int i = 0;
  for (const auto& [id, text] : rows) {
    g->addWidget(PostButton(id, text, box), i / 3, i % 3);
    ++i;
  }
  // Redo fills the last row's free cell.
  g->addWidget(CommandButton(1292, "Redo", Command::TransportRedo, 0, box), i / 3, i % 3);
  undoLabel_ = context_.Add(new QLabel(box), 1291);
  undoLabel_->setWordWrap(true);
  undoLabel_->setMinimumWidth(170);
  g->addWidget(undoLabel_, 5, 0, 1, 2);
  undoDepth_ = context_.Add(new QLabel(box), 1293);
  g->addWidget(undoDepth_, 5, 2);
  g->setRowStretch(6, 1);
  return box;
}

QWidget* TransportPanel::BuildLoopTime() {
  auto* box = Box("Loop Time", this);
  auto* g = Grid(box);
  const std::tuple<int, const char*, PanelField> modes[] = {
      {1278, "Seconds", PanelField::Seconds}, {1279, "Measures", PanelField::Measures},
      {1280, "Max Time", PanelField::MaxTime}};
  const int fieldIds[] = {1209, 1211, 1212};
  int row = 0;
  for (const auto& [id, text, field] : modes) {
    g->addWidget(PostButton(id, text, box), row, 0);
    auto* edit = context_.Field(field, fieldIds[row], box);
    edit->setMaximumWidth(80);
    g->addWidget(edit, row, 1);
    ++row;
  }
  g->addWidget(new QLabel("Tempo", box), row, 0);
  g->addWidget(context_.Field(PanelField::Tempo, 1210, box), row++, 1);
  g->addWidget(new QLabel("Beats/Measure", box), row, 0);
  g->addWidget(context_.Field(PanelField::Beats, 1159, box), row++, 1);
  syncStatus_ = new QLabel(box);
  syncStatus_->setObjectName("sync_status");
  syncStatus_->hide();
  g->addWidget(syncStatus_, row++, 0, 1, 2);
  auto* buttons = new QHBoxLayout;
  buttons->setSpacing(3);
  buttons->addWidget(PostButton(1215, "Tap", box));
  buttons->addWidget(PostButton(1221, "Get", box));
  buttons->addWidget(PostButton(1217, "Set", box));
  // The loop button opens the Set Loop Time dialog.
  buttons->addWidget(CommandButton(1223, "Loop...", Command::SetLoopTimeDialog, 0, box));
  g->addLayout(buttons, row++, 0, 1, 2);
  auto* targets = new QHBoxLayout;
  targets->setSpacing(3);
  targets->addWidget(PostButton(1218, "Current", box));
  targets->addWidget(PostButton(1219, "Empty", box));
  targets->addWidget(PostButton(1220, "All", box));
  g->addLayout(targets, row, 0, 1, 2);
  return box;
}

QWidget* TransportPanel::BuildMetronome() {
  auto* box = Box("Metronome", this);
  auto* g = Grid(box);
  g->addWidget(PostButton(1242, "Rec.", box), 0, 0);
  g->addWidget(PostButton(1241, "Play", box), 0, 1);
  g->addWidget(new QLabel("Count-off", box), 1, 0);
  g->addWidget(context_.Field(PanelField::Countoff, 1144, box), 1, 1);
  g->addWidget(new QLabel("Mute after", box), 2, 0);
  g->addWidget(context_.Field(PanelField::MuteAfter, 1145, box), 2, 1);
  g->addWidget(new QLabel("Volume", box), 3, 0, 1, 2);
  metronomeVolume_ = PanelContext::Slider(Qt::Horizontal, 127, box, SkinSlider::Metronome);
  metronomeVolume_->setObjectName("metronomeVolume");
  connect(metronomeVolume_, &QSlider::valueChanged, this,
          [this](int p) { context_.Slide(Slider::MetronomeVolume, 0, p); });
  g->addWidget(metronomeVolume_, 4, 0, 1, 2);
  g->setRowStretch(5, 1);
  for (int id : {1144, 1145}) static_cast<QLineEdit*>(context_.Control(id))->setMaximumWidth(60);
  return box;
}

QWidget* TransportPanel::BuildMixer() {
  auto* box = Box("Mixer", this);
  auto* g = Grid(box);
  auto fader = [&](const char* name, const char* caption, int column, int maximum) {
    QSlider* s = PanelContext::Slider(Qt::Vertical, maximum, box, SkinSlider::Mixing);
    s->setObjectName(name);
    s->setMinimumHeight(80);
    g->addWidget(new QLabel(caption, box), 0, column, Qt::AlignHCenter);
    g->addWidget(s, 1, column, Qt::AlignHCenter);
    return s;
  };
  master_ = fader("masterVolume", "Master", 0, 127);
  submix_[0] = fader("submixA", "A", 1, 127);
  submix_[1] = fader("submixB", "B", 2, 127);
  feedback_ = fader("recordFeedback", "Feedback", 3, 127);
  g->addWidget(PostButton(1022, "Mute", box), 2, 0);
  g->addWidget(PostButton(1026, "Mute", box), 2, 1);
  g->addWidget(PostButton(1025, "Mute", box), 2, 2);
  crossfade_ = PanelContext::Slider(Qt::Horizontal, 127, box, SkinSlider::Mixing);
  crossfade_->setObjectName("crossfade");

  connect(master_, &QSlider::valueChanged, this, [this](int p) { context_.Slide(Slider::MasterVolume, 0, p); });
  for (int i = 0; i < 2; ++i)
    connect(submix_[i], &QSlider::valueChanged, this, [this, i](int p) {
      App_MoveSubmixFader(context_.app(), i, p);
      context_.Changed();
    });
  connect(crossfade_, &QSlider::valueChanged, this, [this](int p) { context_.Slide(Slider::Crossfade, 0, p); });
  connect(feedback_, &QSlider::valueChanged, this, [this](int p) { context_.Slide(Slider::RecordFeedback, 0, p); });

  auto* meters = new QVBoxLayout;
  meters->addWidget(new QLabel("Input", box));
  inputMeter_ = new LedMeter(2, Qt::Horizontal, box);
  inputMeter_->setObjectName("inputMeter");
  meters->addWidget(inputMeter_);
  meters->addWidget(new QLabel("Output", box));
  outputMeter_ = new LedMeter(2, Qt::Horizontal, box);
  outputMeter_->setObjectName("outputMeter");
  meters->addWidget(outputMeter_);
  meters->addStretch();
  meters->addWidget(new QLabel("A/B Crossfade", box));
  meters->addWidget(crossfade_);
  g->addLayout(meters, 0, 4, 3, 1);
  g->setColumnStretch(4, 1);
  return box;
}

QWidget* TransportPanel::BuildPosition() {
  auto* box = new QWidget(this);
  auto* g = Grid(box);
  g->setContentsMargins(0, 0, 0, 0);
  editing_ = context_.Add(new QLabel(box), 1274);
  editing_->setMinimumWidth(200);
  g->addWidget(editing_, 0, 0);
  position_ = context_.Add(new QProgressBar(box), 1012);
  position_->setRange(0, 100);
  position_->setTextVisible(false);
  position_->setFixedHeight(12);
  g->addWidget(position_, 0, 1, 1, 2);
  halfText_ = context_.Add(new QLabel("0.00", box), 1017);
  lengthText_ = context_.Add(new QLabel("0.00", box), 1016);
  g->addWidget(halfText_, 1, 1, Qt::AlignRight | Qt::AlignTop);
  g->addWidget(lengthText_, 1, 2, Qt::AlignRight | Qt::AlignTop);
  g->setColumnStretch(1, 1);
  g->setColumnStretch(2, 1);
  auto* edit = new QHBoxLayout;
  edit->setSpacing(2);
  const std::pair<int, const char*> buttons[] = {{1268, "Zoom In"}, {1269, "Zoom Out"}, {1265, "Full"},
                                                 {1263, "Zoom Sel."}, {1270, "Loop Sel."}, {1262, "Cut"},
                                                 {1271, "Set Start"}};
  for (const auto& [id, text] : buttons) edit->addWidget(PostButton(id, text, box));
  g->addLayout(edit, 1, 0);
  // The loop edit view: the current track's waveform. The application's view exists
  // only after start-up; ShowView attaches it.
  wave_ = context_.Add(new LoopEditWidget(static_cast<AppLoopEdit*>(nullptr), box), 1275);
  wave_->setFixedHeight(96);
  g->addWidget(wave_, 2, 0, 1, 3);
  return box;
}

void TransportPanel::TakeLevels() { levels_ = App_TakeStripLevels(context_.app()); }

void TransportPanel::Refresh() { ShowView(App_Panel(context_.app())); }

TransportPanel::Drawn TransportPanel::Capture(const PanelView& v) const {
  const App* app = context_.app();
  Drawn drawn{v, App_Mixer(app), app->effects, {}, {}};
  for (size_t i = 0; i < std::size(kFieldControls); ++i) drawn.fields[i] = App_Field(app, kFieldControls[i].second);
  for (int i = 0; i < kStripCount; ++i) drawn.stripLeds[i] = Meter_LitCount(levels_.level[i], v.meterLeds);
  return drawn;
}

void TransportPanel::ShowViewIfChanged(const PanelView& v) {
  const bool skinPending = skinChanged_ || App_Skin().current != appliedSkin_;
  const bool modelPending = !wave_->hasModel() && App_LoopEditView(context_.app());
  Drawn now = Capture(v);
  if (drawn_ && !skinPending && !modelPending && *drawn_ == now) return;
  Draw(std::move(now));
}

void TransportPanel::ShowView(const PanelView& v) { Draw(Capture(v)); }

// Draws what was captured and keeps it: what the next tick compares with is what the
// widgets show, even when the state moves while a skin loads under its progress dialog.
void TransportPanel::Draw(Drawn drawn) {
  const PanelView& v = drawn.view;
  // A skin loads image by image, with events running under its progress dialog: the
  // colours are taken again once its name shows it has finished.
  if (skinChanged_ || App_Skin().current != appliedSkin_) ApplySkin();
  if (!wave_->hasModel())
    if (AppLoopEdit* view = App_LoopEditView(context_.app())) wave_->setModel(view);
  const std::pair<int, bool> lit[] = {
      {1000, v.stop}, {1002, v.play}, {1001, v.record}, {1004, v.pause}, {1008, v.slow}, {1009, v.reverse},
      {1014, v.mixToDisk}, {1015, v.mixToTrack}, {1242, v.metronomeRecord}, {1241, v.metronomePlay},
      {1278, v.loopTimeMode == 0}, {1279, v.loopTimeMode == 1}, {1280, v.loopTimeMode == 2},
      {1218, v.loopTimeTarget == 0}, {1219, v.loopTimeTarget == 1}, {1220, v.loopTimeTarget == 2},
  };
  for (const auto& [id, on] : lit) ShowLit(Control(id), on);
  const std::pair<int, bool> enabled[] = {
      {1218, v.targetButtonsEnabled}, {1219, v.targetButtonsEnabled}, {1220, v.targetButtonsEnabled},
      {1209, v.secondsFieldEnabled}, {1211, v.measuresFieldEnabled}, {1212, v.maxTimeFieldEnabled},
      {1221, v.getEnabled}, {1217, v.setEnabled}, {1223, v.loopButtonEnabled}, {1007, v.undoEnabled}, {1292, v.undoEnabled},
      {1262, v.loopEdit.trim}, {1263, v.loopEdit.zoomSelection}, {1265, v.loopEdit.zoomOutFull},
      {1268, v.loopEdit.zoomIn}, {1269, v.loopEdit.zoomOut}, {1270, v.loopEdit.loopSelected},
      {1271, v.loopEdit.setStartPoint},
  };
  for (const auto& [id, on] : enabled) Control(id)->setEnabled(on);
  for (size_t i = 0; i < std::size(kFieldControls); ++i)
    ShowFieldText(static_cast<QLineEdit*>(Control(kFieldControls[i].first)), drawn.fields[i]);

  undoLabel_->setText(QString::fromStdString(v.undoLabel));
  undoDepth_->setText(QString::fromStdString(v.undoDepth));
  syncStatus_->setText(QString::fromStdString(v.syncStatus));
  syncStatus_->setVisible(!v.syncStatus.empty());
  editing_->setText(QString::fromStdString(v.editing));
  if (position_->value() != v.progress) position_->setValue(v.progress);
  lengthText_->setText(QString::fromStdString(v.lengthText));
  halfText_->setText(QString::fromStdString(v.halfText));

  inputMeter_->setLedCount(v.meterLeds);
  outputMeter_->setLedCount(v.meterLeds);
  for (int c = 0; c < 2; ++c) {
    inputMeter_->setLevel(c, v.meters[c].lit, v.meters[c].held);
    outputMeter_->setLevel(c, v.meters[2 + c].lit, v.meters[2 + c].held);
  }

  const MixerView& mixer = drawn.mixer;
  ShowSlider(master_, mixer.masterVolume);
  ShowSlider(submix_[0], mixer.submixVolume[0]);
  ShowSlider(submix_[1], mixer.submixVolume[1]);
  ShowSlider(crossfade_, mixer.crossfade);
  ShowSlider(feedback_, mixer.feedback);
  ShowSlider(metronomeVolume_, mixer.metronomeVolume);
  ShowLit(Control(1022), mixer.masterMute);
  ShowLit(Control(1026), mixer.submixMute[0]);
  ShowLit(Control(1025), mixer.submixMute[1]);

  for (int i = 0; i < kStripCount; ++i)
    strips_[i]->Refresh(v.strips[i], drawn.stripLeds[i], v.meterLeds);
  effects_->Refresh();
  drawn_ = std::make_unique<Drawn>(std::move(drawn));
}

void TransportPanel::paintEvent(QPaintEvent* event) {
  QPainter p(this);
  if (!SkinPaint_Background(p, rect(), *skinImages_)) QWidget::paintEvent(event);
}

void TransportPanel::ApplySkin() {
  skinChanged_ = false;
  drawn_.reset();  // the widgets' looks follow the skin: the next tick draws them all
  const Skin& skin = App_Skin();
  appliedSkin_ = skin.current;
  const bool loaded = Skin_Loaded(skin);
  setPalette(loaded ? SkinPalette(skin, basePalette_) : basePalette_);
  LoopEditColours colours;
  for (int i = 0; i < kLoopEditPens && i < kLoopEditColourCount; ++i) {
    const SkinColour& c = skin.loopEdit[i];
    colours.rgb[i] = (uint32_t(c.red & 0xFF) << 16) | (uint32_t(c.green & 0xFF) << 8) | uint32_t(c.blue & 0xFF);
  }
  wave_->setColours(colours);
  ShowStaticTexts(!Skin_HidesStaticText(skin));
  // Skinned buttons take their images' sizes; the layout follows.
  for (LedButton* button : findChildren<LedButton*>()) {
    if (!button->property("builtInPolicy").isValid()) button->setProperty("builtInPolicy", button->sizePolicy());
    button->setSizePolicy(button->skinned() ? QSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed)
                                            : button->property("builtInPolicy").value<QSizePolicy>());
    button->updateGeometry();
  }
  for (QAbstractButton* box : effects_->switches()) box->updateGeometry();
  for (StripColumn* strip : strips_) strip->ArrangeSwitches();
  update();
}

void TransportPanel::ShowStaticTexts(bool shown) {
  // Captions are the labels without a name; value displays (loop times, effect values,
  // the undo and editing labels) carry one and stay. A hidden caption keeps its room,
  // where the skin's background draws its own.
  for (QLabel* label : findChildren<QLabel*>()) {
    if (!label->objectName().isEmpty()) continue;
    QSizePolicy policy = label->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    label->setSizePolicy(policy);
    label->setVisible(shown);
  }
  for (QGroupBox* box : findChildren<QGroupBox*>()) {
    if (!box->property("caption").isValid()) box->setProperty("caption", box->title());
    box->setTitle(shown ? box->property("caption").toString() : QString());
  }
}

void TransportPanel::contextMenuEvent(QContextMenuEvent* event) {
  int strip = -1;
  for (QWidget* w = childAt(event->pos()); w && w != this; w = w->parentWidget())
    if (auto* number = qobject_cast<TrackNumberButton*>(w)) {
      strip = number->strip();
      break;
    }
  const std::vector<MenuEntry> entries = App_PopupMenu(context_.app(), strip);
  QMenu menu(this);
  menu.setObjectName("PopupMenu");
  QHash<QString, QMenu*> submenus;
  for (size_t i = 0; i < entries.size(); ++i) {
    QMenu* into = &menu;
    if (!entries[i].submenu.empty()) {
      const QString name = QString::fromStdString(entries[i].submenu);
      into = submenus.value(name, nullptr);
      if (!into) submenus.insert(name, into = menu.addMenu(name));
    }
    if (entries[i].text.empty()) {
      into->addSeparator();
      continue;
    }
    QAction* action = into->addAction(QString::fromStdString(entries[i].text));
    action->setData(static_cast<int>(i));
  }
  QAction* chosen = menu.exec(event->globalPos());
  if (chosen)
    App_PopupChoose(context_.app(), entries[chosen->data().toInt()]);
  else
    App_PopupDismissed(context_.app());
  context_.Changed();
}

void TransportPanel::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
  setFocus();
  // The panel's background moves the window, so it can be moved without a title bar.
  if (window()->windowHandle() && window()->windowHandle()->startSystemMove()) return;
  dragging_ = true;
  dragOffset_ = event->globalPosition().toPoint() - window()->frameGeometry().topLeft();
}

void TransportPanel::mouseMoveEvent(QMouseEvent* event) {
  if (dragging_) window()->move(event->globalPosition().toPoint() - dragOffset_);
}

void TransportPanel::mouseReleaseEvent(QMouseEvent*) { dragging_ = false; }
