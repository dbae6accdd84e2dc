#pragma once
// The program's modal message box, toolkit-free. The Qt window and the scripted test
// double both implement MessageDialog; everything that tells the user something calls
// MessageDialog_Show.
#include <string>

enum MessageKind : int {
  MB_OK = 0,        // "OK" -> IDOK
  MB_OKCANCEL = 1,  // "OK"/"Cancel" -> IDOK/IDCANCEL (every kind other than 0 and 4)
  MB_YESNO = 4,     // "Yes"/"No" -> IDYES/IDNO
};

enum MessageButton : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

// Run when the user confirms a message with "Do not warn me about this again" ticked.
using MessageCheckAction = void (*)();

class MessageDialog {
 public:
  virtual ~MessageDialog() = default;
  virtual int Show(void* owner, const std::string& text, const std::string& caption, int kind,
                   const std::string& checkBoxText, MessageCheckAction checkBoxAction) = 0;
};

// Installs the implementation used from now on (null restores the console fallback,
// which prints the message and answers OK, Cancel or No: never a confirmation).
void MessageDialog_Install(MessageDialog* dialog);
MessageDialog* MessageDialog_Installed();

int MessageDialog_Show(void* owner, const std::string& text, const std::string& caption,
                       int kind = MB_OK, const std::string& checkBoxText = {},
                       MessageCheckAction checkBoxAction = nullptr);
