// The folder index answers as the file layer would, folder by folder.
#include "engine/FolderNameIndex.h"

#include <dirent.h>
#include <gtest/gtest.h>

#include "DetectTestSupport.h"

namespace {

TEST(FolderNameIndex, AnswersAsTheFileLayerAlsoWhereAFolderCannotBeListed) {
  DetectTree tree;
  tree.File("A/App.exe");
  tree.File("B/APP.exe");
  tree.Folder("C/App.exe");  // a folder of that name is no program file
  tree.Folder("D");
  tree.File("E/Bin/App.exe");
  tree.File("Locked/App.exe");
  ::chmod(tree.Path("Locked").c_str(), 0311);  // names can be used, not listed
  TStringList folders;
  for (const char* name : {"A/", "B/", "C/", "D/", "E/", "Locked/"}) folders.Add(tree.Path(name));
  AsUnprivilegedUser lowered;
  if (DIR* probe = ::opendir(tree.Path("Locked").c_str())) {
    ::closedir(probe);
    GTEST_SKIP() << "this account reads folders without read permission";
  }
  TFolderNameIndex index(folders);
  EXPECT_EQ(index.FoldersHolding("App.exe"), (std::vector<int>{0, 1, 5}));
  EXPECT_EQ(index.FoldersHolding("bin/app.exe"), (std::vector<int>{4}));
  EXPECT_EQ(index.FoldersHolding("./App.exe"), (std::vector<int>{0, 1, 5}));
  EXPECT_TRUE(index.FoldersHolding("Missing.exe").empty());
}

}  // namespace
