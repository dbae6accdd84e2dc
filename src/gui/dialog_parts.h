#pragma once
// Small helpers shared by the Qt dialogs: filling lists and combo boxes from the models'
// strings and showing a selection without echoing it back as a user choice.
#include <QComboBox>
#include <QListWidget>
#include <QSignalBlocker>
#include <QString>
#include <string>
#include <vector>

inline QString Q(const std::string& text) { return QString::fromStdString(text); }
inline std::string S(const QString& text) { return text.toStdString(); }

inline void Dialog_Fill(QListWidget* list, const std::vector<std::string>& items) {
  const QSignalBlocker block(list);
  list->clear();
  for (const std::string& item : items) list->addItem(Q(item));
}

inline void Dialog_Fill(QComboBox* box, const std::vector<std::string>& items) {
  const QSignalBlocker block(box);
  box->clear();
  for (const std::string& item : items) box->addItem(Q(item));
}

// Selects row `row` (-1: none) without emitting the change.
inline void Dialog_Select(QListWidget* list, int row) {
  const QSignalBlocker block(list);
  if (row >= 0 && row < list->count()) {
    list->setCurrentRow(row);
    list->scrollToItem(list->item(row));
  } else {
    list->setCurrentRow(-1);
    list->clearSelection();
  }
}

inline void Dialog_Select(QComboBox* box, int row) {
  const QSignalBlocker block(box);
  box->setCurrentIndex(row >= 0 && row < box->count() ? row : -1);
}

// "%d" for first .. last.
inline std::vector<std::string> Dialog_Numbers(int first, int last) {
  std::vector<std::string> items;
  for (int i = first; i <= last; ++i) items.push_back(std::to_string(i));
  return items;
}
