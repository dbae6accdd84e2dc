#pragma once
// A file path field that shows a long path elided in the middle (the folder's start and
// the file's name stay readable) while it is not being edited; text() is always the
// whole path. A "Browse..." button beside it chooses a file. User-interface thread.
#include <QLineEdit>
#include <QWidget>

class PathField : public QLineEdit {
  Q_OBJECT

 public:
  explicit PathField(const QString& path, QWidget* parent = nullptr);
  // What the field shows of `path` in `width` pixels when it is not being edited: all
  // of it when it fits, else the file's name whole after the folder cut in its middle.
  static QString Shown(const QString& path, const QFontMetrics& metrics, int width);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// A PathField with its "Browse..." button in one row; the button opens a file dialog
// titled `title` with `filter`, starting at the field's path.
class PathRow : public QWidget {
  Q_OBJECT

 public:
  PathRow(const QString& path, const QString& title, const QString& filter, QWidget* parent = nullptr);
  PathField* field() const { return field_; }

 private:
  PathField* field_;
};
