#pragma once
// Reading and writing the text of dialog fields, shared by the dialog models.
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

// printf into a string (dialog texts are short: at most 511 characters are kept).
inline std::string DialogText_Format(const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

// A field holding nothing but blanks counts as empty.
inline bool DialogText_Empty(const std::string& text) {
  for (char c : text)
    if (!std::isspace(static_cast<unsigned char>(c))) return false;
  return true;
}

// The number a field starts with, 0 when it starts with none.
inline double DialogText_Real(const std::string& text) { return std::strtod(text.c_str(), nullptr); }

// The unsigned integer a field starts with (after blanks); false when it starts with no
// digit or the number does not fit.
inline bool DialogText_Unsigned(const std::string& text, unsigned* value) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  if (i >= text.size() || !std::isdigit(static_cast<unsigned char>(text[i]))) return false;
  unsigned long long v = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    v = v * 10 + static_cast<unsigned>(text[i] - '0');
    if (v > 0xFFFFFFFFull) return false;
  }
  *value = static_cast<unsigned>(v);
  return true;
}
