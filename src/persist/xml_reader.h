#pragma once
// Reads one XML file through Expat: open, size, buffer, parse as one final piece, with
// the file's own message for each failure, followed by a line naming the file and what
// is wrong where that is known (a folder in its place, a size past the limit). The
// file's size is never trusted: files larger than XML_MAX_FILE_BYTES are refused with
// the bad-size message, and documents nested deeper than XML_MAX_DEPTH stop the parse
// with the parse-error message.
#include <cstdint>
#include <string>

#include "persist/setting_table.h"

inline constexpr std::int64_t XML_MAX_FILE_BYTES = 64 * 1024 * 1024;

// Texts shown through MessageDialog (no owner, OK only). A null text is not shown.
struct XmlReadMessages {
  const char* openFailed;       // null: a missing file is silent
  const char* seekFailed;
  const char* badSize;
  const char* seekStartFailed;
  const char* parseFailed;
  const char* caption;          // caption of all but the parse message
  const char* parseCaption;
};

struct XmlHandlers {
  void (*start)(void* userData, const char* name, const char** attributes);
  void (*end)(void* userData, const char* name);
  void (*text)(void* userData, const char* text, int length);
};

enum XmlReadResult {
  XmlRead_Missing,     // the file did not open
  XmlRead_Failed,      // seek, size or buffer failure (reported); nothing parsed
  XmlRead_ParseError,  // reported; what the handlers applied before the error stays
  XmlRead_Done,
};

inline constexpr const char* XML_BUFFER_MESSAGE = "Couldn't allocate XML buffer memory.";

// Resets the shared read state to `table` and `index`, then reads and parses `path`.
// `beforeParse` (may be null) runs once the bytes are in memory, just before parsing.
XmlReadResult Xml_ReadFile(const std::string& path, const XmlReadMessages& messages,
                           const XmlHandlers& handlers, SettingTable table, int* index,
                           void (*beforeParse)(void* context) = nullptr,
                           void* context = nullptr);

// Reads a table-driven file with the standard handlers.
XmlReadResult Xml_ReadSettings(const std::string& path, const XmlReadMessages& messages,
                               SettingTable table, int* index = nullptr);
