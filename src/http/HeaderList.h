#pragma once
// An ordered list of header lines "name: value".  Lookups ignore letter case
// and take the first line with the name; a following line that begins with
// a space or tab continues its value.
#include <string>
#include <vector>

class THeaderList {
 public:
  int Count() const { return static_cast<int>(FLines.size()); }
  const std::string& operator[](int index) const;
  const std::vector<std::string>& Lines() const { return FLines; }

  // The value of the first line with the name: trimmed of white space and
  // control characters, continuation lines joined by one space; "" when absent.
  std::string Values(const std::string& name) const;
  // The values of every line with the name, in order.
  std::vector<std::string> AllValues(const std::string& name) const;
  // Replaces the first line with the name in place, or appends one.
  void SetValue(const std::string& name, const std::string& value);
  // Appends "name: value" even when the name already occurs.
  void AddValue(const std::string& name, const std::string& value);
  // Appends a raw line as received.
  void Add(const std::string& line) { FLines.push_back(line); }
  void Clear() { FLines.clear(); }

  // The lines as sent: a line longer than 1024 characters is broken at a
  // space, tab or comma into lines of at most 1024 characters, each
  // continuation beginning with one space.
  std::vector<std::string> FoldedLines() const;

 private:
  int IndexOfName(const std::string& name) const;
  std::string ValueAt(int index) const;

  std::vector<std::string> FLines;
};

// Trims white space and control characters (bytes up to 32) at both ends.
std::string TrimText(const std::string& text);
bool SameTextIgnoringCase(const std::string& a, const std::string& b);
bool ContainsTextIgnoringCase(const std::string& text, const std::string& part);
