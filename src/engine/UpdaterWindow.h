#pragma once
// What the update engine needs of the main window.  The window implements
// this interface; engine tests implement it with a fake.  All calls happen on
// the user-interface thread.
#include <cstdint>
#include <string>

// The state flag's value for an abort requested with Exit; 0 is normal.
inline constexpr int kAbortRequested = 99;

class IUpdaterWindow {
 public:
  virtual ~IUpdaterWindow() = default;

  // The status line (the caption of the status panel).
  virtual void SetStatusLine(const std::string& text) = 0;
  virtual std::string StatusLine() const = 0;

  // The state flag: 0 normal, kAbortRequested (99) abort requested.
  virtual int Tag() const = 0;
  virtual void SetTag(int value) = 0;

  // The download error note (kept in the window's hint text).
  virtual std::string Hint() const = 0;
  virtual void SetHint(const std::string& text) = 0;

  // Lets the window handle every pending message, then returns.
  virtual void ProcessMessages() = 0;
  // The information box: modal, one OK button; returns when it is closed.
  virtual void ShowInformation(const std::string& text) = 0;
  // Asks the message loop to end once the running handler has returned.
  virtual void RequestTermination() = 0;

  // The Next/Update button and the History button.
  virtual void SetNextEnabled(bool enabled) = 0;
  virtual void SetHistoryEnabled(bool enabled) = 0;
  // Relabels Next as "Update", binds its click to the download, enables it.
  virtual void BecomeUpdateButton() = 0;

  // The update list.
  virtual int RowCount() const = 0;
  virtual std::string RowText(int index) const = 0;
  virtual void AddRow(const std::string& text) = 0;
  virtual bool RowChecked(int index) const = 0;
  virtual void SetRowChecked(int index, bool checked) = 0;
  virtual void SetRowEnabled(int index, bool enabled) = 0;
  virtual void SetItemIndex(int index) = 0;
  virtual void RepaintList() = 0;

  // The progress bar (minimum 0; maximum and position are byte counts of any
  // size, which the bar scales to what it can show).
  virtual void SetProgressVisible(bool visible) = 0;
  virtual void SetProgressPosition(int64_t position) = 0;
  // Raises an error for a negative maximum, which the bar refuses.
  virtual void SetProgressMax(int64_t maximum) = 0;
  virtual int64_t ProgressMax() const = 0;
};
