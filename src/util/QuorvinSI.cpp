#include "util/QuorvinSI.h"

#include "util/InformationBox.h"

namespace {

// Blank means only characters with a code of 32 or less (spaces and control
// characters); UTF-8 continuation bytes are all above that.
bool IsBlank(const std::string& text) {
  for (char ch : text)
    if (static_cast<unsigned char>(ch) > ' ') return false;
  return true;
}

}  // namespace

void TQuorvinSI::SetDelimiter(char delimiter) {
  if (delimiter == FDelimiter) return;
  FDelimiter = delimiter;
  SplitUnlessBlank();
}

void TQuorvinSI::SetSourceString(const std::string& text) {
  FSourceString = text;
  SplitUnlessBlank();
}

void TQuorvinSI::SetFieldList(const TStringList& list) {
  if (&list == &FFieldList) return;
  ShowInformationBox("Fieldlist is Read-Only");
}

std::string TQuorvinSI::GetSourceString() const {
  std::string result;
  for (const std::string& field : FFieldList.Items()) {
    if (!result.empty()) result += FDelimiter;
    result += field;
  }
  return result;
}

void TQuorvinSI::SplitUnlessBlank() {
  if (IsBlank(FSourceString)) {
    FFieldList.Clear();
  } else {
    SplitSource();
  }
}

// Splits the untrimmed text: every separator ends a field, and the text
// after the last separator is a field only when it is not empty.
void TQuorvinSI::SplitSource() {
  FFieldList.Clear();
  size_t start = 0;
  while (start < FSourceString.size()) {
    const size_t found = FSourceString.find(FDelimiter, start);
    if (found == std::string::npos) {
      FFieldList.Add(FSourceString.substr(start));
      break;
    }
    FFieldList.Add(FSourceString.substr(start, found - start));
    start = found + 1;
  }
}
