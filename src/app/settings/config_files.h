#pragma once
// The three configuration files in ConfigDirectory: SysConfig.xml, Preferences.xml and
// DeviceConfig.xml, each with its .bak copy. Their rows are consecutive slices of one
// settings table; reading applies every recognised element, writing emits every row.
#include "app/settings/preferences.h"
#include "persist/setting_table.h"

// The application defaults these files carry: preferences and system configuration
// records reset, "use ASIO preferred latency" on.
void ConfigFiles_InitDefaults();
// Before DeviceConfig.xml is read: the wanted sample rate and latency from the engine's
// current values, both device names "none".
void ConfigFiles_SetDeviceDefaults();

// The whole row array and the three files' slices of it.
const SettingDescriptor* ConfigFiles_Rows(int* count);
SettingTable ConfigFiles_SystemTable();       // 2 rows from `skin`
SettingTable ConfigFiles_PreferencesTable();  // 43 rows from `undo`
SettingTable ConfigFiles_DeviceTable();       // 8 rows from `driver_type`

// Writers: true when written; on failure the message has been shown.
bool WriteSystemConfiguration();
bool WritePreferences();

// The check box of a question that can be silenced, and its action: confirming with the
// box ticked switches that question's warn_* preference off and writes Preferences.xml.
inline constexpr const char* kDontWarnAgain = "Do not warn me about this again";
template <int Preferences::*Warning>
void Preferences_StopWarning() {
  App_Preferences().*Warning = 0;
  WritePreferences();
}
bool WriteDeviceConfiguration();

// Readers: a missing file is silent and keeps what is set; other failures are reported.
void ReadSystemConfiguration();
void ReadPreferences();
void ReadDeviceConfiguration();
