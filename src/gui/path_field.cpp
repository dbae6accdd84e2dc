#include "gui/path_field.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionFrame>

PathField::PathField(const QString& path, QWidget* parent) : QLineEdit(path, parent) {
  setMinimumWidth(fontMetrics().averageCharWidth() * 36);
  connect(this, &QLineEdit::textChanged, this, [this](const QString& text) { setToolTip(text); });
  setToolTip(path);
}

QString PathField::Shown(const QString& path, const QFontMetrics& metrics, int width) {
  if (metrics.horizontalAdvance(path) <= width) return path;
  // The file's name whole; the folder cut in its middle, so its start shows too.
  const QString name = QFileInfo(path).fileName();
  const int nameWidth = metrics.horizontalAdvance(name);
  if (name.isEmpty() || nameWidth >= width * 2 / 3) return metrics.elidedText(path, Qt::ElideMiddle, width);
  return metrics.elidedText(path.left(path.size() - name.size()), Qt::ElideMiddle, width - nameWidth) + name;
}

void PathField::paintEvent(QPaintEvent* event) {
  // Editing shows the whole path with Qt's own cursor and scrolling.
  if (hasFocus()) return QLineEdit::paintEvent(event);
  QPainter painter(this);
  QStyleOptionFrame frame;
  initStyleOption(&frame);
  style()->drawPrimitive(QStyle::PE_PanelLineEdit, &frame, &painter, this);
  const QRect area = style()->subElementRect(QStyle::SE_LineEditContents, &frame, this).adjusted(2, 0, -2, 0);
  painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Text));
  painter.drawText(area, Qt::AlignVCenter | Qt::AlignLeft, Shown(text(), fontMetrics(), area.width()));
}

PathRow::PathRow(const QString& path, const QString& title, const QString& filter, QWidget* parent)
    : QWidget(parent), field_(new PathField(path, this)) {
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->addWidget(field_, 1);
  auto* browse = new QPushButton("Browse...", this);
  browse->setObjectName("browse");
  row->addWidget(browse);
  connect(browse, &QPushButton::clicked, this, [this, title, filter] {
    const QString start = field_->text().isEmpty() ? QString() : QFileInfo(field_->text()).absolutePath();
    const QString chosen = QFileDialog::getOpenFileName(this, title, start, filter);
    if (!chosen.isEmpty()) field_->setText(chosen);
  });
}
