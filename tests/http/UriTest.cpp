#include <gtest/gtest.h>

#include "http/Uri.h"

TEST(Uri, CatalogueUrlSplitsIntoItsParts) {
  TUri uri("http://updates.example/download/allfiles.ini");
  EXPECT_EQ(uri.Protocol, "http");
  EXPECT_EQ(uri.Host, "updates.example");
  EXPECT_EQ(uri.Port, "");
  EXPECT_EQ(uri.Path, "/download/");
  EXPECT_EQ(uri.Document, "allfiles.ini");
  EXPECT_EQ(uri.Params, "");
  EXPECT_EQ(uri.GetPathAndParams(), "/download/allfiles.ini");
}

TEST(Uri, NoSlashAfterHostGivesRootPath) {
  TUri uri("http://host:8080");
  EXPECT_EQ(uri.Host, "host");
  EXPECT_EQ(uri.Port, "8080");
  EXPECT_EQ(uri.Path, "/");
  EXPECT_EQ(uri.Document, "");
  EXPECT_EQ(uri.GetPathAndParams(), "/");
}

TEST(Uri, BackslashesBecomeSlashesOnlyBeforeTheQuery) {
  TUri uri("http://host\\a\\b.txt?x=\\y");
  EXPECT_EQ(uri.Host, "host");
  EXPECT_EQ(uri.Path, "/a/");
  EXPECT_EQ(uri.Document, "b.txt");
  EXPECT_EQ(uri.Params, "x=\\y");
}

TEST(Uri, QueryIsSplitOffBeforeTheDocument) {
  TUri uri("http://h/dir/file.ini?p=a/b#c");
  EXPECT_EQ(uri.Path, "/dir/");
  EXPECT_EQ(uri.Document, "file.ini");
  EXPECT_EQ(uri.Params, "p=a/b#c");
  EXPECT_EQ(uri.Bookmark, "");
}

TEST(Uri, FragmentIsKeptApartAndNeverInTheRequestUri) {
  TUri uri("http://h/dir/file.ini#part");
  EXPECT_EQ(uri.Document, "file.ini");
  EXPECT_EQ(uri.Bookmark, "part");
  EXPECT_EQ(uri.GetPathAndParams(), "/dir/file.ini");
}

TEST(Uri, UserInformationIsSplitOff) {
  TUri uri("http://user:secret@h:81/x");
  EXPECT_EQ(uri.Username, "user");
  EXPECT_EQ(uri.Password, "secret");
  EXPECT_EQ(uri.Host, "h");
  EXPECT_EQ(uri.Port, "81");
  TUri noUser("http://:secret@h/x");
  EXPECT_EQ(noUser.Username, "");
  EXPECT_EQ(noUser.Password, "");
}

TEST(Uri, BracketedIPv6HostWithPort) {
  TUri uri("http://[::1]:8047/download/a.exe");
  EXPECT_EQ(uri.Host, "::1");
  EXPECT_EQ(uri.Port, "8047");
  EXPECT_EQ(uri.IPVersion, TIPVersion::Id_IPv6);
  EXPECT_EQ(uri.Path, "/download/");
}

TEST(Uri, RelativeReferenceHasNoLeadingSlashAdded) {
  TUri uri("sub/file.txt?q");
  EXPECT_EQ(uri.Protocol, "");
  EXPECT_EQ(uri.Path, "sub/");
  EXPECT_EQ(uri.Document, "file.txt");
  EXPECT_EQ(uri.Params, "q");
}

TEST(Uri, SettingTheTextResetsEveryComponent) {
  TUri uri("http://u:p@[::1]:1/a/b?c#d");
  uri.SetURI("http://h/");
  EXPECT_EQ(uri.Username, "");
  EXPECT_EQ(uri.Port, "");
  EXPECT_EQ(uri.Params, "");
  EXPECT_EQ(uri.IPVersion, TIPVersion::Id_IPv4);
}
