#include "platform/headless/memory_file_system.h"

#include <algorithm>
#include <utility>

#include "base/path_rules.h"
#include "base/text.h"

namespace ks {
namespace {

// Children are keyed by their upper-cased UTF-16 name, which is both how
// NTFS matches names and the order it lists them in.
std::u16string nameKey(const std::string& name) {
  std::u16string key = utf8ToUtf16(name).value_or(std::u16string{});
  for (char16_t& unit : key) unit = upcase(unit);
  return key;
}

bool creatableName(const std::string& name) {
  const std::optional<std::u16string> units = utf8ToUtf16(name);
  return units && !units->empty() && units->size() <= kMaxNameUnits &&
         std::none_of(name.begin(), name.end(), isBadNameCharacter) && !isReservedDeviceName(name);
}

}  // namespace

struct MemoryFileSystem::Node {
  std::string name;
  bool folder = true;
  bool hidden = false;
  bool system = false;
  std::map<std::u16string, std::unique_ptr<Node>> children;

  FileEntry entry() const { return FileEntry{name, folder, hidden, system}; }
};

struct MemoryFileSystem::Drive {
  bool ready = true;
  bool share = false;
  std::string label;
  std::string rootPath;  // "D:\" or "\\server\share\", as added
  std::string current;   // empty: the root
  Node root;
};

MemoryFileSystem::MemoryFileSystem() = default;
MemoryFileSystem::~MemoryFileSystem() = default;

const MemoryFileSystem::Drive* MemoryFileSystem::findVolume(const std::string& volume) const {
  const std::string name = volumeOf(volume);
  if (name.empty() || name.size() != volume.size()) return nullptr;
  auto it = volumes_.find(nameKey(name));
  return it == volumes_.end() ? nullptr : it->second.get();
}

MemoryFileSystem::Drive* MemoryFileSystem::findVolume(const std::string& volume) {
  return const_cast<Drive*>(std::as_const(*this).findVolume(volume));
}

const MemoryFileSystem::Drive* MemoryFileSystem::findDrive(const std::string& drive) const {
  const Drive* d = findVolume(drive);
  return d && !d->share ? d : nullptr;
}

const MemoryFileSystem::Drive* MemoryFileSystem::volumeAt(const Location& at) const {
  auto it = volumes_.find(at.volume);
  return it == volumes_.end() ? nullptr : it->second.get();
}

// Resolves a path as GetFullPathNameW would: "/" as "\", empty and "."
// components skipped, ".." going up (never above the root), the trailing
// dots and blanks of the last component dropped, and "D:x" taken from D's
// current folder.
std::optional<MemoryFileSystem::Location> MemoryFileSystem::locate(const std::string& path) const {
  const std::string volume = volumeOf(path);
  if (volume.empty() || !utf8ToUtf16(path)) return std::nullopt;
  std::size_t at = rootLength(path);
  Location where{nameKey(volume), {}};
  std::vector<std::string> raw;
  const bool drive = !driveOf(path).empty();
  if (drive && !isPathSeparator(path[at - 1])) {
    const Drive* d = findDrive(volume);
    if (d && !d->current.empty()) {
      std::optional<Location> base = locate(d->current);
      if (base) raw = std::move(base->parts);
    }
  }
  std::string part;
  const auto flush = [&] {
    if (part == "..") {
      if (!raw.empty()) raw.pop_back();
    } else if (!part.empty() && part != ".") {
      raw.push_back(part);
    }
    part.clear();
  };
  for (; at < path.size(); ++at) {
    if (isPathSeparator(path[at])) {
      flush();
    } else {
      part += path[at];
    }
  }
  const bool endsWithSeparator = !path.empty() && isPathSeparator(path.back());
  if (!endsWithSeparator && part != "." && part != "..") {
    while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.pop_back();
  }
  flush();
  where.parts = std::move(raw);
  return where;
}

const MemoryFileSystem::Node* MemoryFileSystem::find(const Location& at) const {
  const Drive* d = volumeAt(at);
  if (!d) return nullptr;
  const Node* node = &d->root;
  for (const std::string& part : at.parts) {
    if (!node->folder) return nullptr;
    auto child = node->children.find(nameKey(part));
    if (child == node->children.end()) return nullptr;
    node = child->second.get();
  }
  return node;
}

// The folder that the first `count` parts name, created where missing.
MemoryFileSystem::Node* MemoryFileSystem::makeFolders(const Location& at, std::size_t count) {
  auto it = volumes_.find(at.volume);
  if (it == volumes_.end()) return nullptr;
  Node* node = &it->second->root;
  for (std::size_t i = 0; i < count; ++i) {
    const std::string& part = at.parts[i];
    std::unique_ptr<Node>& child = node->children[nameKey(part)];
    if (!child) {
      if (!creatableName(part)) {
        node->children.erase(nameKey(part));
        return nullptr;
      }
      child = std::make_unique<Node>();
      child->name = part;
    }
    if (!child->folder) return nullptr;
    node = child.get();
  }
  return node;
}

bool MemoryFileSystem::addVolume(const std::string& volume, bool ready, const std::string& label) {
  const std::string name = volumeOf(volume);
  if (name.empty() || name.size() != volume.size() || findVolume(volume)) return false;
  auto d = std::make_unique<Drive>();
  d->ready = ready;
  d->share = driveOf(volume).empty();
  d->label = label;
  d->rootPath = (d->share ? volume : name) + "\\";
  volumes_.emplace(nameKey(name), std::move(d));
  return true;
}

bool MemoryFileSystem::addDrive(const std::string& drive, bool ready, const std::string& label) {
  return !driveOf(drive).empty() && addVolume(drive, ready, label);
}

bool MemoryFileSystem::addShare(const std::string& share, bool reachable) {
  return driveOf(share).empty() && addVolume(share, reachable, {});
}

bool MemoryFileSystem::setDriveReady(const std::string& volume, bool ready) {
  Drive* d = findVolume(volume);
  if (!d) return false;
  d->ready = ready;
  return true;
}

bool MemoryFileSystem::removeDrive(const std::string& volume) {
  return findVolume(volume) && volumes_.erase(nameKey(volumeOf(volume))) == 1;
}

bool MemoryFileSystem::setCurrentFolder(const std::string& drive, const std::string& path) {
  Drive* d = findVolume(drive);
  const std::optional<Location> at = locate(path);
  if (!d || d->share || !at || volumeAt(*at) != d) return false;
  const Node* node = find(*at);
  if (!node || !node->folder) return false;
  std::string full = d->rootPath;
  for (const std::string& part : at->parts) full = joinPath(full, part);
  d->current = at->parts.empty() ? std::string{} : full;
  return true;
}

bool MemoryFileSystem::addFolder(const std::string& path) {
  const std::optional<Location> at = locate(path);
  return at && makeFolders(*at, at->parts.size()) != nullptr;
}

bool MemoryFileSystem::addFile(const std::string& path, bool hidden, bool system) {
  const std::optional<Location> at = locate(path);
  if (!at || at->parts.empty() || !creatableName(at->parts.back())) return false;
  Node* folder = makeFolders(*at, at->parts.size() - 1);
  if (!folder) return false;
  std::unique_ptr<Node>& file = folder->children[nameKey(at->parts.back())];
  if (!file) {
    file = std::make_unique<Node>();
    file->name = at->parts.back();
    file->folder = false;
  }
  if (file->folder) return false;
  file->hidden = hidden;
  file->system = system;
  return true;
}

bool MemoryFileSystem::remove(const std::string& path) {
  std::optional<Location> at = locate(path);
  if (!at || at->parts.empty()) return false;
  const std::string name = at->parts.back();
  at->parts.pop_back();
  Node* folder = const_cast<Node*>(find(*at));
  return folder && folder->folder && folder->children.erase(nameKey(name)) == 1;
}

std::string MemoryFileSystem::volumeLabel(const std::string& drive) const {
  const Drive* d = findDrive(drive);
  return d ? d->label : std::string{};
}

std::vector<std::string> MemoryFileSystem::drives() const {
  std::vector<std::string> out;
  for (const auto& [key, volume] : volumes_)
    if (!volume->share) out.push_back(volume->rootPath.substr(0, 2));
  return out;
}

bool MemoryFileSystem::driveReady(const std::string& drive) const {
  const Drive* d = findDrive(drive);
  return d && d->ready;
}

std::string MemoryFileSystem::currentFolder(const std::string& drive) const {
  const std::string designator = driveOf(drive);
  if (designator.empty() || drive.size() != 2) return {};
  const Drive* d = findDrive(drive);
  if (!d || !d->ready || d->current.empty()) return designator + "\\";
  return d->current;
}

std::optional<FileEntry> MemoryFileSystem::stat(const std::string& path) const {
  const std::optional<Location> at = locate(path);
  if (!at) return std::nullopt;
  const Drive* d = volumeAt(*at);
  if (!d || !d->ready) return std::nullopt;
  const Node* node = find(*at);
  if (!node) return std::nullopt;
  return at->parts.empty() ? FileEntry{"", true, false, false} : node->entry();
}

std::optional<std::vector<FileEntry>> MemoryFileSystem::list(const std::string& folder) const {
  const std::optional<Location> at = locate(folder);
  if (!at) return std::nullopt;
  const Drive* d = volumeAt(*at);
  if (!d || !d->ready) return std::nullopt;
  const Node* node = find(*at);
  if (!node || !node->folder) return std::nullopt;
  std::vector<FileEntry> entries;
  entries.reserve(node->children.size());
  for (const auto& [key, child] : node->children) entries.push_back(child->entry());
  return entries;
}

}  // namespace ks
