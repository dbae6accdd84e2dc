#pragma once
// What every part of the transport panel shares: the application it drives, the
// registry of controls by id (so tests and the popup menu find them), and the one way
// a control reaches the application: an entry point followed by a refresh.
#include <QHash>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>

#include "app/app.h"
#include "app/settings/skin.h"

class QLineEdit;
class QSlider;

class PanelContext {
 public:
  PanelContext(App* app, std::function<void()> changed) : app_(app), changed_(std::move(changed)) {}

  App* app() const { return app_; }
  // A command with its parameter, then the focus back to the panel and a refresh.
  void Command(uint32_t id, uint32_t parameter = 0);
  void Command(::Command c, uint32_t parameter = 0) { Command(CommandId(c), parameter); }
  // A slider moved to position 0..127 (of strip `strip` for the strip sliders).
  void Slide(::Slider slider, int strip, int position) {
    App_Slider(app_, slider, strip, position);
    Changed();
  }
  // Anything else that changed the application: a refresh.
  void Changed() const {
    if (changed_) changed_();
  }

  // Controls carry their id as objectName "id<N>" (or a descriptive name).
  template <class W>
  W* Add(W* widget, int id) {
    widget->setObjectName(QString("id%1").arg(id));
    controls_.insert(id, widget);
    return widget;
  }
  QWidget* Control(int id) const { return controls_.value(id, nullptr); }

  // A panel edit field: focus marks it as edited, typing stores its text, Enter and
  // Tab reach the application through the keyboard handler.
  QLineEdit* Field(PanelField field, int id, QWidget* parent);
  // A slider 0..max (vertical ones have their minimum at the bottom), drawn from the
  // skin's images of `kind` when the skin has them.
  static QSlider* Slider(Qt::Orientation orientation, int maximum, QWidget* parent, SkinSlider kind);

 private:
  App* app_;
  std::function<void()> changed_;
  QHash<int, QWidget*> controls_;
};

// Shows the application's text in a field unless the user is editing it.
void ShowFieldText(QLineEdit* field, const std::string& text);
