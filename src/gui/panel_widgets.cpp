#include "gui/panel_widgets.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPainter>
#include <QStyleOptionButton>
#include <QUrl>

#include "gui/skin_images.h"
#include "gui/skin_painter.h"

namespace {

const QColor kLedOn(230, 40, 30);
const QColor kLedOff(70, 30, 30);
const QColor kLedGreen(40, 210, 60);
const QColor kLedGreenOff(25, 60, 30);

void DrawButtonFace(QPainter& p, const QRect& r, bool down, bool enabled) {
  p.setPen(QColor(20, 20, 24));
  p.setBrush(down ? QColor(60, 62, 70) : QColor(82, 86, 96));
  p.drawRoundedRect(r.adjusted(0, 0, -1, -1), 3, 3);
  if (!enabled) p.fillRect(r.adjusted(1, 1, -1, -1), QColor(40, 40, 44, 140));
}

}  // namespace

LedButton::LedButton(const QString& text, QWidget* parent) : QAbstractButton(parent) {
  setText(text);
  setFocusPolicy(Qt::NoFocus);
  setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void LedButton::setLit(bool lit) {
  if (lit == lit_) return;
  lit_ = lit;
  update();
}

QSize LedButton::sizeHint() const {
  return {fontMetrics().horizontalAdvance(text()) + 18, std::max(18, fontMetrics().height() + 5)};
}

void LedButton::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  DrawButtonFace(p, rect(), isDown(), isEnabled());
  const int d = 6;
  const QRect led(4, (height() - d) / 2, d, d);
  p.setPen(Qt::NoPen);
  p.setBrush(lit_ ? kLedOn : kLedOff);
  p.drawEllipse(led);
  p.setPen(isEnabled() ? QColor(235, 235, 235) : QColor(130, 130, 130));
  p.drawText(rect().adjusted(d + 5, 0, -1, 0), Qt::AlignVCenter | Qt::AlignHCenter, text());
}

LedMeter::LedMeter(int channels, Qt::Orientation orientation, QWidget* parent)
    : QWidget(parent), channels_(std::clamp(channels, 1, 2)), orientation_(orientation) {
  if (orientation == Qt::Horizontal)
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  else
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
}

void LedMeter::setLevel(int channel, int lit, int held) {
  if (channel < 0 || channel >= channels_) return;
  if (lit_[channel] == lit && held_[channel] == held) return;
  lit_[channel] = lit;
  held_[channel] = held;
  update();
}

void LedMeter::setLedCount(int count) {
  if (count < 1 || count == count_) return;
  count_ = count;
  updateGeometry();
  update();
}

QSize LedMeter::sizeHint() const {
  const int along = count_ * 7;
  const int across = channels_ == 2 ? 18 : 6;
  return orientation_ == Qt::Horizontal ? QSize(along, across) : QSize(across, along);
}

void LedMeter::paintEvent(QPaintEvent*) {
  QPainter p(this);
  if (PaintSkinned(p)) return;
  p.fillRect(rect(), QColor(16, 16, 18));
  const bool horizontal = orientation_ == Qt::Horizontal;
  const int along = horizontal ? width() : height();
  const double step = static_cast<double>(along) / count_;
  const int thick = 6;
  for (int c = 0; c < channels_; ++c) {
    const int across = c * 12;  // the second channel 12 pixels from the first
    for (int i = 0; i < count_; ++i) {
      const bool on = i < lit_[c] || (held_[c] > 0 && i == held_[c]);
      const bool top = i >= count_ * 3 / 4;  // the loud end in red
      const QColor colour = top ? (on ? kLedOn : kLedOff) : (on ? kLedGreen : kLedGreenOff);
      const int start = static_cast<int>(i * step);
      const int size = std::max(1, static_cast<int>((i + 1) * step) - start - 1);
      const QRect r = horizontal ? QRect(start, across, size, thick)
                                 : QRect(across, along - start - size, thick, size);
      p.fillRect(r, colour);
    }
  }
}

bool LedMeter::PaintSkinned(QPainter& p) {
  // The skin's LED images, when the window's image cache holds both.
  const auto* images = dynamic_cast<const SkinImageCache*>(SkinImages_Installed());
  if (!images) return false;
  const bool horizontal = orientation_ == Qt::Horizontal;
  const QSize channel = horizontal ? QSize(width(), std::min(height(), 6)) : QSize(std::min(width(), 6), height());
  for (int c = 0; c < channels_; ++c) {
    p.save();
    p.translate(horizontal ? QPoint(0, c * 12) : QPoint(c * 12, 0));
    const bool drawn = SkinPaint_Meter(p, channel, *images, count_, lit_[c], held_[c] > 0 ? held_[c] : -1);
    p.restore();
    if (!drawn) return false;  // nothing drawn for the first channel either: both images are needed
  }
  return true;
}

TrackNumberButton::TrackNumberButton(int strip, QWidget* parent) : QAbstractButton(parent), strip_(strip) {
  setText(QString::number(strip + 1));
  setFocusPolicy(Qt::NoFocus);
  setAcceptDrops(true);
}

void TrackNumberButton::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  DrawButtonFace(p, rect(), isDown(), true);
  QFont f = font();
  f.setBold(true);
  p.setFont(f);
  p.setPen(QColor(250, 210, 90));
  p.drawText(rect(), Qt::AlignCenter, text());
}

void TrackNumberButton::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TrackNumberButton::dropEvent(QDropEvent* event) {
  std::vector<std::string> paths;
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
  event->acceptProposedAction();
  if (onDrop && !paths.empty()) onDrop(strip_, paths);
}
