#include "persist/xml_reader.h"

#include <expat.h>

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "engine/message_dialog.h"
#include "persist/xml_read_state.h"

namespace {

void Report(const char* text, const char* caption) {
  if (text) MessageDialog_Show(nullptr, text, caption ? caption : "File error", MB_OK);
}

// The message with a line that names the file (unless the message names it already) and
// says what is wrong with it, so the user need not guess which file or why.
void ReportFile(const char* text, const char* caption, const std::string& path, const std::string& what) {
  if (!text) return;
  std::string message = text;
  const std::string name = std::filesystem::path(path).filename().string();
  const bool named = !name.empty() && message.find(name) != std::string::npos;
  if (!named)
    message += "\n" + path + (what.empty() ? "" : " " + what);
  else if (!what.empty())
    message += "\nIt " + what;
  Report(message.c_str(), caption);
}

struct OpenFile {
  std::FILE* file = nullptr;
  ~OpenFile() {
    if (file) std::fclose(file);
  }
};

struct Parser {
  XML_Parser parser = nullptr;
  ~Parser() {
    if (parser) XML_ParserFree(parser);
  }
};

}  // namespace

XmlReadResult Xml_ReadFile(const std::string& path, const XmlReadMessages& messages,
                           const XmlHandlers& handlers, SettingTable table, int* index,
                           void (*beforeParse)(void*), void* context) {
  XmlReadState_Reset(table, index);
  Parser parser;
  parser.parser = XML_ParserCreate(nullptr);
  if (!parser.parser) {
    Report(XML_BUFFER_MESSAGE, messages.caption);
    return XmlRead_Failed;
  }

  OpenFile in;
  in.file = std::fopen(path.c_str(), "r");
  if (!in.file) {
    ReportFile(messages.openFailed, messages.caption, path, "");
    return XmlRead_Missing;
  }
  struct stat info {};
  if (fstat(fileno(in.file), &info) == 0 && S_ISDIR(info.st_mode)) {
    ReportFile(messages.openFailed, messages.caption, path, "is a folder, not a file.");
    return XmlRead_Missing;
  }
  if (fseeko(in.file, 0, SEEK_END) != 0) {
    Report(messages.seekFailed, messages.caption);
    return XmlRead_Failed;
  }
  const off_t length = ftello(in.file);
  if (length <= 0) {
    Report(messages.badSize, messages.caption);
    return XmlRead_Failed;
  }

  XML_SetUserData(parser.parser, context);
  XML_SetElementHandler(parser.parser, handlers.start, handlers.end);
  XML_SetCharacterDataHandler(parser.parser, handlers.text);
  if (length > XML_MAX_FILE_BYTES) {
    ReportFile(messages.badSize, messages.caption, path, "is larger than 64 MiB, more than any file of the program.");
    return XmlRead_Failed;
  }
  void* buffer = XML_GetBuffer(parser.parser, static_cast<int>(length));
  if (!buffer) {
    Report(XML_BUFFER_MESSAGE, messages.caption);
    return XmlRead_Failed;
  }
  if (fseeko(in.file, 0, SEEK_SET) != 0) {
    Report(messages.seekStartFailed, messages.caption);
    return XmlRead_Failed;
  }
  const std::size_t got = std::fread(buffer, 1, static_cast<std::size_t>(length), in.file);
  std::fclose(in.file);
  in.file = nullptr;

  if (beforeParse) beforeParse(context);
  Xml_ReadState().parser = parser.parser;
  const XML_Status status = XML_ParseBuffer(parser.parser, static_cast<int>(got), XML_TRUE);
  Xml_ReadState().parser = nullptr;
  if (status != XML_STATUS_OK) {
    Report(messages.parseFailed, messages.parseCaption);
    return XmlRead_ParseError;
  }
  return XmlRead_Done;
}

XmlReadResult Xml_ReadSettings(const std::string& path, const XmlReadMessages& messages,
                               SettingTable table, int* index) {
  const XmlHandlers handlers{Xml_StartElementHandler, Xml_EndElementHandler,
                             Xml_CharacterDataHandler};
  return Xml_ReadFile(path, messages, handlers, table, index);
}
