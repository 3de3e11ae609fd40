#include "http/BodyText.h"

#include <cctype>

#include "http/HeaderList.h"
#include "http/MemoryStream.h"

namespace {

std::string LowerCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool ValidUtf8(const std::string& text) {
  for (size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    size_t length = c < 0x80                 ? 1
                    : c >= 0xC2 && c <= 0xDF ? 2
                    : c >= 0xE0 && c <= 0xEF ? 3
                    : c >= 0xF0 && c <= 0xF4 ? 4
                                             : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += length;
  }
  return true;
}

std::string Latin1ToUtf8(const std::string& text) {
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

// The value of attribute `name` inside one tag's text, "" when absent.
std::string AttributeValue(const std::string& tag, const std::string& name) {
  std::string lower = LowerCase(tag);
  size_t at = 0;
  while ((at = lower.find(name, at)) != std::string::npos) {
    bool startsWord = at > 0 && std::isspace(static_cast<unsigned char>(lower[at - 1]));
    size_t equals = lower.find_first_not_of(" \t\r\n", at + name.size());
    at += name.size();
    if (!startsWord || equals == std::string::npos || lower[equals] != '=') continue;
    size_t value = lower.find_first_not_of(" \t\r\n", equals + 1);
    if (value == std::string::npos) return "";
    char quote = tag[value];
    if (quote == '"' || quote == '\'') {
      size_t end = tag.find(quote, value + 1);
      return tag.substr(value + 1, end == std::string::npos ? std::string::npos : end - value - 1);
    }
    size_t end = tag.find_first_of(" \t\r\n>", value);
    return tag.substr(value, end == std::string::npos ? std::string::npos : end - value);
  }
  return "";
}

}  // namespace

std::string HtmlMetaCharSet(const std::string& html) {
  std::string lower = LowerCase(html);
  size_t at = 0;
  while ((at = lower.find("<meta", at)) != std::string::npos) {
    size_t end = lower.find('>', at);
    std::string tag = html.substr(at, end == std::string::npos ? std::string::npos : end - at);
    at += 5;
    if (!AttributeValue(tag, "http-equiv").empty()) {
      std::string content = LowerCase(AttributeValue(tag, "content"));
      size_t charset = content.find("charset=");
      if (charset != std::string::npos) {
        return TrimText(content.substr(charset + 8, content.find(';', charset) - charset - 8));
      }
    }
    std::string direct = AttributeValue(tag, "charset");
    if (!direct.empty()) return LowerCase(TrimText(direct));
  }
  return "";
}

std::string ErrorBodyText(const TMemoryStream& body, const std::string& contentType,
                          const std::string& charSet) {
  std::string text(body.Data() == nullptr ? "" : body.Data(), static_cast<size_t>(body.Size()));
  std::string set = LowerCase(TrimText(charSet));
  std::string type = LowerCase(TrimText(contentType.substr(0, contentType.find(';'))));
  if (set.empty() && (type == "text/html" || type == "text/html-sandboxed")) {
    set = HtmlMetaCharSet(text);
  }
  if (set == "utf-8" || set == "utf8") return text;
  if (set == "us-ascii" || set == "ascii") {
    for (char& c : text) {
      if (static_cast<unsigned char>(c) > 127) c = '?';
    }
    return text;
  }
  if (set == "iso-8859-1" || set == "latin1" || set == "windows-1252" || set == "cp1252") {
    return Latin1ToUtf8(text);
  }
  return ValidUtf8(text) ? text : Latin1ToUtf8(text);
}
