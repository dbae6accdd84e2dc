#pragma once
// A FileDialog for tests: records every dialog and answers from a script (cancel when
// the script runs out).
#include <deque>
#include <string>
#include <vector>

#include "audio_io/file_dialog.h"

class ScriptedFileDialog : public FileDialog {
 public:
  struct Shown { bool save; std::string title; std::vector<FileFilter> filters; };
  ScriptedFileDialog() { FileDialog_Install(this); }
  ~ScriptedFileDialog() override { FileDialog_Install(nullptr); }
  std::string Open(void*, const std::string& t, const std::vector<FileFilter>& f) override { return Answer(false, t, f); }
  std::string Save(void*, const std::string& t, const std::vector<FileFilter>& f) override { return Answer(true, t, f); }

  std::deque<std::string> answers;
  std::vector<Shown> shown;

 private:
  std::string Answer(bool save, const std::string& title, const std::vector<FileFilter>& filters) {
    shown.push_back({save, title, filters});
    if (answers.empty()) return {};
    const std::string answer = answers.front();
    answers.pop_front();
    return answer;
  }
};
