#include "http/HeaderList.h"

#include <cctype>

#include "util/Errors.h"

namespace {

constexpr size_t kMaxSentLineLength = 1024;

bool IsContinuation(const std::string& line) {
  return !line.empty() && (line[0] == ' ' || line[0] == '\t');
}

// Breaks one long line at the last space, tab or comma that keeps the piece
// within the limit; a piece without such a place is cut hard.
std::vector<std::string> FoldLine(std::string line) {
  std::vector<std::string> pieces;
  while (line.size() > kMaxSentLineLength) {
    size_t cut = line.find_last_of(" \t,", kMaxSentLineLength - 1);
    if (cut == std::string::npos || cut == 0)
      cut = kMaxSentLineLength;
    else if (line[cut] == ',')
      ++cut;  // the comma stays with the first piece
    pieces.push_back(line.substr(0, cut));
    size_t rest = line.find_first_not_of(" \t", cut);
    line = " " + (rest == std::string::npos ? std::string() : line.substr(rest));
  }
  pieces.push_back(line);
  return pieces;
}

}  // namespace

std::string TrimText(const std::string& text) {
  size_t first = 0;
  size_t last = text.size();
  while (first < last && static_cast<unsigned char>(text[first]) <= ' ') ++first;
  while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ') --last;
  return text.substr(first, last - first);
}

bool SameTextIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

bool ContainsTextIgnoringCase(const std::string& text, const std::string& part) {
  if (part.size() > text.size()) return false;
  for (size_t at = 0; at + part.size() <= text.size(); ++at) {
    if (SameTextIgnoringCase(text.substr(at, part.size()), part)) return true;
  }
  return false;
}

const std::string& THeaderList::operator[](int index) const {
  if (index < 0 || index >= Count()) RaiseListIndexError(index);
  return FLines[static_cast<size_t>(index)];
}

int THeaderList::IndexOfName(const std::string& name) const {
  for (int i = 0; i < Count(); ++i) {
    const std::string& line = FLines[static_cast<size_t>(i)];
    if (IsContinuation(line)) continue;
    size_t colon = line.find(':');
    if (colon != std::string::npos && SameTextIgnoringCase(line.substr(0, colon), name)) return i;
  }
  return -1;
}

std::string THeaderList::ValueAt(int index) const {
  const std::string& line = FLines[static_cast<size_t>(index)];
  std::string value = TrimText(line.substr(line.find(':') + 1));
  for (size_t next = static_cast<size_t>(index) + 1;
       next < FLines.size() && IsContinuation(FLines[next]); ++next) {
    std::string more = TrimText(FLines[next]);
    value = value.empty() ? more : value + " " + more;
  }
  return value;
}

std::string THeaderList::Values(const std::string& name) const {
  int index = IndexOfName(name);
  return index < 0 ? std::string() : ValueAt(index);
}

std::vector<std::string> THeaderList::AllValues(const std::string& name) const {
  std::vector<std::string> values;
  for (int i = 0; i < Count(); ++i) {
    const std::string& line = FLines[static_cast<size_t>(i)];
    if (IsContinuation(line)) continue;
    size_t colon = line.find(':');
    if (colon != std::string::npos && SameTextIgnoringCase(line.substr(0, colon), name)) {
      values.push_back(ValueAt(i));
    }
  }
  return values;
}

void THeaderList::SetValue(const std::string& name, const std::string& value) {
  int index = IndexOfName(name);
  if (index < 0) {
    AddValue(name, value);
    return;
  }
  FLines[static_cast<size_t>(index)] = name + ": " + value;
  // Continuations belonged to the old value.
  auto next = FLines.begin() + index + 1;
  while (next != FLines.end() && IsContinuation(*next)) next = FLines.erase(next);
}

void THeaderList::AddValue(const std::string& name, const std::string& value) {
  FLines.push_back(name + ": " + value);
}

std::vector<std::string> THeaderList::FoldedLines() const {
  std::vector<std::string> folded;
  for (const std::string& line : FLines) {
    for (std::string& piece : FoldLine(line)) folded.push_back(std::move(piece));
  }
  return folded;
}
