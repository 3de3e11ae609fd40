#pragma once
// The look's settings, read from the sectioned text of its OPTIONS.DAT entry:
//
//   ; comment
//   [SECTION]
//   Key=Value
//
// Section and key names are compared without regard to letter case; blanks
// around names and values are dropped; a later key of the same name wins.
// Lines that are neither a section, a key nor a comment are ignored.
#include <cstdint>
#include <map>
#include <optional>
#include <string>

class TLookOptions {
 public:
  static TLookOptions Parse(const std::string& text);

  bool HasSection(const std::string& section) const;
  // The value, or `fallback` when the section or key is missing.
  std::string Text(const std::string& section, const std::string& key,
                   const std::string& fallback = "") const;
  // A whole number, or `fallback` when missing or not a number.
  int Number(const std::string& section, const std::string& key, int fallback) const;
  // A colour written "#RRGGBB", as 0xRRGGBB; empty when missing or malformed.
  std::optional<uint32_t> Colour(const std::string& section, const std::string& key) const;

 private:
  // Keys are stored upper-cased: "SECTION" -> "KEY" -> value.
  std::map<std::string, std::map<std::string, std::string>> FSections;
};
