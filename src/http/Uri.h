#pragma once
// A URL text taken apart into its components.  A plain value object: it
// neither encodes nor decodes anything and touches no network.
#include <string>

enum class TIPVersion { Id_IPv4, Id_IPv6 };

class TUri {
 public:
  TUri() = default;
  explicit TUri(const std::string& uri);

  // The URL text as given, after backslashes before any "?" or "#" became "/".
  const std::string& URI() const { return FURI; }
  // Resets every component and splits the new text.
  void SetURI(const std::string& uri);

  // Path, then document, then "?" and the parameters when there are any:
  // the request-URI.
  std::string GetPathAndParams() const;

  std::string Protocol;
  std::string Username;
  std::string Password;
  std::string Host;  // an IPv6 address without its brackets
  std::string Port;  // exactly as written; not checked to be a number
  std::string Path;  // for an absolute URL begins and ends with "/"
  std::string Document;
  std::string Params;    // the query, without "?"
  std::string Bookmark;  // the fragment, without "#"
  TIPVersion IPVersion = TIPVersion::Id_IPv4;

 private:
  void Reset();
  void Split(std::string rest);
  static std::string Normalize(const std::string& uri);

  std::string FURI;
};
