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
struct TempFolder {
  TempFolder() {
    std::string name = (std::filesystem::temp_directory_path() / "karvo-files-XXXXXX").string();
    path_ = ::mkdtemp(name.data());
  }
  ~TempFolder() { std::filesystem::remove_all(path_, error_); }
  std::string Path(const std::string& name) const { return (path_ / name).string(); }
  const std::filesystem::path& Folder() const { return path_; }
  std::filesystem::path path_;
  std::error_code error_;
};

// Enters a folder for the lifetime of the object.
struct CurrentFolder {
  explicit CurrentFolder(const std::filesystem::path& to) { std::filesystem::current_path(to); }
  ~CurrentFolder() { std::filesystem::current_path(saved_, error_); }
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

inline bool Exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

// The real calls, except those named in Failing. A write budget lets the
// first bytes through and then reports a full disk, as a disk that fills up
// halfway would; the failing close still closes the descriptor.
struct FailingOps : TFileSystemOps {
  enum : unsigned { kOpen = 1, kFileSync = 2, kClose = 4, kRename = 8, kFolderSync = 16,
                    kLink = 32, kUnlink = 64 };
  unsigned Failing = 0;
  long WriteBudget = -1;  // bytes still accepted; -1: no limit
  int Renames = 0;

  int Open(const std::string& path, int flags, unsigned mode) override {
    return Fails(kOpen, EROFS) ? -1 : TFileSystemOps::Open(path, flags, mode);
  }
  long Write(int fd, const char* data, size_t size) override {
    if (WriteBudget == 0) return errno = ENOSPC, -1;
    if (WriteBudget > 0) size = std::min(size, static_cast<size_t>(WriteBudget));
    const long written = TFileSystemOps::Write(fd, data, size);
    if (WriteBudget > 0 && written > 0) WriteBudget -= written;
    return written;
  }
  int Fsync(int fd) override {
    struct stat info {};
    const bool folder = ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode);
    return Fails(folder ? kFolderSync : kFileSync, EIO) ? -1 : TFileSystemOps::Fsync(fd);
  }
  int Close(int fd) override {
    const int result = TFileSystemOps::Close(fd);
    return Fails(kClose, EIO) ? -1 : result;
  }
  int Rename(const std::string& from, const std::string& to) override {
    ++Renames;
    return Fails(kRename, EIO) ? -1 : TFileSystemOps::Rename(from, to);
  }
  int Link(const std::string& from, const std::string& to) override {
    return Fails(kLink, EPERM) ? -1 : TFileSystemOps::Link(from, to);
  }
  int Unlink(const std::string& path) override {
    return Fails(kUnlink, EIO) ? -1 : TFileSystemOps::Unlink(path);
  }
  bool Fails(unsigned call, int error) const { return (Failing & call) != 0 && (errno = error); }
};

// Installs ops for the lifetime of the object.
struct OpsInstalled {
  explicit OpsInstalled(TFileSystemOps& ops) { SetFileSystemOps(&ops); }
  ~OpsInstalled() { SetFileSystemOps(nullptr); }
};

}  // namespace karvo::test
