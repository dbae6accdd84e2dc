#pragma once
// The shared state of the one XML parse that runs at a time, and the table-driven
// element handlers that most files use. Text between two tags is one value: Expat may
// hand it over in several pieces (line ends, character references), which are joined;
// a tag starts a new value.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "persist/setting_table.h"

inline constexpr std::size_t XML_TEXT_MAX = 259;     // characters kept of one text value
inline constexpr int XML_MAX_DEPTH = 256;            // deeper documents are refused

// The length of the longest prefix of `text` (at most `limit` bytes) that ends on a
// character boundary of UTF-8 text.
std::size_t Xml_CutAtCharacter(std::string_view text, std::size_t limit);

struct XmlReadState {
  std::string text;        // current text value, at most XML_TEXT_MAX bytes
  std::size_t textLength;  // length of the whole value before the cut
  bool textOpen;           // false once a tag has followed the last piece of text
  double number;           // the decimal number at the start of the text (0 if none)
  std::vector<std::string> elements;  // names of the open elements, innermost last
  int depth;                          // 1 before the root element
  SettingTable table;                 // rows the table-driven handlers apply
  int* index;                         // per-object index (sessions), or null
  void* parser;                       // the running Expat parser, to stop it
};

XmlReadState& Xml_ReadState();

// Prepares the state for a new parse: stack emptied, depth 1, table and index set.
void XmlReadState_Reset(SettingTable table, int* index);

// The decimal number at the start of `text`: optional white space and sign, digits,
// a decimal point and an exponent, read in the "C" notation whatever the locale; 0 when
// there is none. Out-of-range magnitudes give the largest finite double.
double Xml_ParseNumber(std::string_view text);
// Truncates toward zero, saturating at the limits of int.
int Xml_TruncateToInt(double value);

// The handler pieces, for readers with handlers of their own.
// Start tag: push the name, empty the value; false when the document is nested too deep
// (the parser has then been stopped).
bool XmlReadState_StartElement(const char* name);
// A piece of text: joined to the current value or starting a new one.
void XmlReadState_Text(const char* text, int length);
// End tag: pop the name, close the current value.
void XmlReadState_EndElement();

// Applies the current value to the first row of the active table named `name`.
void XmlReadState_ApplyRow(const char* name);

// Expat handlers for table-driven files (the user data is unused).
void Xml_StartElementHandler(void* userData, const char* name, const char** attributes);
void Xml_EndElementHandler(void* userData, const char* name);
void Xml_CharacterDataHandler(void* userData, const char* text, int length);
