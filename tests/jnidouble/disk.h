// The real disk as java/io/File sees it, on both platforms, with 64-bit sizes
// and millisecond times.
#ifndef X7_JNIDOUBLE_DISK_H
#define X7_JNIDOUBLE_DISK_H

#include <cstdint>
#include <string>
#include <vector>

namespace jd::disk {

struct Entry {
  std::string path;  // relative to the listed folder, with '/'
  bool dir = false;
  std::int64_t size = 0;
  std::int64_t mtime = 0;  // milliseconds since 1970
};

bool exists(const std::string& path);
bool isDir(const std::string& path);
std::int64_t length(const std::string& path);    // 0 when missing
std::int64_t mtime(const std::string& path);     // 0 when missing
bool setMtime(const std::string& path, std::int64_t ms);
bool remove(const std::string& path);            // a file or an empty folder
bool makeDir(const std::string& path);           // one level; false when it exists
int createNew(const std::string& path);          // 1 made, 0 exists, -1 error
bool resize(const std::string& path, std::int64_t size);  // sparse where the disk allows
bool writeFile(const std::string& path, const std::string& bytes);
bool readFile(const std::string& path, std::string& bytes);
void removeTree(const std::string& path);
std::vector<Entry> list(const std::string& root, char sep);  // sorted, recursive
std::string fullPath(const std::string& path);  // absolute, in the platform's form

}  // namespace jd::disk

#endif
