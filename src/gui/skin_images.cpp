#include "gui/skin_images.h"

#include <QImageReader>
#include <QPainter>
#include <QString>

SkinImageCache::SkinImageCache(QObject* parent) : QObject(parent) { SkinImages_Install(this); }

SkinImageCache::~SkinImageCache() {
  if (SkinImages_Installed() == this) SkinImages_Install(nullptr);
}

void SkinImageCache::Clear() {
  for (QPixmap& image : images_) image = QPixmap();
  panel_ = QPixmap();
  emit changed();
}

bool SkinImageCache::ReadSize(const std::string& path, int* width, int* height) {
  const QSize size = QImageReader(QString::fromStdString(path)).size();  // the header only
  if (!size.isValid()) return false;
  *width = size.width();
  *height = size.height();
  return true;
}

bool SkinImageCache::Load(int slot, const std::string& path) {
  if (slot < 0 || slot >= kSkinImageCount) return false;
  QPixmap& image = images_[slot];
  image = QPixmap();
  if (!path.empty()) {
    QImageReader reader(QString::fromStdString(path));
    constexpr long long kMaxBytes = 4LL * kSkinImageMaxSide * kSkinImageMaxSide;
    reader.setAllocationLimit(static_cast<int>(kMaxBytes / (1024 * 1024)));  // in MB
    const QImage decoded = reader.read();
    if (!decoded.isNull()) image = QPixmap::fromImage(decoded);
  }
  if (slot == SkinSlot_Background) panel_ = QPixmap();
  emit changed();
  return !image.isNull();
}

void SkinImageCache::SlotSize(int slot, int* width, int* height) const {
  const QSize size = Has(slot) ? images_[slot].size() : QSize(0, 0);
  *width = size.width();
  *height = size.height();
}

const QPixmap& SkinImageCache::Image(int slot) const {
  static const QPixmap none;
  return Has(slot) ? images_[slot] : none;
}

const QPixmap& SkinImageCache::PanelBackground(QSize panelSize) const {
  if (!Has(SkinSlot_Background) || panelSize.isEmpty()) {
    panel_ = QPixmap();
    return panel_;
  }
  if (panel_.size() != panelSize) {
    panel_ = QPixmap(panelSize);
    QPainter painter(&panel_);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(QRect(QPoint(0, 0), panelSize), images_[SkinSlot_Background]);
  }
  return panel_;
}
