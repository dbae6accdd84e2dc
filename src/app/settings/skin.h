#pragma once
// The look of the transport panel taken from a skin: a folder under Skins in the
// configuration directory holding an XML file of the folder's own name and the image
// files that file names. The model keeps the names, the 113 image slots (as the paths of
// the images that loaded), the colours and the two switches; turning a path into pixels
// is the window's business, through the SkinImages seam. Toolkit-free.
//
// Threads: user-interface thread only.
#include <cstddef>
#include <string>
#include <string_view>

inline constexpr int kSkinImageCount = 113;
inline constexpr int kSkinProgressRange = 131;  // every recognised element of the file
inline constexpr std::size_t kSkinNameMax = 255;
inline constexpr std::size_t kSkinAuthorMax = 255;
inline constexpr int kSkinDefaultMeterLeds = 24;
inline constexpr int kBuiltInMeterLeds = 22;
// A skin asking for more LEDs per meter than this gets this many: the meters are drawn
// LED by LED at every refresh.
inline constexpr int kSkinMaxMeterLeds = 128;

// First slot of each image row, in the skin file's order.
enum SkinSlot : int {
  SkinSlot_Background = 0,
  SkinSlot_StopButton = 1,
  SkinSlot_PlayButton = 3,
  SkinSlot_RecordButton = 5,
  SkinSlot_PauseButton = 7,
  SkinSlot_SetloopButton = 9,
  SkinSlot_EraseButton = 11,
  SkinSlot_UndoButton = 13,
  SkinSlot_InsertButton = 15,
  SkinSlot_SlowButton = 17,
  SkinSlot_ReverseButton = 19,
  SkinSlot_MultiplyButton = 21,
  SkinSlot_DivideButton = 23,
  SkinSlot_MixToTrackButton = 25,
  SkinSlot_MixToDiskButton = 27,
  SkinSlot_TapButton = 29,  // rows of three images from here
  SkinSlot_GetButton = 32,
  SkinSlot_SetButton = 35,
  SkinSlot_TrimButton = 38,
  SkinSlot_ZoomInButton = 41,
  SkinSlot_ZoomOutButton = 44,
  SkinSlot_ZoomOutFullButton = 47,
  SkinSlot_ZoomSelectionButton = 50,
  SkinSlot_LoopSelectionButton = 53,
  SkinSlot_NudgeLoopButton = 56,
  SkinSlot_TrackNumber = 59,      // TrackNumber1 .. TrackNumber8
  SkinSlot_TrackBackground = 67,  // Track1Background0, Track1Background1, ... Track8Background1
  SkinSlot_MeterLed = 83,         // MeterLED0 (unlit), MeterLED1 (lit)
  SkinSlot_CheckBox = 85,         // X0, X1, XGrey0, XGrey1 for each switch kind
  SkinSlot_Mute = 89,
  SkinSlot_Solo = 93,
  SkinSlot_Radio = 97,
  SkinSlot_PanSlider = 101,  // XBG, XKnob for each slider kind
  SkinSlot_VolumeSlider = 103,
  SkinSlot_FxSendSlider = 105,
  SkinSlot_FxSlider = 107,
  SkinSlot_MixingSlider = 109,
  SkinSlot_MetronomeSlider = 111,
};

// The element name of `slot` (0..112), or "" outside the range.
const char* SkinImage_Name(int slot);
// The slot named `name`, compared without regard to case; -1 when none.
int SkinImage_Find(std::string_view name);

struct SkinColour {
  int red = 0, green = 0, blue = 0;
  bool operator==(const SkinColour&) const = default;
};

// "r,g,b": up to three decimal integers separated by commas, each read as a leading
// integer; a missing part is 0; a part below 1 becomes 0, above 255 becomes 255.
SkinColour SkinColour_Parse(std::string_view text);

// The panel colours a skin may set.
enum SkinPanelColour : int {
  SkinColour_Text,
  SkinColour_TextBackground,
  SkinColour_ControlBackground,
  SkinColour_EditBackground,
  SkinColour_ProgressBar,
  SkinColour_ProgressBarBackground,
  kSkinPanelColourCount,
};
// The loop edit view's colours, in the view's own order.
enum SkinLoopEditColour : int {
  LoopEditColour_UnloopedBackground,
  LoopEditColour_LoopedBackground,
  LoopEditColour_LoopPosition,
  LoopEditColour_Selection,
  LoopEditColour_Wave,
  LoopEditColour_ZeroLine,
  LoopEditColour_Measure,
  LoopEditColour_Beat,
  kLoopEditColourCount,
};

SkinColour SkinColour_PanelDefault(SkinPanelColour which);
SkinColour SkinColour_LoopEditDefault(SkinLoopEditColour which);

struct Skin {
  std::string current;  // the skin actually loaded; empty when none is
  std::string author;
  // Path of the image each slot holds; empty for an empty slot.
  std::string image[kSkinImageCount];
  SkinColour panel[kSkinPanelColourCount];
  // False while the text colour is the default: the toolkit's own button-text colour.
  bool textColourSet = false;
  SkinColour loopEdit[kLoopEditColourCount];
  int numMeterLeds = kSkinDefaultMeterLeds;
  bool hideStaticText = false;

  Skin();
};

// The skin model of the running program (the configured name is SysConfig.xml's `skin`).
Skin& App_Skin();

// ---- How much image a skin may bring ----
//
// Every image is kept decoded, at 4 bytes a pixel, for as long as the skin is loaded, so
// a skin's images are limited: each to 4096 pixels a side, all of them together to 32
// million pixels (128 MB decoded). The panel is about 1300 x 740, so a skin drawn at
// twice that density for every slot stays well inside; a skin past either limit is
// refused whole and the built-in look stays.
inline constexpr int kSkinImageMaxSide = 4096;
inline constexpr long long kSkinImagesMaxPixels = 32000000;
inline constexpr const char* kSkinTooLargeCaption = "Skin Too Large";

struct SkinImageBudget {
  long long pixels = 0;  // taken by the skin's images so far
};
// Takes the image `file` of width x height for skin `skin` from the budget. Returns ""
// when it fits, else the message that refuses the skin (and takes nothing).
std::string SkinImageBudget_Take(SkinImageBudget* budget, const std::string& skin, const std::string& file,
                                 int width, int height);

// Loads the image file at `path` into `slot`; the window's image cache implements it.
// Without one installed, a slot is filled by any regular, non-empty file (of no size).
class SkinImages {
 public:
  virtual ~SkinImages() = default;
  // Every slot emptied.
  virtual void Clear() = 0;
  // The width and height the file's header declares, read without decoding the image;
  // false when the file does not tell them that way.
  virtual bool ReadSize(const std::string& path, int* width, int* height) = 0;
  // True when the image loaded; false leaves the slot empty (an empty path only
  // empties it). An image larger than kSkinImageMaxSide a side need not load.
  virtual bool Load(int slot, const std::string& path) = 0;
  // The width and height of the image `slot` holds; 0 x 0 for an empty slot.
  virtual void SlotSize(int slot, int* width, int* height) const = 0;
};
void SkinImages_Install(SkinImages* images);
SkinImages* SkinImages_Installed();

// Empties every slot and sets every colour, the author, the LED count and the switches
// back to the built-in look. The current name becomes empty.
void Skin_Reset(Skin* skin);

// Loads the skin `name` from "<directory>/Skins/<name>/<name>.xml" with the progress
// window; false (built-in look, empty current name) when `name` is empty, the file
// could not be read or its images are past the limits above (each image's size is read
// from its header before it is decoded, where the file allows). Messages go through
// MessageDialog.
bool Skin_Load(Skin* skin, const std::string& name, const std::string& directory);

inline bool Skin_Loaded(const Skin& skin) { return !skin.current.empty(); }
inline bool Skin_HasImage(const Skin& skin, int slot) {
  return slot >= 0 && slot < kSkinImageCount && !skin.image[slot].empty();
}
// LEDs per meter: the skin's count when it supplies both LED images, else the built-in 22.
int Skin_MeterLeds(const Skin& skin);
// The panel's label texts are hidden (value displays stay).
inline bool Skin_HidesStaticText(const Skin& skin) { return Skin_Loaded(skin) && skin.hideStaticText; }

// ---- Which image a control shows ----

// The push-button row of panel control `controlId`: first slot and image count (2 or 3);
// false for a control that has none.
bool SkinButton_Row(int controlId, int* firstSlot, int* imageCount);
// Disabled shows image 2 when the row has one; otherwise pressed 1, released 0.
int SkinButton_Image(int firstSlot, int imageCount, bool pressed, bool enabled);

enum class SkinSwitch { None, CheckBox, Mute, Solo, Radio };
// The switch kind of the panel's fixed switches (loop-time modes and targets, filter
// modes, metronome boxes, effects switches, the mixer's mutes, which look like the
// tracks' mutes); the strips' buttons are named by the window.
SkinSwitch SkinSwitch_ForControl(int controlId);
// Enabled off X0, enabled on X1, disabled off XGrey0, disabled on XGrey1.
int SkinSwitch_Image(SkinSwitch kind, bool on, bool enabled);

enum class SkinSlider { Pan, Volume, FxSend, Fx, Mixing, Metronome };
inline int SkinSlider_Background(SkinSlider kind) { return SkinSlot_PanSlider + 2 * static_cast<int>(kind); }
inline int SkinSlider_Knob(SkinSlider kind) { return SkinSlider_Background(kind) + 1; }
