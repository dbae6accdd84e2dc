#pragma once
// The table of named, typed accessors that drives both the writing and the reading of
// every XML file the program keeps. A row names one element; its setters apply the
// element's value on read, its getters supply the value on write. Any slot may be
// empty (read-only rows, rows written with empty tags).
#include <string>

struct SettingDescriptor {
  const char* name = "";  // element name, matched case-sensitively
  void (*setInteger)(int value) = nullptr;
  void (*setIndexedInteger)(int index, int value) = nullptr;
  void (*setReal)(double value) = nullptr;
  void (*setIndexedReal)(int index, double value) = nullptr;
  void (*setText)(int index, const std::string& text) = nullptr;
  void (*setNamedText)(const std::string& elementName, const std::string& text) = nullptr;
  int (*getInteger)() = nullptr;
  int (*getIndexedInteger)(int index) = nullptr;
  double (*getReal)() = nullptr;
  double (*getIndexedReal)(int index) = nullptr;
  std::string (*getText)(int index) = nullptr;
};

// A slice of a row array: the rows one file reads and writes, in the order written.
struct SettingTable {
  const SettingDescriptor* rows = nullptr;
  int count = 0;
};

// The slice of `count` rows of `all` starting at the row named `first` (empty when no
// row has that name or the slice would run past the end).
SettingTable SettingTable_Slice(const SettingDescriptor* all, int total, const char* first,
                                int count);
