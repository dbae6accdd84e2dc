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
constexpr int kCaptionGap = 4;  // between a skinned switch's image and its caption

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
  const bool wasSkinned = skinned();
  lit_ = lit;
  if (skinned() != wasSkinned) updateGeometry();  // a skin may lack the new state's image
  update();
}

void LedButton::setSkinRole(int controlId, SkinSwitch kind) {
  controlId_ = controlId;
  switch_ = kind;
}

namespace {

const SkinImageCache* Images() { return dynamic_cast<const SkinImageCache*>(SkinImages_Installed()); }

// The transport panel: the widget whose background a skinned switch shows through.
const QWidget* PanelOf(const QWidget* w) {
  for (; w; w = w->parentWidget())
    if (w->objectName() == "TransportPanel") return w;
  return nullptr;
}

}  // namespace

int SkinnedSwitch_Slot(SkinSwitch kind, bool on, bool enabled) {
  const SkinImageCache* images = Images();
  // A switch also needs the panel's background to show through around it.
  if (!images || kind == SkinSwitch::None || !images->Has(SkinSlot_Background)) return -1;
  const int slot = SkinSwitch_Image(kind, on, enabled);
  return images->Has(slot) ? slot : -1;
}

QSize SkinnedSwitch_Size(const QAbstractButton& widget, SkinSwitch kind, int slot, SwitchCaption caption) {
  const QSize image = Images()->Image(slot).size();
  if (!SkinSwitch_HasCaption(kind)) return image;
  const QFontMetrics& metrics = widget.fontMetrics();
  const QString text = widget.text();
  const int textWidth = metrics.horizontalAdvance(text);
  if (caption == SwitchCaption::Below)
    return {std::max(image.width(), textWidth + 2), image.height() + metrics.height()};
  return {image.width() + kCaptionGap + textWidth + 2, std::max(image.height(), metrics.height() + 2)};
}

bool SkinnedSwitch_Paint(QAbstractButton& widget, SkinSwitch kind, bool on, SwitchCaption caption) {
  const QWidget* panel = PanelOf(&widget);
  const int slot = SkinnedSwitch_Slot(kind, on, widget.isEnabled());
  if (!panel || slot < 0) return false;
  const int imageWidth = Images()->Image(slot).width();
  const int imageX = caption == SwitchCaption::Below ? (widget.width() - imageWidth) / 2 : 0;
  QPainter p(&widget);
  if (!SkinPaint_Switch(p, QRect(widget.mapTo(panel, QPoint(0, 0)), widget.size()), panel->size(), *Images(), kind,
                        on, widget.isEnabled(), imageX))
    return false;
  if (!SkinSwitch_HasCaption(kind)) return true;
  QRect text = widget.rect();
  Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter;
  if (caption == SwitchCaption::Below) {
    text.setTop(Images()->Image(slot).height());
    align = Qt::AlignHCenter | Qt::AlignTop;
  } else {
    text.setLeft(imageWidth + kCaptionGap);
  }
  p.setPen(widget.palette().color(widget.isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
  p.drawText(text, align, widget.text());
  return true;
}

void LedButton::setCaption(SwitchCaption caption) {
  caption_ = caption;
  updateGeometry();
}

int LedButton::SkinSlot() const {
  if (switch_ != SkinSwitch::None) return SkinnedSwitch_Slot(switch_, lit_, isEnabled());
  const SkinImageCache* images = Images();
  int first = 0, count = 0;
  if (!images || !SkinButton_Row(controlId_, &first, &count)) return -1;
  const int slot = SkinButton_Image(first, count, lit_ || isDown(), isEnabled());
  return images->Has(slot) ? slot : -1;
}

bool LedButton::skinned() const { return SkinSlot() >= 0; }

QSize LedButton::sizeHint() const {
  if (const int slot = SkinSlot(); slot >= 0) {
    // A skinned push button is as large as its image: button images carry their own
    // caption, which stretching would squash.
    if (switch_ == SkinSwitch::None) return Images()->Image(slot).size();
    return SkinnedSwitch_Size(*this, switch_, slot, caption_);
  }
  return {fontMetrics().horizontalAdvance(text()) + 18, std::max(18, fontMetrics().height() + 5)};
}

void LedButton::paintEvent(QPaintEvent*) {
  if (const int slot = SkinSlot(); slot >= 0) {
    if (switch_ != SkinSwitch::None && SkinnedSwitch_Paint(*this, switch_, lit_, caption_)) return;
    if (switch_ == SkinSwitch::None) {
      QPainter p(this);
      SkinPaint_PushButton(p, size(), *Images(), controlId_, lit_ || isDown(), isEnabled());
      return;
    }
  }
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

SkinnedSlider::SkinnedSlider(SkinSlider kind, Qt::Orientation orientation, QWidget* parent)
    : QSlider(orientation, parent), kind_(kind) {}

void SkinnedSlider::paintEvent(QPaintEvent* event) {
  const SkinImageCache* images = Images();
  if (!images || !images->Has(SkinSlider_Background(kind_)) || !images->Has(SkinSlider_Knob(kind_)))
    return QSlider::paintEvent(event);
  const double span = maximum() - minimum();
  QPainter p(this);
  SkinPaint_Slider(p, size(), *images, kind_, span > 0 ? (value() - minimum()) / span : 0.0, orientation());
}

TrackNumberButton::TrackNumberButton(int strip, QWidget* parent) : QAbstractButton(parent), strip_(strip) {
  setText(QString::number(strip + 1));
  setFocusPolicy(Qt::NoFocus);
  setAcceptDrops(true);
}

void TrackNumberButton::paintEvent(QPaintEvent*) {
  QPainter p(this);
  // The skin's TrackNumber image of this track carries its own number: drawn at its own
  // size in the middle (stretching it across a wide strip would distort the digit), made
  // smaller only when the button is.
  if (const SkinImageCache* images = Images(); images && images->Has(SkinSlot_TrackNumber + strip_)) {
    const QSize image = images->Image(SkinSlot_TrackNumber + strip_).size().boundedTo(size());
    QRect at(QPoint(0, 0), image);
    at.moveCenter(rect().center());
    SkinPaint_Stretched(p, at, *images, SkinSlot_TrackNumber + strip_);
    return;
  }
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
