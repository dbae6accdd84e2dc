#include "app/settings/skin.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <vector>

#include "app/model/progress_dialog.h"
#include "engine/message_dialog.h"
#include "persist/xml_read_state.h"
#include "persist/xml_reader.h"

namespace fs = std::filesystem;

namespace {

// ---- Image names ----

struct ImageRow {
  const char* stem;
  int count;  // images in the row: stem0, stem1, ...
};

// The rows of numbered images before the track numbers, in slot order.
constexpr ImageRow kButtonRows[] = {
    {"StopButton", 2},     {"PlayButton", 2},          {"RecordButton", 2},        {"PauseButton", 2},
    {"SetloopButton", 2},  {"EraseButton", 2},         {"UndoButton", 2},          {"InsertButton", 2},
    {"SlowButton", 2},     {"ReverseButton", 2},       {"MultiplyButton", 2},      {"DivideButton", 2},
    {"MixToTrackButton", 2}, {"MixToDiskButton", 2},   {"TapButton", 3},           {"GetButton", 3},
    {"SetButton", 3},      {"TrimButton", 3},          {"ZoomInButton", 3},        {"ZoomOutButton", 3},
    {"ZoomOutFullButton", 3}, {"ZoomSelectionButton", 3}, {"LoopSelectionButton", 3}, {"NudgeLoopButton", 3},
};

const std::array<std::string, kSkinImageCount>& ImageNames() {
  static const std::array<std::string, kSkinImageCount> names = [] {
    std::vector<std::string> all{"Background"};
    for (const ImageRow& row : kButtonRows)
      for (int i = 0; i < row.count; ++i) all.push_back(row.stem + std::to_string(i));
    for (int t = 1; t <= 8; ++t) all.push_back("TrackNumber" + std::to_string(t));
    for (int t = 1; t <= 8; ++t)
      for (int i = 0; i < 2; ++i) all.push_back("Track" + std::to_string(t) + "Background" + std::to_string(i));
    all.push_back("MeterLED0");
    all.push_back("MeterLED1");
    for (const char* kind : {"CheckBox", "Mute", "Solo", "Radio"})
      for (const char* state : {"0", "1", "Grey0", "Grey1"}) all.push_back(std::string(kind) + state);
    for (const char* slider : {"Pan", "Volume", "FxSend", "Fx", "Mixing", "Metronome"}) {
      all.push_back(std::string(slider) + "BG");
      all.push_back(std::string(slider) + "Knob");
    }
    std::array<std::string, kSkinImageCount> fixed;
    for (int i = 0; i < kSkinImageCount; ++i) fixed[i] = all.at(i);
    return fixed;
  }();
  return names;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// ---- Colours ----

// The colour elements; -1 takes no colour (accepted and counted, nothing more).
struct ColourElement {
  const char* name;
  bool loopEdit;
  int index;
};
constexpr ColourElement kColourElements[] = {
    {"TextColor", false, SkinColour_Text},
    {"TextBackgroundColor", false, SkinColour_TextBackground},
    {"ControlBackgroundColor", false, SkinColour_ControlBackground},
    {"EditBackgroundColor", false, SkinColour_EditBackground},
    {"ProgressBarColor", false, SkinColour_ProgressBar},
    {"ProgressBarBackgroundColor", false, SkinColour_ProgressBarBackground},
    {"LoopEditUnloopedBGColor", true, LoopEditColour_UnloopedBackground},
    {"LoopEditLoopedBGColor", true, LoopEditColour_LoopedBackground},
    {"LoopEditBackgroundColor", true, -1},
    {"LoopEditLoopPositionColor", true, LoopEditColour_LoopPosition},
    {"LoopEditSelectionColor", true, LoopEditColour_Selection},
    {"LoopEditWaveColor", true, LoopEditColour_Wave},
    {"LoopEditZeroLineColor", true, LoopEditColour_ZeroLine},
    {"LoopEditMeasureColor", true, LoopEditColour_Measure},
    {"LoopEditBeatColor", true, LoopEditColour_Beat},
};

// A leading decimal integer as the C library reads one, saturating instead of overflowing.
long LeadingInteger(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    if (value < 100000) value = value * 10 + (text[i] - '0');
  return negative ? -value : value;
}

int ColourPart(long value) { return value < 1 ? 0 : value > 255 ? 255 : static_cast<int>(value); }

// ---- Reading ----

SkinImages* g_images = nullptr;

// The one skin load that runs at a time.
struct SkinRead {
  Skin* skin = nullptr;
  std::string name;
  fs::path folder;
  std::string title;
  std::optional<ProgressWindow> progress;
  SkinImageBudget budget;
  std::string refused;  // the message of the image that went past the limits
};
SkinRead* g_read = nullptr;

void Step() {
  if (g_read->progress) g_read->progress->Step();
}

// A file name inside the skin's folder: relative, without "..", either separator.
bool ImagePathInFolder(const std::string& text, fs::path* path) {
  std::string name = text;
  for (char& c : name)
    if (c == '\\') c = '/';
  const fs::path relative(name);
  if (name.empty() || relative.is_absolute() || !relative.has_filename()) return false;
  for (const fs::path& part : relative)
    if (part == "..") return false;
  *path = g_read->folder / relative;
  return true;
}

bool LoadImageFile(int slot, const fs::path& path) {
  if (g_images) return g_images->Load(slot, path.string());
  std::error_code ec;
  return fs::is_regular_file(path, ec) && fs::file_size(path, ec) > 0 && !ec;
}

// Takes an image's size from the budget; false (the skin refused) when it does not fit.
bool TakeFromBudget(const std::string& file, int width, int height) {
  g_read->refused = SkinImageBudget_Take(&g_read->budget, g_read->name, file, width, height);
  return g_read->refused.empty();
}

void ApplyImage(const std::string& element, const std::string& text) {
  const int slot = SkinImage_Find(element);
  if (slot < 0) return;
  Step();
  std::string& held = g_read->skin->image[slot];
  held.clear();
  fs::path path;
  // A value longer than the reader keeps names no file of this skin. Once the skin is
  // refused, nothing more is decoded.
  if (!g_read->refused.empty() || Xml_ReadState().textLength != text.size() || !ImagePathInFolder(text, &path)) {
    if (g_images) g_images->Load(slot, {});
    return;
  }
  int width = 0, height = 0;
  const bool measured = g_images && g_images->ReadSize(path.string(), &width, &height);
  if (measured && !TakeFromBudget(text, width, height)) {
    g_images->Load(slot, {});
    return;
  }
  if (!LoadImageFile(slot, path)) return;
  if (!measured && g_images) {
    g_images->SlotSize(slot, &width, &height);
    if (!TakeFromBudget(text, width, height)) {
      g_images->Load(slot, {});
      return;
    }
  }
  held = path.string();
}

void ApplyColour(const std::string& element, const std::string& text) {
  for (const ColourElement& c : kColourElements) {
    if (!SameIgnoringCase(c.name, element)) continue;
    Step();
    if (c.index < 0) return;
    const SkinColour colour = SkinColour_Parse(text);
    if (c.loopEdit) {
      g_read->skin->loopEdit[c.index] = colour;
    } else {
      g_read->skin->panel[c.index] = colour;
      if (c.index == SkinColour_Text) g_read->skin->textColourSet = true;
    }
    return;
  }
}

std::string CutAtCharacter(const std::string& text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t cut = limit;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return text.substr(0, cut);
}

const std::vector<SettingDescriptor>& SkinRows() {
  static const std::vector<SettingDescriptor> rows = [] {
    std::vector<SettingDescriptor> all;
    for (const std::string& name : ImageNames()) all.push_back({.name = name.c_str(), .setNamedText = ApplyImage});
    for (const ColourElement& c : kColourElements) all.push_back({.name = c.name, .setNamedText = ApplyColour});
    all.push_back({.name = "Author", .setText = [](int, const std::string& t) {
                     g_read->skin->author = CutAtCharacter(t, kSkinAuthorMax);
                   }});
    all.push_back({.name = "NumMeterLED", .setInteger = [](int v) {
                     g_read->skin->numMeterLeds = v < 0 ? 0 : v > kSkinMaxMeterLeds ? kSkinMaxMeterLeds : v;
                   }});
    all.push_back({.name = "HideStaticText", .setInteger = [](int v) { g_read->skin->hideStaticText = v != 0; }});
    return all;
  }();
  return rows;
}

void BeforeParse(void* context) {
  auto* read = static_cast<SkinRead*>(context);
  read->skin->hideStaticText = false;
  read->progress.emplace(true, read->title, kSkinProgressRange);
}

// A skin name is one folder under Skins.
bool ValidName(const std::string& name) {
  return !name.empty() && name.size() <= kSkinNameMax && name != "." && name != ".." &&
         name.find('/') == std::string::npos && name.find('\\') == std::string::npos;
}

void ResetValues(Skin* skin) {
  skin->current.clear();
  skin->author.clear();
  for (std::string& path : skin->image) path.clear();
  for (int i = 0; i < kSkinPanelColourCount; ++i)
    skin->panel[i] = SkinColour_PanelDefault(static_cast<SkinPanelColour>(i));
  skin->textColourSet = false;
  for (int i = 0; i < kLoopEditColourCount; ++i)
    skin->loopEdit[i] = SkinColour_LoopEditDefault(static_cast<SkinLoopEditColour>(i));
  skin->numMeterLeds = kSkinDefaultMeterLeds;
  skin->hideStaticText = false;
}

}  // namespace

const char* SkinImage_Name(int slot) {
  if (slot < 0 || slot >= kSkinImageCount) return "";
  return ImageNames()[slot].c_str();
}

int SkinImage_Find(std::string_view name) {
  const auto& names = ImageNames();
  for (int i = 0; i < kSkinImageCount; ++i)
    if (SameIgnoringCase(names[i], name)) return i;
  return -1;
}

SkinColour SkinColour_Parse(std::string_view text) {
  int parts[3] = {0, 0, 0};
  for (int i = 0; i < 3; ++i) {
    const std::size_t comma = text.find(',');
    parts[i] = ColourPart(LeadingInteger(text.substr(0, comma)));
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  return {parts[0], parts[1], parts[2]};
}

SkinColour SkinColour_PanelDefault(SkinPanelColour which) {
  switch (which) {
    case SkinColour_EditBackground: return {255, 255, 255};
    case SkinColour_ProgressBar: return {0, 0, 200};
    case SkinColour_Text: return {0, 0, 0};  // stands for the toolkit's button-text colour
    default: return {213, 208, 200};
  }
}

SkinColour SkinColour_LoopEditDefault(SkinLoopEditColour which) {
  static constexpr SkinColour defaults[kLoopEditColourCount] = {
      {1, 1, 1}, {70, 70, 70}, {0, 0, 255}, {100, 100, 100}, {200, 200, 0}, {50, 50, 50}, {130, 130, 130}, {50, 50, 50}};
  return defaults[which];
}

Skin::Skin() { ResetValues(this); }

std::string SkinImageBudget_Take(SkinImageBudget* budget, const std::string& skin, const std::string& file,
                                 int width, int height) {
  char text[160];
  if (width > kSkinImageMaxSide || height > kSkinImageMaxSide) {
    std::snprintf(text, sizeof text, "%d x %d pixels, more than the %d x %d a skin image may have", width, height,
                  kSkinImageMaxSide, kSkinImageMaxSide);
    return "Skin image " + file + " is " + text + ".\nThe skin " + skin + " is not loaded.";
  }
  const long long pixels = static_cast<long long>(std::max(width, 0)) * std::max(height, 0);
  if (budget->pixels + pixels > kSkinImagesMaxPixels) {
    std::snprintf(text, sizeof text, "%lld million", kSkinImagesMaxPixels / 1000000);
    return "The images of skin " + skin + " come to more than the " + text + " pixels a skin may have; " + file +
           " goes past it.\nThe skin is not loaded.";
  }
  budget->pixels += pixels;
  return {};
}

Skin& App_Skin() {
  static Skin skin;
  return skin;
}

void SkinImages_Install(SkinImages* images) { g_images = images; }
SkinImages* SkinImages_Installed() { return g_images; }

void Skin_Reset(Skin* skin) {
  ResetValues(skin);
  if (g_images) g_images->Clear();
}

bool Skin_Load(Skin* skin, const std::string& name, const std::string& directory) {
  Skin_Reset(skin);
  if (name.empty()) return false;

  const std::string relative = "Skins/" + name + "/" + name + ".xml";
  const std::string openFailed = "Couldn't open skin file " + relative;
  const std::string parseFailed = "Error parsing skin file: " + relative;
  const XmlReadMessages messages{openFailed.c_str(),
                                 "Couldn't seek in skin file.",
                                 "bad file size in skin file.",
                                 "Couldn't seek to start of skin file.",
                                 parseFailed.c_str(),
                                 "File error",
                                 "XML Error"};
  if (!ValidName(name)) {
    MessageDialog_Show(nullptr, openFailed, messages.caption);
    return false;
  }

  SkinRead read;
  read.skin = skin;
  read.name = name;
  read.folder = fs::path(directory.empty() ? "." : directory) / "Skins" / name;
  read.title = "Loading Skin: " + name;
  const XmlHandlers handlers{Xml_StartElementHandler, Xml_EndElementHandler, Xml_CharacterDataHandler};
  const std::vector<SettingDescriptor>& rows = SkinRows();
  g_read = &read;
  const XmlReadResult result = Xml_ReadFile((read.folder / (name + ".xml")).string(), messages, handlers,
                                            {rows.data(), static_cast<int>(rows.size())}, nullptr, BeforeParse, &read);
  g_read = nullptr;
  if (result != XmlRead_Done || !read.refused.empty()) {
    // What the file set before it failed does not stay: the built-in look, whole.
    Skin_Reset(skin);
    if (result == XmlRead_Done) {
      read.progress.reset();
      MessageDialog_Show(nullptr, read.refused, kSkinTooLargeCaption);
    }
    return false;
  }
  skin->current = name;
  return true;
}

int Skin_MeterLeds(const Skin& skin) {
  const bool images = Skin_HasImage(skin, SkinSlot_MeterLed) && Skin_HasImage(skin, SkinSlot_MeterLed + 1);
  return images ? skin.numMeterLeds : kBuiltInMeterLeds;
}

bool SkinButton_Row(int controlId, int* firstSlot, int* imageCount) {
  struct Row {
    int control, slot, count;
  };
  static constexpr Row rows[] = {
      {1000, SkinSlot_StopButton, 2},          {1002, SkinSlot_PlayButton, 2},
      {1001, SkinSlot_RecordButton, 2},        {1004, SkinSlot_PauseButton, 2},
      {1005, SkinSlot_SetloopButton, 2},       {1003, SkinSlot_EraseButton, 2},
      {1007, SkinSlot_UndoButton, 2},          {1011, SkinSlot_InsertButton, 2},
      {1008, SkinSlot_SlowButton, 2},          {1009, SkinSlot_ReverseButton, 2},
      {1006, SkinSlot_MultiplyButton, 2},      {1013, SkinSlot_DivideButton, 2},
      {1015, SkinSlot_MixToTrackButton, 2},    {1014, SkinSlot_MixToDiskButton, 2},
      {1215, SkinSlot_TapButton, 3},           {1221, SkinSlot_GetButton, 3},
      {1217, SkinSlot_SetButton, 3},           {1262, SkinSlot_TrimButton, 3},
      {1268, SkinSlot_ZoomInButton, 3},        {1269, SkinSlot_ZoomOutButton, 3},
      {1265, SkinSlot_ZoomOutFullButton, 3},   {1263, SkinSlot_ZoomSelectionButton, 3},
      {1270, SkinSlot_LoopSelectionButton, 3}, {1271, SkinSlot_NudgeLoopButton, 3},
  };
  for (const Row& row : rows) {
    if (row.control != controlId) continue;
    *firstSlot = row.slot;
    *imageCount = row.count;
    return true;
  }
  return false;
}

int SkinButton_Image(int firstSlot, int imageCount, bool pressed, bool enabled) {
  if (!enabled && imageCount > 2) return firstSlot + 2;
  return firstSlot + (pressed ? 1 : 0);
}

SkinSwitch SkinSwitch_ForControl(int controlId) {
  switch (controlId) {
    case 1278: case 1279: case 1280:              // loop-time modes
    case 1218: case 1219: case 1220:              // loop-time targets
    case 1043: case 1048: case 1049: case 1052:   // filter modes
      return SkinSwitch::Radio;
    case 1022: case 1025: case 1026:              // the mixer's master, B and A mutes
      return SkinSwitch::Mute;
    case 1241: case 1242:                         // metronome Play, Rec.
    case 1042: case 1038: case 1053: case 1045:   // filter and LFO On, Link
    case 1054:                                    // reverb On
    case 1068: case 1076: case 1092: case 1093:   // delay On, Link, Mode, Sync
      return SkinSwitch::CheckBox;
    default:
      return SkinSwitch::None;
  }
}

int SkinSwitch_Image(SkinSwitch kind, bool on, bool enabled) {
  int first = SkinSlot_CheckBox;
  switch (kind) {
    case SkinSwitch::None: return -1;
    case SkinSwitch::CheckBox: first = SkinSlot_CheckBox; break;
    case SkinSwitch::Mute: first = SkinSlot_Mute; break;
    case SkinSwitch::Solo: first = SkinSlot_Solo; break;
    case SkinSwitch::Radio: first = SkinSlot_Radio; break;
  }
  return first + (enabled ? 0 : 2) + (on ? 1 : 0);
}
