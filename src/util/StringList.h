#pragma once
// An ordered list of strings: not sorted, duplicates and empty strings
// allowed.  Reading an item at or past the end raises the list index error,
// which several handlers let travel to the error report.
#include <string>
#include <vector>

#include "util/Errors.h"

class TStringList {
 public:
  int Count() const { return static_cast<int>(FItems.size()); }
  const std::string& operator[](int index) const {
    if (index < 0 || index >= Count()) RaiseListIndexError(index);
    return FItems[static_cast<size_t>(index)];
  }
  void Add(std::string item) { FItems.push_back(std::move(item)); }
  void Clear() { FItems.clear(); }
  // Change notifications are not observed by anyone; the pair exists so that
  // callers can bracket bulk changes the way the framework expects.
  void BeginUpdate() { ++FUpdateCount; }
  void EndUpdate() { --FUpdateCount; }
  bool Updating() const { return FUpdateCount > 0; }
  const std::vector<std::string>& Items() const { return FItems; }

 private:
  std::vector<std::string> FItems;
  int FUpdateCount = 0;
};
