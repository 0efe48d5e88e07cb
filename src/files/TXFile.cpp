#include "files/TXFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <limits>
#include <system_error>

#include "base/Errors.h"
#include "base/Settings.h"

namespace karvo {

namespace {

char FoldCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string_view KeyOf(std::string_view line) {
  const size_t equals = line.find('=');
  return equals == std::string_view::npos ? std::string_view() : line.substr(0, equals);
}

std::string_view ValueOf(std::string_view line) {
  const size_t equals = line.find('=');
  return equals == std::string_view::npos ? std::string_view() : line.substr(equals + 1);
}

// Index of the first line whose key is key, or -1.
ptrdiff_t FindKey(const TXLines& lines, std::string_view key) {
  for (size_t i = 0; i < lines.size(); ++i) {
    if (TXSameText(KeyOf(lines[i]), key)) {
      return static_cast<ptrdiff_t>(i);
    }
  }
  return -1;
}

int DigitValue(char c, unsigned base) {
  int value = -1;
  if (c >= '0' && c <= '9') {
    value = c - '0';
  } else if (base == 16 && c >= 'a' && c <= 'f') {
    value = c - 'a' + 10;
  } else if (base == 16 && c >= 'A' && c <= 'F') {
    value = c - 'A' + 10;
  }
  return value;
}

// Hand-edited files may carry blanks around a number, so they are allowed;
// the hexadecimal forms give a magnitude, to which the sign applies.
bool ParseInteger(std::string_view text, int64_t min, int64_t max, int64_t& value) {
  auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
  size_t i = 0;
  size_t n = text.size();
  while (i < n && isBlank(text[i])) {
    ++i;
  }
  while (n > i && isBlank(text[n - 1])) {
    --n;
  }
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  unsigned base = 10;
  if (i < n && text[i] == '$') {
    base = 16;
    ++i;
  } else if (n - i >= 2 && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i == n) {
    return false;
  }
  const uint64_t limit =
      negative ? static_cast<uint64_t>(-(min + 1)) + 1 : static_cast<uint64_t>(max);
  uint64_t magnitude = 0;
  for (; i < n; ++i) {
    const int digit = DigitValue(text[i], base);
    if (digit < 0) {
      return false;
    }
    const auto d = static_cast<uint64_t>(digit);
    if (magnitude > (limit - d) / base) {
      return false;
    }
    magnitude = magnitude * base + d;
  }
  if (!negative) {
    value = static_cast<int64_t>(magnitude);
  } else if (magnitude == 0) {
    value = 0;
  } else {
    value = -static_cast<int64_t>(magnitude - 1) - 1;
  }
  return true;
}

// The whole file, or false when it cannot be read; missing is set when the
// failure was that the file does not exist.
bool ReadFileBytes(const std::string& name, std::string& bytes, bool& missing) {
  bytes.clear();
  missing = false;
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    missing = errno == ENOENT || errno == ENOTDIR;
    return false;
  }
  struct stat info {};
  bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  if (ok) {
    bytes.reserve(static_cast<size_t>(info.st_size));
  }
  char block[65536];
  while (ok) {
    const ssize_t got = ::read(fd, block, sizeof block);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      ok = got == 0;
      break;
    }
    bytes.append(block, static_cast<size_t>(got));
  }
  ::close(fd);
  return ok;
}

TFileSystemOps realOps;
TFileSystemOps* currentOps = &realOps;

constexpr size_t WriteBlock = 65536;

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    return ".";
  }
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Makes the folder's entries (a rename, a link) durable. File systems that
// cannot sync a folder answer EINVAL; there is nothing more to do on them.
bool SyncFolder(TFileSystemOps& ops, const std::string& path) {
  const int fd = ops.Open(FolderOf(path), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  if (fd < 0) {
    return false;
  }
  bool ok = ops.Fsync(fd) == 0 || errno == EINVAL;
  if (ops.Close(fd) != 0) {
    ok = false;
  }
  return ok;
}

// Writes a fresh file (a stale one of that name is ours and is replaced),
// checking every write, the sync and the close: a full disk or a failing
// network file system may only show at the last two. On failure the file is
// removed. like, when given, is the file whose permissions it takes.
bool WriteSynced(TFileSystemOps& ops, const std::string& path, std::string_view bytes,
                 const struct stat* like) {
  ops.Unlink(path);
  const int fd = ops.Open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    return false;
  }
  if (like != nullptr && ::fchmod(fd, like->st_mode & 07777) != 0) {
    // Only the permissions are lost; the content matters more.
  }
  bool ok = true;
  size_t done = 0;
  while (done < bytes.size()) {
    const long written =
        ops.Write(fd, bytes.data() + done, std::min(bytes.size() - done, WriteBlock));
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      ok = false;
      break;
    }
    done += static_cast<size_t>(written);
  }
  if (ok && ops.Fsync(fd) != 0) {
    ok = false;
  }
  if (ops.Close(fd) != 0) {
    ok = false;
  }
  if (!ok) {
    ops.Unlink(path);
  }
  return ok;
}

// Makes target + "old" a second name of the current target (the target name
// itself stays in place throughout), or a copy of it where the file system
// has no hard links.
bool KeepPrevious(TFileSystemOps& ops, const std::string& target, const struct stat& info) {
  const std::string oldName = target + "old";
  ops.Unlink(oldName);
  if (ops.Link(target, oldName) != 0) {
    std::string previous;
    bool missing = false;
    if (!ReadFileBytes(target, previous, missing) || !WriteSynced(ops, oldName, previous, &info)) {
      return false;
    }
  }
  return SyncFolder(ops, oldName);
}

// A link is saved through to the file it names, as writing in place did.
std::string ResolveLink(const std::string& name) {
  std::error_code error;
  if (std::filesystem::is_symlink(name, error)) {
    std::filesystem::path resolved = std::filesystem::canonical(name, error);
    if (!error) {
      return resolved.string();
    }
  }
  return name;
}

// The new version goes to name + "new" and replaces the target by rename,
// so at every moment the target holds the previous or the new version.
bool SaveDurably(const std::string& name, std::string_view bytes, bool keepOld) {
  TFileSystemOps& ops = FileSystemOps();
  const std::string target = ResolveLink(name);
  struct stat info {};
  const bool exists = ::stat(target.c_str(), &info) == 0;
  const std::string newName = target + "new";
  if (!WriteSynced(ops, newName, bytes, exists ? &info : nullptr)) {
    return false;
  }
  if (keepOld && exists && !KeepPrevious(ops, target, info)) {
    ops.Unlink(newName);
    return false;
  }
  if (ops.Rename(newName, target) != 0) {
    ops.Unlink(newName);
    return false;
  }
  return SyncFolder(ops, target);
}

}  // namespace

bool TXSameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldCase(a[i]) != FoldCase(b[i])) {
      return false;
    }
  }
  return true;
}

int TFileSystemOps::Open(const std::string& path, int flags, unsigned mode) {
  return ::open(path.c_str(), flags, static_cast<mode_t>(mode));
}

long TFileSystemOps::Write(int fd, const char* data, size_t size) {
  return static_cast<long>(::write(fd, data, size));
}

int TFileSystemOps::Fsync(int fd) { return ::fsync(fd); }

int TFileSystemOps::Close(int fd) { return ::close(fd); }

int TFileSystemOps::Rename(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str());
}

int TFileSystemOps::Link(const std::string& from, const std::string& to) {
  return ::link(from.c_str(), to.c_str());
}

int TFileSystemOps::Unlink(const std::string& path) { return ::unlink(path.c_str()); }

TFileSystemOps& FileSystemOps() { return *currentOps; }

void SetFileSystemOps(TFileSystemOps* ops) { currentOps = ops != nullptr ? ops : &realOps; }

TXFile::TXFile(const std::string& fileName) { Load(fileName); }

void TXFile::Load(const std::string& fileName) {
  Clear();
  FileName = fileName;
  if (fileName.empty()) {
    return;
  }
  std::string bytes;
  bool missing = false;
  if (!ReadFileBytes(fileName, bytes, missing)) {
    if (missing) {
      return;
    }
    RaiseError("Cannot read " + fileName);
  }
  LoadFromBytes(bytes);
}

void TXFile::LoadFromBytes(std::string_view bytes) {
  Clear();
  bytes = bytes.substr(0, bytes.find('\0'));
  TXLines* current = nullptr;
  size_t position = 0;
  while (position < bytes.size()) {
    size_t end = bytes.find_first_of("\r\n", position);
    if (end == std::string_view::npos) {
      end = bytes.size();
    }
    const std::string_view line = bytes.substr(position, end - position);
    position = end;
    if (position < bytes.size()) {
      const bool pair =
          bytes[position] == '\r' && position + 1 < bytes.size() && bytes[position + 1] == '\n';
      position += pair ? 2 : 1;
    }
    if (line.empty() || line.front() == ';') {
      continue;
    }
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      current = &AddSection(line.substr(1, line.size() - 2));
    } else if (current != nullptr) {
      current->emplace_back(line);
    }
  }
}

std::string TXFile::SaveToBytes() const {
  size_t size = 0;
  for (const TXSection& section : Sections) {
    size += section.Name.size() + 6;
    for (const std::string& line : section.Lines) {
      size += line.size() + 2;
    }
  }
  std::string bytes;
  bytes.reserve(size);
  for (const TXSection& section : Sections) {
    bytes += '[';
    bytes += section.Name;
    bytes += "]\r\n";
    for (const std::string& line : section.Lines) {
      bytes += line;
      bytes += "\r\n";
    }
    bytes += "\r\n";
  }
  return bytes;
}

void TXFile::Clear() { Sections.clear(); }

TXLines& TXFile::AddSection(std::string_view name) {
  Sections.push_back(TXSection{std::string(name), {}});
  return Sections.back().Lines;
}

TXSection* TXFile::FindSection(std::string_view name) {
  for (TXSection& section : Sections) {
    if (TXSameText(section.Name, name)) {
      return &section;
    }
  }
  return nullptr;
}

const TXSection* TXFile::FindSection(std::string_view name) const {
  return const_cast<TXFile*>(this)->FindSection(name);
}

bool TXFile::SectionExists(std::string_view section) const {
  return FindSection(section) != nullptr;
}

bool TXFile::ValueExists(std::string_view section, std::string_view key) const {
  const TXSection* found = FindSection(section);
  return found != nullptr && FindKey(found->Lines, key) >= 0;
}

std::string TXFile::ReadString(std::string_view section, std::string_view key) const {
  const TXSection* found = FindSection(section);
  if (found == nullptr) {
    return {};
  }
  const ptrdiff_t line = FindKey(found->Lines, key);
  return line < 0 ? std::string() : std::string(ValueOf(found->Lines[static_cast<size_t>(line)]));
}

int32_t TXFile::ReadInteger(std::string_view section, std::string_view key, int32_t dflt) const {
  int64_t value = 0;
  if (!ParseInteger(ReadString(section, key), std::numeric_limits<int32_t>::min(),
                    std::numeric_limits<int32_t>::max(), value)) {
    return dflt;
  }
  return static_cast<int32_t>(value);
}

int32_t TXFile::ReadInteger(std::string_view section, std::string_view key) const {
  return ReadInteger(section, key, 0);
}

int64_t TXFile::ReadInt64(std::string_view section, std::string_view key) const {
  int64_t value = 0;
  if (!ParseInteger(ReadString(section, key), std::numeric_limits<int64_t>::min(),
                    std::numeric_limits<int64_t>::max(), value)) {
    return 0;
  }
  return value;
}

void TXFile::ReadBigHex(std::string_view section, std::string_view key, BigInt& x) const {
  BigFromString(x, ReadString(section, key), 16);
}

void TXFile::ReadKeyNames(std::string_view section, std::vector<std::string>& list) const {
  list.clear();
  const TXSection* found = FindSection(section);
  if (found == nullptr) {
    return;
  }
  list.reserve(found->Lines.size());
  for (const std::string& line : found->Lines) {
    list.emplace_back(KeyOf(line));
  }
}

std::string TXFile::ReadComments() const {
  std::string text;
  const TXSection* found = FindSection("Comments");
  if (found == nullptr) {
    return text;
  }
  for (const std::string& line : found->Lines) {
    text += line;
    text += "\r\n";
  }
  if (text.size() > 1 && text.ends_with("\r\n")) {
    text.resize(text.size() - 2);
  }
  return text;
}

void TXFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  WriteStrings(section, {{std::string(key), std::string(value)}});
}

void TXFile::WriteStrings(std::string_view section, const TXKeyValues& pairs) {
  TXSection* found = FindSection(section);
  TXLines& lines = found != nullptr ? found->Lines : AddSection(section);
  for (const auto& [key, value] : pairs) {
    std::string line = key + "=" + value;
    const ptrdiff_t at = FindKey(lines, key);
    if (at >= 0) {
      lines[static_cast<size_t>(at)] = std::move(line);
    } else {
      lines.push_back(std::move(line));
    }
  }
}

void TXFile::AddComments(std::string_view text) {
  if (SectionExists("Comments")) {
    return;
  }
  AddSection("Comments")
      .emplace_back(text.empty() ? std::string_view("Write any comment here") : text);
}

void TXFile::DeleteKey(std::string_view section, std::string_view key) {
  TXSection* found = FindSection(section);
  if (found == nullptr) {
    return;
  }
  const ptrdiff_t at = FindKey(found->Lines, key);
  if (at >= 0) {
    found->Lines.erase(found->Lines.begin() + at);
  }
}

void TXFile::DeleteKeys(std::string_view section, const std::vector<std::string>& keys) {
  for (const std::string& key : keys) {
    DeleteKey(section, key);
  }
}

void TXFile::EraseSection(std::string_view section) {
  for (auto it = Sections.begin(); it != Sections.end(); ++it) {
    if (TXSameText(it->Name, section)) {
      Sections.erase(it);
      return;
    }
  }
}

void TXFile::RenameSection(std::string_view oldName, std::string_view newName) {
  TXSection* found = FindSection(oldName);
  if (found != nullptr && !SectionExists(newName)) {
    found->Name = std::string(newName);
  }
}

void TXFile::Save() const { SaveAs(FileName); }

void TXFile::SaveAs(const std::string& name) const {
  if (!name.empty() && !SaveDurably(name, SaveToBytes(), false)) {
    RaiseError(TextFileError2001);
  }
}

void TXFile::SaveReplace() const {
  if (!FileName.empty() &&
      !SaveDurably(FileName, SaveToBytes(), Settings.DoubleFileManagement != 0)) {
    RaiseError(TextFileError2002);
  }
}

bool CanWriteCurrentFolder() {
  TFileSystemOps& ops = FileSystemOps();
  std::string name = "karvo.$";
  struct stat info {};
  while (::lstat(name.c_str(), &info) == 0) {
    name += '$';
  }
  const int fd = ops.Open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    return false;
  }
  bool ok = ops.Close(fd) == 0;
  if (ops.Unlink(name) != 0) {
    ok = false;
  }
  return ok;
}

}  // namespace karvo
