// Draws the program's own skin, "Kestrel": every one of the skin's image slots as a PNG
// plus the skin file naming them, into OUT_DIR/Kestrel. Run at build time:
//   skin_maker OUT_DIR
// Slate panels with rust accents; the pictures are drawn, nothing is taken from elsewhere.
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTextStream>
#include <cstdio>
#include <functional>
#include <map>
#include <string>

#include "app/settings/skin.h"

namespace {

constexpr const char* kName = "Kestrel";

const QColor kSlateDark(29, 33, 39);
const QColor kSlate(43, 49, 57);
const QColor kSlateLight(74, 82, 92);
const QColor kEdge(16, 18, 22);
const QColor kRust(206, 104, 48);
const QColor kRustDark(150, 70, 30);
const QColor kText(230, 225, 216);
const QColor kTextDim(110, 115, 122);

QImage Blank(int w, int h) {
  QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  return image;
}

QFont LabelFont(int pixels) {
  QFont font("DejaVu Sans");
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(pixels);
  font.setBold(true);
  return font;
}

void Rounded(QPainter& p, const QRectF& r, double radius, const QBrush& fill, const QColor& edge, double width = 1) {
  p.setPen(QPen(edge, width));
  p.setBrush(fill);
  p.drawRoundedRect(r, radius, radius);
}

QLinearGradient Vertical(double h, const QColor& top, const QColor& bottom) {
  QLinearGradient g(0, 0, 0, h);
  g.setColorAt(0, top);
  g.setColorAt(1, bottom);
  return g;
}

// ---- Pictures ----

QImage Background() {
  const int w = 1280, h = 800;
  QImage image(w, h, QImage::Format_RGB32);
  QPainter p(&image);
  p.fillRect(image.rect(), Vertical(h, QColor(40, 46, 54), kSlateDark));
  QRadialGradient glow(w * 0.25, h * 0.1, w * 0.6);
  glow.setColorAt(0, QColor(255, 255, 255, 22));
  glow.setColorAt(1, QColor(255, 255, 255, 0));
  p.fillRect(image.rect(), glow);
  // Faint brushed lines and a rust rule along the top.
  for (int y = 0; y < h; y += 3) p.fillRect(0, y, w, 1, QColor(255, 255, 255, (y / 3) % 5 == 0 ? 6 : 3));
  p.fillRect(0, 0, w, 4, kRust);
  return image;
}

enum class Face { Up, Down, Grey };

using Glyph = std::function<void(QPainter&, const QRectF&, const QColor&)>;

QImage Button(const QString& label, Face face, const Glyph& glyph = {}) {
  const int w = 72, h = 30;
  QImage image = Blank(w, h);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF r(0.5, 0.5, w - 1, h - 1);
  QColor ink = kText;
  switch (face) {
    case Face::Up:
      Rounded(p, r, 5, Vertical(h, kSlateLight, QColor(52, 58, 66)), kEdge);
      p.setPen(QColor(255, 255, 255, 40));
      p.drawLine(QPointF(5, 1.5), QPointF(w - 5, 1.5));
      break;
    case Face::Down:
      Rounded(p, r, 5, Vertical(h, QColor(226, 124, 66), kRustDark), kEdge);
      ink = Qt::white;
      break;
    case Face::Grey:
      Rounded(p, r, 5, QColor(44, 48, 54), QColor(34, 38, 43));
      ink = kTextDim;
      break;
  }
  QRectF text = r;
  if (glyph) {
    glyph(p, QRectF(7, 8, 14, 14), ink);
    text.setLeft(22);
  }
  p.setFont(LabelFont(11));
  p.setPen(ink);
  p.drawText(text, Qt::AlignCenter, label);
  return image;
}

void StopGlyph(QPainter& p, const QRectF& r, const QColor& c) { p.fillRect(r.adjusted(2, 2, -2, -2), c); }
void PlayGlyph(QPainter& p, const QRectF& r, const QColor& c) {
  QPainterPath path;
  path.moveTo(r.left() + 2, r.top());
  path.lineTo(r.right(), r.center().y());
  path.lineTo(r.left() + 2, r.bottom());
  path.closeSubpath();
  p.fillPath(path, c);
}
void RecordGlyph(QPainter& p, const QRectF& r, const QColor& c) {
  p.setPen(QPen(c, 1.2));
  p.setBrush(QColor(228, 64, 56));
  p.drawEllipse(r.adjusted(1, 1, -1, -1));
}
void PauseGlyph(QPainter& p, const QRectF& r, const QColor& c) {
  p.fillRect(QRectF(r.left() + 2, r.top() + 1, 3.5, r.height() - 2), c);
  p.fillRect(QRectF(r.right() - 5.5, r.top() + 1, 3.5, r.height() - 2), c);
}

QImage TrackNumber(int n) {
  QImage image = Blank(28, 22);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  Rounded(p, QRectF(0.5, 0.5, 27, 21), 4, Vertical(22, kSlateLight, kSlate), kEdge);
  p.setFont(LabelFont(13));
  p.setPen(kRust);
  p.drawText(image.rect(), Qt::AlignCenter, QString::number(n));
  return image;
}

QImage TrackBackground(bool current) {
  const int w = 96, h = 480;
  QImage image(w, h, QImage::Format_RGB32);
  QPainter p(&image);
  p.fillRect(image.rect(), Vertical(h, QColor(47, 53, 62), QColor(33, 38, 45)));
  p.setPen(current ? kRust : QColor(62, 70, 80));
  p.drawRect(0, 0, w - 1, h - 1);
  if (current) {
    p.drawRect(1, 1, w - 3, h - 3);
    p.fillRect(0, 0, w, 6, kRust);
  }
  return image;
}

QImage Led(bool lit) {
  QImage image = Blank(10, 10);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  if (lit) {
    QRadialGradient g(5, 5, 6);
    g.setColorAt(0, QColor(200, 255, 215));
    g.setColorAt(0.5, QColor(98, 229, 143));
    g.setColorAt(1, QColor(40, 150, 80));
    Rounded(p, QRectF(1, 1, 8, 8), 2, g, QColor(20, 80, 40));
  } else {
    Rounded(p, QRectF(1, 1, 8, 8), 2, QColor(34, 52, 42), QColor(18, 24, 20));
  }
  return image;
}

QImage CheckBox(bool on, bool grey) {
  QImage image = Blank(16, 16);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor edge = grey ? QColor(70, 75, 82) : kText;
  Rounded(p, QRectF(1.5, 1.5, 13, 13), 3, on ? (grey ? QColor(90, 70, 60) : kRust) : QColor(24, 27, 32), edge, 1.2);
  if (on) {
    p.setPen(QPen(grey ? kTextDim : Qt::white, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({QPointF(4.5, 8.5), QPointF(7, 11), QPointF(11.5, 5)}));
  }
  return image;
}

QImage Radio(bool on, bool grey) {
  QImage image = Blank(16, 16);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(grey ? QColor(70, 75, 82) : kText, 1.2));
  p.setBrush(QColor(24, 27, 32));
  p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
  if (on) {
    p.setPen(Qt::NoPen);
    p.setBrush(grey ? QColor(90, 70, 60) : kRust);
    p.drawEllipse(QRectF(4.5, 4.5, 7, 7));
  }
  return image;
}

QImage Pill(const QString& label, const QColor& litColour, const QColor& litInk, bool on, bool grey) {
  QImage image = Blank(40, 18);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QColor fill = on ? litColour : QColor(36, 40, 46);
  QColor ink = on ? litInk : kText;
  if (grey) {
    fill = on ? litColour.darker(250) : QColor(40, 44, 49);
    ink = kTextDim;
  }
  Rounded(p, QRectF(0.5, 0.5, 39, 17), 8.5, fill, kEdge);
  p.setFont(LabelFont(9));
  p.setPen(ink);
  p.drawText(image.rect(), Qt::AlignCenter, label);
  return image;
}

QImage SliderGroove(const QColor& accent, bool centreMark) {
  const int w = 128, h = 18;
  QImage image = Blank(w, h);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QColor(255, 255, 255, 50));
  for (int i = 0; i <= 10; ++i) {
    const double x = 8 + (w - 16) * i / 10.0;
    p.drawLine(QPointF(x, 1), QPointF(x, i % 5 == 0 ? 5 : 3));
  }
  Rounded(p, QRectF(4, 7.5, w - 8, 4), 2, QColor(14, 16, 19), QColor(70, 78, 88));
  if (centreMark) p.fillRect(QRectF(w / 2.0 - 1, 1, 2, 16), accent);
  return image;
}

QImage SliderKnob(const QColor& accent) {
  QImage image = Blank(12, 18);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient g(0, 0, 12, 0);
  g.setColorAt(0, QColor(190, 194, 200));
  g.setColorAt(0.5, QColor(130, 136, 144));
  g.setColorAt(1, QColor(80, 86, 94));
  Rounded(p, QRectF(0.5, 0.5, 11, 17), 2.5, g, kEdge);
  p.fillRect(QRectF(5, 2, 2, 14), accent);
  return image;
}

// ---- The skin ----

bool Save(const QString& folder, int slot, const QImage& image, QTextStream& xml) {
  const QString name = SkinImage_Name(slot);
  const QString file = name.toLower() + ".png";
  if (!image.save(folder + "/" + file, "PNG")) {
    std::fprintf(stderr, "skin_maker: cannot write %s\n", qPrintable(folder + "/" + file));
    return false;
  }
  xml << "\t<" << name << ">" << file << "</" << name << ">\n";
  return true;
}

QImage Picture(int slot) {
  struct Label {
    const char* text;
    void (*glyph)(QPainter&, const QRectF&, const QColor&);
  };
  static const std::map<int, Label> buttons = {
      {SkinSlot_StopButton, {"Stop", StopGlyph}},      {SkinSlot_PlayButton, {"Play", PlayGlyph}},
      {SkinSlot_RecordButton, {"Rec", RecordGlyph}},   {SkinSlot_PauseButton, {"Pause", PauseGlyph}},
      {SkinSlot_SetloopButton, {"Set Loop", nullptr}}, {SkinSlot_EraseButton, {"Erase", nullptr}},
      {SkinSlot_UndoButton, {"Undo", nullptr}},        {SkinSlot_InsertButton, {"Insert", nullptr}},
      {SkinSlot_SlowButton, {"Slow", nullptr}},        {SkinSlot_ReverseButton, {"Reverse", nullptr}},
      {SkinSlot_MultiplyButton, {"Multiply", nullptr}}, {SkinSlot_DivideButton, {"Divide", nullptr}},
      {SkinSlot_MixToTrackButton, {"To Track", nullptr}}, {SkinSlot_MixToDiskButton, {"To Disk", nullptr}},
      {SkinSlot_TapButton, {"Tap", nullptr}},          {SkinSlot_GetButton, {"Get", nullptr}},
      {SkinSlot_SetButton, {"Set", nullptr}},          {SkinSlot_TrimButton, {"Trim", nullptr}},
      {SkinSlot_ZoomInButton, {"Zoom +", nullptr}},    {SkinSlot_ZoomOutButton, {"Zoom -", nullptr}},
      {SkinSlot_ZoomOutFullButton, {"Full", nullptr}}, {SkinSlot_ZoomSelectionButton, {"Zoom Sel", nullptr}},
      {SkinSlot_LoopSelectionButton, {"Loop Sel", nullptr}}, {SkinSlot_NudgeLoopButton, {"Nudge", nullptr}},
  };
  if (slot == SkinSlot_Background) return Background();
  if (slot < SkinSlot_TrackNumber) {
    auto row = buttons.upper_bound(slot);
    --row;
    const Face face = slot - row->first == 0 ? Face::Up : slot - row->first == 1 ? Face::Down : Face::Grey;
    return Button(row->second.text, face, row->second.glyph ? Glyph(row->second.glyph) : Glyph());
  }
  if (slot < SkinSlot_TrackBackground) return TrackNumber(slot - SkinSlot_TrackNumber + 1);
  if (slot < SkinSlot_MeterLed) return TrackBackground((slot - SkinSlot_TrackBackground) % 2 == 1);
  if (slot < SkinSlot_CheckBox) return Led(slot == SkinSlot_MeterLed + 1);
  if (slot < SkinSlot_PanSlider) {
    const int kind = (slot - SkinSlot_CheckBox) / 4, state = (slot - SkinSlot_CheckBox) % 4;
    const bool on = state % 2 == 1, grey = state >= 2;
    switch (kind) {
      case 0: return CheckBox(on, grey);
      case 1: return Pill("MUTE", QColor(216, 67, 58), Qt::white, on, grey);
      case 2: return Pill("SOLO", QColor(232, 195, 58), kSlateDark, on, grey);
      default: return Radio(on, grey);
    }
  }
  static const QColor accents[] = {kRust, QColor(98, 229, 143), QColor(120, 170, 230),
                                   QColor(190, 130, 230), QColor(232, 195, 58), QColor(230, 120, 120)};
  const int kind = (slot - SkinSlot_PanSlider) / 2;
  if ((slot - SkinSlot_PanSlider) % 2 == 0) return SliderGroove(accents[kind], kind == 0);
  return SliderKnob(accents[kind]);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: skin_maker OUT_DIR\n");
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);  // fonts for the labels

  const QString folder = QString::fromLocal8Bit(argv[1]) + "/" + kName;
  if (!QDir().mkpath(folder)) {
    std::fprintf(stderr, "skin_maker: cannot make %s\n", qPrintable(folder));
    return 1;
  }
  QString body;
  QTextStream xml(&body);
  xml << "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<Skin>\n";
  xml << "\t<Author>The Kestrine project</Author>\n";
  for (int slot = 0; slot < kSkinImageCount; ++slot)
    if (!Save(folder, slot, Picture(slot), xml)) return 1;
  const char* colours[][2] = {
      {"TextColor", "230,225,216"},          {"TextBackgroundColor", "43,49,57"},
      {"ControlBackgroundColor", "36,41,48"}, {"EditBackgroundColor", "22,25,30"},
      {"ProgressBarColor", "206,104,48"},     {"ProgressBarBackgroundColor", "24,27,32"},
      {"LoopEditUnloopedBGColor", "16,18,22"}, {"LoopEditLoopedBGColor", "40,46,54"},
      {"LoopEditBackgroundColor", "16,18,22"}, {"LoopEditLoopPositionColor", "240,140,60"},
      {"LoopEditSelectionColor", "82,94,110"}, {"LoopEditWaveColor", "120,220,160"},
      {"LoopEditZeroLineColor", "70,80,90"},   {"LoopEditMeasureColor", "150,160,170"},
      {"LoopEditBeatColor", "78,86,96"},
  };
  for (const auto& c : colours) xml << "\t<" << c[0] << ">" << c[1] << "</" << c[0] << ">\n";
  xml << "\t<NumMeterLED>24</NumMeterLED>\n\t<HideStaticText>0</HideStaticText>\n</Skin>\n";
  xml.flush();

  QFile file(folder + "/" + kName + ".xml");
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(body.toLatin1()) != body.size()) {
    std::fprintf(stderr, "skin_maker: cannot write %s\n", qPrintable(file.fileName()));
    return 1;
  }
  return 0;
}
