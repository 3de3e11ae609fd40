#include "CrashStates.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace crash {
namespace {

using platform::TFileOp;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Line breaks and other control bytes written out, so that a file stays on
// its line.
std::string Printable(const std::string& text) {
  std::string line;
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= ' ' && c != '\\') {
      line += c;
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned char>(c));
      line += escaped;
    }
  }
  return line;
}

std::string ModeText(uint32_t mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", mode & 07777);
  return text;
}

std::string Joined(std::vector<std::string> lines) {
  std::sort(lines.begin(), lines.end());
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

}  // namespace

const char* KeptName(TKept kept) {
  switch (kept) {
    case TKept::FlushedOnly:
      return "flushed only";
    case TKept::InOrder:
      return "in order";
    case TKept::InOrderWithoutData:
      return "in order without data";
  }
  return "?";
}

std::string TDiskModel::TEffect::Object() const {
  const bool entry = Change == TChange::SetEntry || Change == TChange::RemoveEntry;
  return entry ? "folder " + Folder : "file " + std::to_string(Inode);
}

TDiskModel::TDiskModel(const std::string& root) : FRoot(root) {
  FUmask = ::umask(0);
  ::umask(FUmask);
  FInitial.Folders[""];
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    const std::string relative = entry.path().string().substr(root.size());
    struct stat info;
    if (::lstat(entry.path().c_str(), &info) != 0) continue;
    if (S_ISDIR(info.st_mode)) {
      FInitial.Folders[relative + "/"];
    } else if (S_ISREG(info.st_mode)) {
      std::string folder, name;
      SplitEntry(entry.path().string(), folder, name);
      FInitial.Folders[folder][name] = static_cast<int>(FInitial.Inodes.size());
      FInitial.Inodes.push_back({ReadFile(entry.path().string()), info.st_mode & 07777});
    }
  }
  FNow = FInitial;
  FBorn = FInitial.Inodes;
}

std::string TDiskModel::Relative(const std::string& path) const {
  const std::string normal = std::filesystem::path(path).lexically_normal().string();
  const std::string root = std::filesystem::path(FRoot).lexically_normal().string();
  if (normal.size() + 1 == root.size() && root.compare(0, normal.size(), normal) == 0) return "";
  if (normal.compare(0, root.size(), root) != 0) return "\x01";  // outside the tree
  return normal.substr(root.size());
}

bool TDiskModel::SplitEntry(const std::string& path, std::string& folder, std::string& name) const {
  const std::string relative = Relative(path);
  if (relative == "\x01" || relative.empty()) return false;
  const size_t slash = relative.rfind('/');
  folder = slash == std::string::npos ? "" : relative.substr(0, slash + 1);
  name = relative.substr(slash == std::string::npos ? 0 : slash + 1);
  return !name.empty();
}

int TDiskModel::EntryOf(const std::string& folder, const std::string& name) const {
  const auto found = FNow.Folders.find(folder);
  if (found == FNow.Folders.end()) return -1;
  const auto entry = found->second.find(name);
  return entry == found->second.end() ? -1 : entry->second;
}

void TDiskModel::Apply(TTree& tree, const TEffect& effect) const {
  switch (effect.Change) {
    case TChange::SetEntry:
      tree.Folders[effect.Folder][effect.Name] = effect.Inode;
      break;
    case TChange::RemoveEntry:
      tree.Folders[effect.Folder].erase(effect.Name);
      break;
    case TChange::Truncate:
      tree.Inodes[effect.Inode].Content.clear();
      break;
    case TChange::Write: {
      std::string& content = tree.Inodes[effect.Inode].Content;
      if (content.size() < effect.Offset + effect.Bytes.size())
        content.resize(effect.Offset + effect.Bytes.size(), '\0');
      content.replace(effect.Offset, effect.Bytes.size(), effect.Bytes);
      break;
    }
    case TChange::SetMode:
      tree.Inodes[effect.Inode].Mode = effect.Mode & 07777;
      break;
  }
}

TDiskModel::TEffect TDiskModel::EntryChange(size_t operation, TChange change,
                                            const std::string& folder, const std::string& name,
                                            int inode) {
  TEffect effect;
  effect.Operation = operation;
  effect.Change = change;
  effect.Folder = folder;
  effect.Name = name;
  effect.Inode = inode;
  return effect;
}

TDiskModel::TEffect TDiskModel::FileChange(size_t operation, TChange change, int inode) {
  TEffect effect;
  effect.Operation = operation;
  effect.Change = change;
  effect.Inode = inode;
  return effect;
}

void TDiskModel::Add(TEffect effect) {
  Apply(FNow, effect);
  FEffects.push_back(std::move(effect));
}

std::string TDiskModel::ReplayOne(size_t index, const platform::TFileOpRecord& op) {
  const std::string where = platform::DescribeFileOperation(op) + ": ";
  if (op.Result < 0) return "";  // failed: changed nothing
  std::string folder, name;
  switch (op.Op) {
    case TFileOp::Create:
    case TFileOp::OpenToRead:
    case TFileOp::OpenToWrite: {
      const bool inTree = SplitEntry(op.Path, folder, name);
      int inode = inTree ? EntryOf(folder, name) : -1;
      if (op.Op == TFileOp::Create) {
        if (!inTree) return where + "created outside the tree";
        if (inode < 0) {
          inode = static_cast<int>(FNow.Inodes.size());
          FNow.Inodes.push_back({"", op.Mode & ~static_cast<uint32_t>(FUmask) & 07777});
          FBorn.push_back(FNow.Inodes.back());
          Add(EntryChange(index, TChange::SetEntry, folder, name, inode));
        } else if ((op.Flags & O_TRUNC) != 0) {
          Add(FileChange(index, TChange::Truncate, inode));
        }
      }
      FOpen[static_cast<int>(op.Result)] = {inode, 0};
      return "";
    }
    case TFileOp::Write: {
      TOpen& open = FOpen[op.Fd];
      if (open.Inode < 0) return where + "a write to a file the model does not hold";
      TEffect effect = FileChange(index, TChange::Write, open.Inode);
      effect.Offset = open.Position;
      effect.Bytes = op.Data;
      open.Position += op.Data.size();
      Add(std::move(effect));
      return "";
    }
    case TFileOp::Sync: {
      const int inode = FOpen[op.Fd].Inode;
      if (inode < 0) return where + "a flush of a file the model does not hold";
      FFlushes.push_back({index, "file " + std::to_string(inode)});
      return "";
    }
    case TFileOp::Close:
      FOpen.erase(op.Fd);
      return "";
    case TFileOp::Rename:
    case TFileOp::Link: {
      std::string toFolder, toName;
      if (!SplitEntry(op.Path, folder, name) || !SplitEntry(op.To, toFolder, toName))
        return where + "outside the tree";
      const int inode = EntryOf(folder, name);
      if (inode < 0) return where + "the model holds no such file";
      Add(EntryChange(index, TChange::SetEntry, toFolder, toName, inode));
      if (op.Op == TFileOp::Rename)
        Add(EntryChange(index, TChange::RemoveEntry, folder, name, inode));
      return "";
    }
    case TFileOp::Unlink: {
      if (!SplitEntry(op.Path, folder, name)) return where + "outside the tree";
      const int inode = EntryOf(folder, name);
      if (inode < 0) return where + "the model holds no such file";
      Add(EntryChange(index, TChange::RemoveEntry, folder, name, inode));
      return "";
    }
    case TFileOp::ChangeMode: {
      const int inode = FOpen[op.Fd].Inode;
      if (inode < 0) return where + "a mode change of a file the model does not hold";
      TEffect effect = FileChange(index, TChange::SetMode, inode);
      effect.Mode = op.Mode;
      Add(std::move(effect));
      return "";
    }
    case TFileOp::SyncFolder: {
      const std::string relative = Relative(op.Path);
      if (relative == "\x01") return where + "outside the tree";
      const std::string key =
          relative.empty() || relative.back() == '/' ? relative : relative + "/";
      if (!FNow.Folders.count(key)) return where + "the model holds no such folder";
      FFlushes.push_back({index, "folder " + key});
      return "";
    }
    case TFileOp::ChangeOwner:  // the tests run as one user: owners do not change
    case TFileOp::WriteBack:    // makes nothing certain
    case TFileOp::Read:
    case TFileOp::ListFolder:
    case TFileOp::Inspect:
    case TFileOp::Lock:
      return "";
  }
  return where + "unknown operation";
}

std::string TDiskModel::Replay(const std::vector<platform::TFileOpRecord>& record) {
  FRecord = record;
  std::string problems;
  for (size_t index = 0; index < record.size(); ++index) {
    const std::string problem = ReplayOne(index, record[index]);
    if (!problem.empty()) problems += "operation " + std::to_string(index) + ": " + problem + "\n";
  }
  Settle();
  return problems;
}

void TDiskModel::Settle() {
  for (TEffect& effect : FEffects) {
    effect.FlushedAt = SIZE_MAX;
    const std::string object = effect.Object();
    for (const auto& [operation, flushed] : FFlushes) {
      if (operation > effect.Operation && flushed == object) {
        effect.FlushedAt = operation;
        break;
      }
    }
  }
}

void TDiskModel::DropFlush(size_t operation) {
  std::erase_if(FFlushes, [&](const auto& flush) { return flush.first == operation; });
  Settle();
}

std::vector<size_t> TDiskModel::Flushes() const {
  std::vector<size_t> operations;
  for (const auto& flush : FFlushes) operations.push_back(flush.first);
  return operations;
}

std::vector<size_t> TDiskModel::CrashPoints() const {
  std::vector<size_t> points = {0};
  for (size_t index = 0; index < FRecord.size(); ++index)
    if (platform::ChangesDisk(FRecord[index].Op) && FRecord[index].Result >= 0)
      points.push_back(index + 1);
  return points;
}

std::vector<TCrashState> TDiskModel::StatesAt(size_t done) const {
  std::set<size_t> pending;
  bool unflushedData = false;
  for (const TEffect& effect : FEffects) {
    if (effect.Operation >= done || effect.FlushedAt < done) continue;
    pending.insert(effect.Operation);
    unflushedData = unflushedData || effect.Change == TChange::Write;
  }
  std::vector<TCrashState> states = {{done, TKept::FlushedOnly, 0}};
  for (size_t reached = 1; reached <= pending.size(); ++reached) {
    states.push_back({done, TKept::InOrder, reached});
    if (unflushedData) states.push_back({done, TKept::InOrderWithoutData, reached});
  }
  return states;
}

TDiskModel::TTree TDiskModel::Build(const TCrashState& state) const {
  // The operations not yet flushed that reached the disk: the first
  // `Reached` of them, in the order they were made.
  std::set<size_t> pending;
  for (const TEffect& effect : FEffects)
    if (effect.Operation < state.Done && effect.FlushedAt >= state.Done)
      pending.insert(effect.Operation);
  std::set<size_t> reached;
  for (const size_t operation : pending) {
    if (reached.size() == state.Reached) break;
    reached.insert(operation);
  }
  TTree tree = FInitial;
  tree.Inodes = FBorn;  // new files start empty, with the mode they were created with
  for (const TEffect& effect : FEffects) {
    if (effect.Operation >= state.Done) break;
    const bool flushed = effect.FlushedAt < state.Done;
    const bool kept = state.Kept != TKept::FlushedOnly && reached.count(effect.Operation) &&
                      (state.Kept == TKept::InOrder || effect.Change != TChange::Write);
    if (flushed || kept) Apply(tree, effect);
  }
  return tree;
}

std::string TDiskModel::Describe(const TTree& tree) {
  std::vector<std::string> lines;
  for (const auto& [folder, entries] : tree.Folders) {
    if (!folder.empty()) lines.push_back(folder + " folder");
    for (const auto& [name, inode] : entries) {
      const TInode& file = tree.Inodes[static_cast<size_t>(inode)];
      lines.push_back(folder + name + " " + ModeText(file.Mode) + " " + Printable(file.Content));
    }
  }
  return Joined(std::move(lines));
}

std::string TDiskModel::Describe(const std::string& root) {
  std::vector<std::string> lines;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    const std::string relative = entry.path().string().substr(root.size());
    struct stat info;
    if (::lstat(entry.path().c_str(), &info) != 0) continue;
    if (S_ISDIR(info.st_mode))
      lines.push_back(relative + "/ folder");
    else
      lines.push_back(relative + " " + ModeText(info.st_mode) + " " +
                      Printable(ReadFile(entry.path().string())));
  }
  return Joined(std::move(lines));
}

std::string TDiskModel::DescribeAfterAll() const { return Describe(FNow); }

std::string TDiskModel::Describe(const TCrashState& state) const { return Describe(Build(state)); }

std::string TDiskModel::Key(const TCrashState& state) const {
  // Two names of one file (a rename whose halves went with their folders)
  // differ from two files of the same content: the key says which are one.
  const TTree tree = Build(state);
  std::map<int, int> ordinal;
  std::string key = Describe(tree);
  for (const auto& [folder, entries] : tree.Folders)
    for (const auto& [name, inode] : entries) {
      const auto [at, added] = ordinal.emplace(inode, static_cast<int>(ordinal.size()));
      key += std::to_string(at->second) + " ";
    }
  return key;
}

void TDiskModel::LayOut(const TCrashState& state, const std::string& root) const {
  const TTree tree = Build(state);
  std::map<int, std::string> laidOut;  // inode -> first path, for the second name of one file
  for (const auto& [folder, entries] : tree.Folders) {
    std::filesystem::create_directories(root + folder);
    for (const auto& [name, inode] : entries) {
      const std::string path = root + folder + name;
      const auto first = laidOut.find(inode);
      if (first != laidOut.end()) {
        std::filesystem::create_hard_link(first->second, path);
        continue;
      }
      const TInode& file = tree.Inodes[static_cast<size_t>(inode)];
      std::ofstream(path, std::ios::binary) << file.Content;
      ::chmod(path.c_str(), file.Mode);
      laidOut[inode] = path;
    }
  }
}

}  // namespace crash
