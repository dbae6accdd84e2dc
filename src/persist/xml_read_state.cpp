#include "persist/xml_read_state.h"

#include <expat.h>
#include <locale.h>

#include <cfloat>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

XmlReadState g_state{};
std::string g_raw;  // the value as delivered so far, at most XML_TEXT_MAX bytes

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A value made only of tabs and line feeds is the layout between tags, not a value.
bool IsLayoutOnly(const std::string& text) {
  for (char c : text)
    if (c != '\t' && c != '\n') return false;
  return true;
}

locale_t CLocale() {
  static locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return c;
}

}  // namespace

std::size_t Xml_CutAtCharacter(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return text.size();
  std::size_t cut = limit;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return cut;
}

XmlReadState& Xml_ReadState() { return g_state; }

void XmlReadState_Reset(SettingTable table, int* index) {
  g_state.text.clear();
  g_state.textLength = 0;
  g_state.textOpen = false;
  g_state.number = 0.0;
  g_state.elements.clear();
  g_state.depth = 1;
  g_state.table = table;
  g_state.index = index;
  g_state.parser = nullptr;
}

double Xml_ParseNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  const std::size_t begin = i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return 0.0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    if (j < text.size() && IsDigit(text[j])) {
      while (j < text.size() && IsDigit(text[j])) ++j;
      i = j;
    }
  }
  // Only the validated decimal prefix reaches strtod, so no hexadecimal, "inf" or "nan".
  const std::string number(text.substr(begin, i - begin));
  double value = strtod_l(number.c_str(), nullptr, CLocale());
  if (value > DBL_MAX) value = DBL_MAX;
  if (value < -DBL_MAX) value = -DBL_MAX;
  return value;
}

int Xml_TruncateToInt(double value) {
  if (value >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (value <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(value);
}

bool XmlReadState_StartElement(const char* name) {
  g_state.elements.emplace_back(name);
  g_state.text.clear();
  g_state.textLength = 0;
  g_state.textOpen = false;
  // A value never carries over from the text before the tag.
  g_state.number = 0.0;
  ++g_state.depth;
  if (g_state.depth > XML_MAX_DEPTH) {
    if (g_state.parser) XML_StopParser(static_cast<XML_Parser>(g_state.parser), XML_FALSE);
    return false;
  }
  return true;
}

void XmlReadState_Text(const char* text, int length) {
  if (!g_state.textOpen) {
    g_raw.clear();
    g_state.textLength = 0;
    g_state.textOpen = true;
  }
  if (length < 0) length = 0;
  const std::string_view piece(text, static_cast<std::size_t>(length));
  g_state.textLength += piece.size();
  if (g_raw.size() < XML_TEXT_MAX)
    g_raw.append(piece.substr(0, Xml_CutAtCharacter(piece, XML_TEXT_MAX - g_raw.size())));
  if (IsLayoutOnly(g_raw) && g_state.textLength == g_raw.size()) {
    g_state.text.clear();
    g_state.number = 0.0;
  } else {
    g_state.text = g_raw;
    g_state.number = Xml_ParseNumber(g_raw);
  }
}

void XmlReadState_EndElement() {
  --g_state.depth;
  if (!g_state.elements.empty()) g_state.elements.pop_back();
  g_state.textOpen = false;
}

void XmlReadState_ApplyRow(const char* name) {
  const SettingTable& table = g_state.table;
  for (int r = 0; r < table.count; ++r) {
    const SettingDescriptor& row = table.rows[r];
    if (std::strcmp(row.name, name) != 0) continue;
    const int whole = Xml_TruncateToInt(g_state.number);
    const int index = g_state.index ? *g_state.index : 0;
    if (row.setInteger) row.setInteger(whole);
    if (row.setIndexedInteger && g_state.index) row.setIndexedInteger(index, whole);
    if (row.setReal) row.setReal(g_state.number);
    if (row.setIndexedReal && g_state.index) row.setIndexedReal(index, g_state.number);
    if (row.setText) row.setText(index, g_state.text);
    if (row.setNamedText) row.setNamedText(name, g_state.text);
    return;
  }
}

void Xml_StartElementHandler(void*, const char* name, const char**) {
  XmlReadState_StartElement(name);
}

void Xml_EndElementHandler(void*, const char* name) {
  XmlReadState_EndElement();
  XmlReadState_ApplyRow(name);
}

void Xml_CharacterDataHandler(void*, const char* text, int length) {
  XmlReadState_Text(text, length);
}
