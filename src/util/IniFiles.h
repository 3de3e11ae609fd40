#pragma once
// INI file access.  A TIniFile remembers only its file's path: every read and
// write goes to the profile functions at once (platform/Profile.h, which also
// describes how the lines of a file are read), so a new object always sees
// what an earlier one wrote.
#include <string>

#include "platform/Profile.h"
#include "util/StringList.h"

// The operations of the INI family that the updater uses.
class TCustomIniFile {
 public:
  explicit TCustomIniFile(std::string fileName) : FFileName(std::move(fileName)) {}
  virtual ~TCustomIniFile() = default;
  TCustomIniFile(const TCustomIniFile&) = delete;
  TCustomIniFile& operator=(const TCustomIniFile&) = delete;

  const std::string& FileName() const { return FFileName; }

  virtual std::string ReadString(const std::string& section, const std::string& ident,
                                 const std::string& defaultValue) const = 0;
  virtual void WriteString(const std::string& section, const std::string& ident,
                           const std::string& value) = 0;
  virtual void ReadSection(const std::string& section, TStringList& strings) const = 0;
  virtual void UpdateFile() = 0;

 private:
  std::string FFileName;
};

class TIniFile : public TCustomIniFile {
 public:
  // Touches no file; a missing file is no error.
  using TCustomIniFile::TCustomIniFile;
  // A released object leaves nothing pending.
  ~TIniFile() override;

  // The value of the key, or the default when the key is absent; a present
  // key with an empty value gives "".  Values are cut to 2047 characters.
  std::string ReadString(const std::string& section, const std::string& ident,
                         const std::string& defaultValue) const override;
  // Raises EIniFileException "Unable to write to <FileName>" when the value
  // cannot be stored.
  void WriteString(const std::string& section, const std::string& ident,
                   const std::string& value) override;
  // Replaces the list's items with the section's key names in file order;
  // no items for an absent file or section.
  void ReadSection(const std::string& section, TStringList& strings) const override;
  void UpdateFile() override;
};

// An INI file read once, when the object is made: its reads answer exactly
// as a TIniFile's would have then.  For a file that does not change while
// it is read, such as the catalogue copy during one run of detection.  It
// writes nothing: WriteString raises as for a file that cannot be written.
class TIniSnapshot : public TCustomIniFile {
 public:
  // With raiseWhenUnreadable, a file that is there but cannot be read
  // raises EFOpenError (platform::TProfileSnapshot).
  explicit TIniSnapshot(std::string fileName, bool raiseWhenUnreadable = false);
  // The INI text held in memory, read as a file of these bytes would be;
  // `name` stands for the file in error messages.
  static TIniSnapshot OfBytes(const std::string& bytes, std::string name);

  std::string ReadString(const std::string& section, const std::string& ident,
                         const std::string& defaultValue) const override;
  void WriteString(const std::string& section, const std::string& ident,
                   const std::string& value) override;
  void ReadSection(const std::string& section, TStringList& strings) const override;
  void UpdateFile() override {}

 private:
  TIniSnapshot(std::string name, platform::TProfileSnapshot profile)
      : TCustomIniFile(std::move(name)), FProfile(std::move(profile)) {}
  platform::TProfileSnapshot FProfile;
};
