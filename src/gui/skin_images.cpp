#include "gui/skin_images.h"

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

bool SkinImageCache::Load(int slot, const std::string& path) {
  if (slot < 0 || slot >= kSkinImageCount) return false;
  QPixmap& image = images_[slot];
  image = QPixmap();
  if (!path.empty()) image.load(QString::fromStdString(path));
  if (slot == SkinSlot_Background) panel_ = QPixmap();
  emit changed();
  return !image.isNull();
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
