#pragma once

// Temporary folders and raw file access for the tests that touch files, and
// a file system that fails on demand.

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "files/TXFile.h"

namespace karvo::test {

// A fresh folder, removed with its content at the end.
class TempFolder {
 public:
  TempFolder() {
    std::string name = (std::filesystem::temp_directory_path() / "karvo-files-XXXXXX").string();
    path_ = ::mkdtemp(name.data());
  }
  ~TempFolder() { std::filesystem::remove_all(path_, error_); }
  std::string Path(const std::string& name) const { return (path_ / name).string(); }
  const std::filesystem::path& Folder() const { return path_; }

 private:
  std::filesystem::path path_;
  std::error_code error_;
};

// Enters a folder for the lifetime of the object.
class CurrentFolder {
 public:
  explicit CurrentFolder(const std::filesystem::path& to) { std::filesystem::current_path(to); }
  ~CurrentFolder() { std::filesystem::current_path(saved_, error_); }

 private:
  std::filesystem::path saved_ = std::filesystem::current_path();
  std::error_code error_;
};

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// The text with each CR LF shown as "|".
inline std::string Bars(const std::string& text) {
  std::string bars;
  for (size_t i = 0; i < text.size(); ++i) {
    bars += text.compare(i, 2, "\r\n") != 0 ? text[i] : (++i, '|');
  }
  return bars;
}

inline bool Exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

// The real calls, except those told to fail. A write budget lets the first
// bytes through and then reports a full disk, as a disk that fills up
// halfway would; the failing close still closes the descriptor.
class FailingOps : public TFileSystemOps {
 public:
  long WriteBudget = -1;  // bytes still accepted; -1: no limit
  bool FailOpen = false, FailFileSync = false, FailFolderSync = false, FailClose = false;
  bool FailRename = false, FailLink = false, FailUnlink = false;
  int Renames = 0;

  int Open(const std::string& path, int flags, unsigned mode) override {
    return FailOpen ? Fail(EROFS) : TFileSystemOps::Open(path, flags, mode);
  }
  long Write(int fd, const char* data, size_t size) override {
    if (WriteBudget == 0) return Fail(ENOSPC);
    if (WriteBudget > 0) size = std::min(size, static_cast<size_t>(WriteBudget));
    const long written = TFileSystemOps::Write(fd, data, size);
    if (WriteBudget > 0 && written > 0) WriteBudget -= written;
    return written;
  }
  int Fsync(int fd) override {
    struct stat info {};
    const bool folder = ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode);
    return (folder ? FailFolderSync : FailFileSync) ? Fail(EIO) : TFileSystemOps::Fsync(fd);
  }
  int Close(int fd) override {
    const int result = TFileSystemOps::Close(fd);
    return FailClose ? Fail(EIO) : result;
  }
  int Rename(const std::string& from, const std::string& to) override {
    ++Renames;
    return FailRename ? Fail(EIO) : TFileSystemOps::Rename(from, to);
  }
  int Link(const std::string& from, const std::string& to) override {
    return FailLink ? Fail(EPERM) : TFileSystemOps::Link(from, to);
  }
  int Unlink(const std::string& path) override {
    return FailUnlink ? Fail(EIO) : TFileSystemOps::Unlink(path);
  }

 private:
  static int Fail(int error) { return errno = error, -1; }
};

// Installs ops for the lifetime of the object.
class OpsInstalled {
 public:
  explicit OpsInstalled(TFileSystemOps& ops) { SetFileSystemOps(&ops); }
  ~OpsInstalled() { SetFileSystemOps(nullptr); }
};

}  // namespace karvo::test
