#pragma once
// TQuorvinSI splits one text at one separator character into a list of
// fields.  The list is rebuilt whenever the text is assigned (also with the
// same text) or the separator changes, so callers assign SourceString and
// then read the fields they need by index straight away.
//
// Splitting rules, for a separator ',':
//   ' a , b '  -> ' a ', ' b '   fields are never trimmed
//   'a,,b'     -> 'a', '', 'b'   consecutive separators give empty fields
//   ',a'       -> '', 'a'
//   'a,b,'     -> 'a', 'b'       one trailing separator adds no field ...
//   'a,,'      -> 'a', ''        ... of two, only the first does
//   ','        -> ''
//   '   '      -> (no field)     a blank text gives no field at all
// There is no quoting or escaping.
#include <string>

#include "util/StringList.h"

class TQuorvinSI {
 public:
  TQuorvinSI() = default;
  TQuorvinSI(const TQuorvinSI&) = delete;
  TQuorvinSI& operator=(const TQuorvinSI&) = delete;

  // The separator; the character with code 0 until one is set.
  char Delimiter() const { return FDelimiter; }
  void SetDelimiter(char delimiter);

  // The text last assigned, exactly as given (not trimmed).
  const std::string& SourceString() const { return FSourceString; }
  void SetSourceString(const std::string& text);

  // The fields of the last split.  The list belongs to the splitter: it is
  // never replaced, and assigning another list only shows an information box.
  const TStringList& FieldList() const { return FFieldList; }
  void SetFieldList(const TStringList& list);

  // The fields joined again with the separator.  Leading empty fields vanish,
  // so the result can differ from SourceString: '', 'a' gives 'a'.
  std::string GetSourceString() const;

 private:
  void SplitUnlessBlank();
  void SplitSource();

  std::string FSourceString;
  TStringList FFieldList;
  char FDelimiter = '\0';
};
