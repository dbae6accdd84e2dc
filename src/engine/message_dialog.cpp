#include "engine/message_dialog.h"

#include <atomic>
#include <cstdio>

namespace {
std::atomic<MessageDialog*> installed{nullptr};
}

void MessageDialog_Install(MessageDialog* dialog) { installed.store(dialog); }

MessageDialog* MessageDialog_Installed() { return installed.load(); }

int MessageDialog_Show(void* owner, const std::string& text, const std::string& caption, int kind,
                       const std::string& checkBoxText, MessageCheckAction checkBoxAction) {
  if (MessageDialog* dialog = installed.load())
    return dialog->Show(owner, text, caption, kind, checkBoxText, checkBoxAction);
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  if (kind == MB_OK) return IDOK;
  return kind == MB_YESNO ? IDNO : IDCANCEL;
}
