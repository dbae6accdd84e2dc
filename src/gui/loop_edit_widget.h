#pragma once
// The loop edit view's waveform area: paints the view model's columns into a cached
// image and hands the mouse to the model. A plain QWidget that the main window embeds;
// it decides nothing itself. User-interface thread only.
#include <QColor>
#include <QImage>
#include <QWidget>
#include <vector>

#include "app/loopedit/loop_edit_columns.h"

class AppLoopEdit;
struct App;

class LoopEditWidget : public QWidget {
  Q_OBJECT

 public:
  // The application's own view (App_LoopEditView); the widget repaints whenever the
  // model asks for it.
  explicit LoopEditWidget(AppLoopEdit* model, QWidget* parent = nullptr);
  explicit LoopEditWidget(App* app, QWidget* parent = nullptr);
  ~LoopEditWidget() override;
  // A window made before start-up installs the application's view once it exists.
  void setModel(AppLoopEdit* model);
  bool hasModel() const { return model_ != nullptr; }

  // The eight colours (the skin's, or the built-in ones); every column is redrawn.
  void setColours(const LoopEditColours& colours);
  const LoopEditColours& colours() const { return colours_; }

  // Brings the cached image up to date: every column after a full-redraw request, else
  // only the columns the play position crossed. Painting calls it.
  void renderPending();
  // The drawing, brought up to date.
  const QImage& image();

  QSize sizeHint() const override { return {600, 100}; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void drawColumns(int x0, int x1);

  AppLoopEdit* model_;
  LoopEditColours colours_;
  QColor pens_[kLoopEditPens];
  QImage image_;
  bool imageStale_ = true;
  std::vector<LoopEditColumn> columns_;
};
