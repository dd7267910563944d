// localName and originalPath on two URLs at once.
// Input: two lines, each a raw path, optionally followed by '?' and a raw
// query. A byte 0x02 stands for 64 copies of the byte after it, so that short
// inputs reach capped names and folded paths.
// Properties: URLs that differ once normalized (dot segments removed, then
// segments percent-decoded; in the query, escapes of & = + ; kept) get
// different names, and equal ones the same name; every name is printable
// ASCII, not empty, no dot segment, at most 181 bytes, the whole path at most
// 3,300; a name that is neither capped nor folded is inverted by originalPath
// into a URL of the same name.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "check.h"
#include "../common/url_key.h"
#include "naming.h"

namespace {

using x7::test::decoded;

struct Url {
  std::string path;
  std::string query;
  bool hasQuery = false;
};

Url parse(std::string_view line) {
  std::string text;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '\x02' && i + 1 < line.size()) {
      text.append(64, line[++i]);
    } else {
      text.push_back(line[i]);
    }
  }
  Url u;
  const auto q = text.find('?');
  u.path = text.substr(0, q);
  if (q != std::string::npos) {
    u.hasQuery = true;
    u.query = text.substr(q + 1);
  }
  return u;
}

std::string normalized(const Url& u) {
  const std::string path = x7::removeDotSegments(!u.path.empty() && u.path[0] == '/' ? u.path : "/" + u.path);
  std::string key;
  std::size_t from = 0;
  for (;;) {
    const auto at = path.find('/', from);
    const std::string_view seg =
        std::string_view(path).substr(from, at == std::string::npos ? std::string::npos : at - from);
    key += decoded(seg, "") + '/';
    if (at == std::string::npos) break;
    from = at + 1;
  }
  if (u.hasQuery) key += "?" + decoded(u.query, "&=+;");
  return key;
}

std::string nameOf(const Url& u) { return x7::localName("h", 8080, u.path, u.hasQuery ? &u.query : nullptr); }

void checkOne(const Url& u, const std::string& name) {
  X7_CHECK(name.size() <= 3300);
  X7_CHECK(x7::fuzz::startsWith(name, "h 8080/"));
  bool capped = false;
  std::size_t from = 0;
  for (;;) {
    const auto at = name.find('/', from);
    const std::string_view n =
        std::string_view(name).substr(from, at == std::string::npos ? std::string::npos : at - from);
    X7_CHECK(!n.empty() && n != "." && n != "..");
    X7_CHECK(n.size() <= x7::kCappedName);
    capped |= n.size() == x7::kCappedName;
    for (char c : n) X7_CHECK(c >= 0x20 && c < 0x7f);
    if (at == std::string::npos) break;
    from = at + 1;
  }
  const std::string below = name.substr(name.find('/'));
  const bool folded = x7::fuzz::startsWith(below, "/x7fenwix-long/");
  std::string path, query;
  bool hasQuery = false;
  const bool ok = x7::originalPath(below, path, query, hasQuery);
  if (capped || folded) {
    X7_CHECK(!ok);
    return;
  }
  X7_CHECK(ok);
  X7_CHECK(hasQuery == u.hasQuery);
  X7_CHECK(x7::localName("h", 8080, path, hasQuery ? &query : nullptr) == name);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view first, second;
  x7::fuzz::splitLine(std::string_view(reinterpret_cast<const char*>(data), size), first, second);
  const Url a = parse(first), b = parse(second);
  const std::string na = nameOf(a), nb = nameOf(b);
  checkOne(a, na);
  checkOne(b, nb);
  X7_CHECK((normalized(a) == normalized(b)) == (na == nb));
  return 0;
}
