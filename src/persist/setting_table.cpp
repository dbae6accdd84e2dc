#include "persist/setting_table.h"

#include <cstring>

SettingTable SettingTable_Slice(const SettingDescriptor* all, int total, const char* first,
                                int count) {
  for (int r = 0; r < total; ++r) {
    if (std::strcmp(all[r].name, first) != 0) continue;
    if (count < 0 || r + count > total) return {};
    return {all + r, count};
  }
  return {};
}
