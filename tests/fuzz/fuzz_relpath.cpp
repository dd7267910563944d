// relativePath, with '/' and with '\\' as the separator.
// Any bytes: the result is one "../" per separator left in the parent after a
// common front of whole directories, then the target from there on (its
// backslashes made '/' on Windows), and that common front cannot be longer.
// Well-formed absolute paths: applying the result's "../" steps to the parent
// page's directories and appending the rest names the target, and the result
// climbs no higher than the directories the two paths share at the front.
// Input: a line whose first byte picks the separator ('\\' or else '/'), a
// line with the parent's file name, then the target's.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "check.h"
#include "text.h"

namespace {

using Parts = std::vector<std::string>;

Parts split(std::string_view s, char sep) {
  Parts out;
  std::size_t from = 0;
  for (;;) {
    const auto at = s.find(sep, from);
    out.emplace_back(s.substr(from, at == std::string_view::npos ? std::string_view::npos : at - from));
    if (at == std::string_view::npos) return out;
    from = at + 1;
  }
}

std::size_t count(std::string_view s, char c) {
  std::size_t n = 0;
  for (char x : s) n += x == c;
  return n;
}

std::string slashed(std::string_view s, char sep) {
  std::string out(s);
  if (sep == '\\') {
    for (char& c : out) {
      if (c == '\\') c = '/';
    }
  }
  return out;
}

void anyBytes(std::string_view parent, std::string_view target, char sep) {
  const std::string out = x7::text::relativePath(parent, target, sep);
  // Some cut m after a separator of the target (or at 0) explains the result.
  bool explained = false;
  for (std::size_t m = 0; m <= target.size() && !explained; ++m) {
    if (m != 0 && target[m - 1] != sep) continue;
    if (m > parent.size() || parent.compare(0, m, target.substr(0, m)) != 0) continue;
    std::string expect;
    for (std::size_t i = count(parent.substr(m), sep); i > 0; --i) expect += "../";
    expect += slashed(target.substr(m), sep);
    if (out != expect) continue;
    // The common front is as long as it can be: the target's next directory
    // (if the rest holds one) does not open the parent's rest.
    const auto next = target.find(sep, m);
    if (next != std::string_view::npos &&
        x7::fuzz::startsWith(parent.substr(m), target.substr(m, next - m + 1))) {
      continue;
    }
    explained = true;
  }
  X7_CHECK(explained);
}

// Well-formed path parts: a root (empty on Linux, e.g. a drive on Windows),
// then non-empty components with no separator of either kind and no "." or
// "..". The last component is the file name.
Parts wellFormed(std::string_view text, char sep) {
  Parts parts;
  Parts raw = split(text, sep);
  for (std::size_t i = 0; i < raw.size(); ++i) {
    std::string c;
    for (char x : raw[i]) {
      if (x != '/' && x != '\\') c.push_back(x);
    }
    const bool dots = c == "." || c == "..";
    if (i == 0) {
      parts.push_back(sep == '/' || dots ? std::string() : c);
      if (sep == '/' && !c.empty() && !dots) parts.push_back(c);
    } else if (!c.empty() && !dots) {
      parts.push_back(c);
    }
  }
  return parts;
}

std::string join(const Parts& parts, char sep) {
  std::string out;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i) out.push_back(sep);
    out += parts[i];
  }
  return out;
}

void resolves(std::string_view parentText, std::string_view targetText, char sep) {
  const Parts parent = wellFormed(parentText, sep);
  const Parts target = wellFormed(targetText, sep);
  if (parent.size() < 2 || target.size() < 2) return;
  const std::string out = x7::text::relativePath(join(parent, sep), join(target, sep), sep);

  std::string_view rest = out;
  std::size_t climb = 0;
  while (x7::fuzz::startsWith(rest, "../")) {
    rest.remove_prefix(3);
    ++climb;
  }
  Parts dir(parent.begin(), parent.end() - 1);
  X7_CHECK(climb <= dir.size());
  dir.resize(dir.size() - climb);
  for (auto& part : split(rest, '/')) dir.push_back(part);
  X7_CHECK(dir == target);

  // No needless climb: exactly out of the parent's directories past the
  // front that the two directory lists share.
  std::size_t shared = 0;
  while (shared + 1 < parent.size() && shared + 1 < target.size() && parent[shared] == target[shared]) {
    ++shared;
  }
  X7_CHECK(climb == parent.size() - 1 - shared);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view first, paths, parent, target;
  x7::fuzz::splitLine(std::string_view(reinterpret_cast<const char*>(data), size), first, paths);
  x7::fuzz::splitLine(paths, parent, target);
  const char sep = !first.empty() && first.front() == '\\' ? '\\' : '/';

  anyBytes(parent, target, sep);
  resolves(parent, target, sep);
  return 0;
}
