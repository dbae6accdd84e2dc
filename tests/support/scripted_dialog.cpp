#include "support/scripted_dialog.h"

#include <utility>

int ScriptedDialog::Show(void*, const std::string& text, const std::string& caption, int kind,
                         const std::string& checkBoxText, MessageCheckAction checkBoxAction) {
  shown.push_back({text, caption, kind, checkBoxText});
  if (during) std::exchange(during, nullptr)();
  int answer = kind == MB_YESNO ? IDYES : IDOK;
  if (!answers.empty()) {
    answer = answers.front();
    answers.pop_front();
  }
  if (tickCheckBox && checkBoxAction && (answer == IDOK || answer == IDYES)) checkBoxAction();
  return answer;
}

bool ScriptedDialog::Saw(const std::string& text, const std::string& caption) const {
  for (const ShownMessage& m : shown)
    if (m.text == text && m.caption == caption) return true;
  return false;
}
