#include "http/Uri.h"

TUri::TUri(const std::string& uri) {
  if (!uri.empty()) SetURI(uri);
}

void TUri::SetURI(const std::string& uri) {
  FURI = Normalize(uri);
  Reset();
  Split(FURI);
}

std::string TUri::GetPathAndParams() const {
  std::string result = Path + Document;
  if (!Params.empty()) result += "?" + Params;
  return result;
}

void TUri::Reset() {
  Protocol = Username = Password = Host = Port = Path = Document = Params = Bookmark = "";
  IPVersion = TIPVersion::Id_IPv4;
}

// Backslashes after the scheme and before any query or fragment become "/".
std::string TUri::Normalize(const std::string& uri) {
  std::string text = uri;
  size_t start = 0;
  size_t colon = text.find(':');
  if (colon != std::string::npos) {
    start = colon + 1;
    auto isSlash = [&](size_t at) {
      return at < text.size() && (text[at] == '/' || text[at] == '\\');
    };
    if (isSlash(start) && isSlash(start + 1)) start += 2;
  }
  for (size_t i = start; i < text.size() && text[i] != '?' && text[i] != '#'; ++i) {
    if (text[i] == '\\') text[i] = '/';
  }
  return text;
}

namespace {

// Cuts `text` at the first `mark`: returns what precedes it, leaves what follows in `text`.
std::string TakeUntil(std::string& text, const std::string& mark) {
  size_t at = text.find(mark);
  if (at == std::string::npos) {
    std::string all = text;
    text.clear();
    return all;
  }
  std::string head = text.substr(0, at);
  text.erase(0, at + mark.size());
  return head;
}

void SplitOffParams(std::string& rest, std::string& params) {
  size_t question = rest.find('?');
  if (question == std::string::npos) return;
  params = rest.substr(question + 1);
  rest.erase(question);
}

}  // namespace

void TUri::Split(std::string rest) {
  if (rest.find("://") != std::string::npos) {
    Protocol = TakeUntil(rest, "://");
    SplitOffParams(rest, Params);
    std::string authority = TakeUntil(rest, "/");
    if (authority.find('@') != std::string::npos) {
      std::string userInfo = TakeUntil(authority, "@");
      Username = TakeUntil(userInfo, ":");
      Password = userInfo;
      if (Username.empty()) Password.clear();
    }
    size_t open = authority.find('[');
    size_t close = authority.find(']');
    if (open != std::string::npos && (close == std::string::npos || open < close)) {
      authority.erase(0, open + 1);
      Host = TakeUntil(authority, "]");
      size_t colon = authority.find(':');
      authority = colon == std::string::npos ? std::string() : authority.substr(colon + 1);
      IPVersion = TIPVersion::Id_IPv6;
    } else {
      Host = TakeUntil(authority, ":");
    }
    Port = authority;
    size_t lastSlash = rest.rfind('/');
    if (lastSlash != std::string::npos) {
      Path = "/" + rest.substr(0, lastSlash + 1);
      rest.erase(0, lastSlash + 1);
    } else {
      Path = "/";
    }
  } else {
    SplitOffParams(rest, Params);
    size_t lastSlash = rest.rfind('/');
    if (lastSlash != std::string::npos) {
      Path = rest.substr(0, lastSlash + 1);
      rest.erase(0, lastSlash + 1);
    }
  }
  Document = TakeUntil(rest, "#");
  Bookmark = rest;
}
