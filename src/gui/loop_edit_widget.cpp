#include "gui/loop_edit_widget.h"

#include <QMouseEvent>
#include <QPainter>

#include "app/app.h"
#include "app/loopedit/loop_edit_model.h"

LoopEditWidget::LoopEditWidget(AppLoopEdit* model, QWidget* parent) : QWidget(parent), model_(nullptr) {
  setAttribute(Qt::WA_OpaquePaintEvent);  // every pixel comes from the image
  setMinimumSize(16, 16);
  setColours(LoopEditColours{});
  setModel(model);
}

LoopEditWidget::LoopEditWidget(App* app, QWidget* parent) : LoopEditWidget(App_LoopEditView(app), parent) {}

LoopEditWidget::~LoopEditWidget() {
  if (model_) model_->SetRepaintHook(nullptr);
}

void LoopEditWidget::setModel(AppLoopEdit* model) {
  if (model_) model_->SetRepaintHook(nullptr);
  model_ = model;
  imageStale_ = true;
  if (model_) model_->SetRepaintHook([this] { update(); });
  update();
}

void LoopEditWidget::setColours(const LoopEditColours& colours) {
  colours_ = colours;
  for (int i = 0; i < kLoopEditPens; ++i) pens_[i] = QColor::fromRgb(colours.rgb[i] & 0xFFFFFF);
  imageStale_ = true;
  update();
}

void LoopEditWidget::drawColumns(int x0, int x1) {
  model_->Columns(x0, x1, &columns_);
  QPainter p(&image_);
  const int h = image_.height();
  const int n = static_cast<int>(columns_.size());
  // Backgrounds: one rectangle per run of columns with the same pen.
  for (int run = 0, i = 1; i <= n; ++i) {
    if (i < n && columns_[i].background == columns_[run].background) continue;
    p.fillRect(x0 + run, 0, i - run, h, pens_[columns_[run].background]);
    run = i;
  }
  for (int i = 0; i < n; ++i) {
    const LoopEditColumn& c = columns_[i];
    for (int l = 0; l < c.lanes; ++l)
      p.fillRect(x0 + i, c.lane[l].top, 1, c.lane[l].bottom - c.lane[l].top + 1, pens_[c.lane[l].pen]);
  }
}

void LoopEditWidget::renderPending() {
  if (!model_) return;
  if (image_.size() != size()) {
    image_ = QImage(size(), QImage::Format_RGB32);
    imageStale_ = true;
  }
  model_->SetSize(width(), height());
  const LoopEditDamage damage = model_->TakeDamage();
  if (damage.full || imageStale_) {
    imageStale_ = false;
    image_.fill(pens_[PenUnlooped]);  // what an empty track shows
    drawColumns(0, width());
    return;
  }
  for (const auto& [from, to] : damage.ranges) drawColumns(from, to);
}

const QImage& LoopEditWidget::image() {
  renderPending();
  return image_;
}

void LoopEditWidget::paintEvent(QPaintEvent*) {
  if (!model_) return QPainter(this).fillRect(rect(), pens_[PenUnlooped]);  // before start-up
  renderPending();
  QPainter(this).drawImage(0, 0, image_);
}

void LoopEditWidget::resizeEvent(QResizeEvent*) {
  if (model_) model_->SetSize(width(), height());
}

void LoopEditWidget::mousePressEvent(QMouseEvent* event) {
  if (model_) model_->SetSize(width(), height());  // a hidden widget has had no resize event
  const QPoint at = event->position().toPoint();
  const bool control = event->modifiers() & Qt::ControlModifier;
  bool handled = false;
  if (model_ && event->button() == Qt::LeftButton)
    handled = model_->LeftDown(at.x(), at.y(), event->modifiers() & Qt::ShiftModifier, control);
  else if (model_ && event->button() == Qt::RightButton)
    handled = model_->RightDown(at.x(), at.y());
  // Unhandled presses go on to the panel (moving the window, the popup menu).
  event->setAccepted(handled);
}

void LoopEditWidget::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  const bool handled = model_ && model_->MouseMove(at.x(), at.y(), event->modifiers() & Qt::ControlModifier);
  event->setAccepted(handled);
}

void LoopEditWidget::mouseReleaseEvent(QMouseEvent* event) {
  if (model_) model_->ButtonUp();
  event->accept();
}

void LoopEditWidget::hideEvent(QHideEvent*) {
  if (model_) model_->ButtonUp();  // a hidden view loses the mouse
}
