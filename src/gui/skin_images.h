#pragma once
// The skin's images as pixmaps, one per slot, and the panel-sized image with the skin's
// background drawn in. The skin model asks it to load each image the skin file names
// (SkinImages seam); the painters (skin_painter.h) read from it.
//
// Threads: user-interface thread only (pixmaps need the GUI thread).
#include <QObject>
#include <QPixmap>
#include <QSize>
#include <array>

#include "app/settings/skin.h"

class SkinImageCache final : public QObject, public SkinImages {
  Q_OBJECT

 public:
  // Installs itself as the skin model's image loader for its lifetime.
  explicit SkinImageCache(QObject* parent = nullptr);
  ~SkinImageCache() override;

  void Clear() override;
  bool ReadSize(const std::string& path, int* width, int* height) override;
  // Decodes with an allocation limit of one image of the largest size a skin may have,
  // so a file whose header does not tell its size cannot take more while decoding.
  bool Load(int slot, const std::string& path) override;
  void SlotSize(int slot, int* width, int* height) const override;

  bool Has(int slot) const { return slot >= 0 && slot < kSkinImageCount && !images_[slot].isNull(); }
  // A null pixmap for an empty slot.
  const QPixmap& Image(int slot) const;
  // The panel's background: the Background image stretched over `panelSize`, made once
  // per size and skin. Null without a Background image.
  const QPixmap& PanelBackground(QSize panelSize) const;

 signals:
  // The images changed (a skin was cleared or loaded): repaint what shows them.
  void changed();

 private:
  std::array<QPixmap, kSkinImageCount> images_;
  mutable QPixmap panel_;
};
