#include "text.h"

#include "refscan.h"

namespace x7::text {

std::string_view stripQuotes(std::string_view v) {
  if (v.size() > 1 && (v.front() == '\'' || v.front() == '"') && v.back() == v.front()) {
    return v.substr(1, v.size() - 2);
  }
  return v;
}

std::string rangeValue(std::int64_t length) {
  // Digits by hand: the Windows C runtime's printf is not to be trusted with
  // 64-bit conversions. A file length is never negative; 0 stands in if so.
  std::uint64_t n = length > 0 ? static_cast<std::uint64_t>(length) : 0;
  char digits[20];
  int i = 0;
  do {
    digits[i++] = static_cast<char>('0' + n % 10);
    n /= 10;
  } while (n != 0);
  std::string out = "bytes=";
  while (i > 0) out.push_back(digits[--i]);
  out.push_back('-');
  return out;
}

PageNameRepair repairPageName(std::string& url) {
  if (url.size() < kDefaultPage.size() ||
      url.compare(url.size() - kDefaultPage.size(), kDefaultPage.size(), kDefaultPage) != 0) {
    return PageNameRepair::NotApplicable;
  }
  const auto slash = url.rfind('/');
  if (slash == std::string::npos) return PageNameRepair::NoSlash;
  url.resize(slash + 1);
  for (char& c : url) {
    if (c == '\\') c = '/';
  }
  return PageNameRepair::Repaired;
}

bool repairCaret(std::string& url) {
  bool any = false;
  for (char& c : url) {
    if (c == '^') {
      c = '?';
      any = true;
    }
  }
  return any;
}

int climbCount(std::string_view link) {
  int n = 0;
  while (link.size() >= 3 && link.compare(0, 3, "../") == 0) {
    link.remove_prefix(3);
    ++n;
  }
  return n;
}

std::string rebuildUrl(std::string_view protocol, std::string_view remainder) {
  std::string out;
  out.reserve(protocol.size() + 3 + remainder.size());
  out.append(protocol).append("://");
  const std::size_t rest = out.size();
  out.append(remainder);
  const auto space = remainder.find(' ');
  const auto slash = remainder.find('/');
  if (space != std::string_view::npos && (slash == std::string_view::npos || slash > space)) {
    out[rest + space] = ':';
  }
  return out;
}

std::string relativePath(std::string_view parent, std::string_view target, char sep) {
  // Drop whole leading directories that both paths share.
  for (;;) {
    const auto cut = target.find(sep);
    if (cut == std::string_view::npos) break;
    // Component plus its separator must match exactly at the parent's front.
    if (parent.size() <= cut || parent.compare(0, cut + 1, target.substr(0, cut + 1)) != 0) break;
    parent.remove_prefix(cut + 1);
    target.remove_prefix(cut + 1);
  }
  std::size_t depth = 0;
  for (char c : parent) {
    if (c == sep) ++depth;
  }
  std::string out;
  out.reserve(3 * depth + target.size());
  for (std::size_t i = 0; i < depth; ++i) out.append("../");
  const std::size_t rest = out.size();
  out.append(target);
  if (sep == '\\') {
    for (std::size_t i = rest; i < out.size(); ++i) {
      if (out[i] == '\\') out[i] = '/';
    }
  }
  return out;
}

std::string discoveredLink(std::string_view value) {
  const std::string_view link = stripQuotes(value);
  if (link.find('&') == std::string_view::npos) return std::string(link);
  std::string decoded = decodeCharRefs(link);
  for (unsigned char c : decoded) {
    if (c == 0 || c >= 0xF0) return std::string(link);
  }
  return decoded;
}

}  // namespace x7::text
