#pragma once
// The transport panel, the main window's central widget: transport buttons, loop-time
// fields, metronome switches, mixer and meters, the position bar with the loop edit
// buttons, the eight strips and the effects. It draws the application's panel view and
// turns every click into an entry point; the popup menu and moving the window by the
// panel live here too.
#include <QPalette>
#include <QWidget>
#include <array>
#include <memory>
#include <string>

#include "app/window_support.h"
#include "gui/panel_context.h"

class EffectsSection;
class LedButton;
class LedMeter;
class LoopEditWidget;
class QLabel;
class QLineEdit;
class QProgressBar;
class QSlider;
class SkinImageCache;
class StripColumn;
struct PanelView;

class TransportPanel : public QWidget {
  Q_OBJECT

 public:
  // `changed` runs after every entry point the panel calls.
  TransportPanel(App* app, std::function<void()> changed, QWidget* parent = nullptr);
  ~TransportPanel() override;

  // Draws the application's state.
  void Refresh();
  void ShowView(const PanelView& view);
  // The same for timer 1: leaves every widget alone when nothing the panel shows has
  // changed since it was last drawn (the program at rest costs the least it can).
  void ShowViewIfChanged(const PanelView& view);
  // Timer 1's part: the strips' levels since the last tick.
  void TakeLevels();
  QWidget* Control(int id) const { return context_.Control(id); }
  PanelContext& context() { return context_; }
  LoopEditWidget* loopEditView() const { return wave_; }
  SkinImageCache* skinImages() const { return skinImages_; }
  // Takes the loaded skin's colours (or the built-in look without a skin).
  void ApplySkin();
  // The panel's captions shown or hidden (a skin's HideStaticText).
  void ShowStaticTexts(bool shown);

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QWidget* BuildTransport();
  QWidget* BuildLoopTime();
  QWidget* BuildMetronome();
  QWidget* BuildMixer();
  QWidget* BuildPosition();
  LedButton* PostButton(int controlId, const QString& text, QWidget* parent);
  LedButton* CommandButton(int controlId, const QString& text, Command command, uint32_t parameter, QWidget* parent);

  PanelContext context_;
  std::array<StripColumn*, kStripCount> strips_{};
  EffectsSection* effects_ = nullptr;
  LedMeter* inputMeter_ = nullptr;
  LedMeter* outputMeter_ = nullptr;
  QProgressBar* position_ = nullptr;
  QLabel *lengthText_ = nullptr, *halfText_ = nullptr, *editing_ = nullptr, *undoLabel_ = nullptr,
         *undoDepth_ = nullptr;
  QLabel* syncStatus_ = nullptr;  // the followed tempo, shown only while a source is chosen
  QSlider *master_ = nullptr, *submix_[2] = {}, *crossfade_ = nullptr, *feedback_ = nullptr, *metronomeVolume_ = nullptr;
  LoopEditWidget* wave_ = nullptr;        // control 1275; its model is attached after start-up
  SkinImageCache* skinImages_ = nullptr;  // the skin's images for the window's lifetime
  QPalette basePalette_;                  // the built-in look, before any skin colours
  bool skinChanged_ = true;  // the images changed since the colours were last taken
  std::string appliedSkin_;   // the skin whose colours the panel shows
  StripLevels levels_;
  // Everything the panel last drew from, and whether it is known.
  struct Drawn;
  std::unique_ptr<Drawn> drawn_;
  Drawn Capture(const PanelView& view) const;
  void Draw(Drawn drawn);
  bool dragging_ = false;
  QPoint dragOffset_;
};
