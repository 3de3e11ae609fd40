#include "http/BodyText.h"

#include <cctype>

#include "http/HeaderList.h"
#include "http/MemoryStream.h"

namespace {

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }

std::string LowerCase(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = Lower(c);
  return lower;
}

// `lowerWord` stands at `at` in `text`, letter case ignored.
bool WordAt(std::string_view text, size_t at, std::string_view lowerWord) {
  if (text.size() - at < lowerWord.size()) return false;
  for (size_t k = 0; k < lowerWord.size(); ++k) {
    if (Lower(text[at + k]) != lowerWord[k]) return false;
  }
  return true;
}

// The length of the UTF-8 sequence a byte begins; 0 when it begins none.
size_t SequenceLength(unsigned char c) {
  return c < 0x80                 ? 1
         : c >= 0xC2 && c <= 0xDF ? 2
         : c >= 0xE0 && c <= 0xEF ? 3
         : c >= 0xF0 && c <= 0xF4 ? 4
                                  : 0;
}

bool ValidUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    size_t length = SequenceLength(static_cast<unsigned char>(text[i]));
    if (length == 0 || i + length > text.size()) return false;
    for (size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += length;
  }
  return true;
}

// The text without a UTF-8 sequence that its end cuts short.
std::string_view WithoutCutCharacter(std::string_view text) {
  size_t start = text.size();
  while (start > 0 && text.size() - start < 3 &&
         (static_cast<unsigned char>(text[start - 1]) & 0xC0) == 0x80) {
    --start;
  }
  if (start == 0) return text;
  size_t length = SequenceLength(static_cast<unsigned char>(text[start - 1]));
  return length > text.size() - start + 1 ? text.substr(0, start - 1) : text;
}

std::string Latin1ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      out += c;
    } else {
      out += static_cast<char>(0xC0 | (byte >> 6));
      out += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return out;
}

// The value of attribute `lowerName` inside one element's text, "" when
// absent: the name after white space, "=", and a quoted or a bare value.
std::string_view AttributeValue(std::string_view tag, std::string_view lowerName) {
  for (size_t at = 1; at < tag.size(); ++at) {
    if (!IsBlank(tag[at - 1]) || !WordAt(tag, at, lowerName)) continue;
    size_t equals = at + lowerName.size();
    while (equals < tag.size() && IsBlank(tag[equals])) ++equals;
    if (equals == tag.size() || tag[equals] != '=') continue;
    size_t value = equals + 1;
    while (value < tag.size() && IsBlank(tag[value])) ++value;
    if (value == tag.size()) return "";
    char quote = tag[value];
    if (quote == '"' || quote == '\'') {
      size_t end = tag.find(quote, value + 1);
      return tag.substr(value + 1, end == std::string_view::npos ? end : end - value - 1);
    }
    size_t end = value;
    while (end < tag.size() && !IsBlank(tag[end])) ++end;
    return tag.substr(value, end - value);
  }
  return "";
}

// The character set one meta element declares, "" when none.
std::string MetaCharSet(std::string_view tag) {
  if (!AttributeValue(tag, "http-equiv").empty()) {
    std::string content = LowerCase(AttributeValue(tag, "content"));
    size_t charset = content.find("charset=");
    if (charset != std::string::npos) {
      return TrimText(content.substr(charset + 8, content.find(';', charset) - charset - 8));
    }
  }
  return LowerCase(TrimText(std::string(AttributeValue(tag, "charset"))));
}

}  // namespace

std::string HtmlMetaCharSet(std::string_view html) {
  size_t at = 0;
  while ((at = html.find('<', at)) != std::string_view::npos) {
    size_t name = at + 1;
    at = name;
    if (!WordAt(html, name, "meta")) continue;
    size_t after = name + 4;
    if (after < html.size() && !IsBlank(html[after]) && html[after] != '/' && html[after] != '>')
      continue;  // a longer tag name such as "metadata"
    size_t end = html.find_first_of("<>", after);
    if (end == std::string_view::npos) end = html.size();
    std::string set = MetaCharSet(html.substr(after, end - after));
    if (!set.empty()) return set;
    at = end;
  }
  return "";
}

std::string ErrorBodyText(const TMemoryStream& body, const std::string& contentType,
                          const std::string& charSet) {
  std::string_view bytes(body.Data() == nullptr ? "" : body.Data(),
                         static_cast<size_t>(body.Size()));
  if (body.DroppedByteCount() > 0) bytes = WithoutCutCharacter(bytes);
  std::string set = LowerCase(TrimText(charSet));
  std::string type = LowerCase(TrimText(contentType.substr(0, contentType.find(';'))));
  if (set.empty() && (type == "text/html" || type == "text/html-sandboxed")) {
    set = HtmlMetaCharSet(bytes);
  }
  if (set == "utf-8" || set == "utf8") return std::string(bytes);
  if (set == "us-ascii" || set == "ascii") {
    std::string text(bytes);
    for (char& c : text) {
      if (static_cast<unsigned char>(c) > 127) c = '?';
    }
    return text;
  }
  if (set == "iso-8859-1" || set == "latin1" || set == "windows-1252" || set == "cp1252") {
    return Latin1ToUtf8(bytes);
  }
  return ValidUtf8(bytes) ? std::string(bytes) : Latin1ToUtf8(bytes);
}
