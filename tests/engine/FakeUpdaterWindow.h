#pragma once
// A window for engine tests: records what the engine shows and lets a test
// script what happens while messages are handled or a box is open.
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/UpdaterWindow.h"

class FakeUpdaterWindow : public IUpdaterWindow {
 public:
  struct Row {
    std::string text;
    bool checked = false;
    bool enabled = true;
  };

  // Every status line set, in order, and every information box shown.
  std::vector<std::string> statusHistory;
  std::vector<std::string> boxes;
  int terminationRequests = 0;
  bool nextEnabled = true, historyEnabled = true, isUpdateButton = false;
  std::vector<Row> rows;
  int itemIndex = -1;
  int repaints = 0;
  bool progressVisible = false;
  int64_t progressPosition = 0, progressMax = 100;
  int processMessagesCalls = 0;
  // Run inside ProcessMessages / ShowInformation, to play a user's click.
  std::function<void()> onProcessMessages;
  std::function<void(const std::string&)> onInformation;

  void SetStatusLine(const std::string& text) override { statusHistory.push_back(text); }
  std::string StatusLine() const override {
    return statusHistory.empty() ? std::string() : statusHistory.back();
  }
  int Tag() const override { return tag; }
  void SetTag(int value) override { tag = value; }
  std::string Hint() const override { return hint; }
  void SetHint(const std::string& text) override { hint = text; }
  void ProcessMessages() override {
    ++processMessagesCalls;
    if (onProcessMessages) onProcessMessages();
  }
  void ShowInformation(const std::string& text) override {
    boxes.push_back(text);
    if (onInformation) onInformation(text);
  }
  void RequestTermination() override { ++terminationRequests; }
  void SetNextEnabled(bool enabled) override { nextEnabled = enabled; }
  void SetHistoryEnabled(bool enabled) override { historyEnabled = enabled; }
  void BecomeUpdateButton() override {
    isUpdateButton = true;
    nextEnabled = true;
  }
  int RowCount() const override { return static_cast<int>(rows.size()); }
  std::string RowText(int index) const override { return rows.at(static_cast<size_t>(index)).text; }
  void AddRow(const std::string& text) override { rows.push_back({text, false, true}); }
  bool RowChecked(int index) const override { return rows.at(static_cast<size_t>(index)).checked; }
  void SetRowChecked(int index, bool checked) override {
    rows.at(static_cast<size_t>(index)).checked = checked;
  }
  void SetRowEnabled(int index, bool enabled) override {
    rows.at(static_cast<size_t>(index)).enabled = enabled;
  }
  void SetItemIndex(int index) override { itemIndex = index; }
  void RepaintList() override { ++repaints; }
  void SetProgressVisible(bool visible) override { progressVisible = visible; }
  void SetProgressPosition(int64_t position) override { progressPosition = position; }
  void SetProgressMax(int64_t maximum) override {
    if (maximum < 0) throw std::invalid_argument("negative progress maximum");
    progressMax = maximum;
  }
  int64_t ProgressMax() const override { return progressMax; }

  int tag = 0;
  std::string hint;
};
