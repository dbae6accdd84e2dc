#include "gui/panel_context.h"

#include <QFocusEvent>
#include <QLineEdit>
#include <QSlider>

#include "app/window_support.h"
#include "gui/panel_widgets.h"

namespace {

// Tells the application which field holds the keyboard focus.
class FieldFocusWatcher : public QObject {
 public:
  FieldFocusWatcher(App* app, PanelField field, QObject* parent) : QObject(parent), app_(app), field_(field) {}
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::FocusIn) App_FieldFocused(app_, field_);
    if (event->type() == QEvent::FocusOut && app_->focus == field_) App_FieldFocused(app_, PanelField::None);
    return false;
  }

 private:
  App* app_;
  PanelField field_;
};

}  // namespace

void PanelContext::Command(uint32_t id, uint32_t parameter) {
  App_Command(app_, id, parameter);
  App_FocusPanel(app_);
  Changed();
}

QLineEdit* PanelContext::Field(PanelField field, int id, QWidget* parent) {
  auto* edit = Add(new QLineEdit(parent), id);
  edit->setFocusPolicy(Qt::ClickFocus);
  edit->installEventFilter(new FieldFocusWatcher(app_, field, edit));
  QObject::connect(edit, &QLineEdit::textEdited, edit, [this, field](const QString& text) {
    App_EditField(app_, field, text.toStdString());
    Changed();
  });
  return edit;
}

QSlider* PanelContext::Slider(Qt::Orientation orientation, int maximum, QWidget* parent, SkinSlider kind) {
  QSlider* slider = new SkinnedSlider(kind, orientation, parent);
  slider->setRange(0, maximum);
  slider->setFocusPolicy(Qt::NoFocus);
  return slider;
}

void ShowFieldText(QLineEdit* field, const std::string& text) {
  if (field->hasFocus()) return;
  const QString value = QString::fromStdString(text);
  if (field->text() != value) field->setText(value);
}
