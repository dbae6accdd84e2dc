#pragma once
// Drawing the panel's controls from the skin. Each painter draws into a painter whose
// origin is the control's top-left corner and returns false, drawing nothing, when the
// skin lacks an image it needs: the caller then draws the ordinary Qt control.
//
// Threads: user-interface thread only.
#include <QColor>
#include <QPalette>
#include <QRect>

#include "app/settings/skin.h"

class QPainter;
class SkinImageCache;

// Horizontal offset of a slider knob: the knob travels 82 % of the free width, centred.
int SkinKnob_X(int controlWidth, int knobWidth, double fraction);

// The panel's background (the Background image stretched over `panel`).
bool SkinPaint_Background(QPainter& painter, const QRect& panel, const SkinImageCache& images);

// Any image stretched over `rect` (track numbers, track backgrounds).
bool SkinPaint_Stretched(QPainter& painter, const QRect& rect, const SkinImageCache& images, int slot);

// A push button of the panel (control id 1000..1015, 1215..1271): its row's image for
// the state, stretched over `size`.
bool SkinPaint_PushButton(QPainter& painter, QSize size, const SkinImageCache& images, int controlId, bool pressed,
                          bool enabled);

// A switch at `inPanel` (its geometry in panel coordinates, the panel `panelSize`): the
// panel background under it, then the state's image at its own size at the top, `imageX`
// from the left (a caption under the image centres it). Needs the skin's Background
// image as well as the state's image.
bool SkinPaint_Switch(QPainter& painter, const QRect& inPanel, QSize panelSize, const SkinImageCache& images,
                      SkinSwitch kind, bool on, bool enabled, int imageX = 0);

// A slider: its background stretched over `size`, the knob at SkinKnob_X for `fraction`
// (0..1), centred across the groove and no taller than the control. A vertical slider
// is the horizontal drawing turned a quarter to the left (0 at the bottom).
bool SkinPaint_Slider(QPainter& painter, QSize size, const SkinImageCache& images, SkinSlider kind, double fraction,
                      Qt::Orientation orientation = Qt::Horizontal);

// One channel of a meter: `leds` cells along the longer side of `size`, the first `lit`
// and the one at `held` lit, the rest unlit. Needs both LED images.
bool SkinPaint_Meter(QPainter& painter, QSize size, const SkinImageCache& images, int leds, int lit, int held);

// The skin's colours for Qt. The default text colour is the palette's button text.
QColor SkinColour_Qt(const Skin& skin, SkinPanelColour which, const QPalette& base);
QColor SkinColour_Qt(const Skin& skin, SkinLoopEditColour which);
// `base` with the skin's colours: texts (all roles), static controls' background
// (Window), buttons' text background (Button), edit fields' background (Base). Disabled
// fields take the static controls' background and their text is faded towards it.
QPalette SkinPalette(const Skin& skin, const QPalette& base);
// For progress bars: the bar (Highlight) and its background (Base, Window).
QPalette SkinProgressPalette(const Skin& skin, const QPalette& base);
