#include "disk.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace jd::disk {

#ifdef _WIN32

namespace {

// FILETIME counts 100 ns from 1601; Java counts ms from 1970.
constexpr std::int64_t kEpochDiff100ns = 116444736000000000LL;

bool attributes(const std::string& path, WIN32_FILE_ATTRIBUTE_DATA& a) {
  return GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &a) != 0;
}

}  // namespace

bool exists(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA a;
  return attributes(path, a);
}

bool isDir(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA a;
  return attributes(path, a) && (a.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::int64_t length(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA a;
  if (!attributes(path, a) || (a.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return 0;
  return (static_cast<std::int64_t>(a.nFileSizeHigh) << 32) | a.nFileSizeLow;
}

std::int64_t mtime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA a;
  if (!attributes(path, a)) return 0;
  const std::int64_t t =
      (static_cast<std::int64_t>(a.ftLastWriteTime.dwHighDateTime) << 32) | a.ftLastWriteTime.dwLowDateTime;
  return (t - kEpochDiff100ns) / 10000;
}

bool setMtime(const std::string& path, std::int64_t ms) {
  HANDLE h = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const std::int64_t t = ms * 10000 + kEpochDiff100ns;
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(t & 0xffffffff);
  ft.dwHighDateTime = static_cast<DWORD>(t >> 32);
  const bool ok = SetFileTime(h, nullptr, nullptr, &ft) != 0;
  CloseHandle(h);
  return ok;
}

bool remove(const std::string& path) {
  if (isDir(path)) return RemoveDirectoryA(path.c_str()) != 0;
  return DeleteFileA(path.c_str()) != 0;
}

bool makeDir(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) != 0; }

int createNew(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    CloseHandle(h);
    return 1;
  }
  return GetLastError() == ERROR_FILE_EXISTS ? 0 : -1;
}

bool resize(const std::string& path, std::int64_t size) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER at;
  at.QuadPart = size;
  const bool ok = SetFilePointerEx(h, at, nullptr, FILE_BEGIN) != 0 && SetEndOfFile(h) != 0;
  CloseHandle(h);
  return ok;
}

void removeTree(const std::string& path) {
  if (!isDir(path)) {
    DeleteFileA(path.c_str());
    return;
  }
  WIN32_FIND_DATAA d;
  HANDLE h = FindFirstFileA((path + "\\*").c_str(), &d);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      const std::string n = d.cFileName;
      if (n != "." && n != "..") removeTree(path + "\\" + n);
    } while (FindNextFileA(h, &d) != 0);
    FindClose(h);
  }
  RemoveDirectoryA(path.c_str());
}

static void walk(const std::string& dir, const std::string& rel, char sep, std::vector<Entry>& out) {
  WIN32_FIND_DATAA d;
  HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &d);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    const std::string n = d.cFileName;
    if (n == "." || n == "..") continue;
    const std::string full = dir + sep + n;
    Entry e;
    e.path = rel.empty() ? n : rel + "/" + n;
    e.dir = (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    e.size = e.dir ? 0 : length(full);
    e.mtime = e.dir ? 0 : mtime(full);
    out.push_back(e);
    if (e.dir) walk(full, e.path, sep, out);
  } while (FindNextFileA(h, &d) != 0);
  FindClose(h);
}

std::string fullPath(const std::string& path) {
  char buf[MAX_PATH * 4];
  const DWORD n = GetFullPathNameA(path.c_str(), sizeof buf, buf, nullptr);
  if (n == 0 || n >= sizeof buf) return path;
  return std::string(buf, n);
}

#else

bool exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

bool isDir(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::int64_t length(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return 0;
  return static_cast<std::int64_t>(st.st_size);
}

std::int64_t mtime(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return 0;
  return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
}

bool setMtime(const std::string& path, std::int64_t ms) {
  struct timespec t[2];
  t[0].tv_sec = 0;
  t[0].tv_nsec = UTIME_OMIT;
  t[1].tv_sec = static_cast<time_t>(ms / 1000);
  t[1].tv_nsec = static_cast<long>((ms % 1000) * 1000000);
  return ::utimensat(AT_FDCWD, path.c_str(), t, 0) == 0;
}

bool remove(const std::string& path) {
  if (isDir(path)) return ::rmdir(path.c_str()) == 0;
  return ::unlink(path.c_str()) == 0;
}

bool makeDir(const std::string& path) { return ::mkdir(path.c_str(), 0755) == 0; }

int createNew(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
  if (fd >= 0) {
    ::close(fd);
    return 1;
  }
  return errno == EEXIST ? 0 : -1;
}

bool resize(const std::string& path, std::int64_t size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0644);
  if (fd < 0) return false;
  const bool ok = ::ftruncate(fd, static_cast<off_t>(size)) == 0;
  ::close(fd);
  return ok;
}

void removeTree(const std::string& path) {
  if (!isDir(path)) {
    ::unlink(path.c_str());
    return;
  }
  if (DIR* d = ::opendir(path.c_str())) {
    while (dirent* e = ::readdir(d)) {
      const std::string n = e->d_name;
      if (n != "." && n != "..") removeTree(path + "/" + n);
    }
    ::closedir(d);
  }
  ::rmdir(path.c_str());
}

static void walk(const std::string& dir, const std::string& rel, char sep, std::vector<Entry>& out) {
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) return;
  while (dirent* de = ::readdir(d)) {
    const std::string n = de->d_name;
    if (n == "." || n == "..") continue;
    const std::string full = dir + sep + n;
    Entry e;
    e.path = rel.empty() ? n : rel + "/" + n;
    e.dir = isDir(full);
    e.size = e.dir ? 0 : length(full);
    e.mtime = e.dir ? 0 : mtime(full);
    out.push_back(e);
    if (e.dir) walk(full, e.path, sep, out);
  }
  ::closedir(d);
}

std::string fullPath(const std::string& path) {
  char buf[PATH_MAX];
  if (::realpath(path.c_str(), buf) == nullptr) return path;
  return buf;
}

#endif

bool writeFile(const std::string& path, const std::string& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

bool readFile(const std::string& path, std::string& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  bytes.clear();
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, n);
  std::fclose(f);
  return true;
}

std::vector<Entry> list(const std::string& root, char sep) {
  std::vector<Entry> out;
  walk(root, "", sep, out);
  std::sort(out.begin(), out.end(), [](const Entry& a, const Entry& b) { return a.path < b.path; });
  return out;
}

}  // namespace jd::disk
