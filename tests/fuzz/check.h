// Property checks for the fuzz targets: a broken property prints what broke
// and aborts, which libFuzzer records as a finding with the input saved.
#ifndef X7FENWIX_FUZZ_CHECK_H
#define X7FENWIX_FUZZ_CHECK_H

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace x7::fuzz {

[[noreturn]] inline void fail(const char* what, const char* file, int line) {
  std::fprintf(stderr, "property broken at %s:%d: %s\n", file, line, what);
  std::abort();
}

inline bool startsWith(std::string_view s, std::string_view p) {
  return s.size() >= p.size() && s.compare(0, p.size(), p) == 0;
}

inline bool endsWith(std::string_view s, std::string_view p) {
  return s.size() >= p.size() && s.compare(s.size() - p.size(), p.size(), p) == 0;
}

// Splits the fuzz input at its first newline; no newline gives an empty head.
inline void splitLine(std::string_view in, std::string_view& head, std::string_view& tail) {
  const auto nl = in.find('\n');
  if (nl == std::string_view::npos) {
    head = {};
    tail = in;
  } else {
    head = in.substr(0, nl);
    tail = in.substr(nl + 1);
  }
}

}  // namespace x7::fuzz

#define X7_CHECK(cond) \
  do { \
    if (!(cond)) ::x7::fuzz::fail(#cond, __FILE__, __LINE__); \
  } while (0)

#endif
