#include "CatalogueEditor.h"

#include <set>
#include <string_view>

#include "engine/CatalogueRelease.h"
#include "engine/ComponentDigest.h"
#include "engine/ComponentSize.h"
#include "platform/ProfileText.h"
#include "platform/TextEncoding.h"
#include "util/Errors.h"
#include "util/allfunct.h"

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
// The updater reads an entry's first 2047 characters only.
constexpr size_t kMaxEntryLength = 2047;
constexpr int kComponentFileField = 1;

// Every piece between commas, the trailing empty one included, so that
// joining them again gives back the text byte for byte.  Field i of the
// updater's splitter is piece i.
std::vector<std::string> Pieces(std::string_view value) {
  std::vector<std::string> pieces;
  size_t start = 0;
  for (;;) {
    const size_t comma = value.find(',', start);
    pieces.emplace_back(value.substr(start, comma - start));
    if (comma == std::string_view::npos) return pieces;
    start = comma + 1;
  }
}

std::string Joined(const std::vector<std::string>& pieces) {
  std::string text;
  for (size_t i = 0; i < pieces.size(); ++i) text += (i ? "," : "") + pieces[i];
  return text;
}

// The value of an entry line and where it stands in the line.
struct TValueSpan {
  size_t Begin = 0, End = 0;
};

TValueSpan ValueSpan(const std::string& content) {
  const platform::ProfileLine line = platform::ClassifyProfileLine(content);
  const size_t begin = static_cast<size_t>(line.value.data() - content.data());
  return {begin, begin + line.value.size()};
}

// A field that offers a compressed copy or a patch, as the updater reads it
// (its own or one it passes over as unreadable).
bool IsDeltaOfferField(std::string_view field) {
  const std::string_view text = platform::TrimBlanks(field);
  return text == engine::kCompressedCopyField || text.starts_with(engine::kPatchFieldName);
}

std::string EntryName(const std::string& module, const std::string& key) {
  return "[" + module + "] " + key;
}

}  // namespace

TCatalogueEditor::TCatalogueEditor(const std::string& text) {
  if (text.size() >= 2 &&
      (text.compare(0, 2, "\xFF\xFE") == 0 || text.compare(0, 2, "\xFE\xFF") == 0))
    throw Exception(
        "The catalogue is in UTF-16; save it as UTF-8 (or plain 8-bit text) to sign it.");
  if (text.compare(0, kUtf8Mark.size(), kUtf8Mark) == 0) FByteOrderMark = kUtf8Mark;
  const std::string body = text.substr(FByteOrderMark.size());
  FUtf8 = platform::IsValidUtf8(body);
  ReadLines(body);
  ReadStructure();
}

void TCatalogueEditor::ReadLines(const std::string& text) {
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find_first_of("\r\n", start);
    TLine line;
    line.Content = text.substr(start, end == std::string::npos ? end : end - start);
    if (end == std::string::npos) {
      FLines.push_back(std::move(line));
      break;
    }
    const size_t next = text.compare(end, 2, "\r\n") == 0 ? end + 2 : end + 1;
    line.End = text.substr(end, next - end);
    FLines.push_back(std::move(line));
    start = next;
  }
}

std::string TCatalogueEditor::Decoded(const std::string& content) const {
  return FUtf8 ? content : platform::Cp1252ToUtf8(content);
}

void TCatalogueEditor::RefuseComma(const std::string& what, const std::string& text) {
  if (text.find(',') != std::string::npos)
    FProblems.push_back(what + " holds a comma, which the updater's list of updates cannot carry");
}

// Two passes, as the reader sees the file: the modules first, then the
// sections that belong to them and the release section.  Names are
// compared as the reader compares them, after decoding.
void TCatalogueEditor::ReadStructure() {
  std::vector<std::string> modules;
  std::set<std::string> seenSections;
  std::string section;
  bool first = false;
  for (const TLine& line : FLines) {
    const std::string text = Decoded(line.Content);
    const platform::ProfileLine parsed = platform::ClassifyProfileLine(text);
    if (parsed.kind == platform::ProfileLine::kSection) {
      section = std::string(parsed.name);
      first = seenSections.insert(platform::FoldCase(section)).second;
    } else if (parsed.kind == platform::ProfileLine::kEntry && first &&
               platform::SameTextIgnoringCase(section, "modules")) {
      modules.emplace_back(parsed.name);
      RefuseComma("the module name \"" + modules.back() + "\"", modules.back());
      RefuseComma("the program file of module \"" + modules.back() + "\"",
                  std::string(parsed.value));
    }
  }
  std::set<std::string> moduleSections;
  for (const std::string& module : modules) {
    if (IsReleaseSection(module))
      FProblems.push_back("a module is named \"" + module +
                          "\", which is the name of the release section; rename it");
    else
      moduleSections.insert(platform::FoldCase(module));
  }
  seenSections.clear();
  for (size_t index = 0; index < FLines.size(); ++index) {
    const std::string text = Decoded(FLines[index].Content);
    const platform::ProfileLine parsed = platform::ClassifyProfileLine(text);
    if (parsed.kind == platform::ProfileLine::kSection) {
      section = std::string(parsed.name);
      first = seenSections.insert(platform::FoldCase(section)).second;
      if (first && IsReleaseSection(section)) FReleaseHead = index;
      continue;
    }
    if (parsed.kind != platform::ProfileLine::kEntry || !first) continue;
    if (IsReleaseSection(section)) {
      FReleaseLastEntry = index;
      if (platform::SameTextIgnoringCase(parsed.name, kSerialKey) && !FSerialLine)
        ReadSerial(index);
      if (platform::SameTextIgnoringCase(parsed.name, kExpiresKey)) FExpiresLines.push_back(index);
    } else if (moduleSections.count(platform::FoldCase(section))) {
      AddComponent(section, std::string(parsed.name), index);
    }
  }
}

void TCatalogueEditor::AddComponent(const std::string& module, const std::string& key,
                                    size_t line) {
  const std::string content = Decoded(FLines[line].Content);
  const TValueSpan span = ValueSpan(content);
  const std::vector<std::string> pieces = Pieces(content.substr(span.Begin, span.End - span.Begin));
  RefuseComma(EntryName(module, key) + ": the key", key);
  const std::string file = pieces.size() > kComponentFileField ? pieces[kComponentFileField] : "";
  const std::string bare = BareFileName(file);
  if (bare.empty()) {
    FProblems.push_back(EntryName(module, key) + ": the entry names no file");
    return;
  }
  FComponents.push_back({module, key, bare, line});
}

void TCatalogueEditor::ReadSerial(size_t line) {
  FSerialLine = line;
  const std::string& content = FLines[line].Content;
  const TValueSpan span = ValueSpan(content);
  if (ParseSerial(content.substr(span.Begin, span.End - span.Begin), FSerial) !=
      TSerialText::kNumber)
    FProblems.push_back("[release] Serial is not a number from 0 to 18446744073709551615");
}

void TCatalogueEditor::SetValue(size_t line, const std::string& value) {
  std::string& content = FLines[line].Content;
  const TValueSpan span = ValueSpan(content);
  content.replace(span.Begin, span.End - span.Begin, value);
}

void TCatalogueEditor::SetDigest(const TComponentEntry& component, const TSha256Digest& digest,
                                 int64_t size, const engine::TDeltaOffer& offer) {
  const std::string& content = FLines[component.Line].Content;
  const TValueSpan span = ValueSpan(content);
  std::vector<std::string> pieces = Pieces(content.substr(span.Begin, span.End - span.Begin));
  std::vector<std::string> kept(pieces.begin(), pieces.begin() + kComponentFileField + 1);
  std::vector<std::string> signedFields = {engine::Sha256Field(digest), engine::SizeField(size)};
  const std::vector<std::string> offered = Pieces(engine::DeltaOfferFields(offer));
  signedFields.insert(signedFields.end(), offered.begin() + 1, offered.end());
  bool placed = false;
  for (size_t i = kComponentFileField + 1; i < pieces.size(); ++i) {
    if (IsDeltaOfferField(pieces[i])) continue;
    if (!engine::IsDigestField(pieces[i]) && !engine::IsSizeField(pieces[i])) {
      kept.push_back(pieces[i]);
    } else if (!placed) {
      kept.insert(kept.end(), signedFields.begin(), signedFields.end());
      placed = true;
    }
  }
  if (!placed) kept.insert(kept.end(), signedFields.begin(), signedFields.end());
  const std::string value = Joined(kept);
  if (platform::Utf16Length(Decoded(value)) > kMaxEntryLength)
    FProblems.push_back(EntryName(component.Module, component.Key) +
                        ": the entry is longer than 2047 characters with its digest, size and "
                        "offer of smaller downloads");
  SetValue(component.Line, value);
}

std::string TCatalogueEditor::NewLineEnd() const {
  return FLines.empty() || FLines.front().End.empty() ? "\r\n" : FLines.front().End;
}

void TCatalogueEditor::SetRelease(uint64_t serial, const std::optional<std::string>& expires) {
  const std::string end = NewLineEnd();
  std::vector<TLine> added;
  if (FSerialLine)
    SetValue(*FSerialLine, std::to_string(serial));
  else
    added.push_back({std::string(kSerialKey) + "=" + std::to_string(serial), end, false, {}});
  for (const size_t line : FExpiresLines) FLines[line].Removed = true;
  if (expires) added.push_back({std::string(kExpiresKey) + "=" + *expires, end, false, {}});

  if (FReleaseHead) {
    TLine& anchor = FLines[FReleaseLastEntry.value_or(*FReleaseHead)];
    if (anchor.End.empty()) anchor.End = end;  // the file's last line
    anchor.Following.insert(anchor.Following.end(), added.begin(), added.end());
    return;
  }
  if (!FLines.empty()) {
    if (FLines.back().End.empty()) FLines.back().End = end;
    if (!platform::TrimBlanks(FLines.back().Content).empty())
      FAppended.push_back({"", end, false, {}});
  }
  FAppended.push_back({"[" + std::string(kReleaseSection) + "]", end, false, {}});
  FAppended.insert(FAppended.end(), added.begin(), added.end());
}

std::string TCatalogueEditor::Text() const {
  std::string text = FByteOrderMark;
  for (const TLine& line : FLines) {
    if (!line.Removed) text += line.Content + line.End;
    for (const TLine& following : line.Following) text += following.Content + following.End;
  }
  for (const TLine& line : FAppended) text += line.Content + line.End;
  return text;
}
