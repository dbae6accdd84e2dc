#pragma once
// A MessageDialog for tests: records every message and answers from a script.
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "engine/message_dialog.h"

struct ShownMessage {
  std::string text;
  std::string caption;
  int kind = 0;
  std::string checkBoxText;
};

class ScriptedDialog : public MessageDialog {
 public:
  ScriptedDialog() { MessageDialog_Install(this); }
  ~ScriptedDialog() override { MessageDialog_Install(nullptr); }

  int Show(void* owner, const std::string& text, const std::string& caption, int kind,
           const std::string& checkBoxText, MessageCheckAction checkBoxAction) override;

  // Answers given in order; when the script runs out: OK, Yes or OK by kind.
  std::deque<int> answers;
  // Tick "Do not warn me about this again" on the next confirmations.
  bool tickCheckBox = false;
  std::vector<ShownMessage> shown;
  // Runs once, while the next message shows (a real one runs the window meanwhile).
  std::function<void()> during;

  bool Saw(const std::string& text, const std::string& caption) const;
};
