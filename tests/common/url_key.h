// What makes two URLs the same, written apart from the naming rule, for the
// tests and fuzz targets that check the rule is one-to-one.
#ifndef X7FENWIX_TESTS_URL_KEY_H
#define X7FENWIX_TESTS_URL_KEY_H

#include <cstddef>
#include <string>
#include <string_view>

namespace x7::test {

inline int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A piece of a URL percent-decoded (an invalid escape is itself), each byte
// preceded by a flag byte: 'e' for an escape of one of keep, which stays an
// escape, 'b' for a byte. Keys of pieces joined by any separator stay apart.
inline std::string decoded(std::string_view s, std::string_view keep) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const int hi = i + 2 < s.size() ? hexValue(s[i + 1]) : -1;
    const int lo = i + 2 < s.size() ? hexValue(s[i + 2]) : -1;
    if (s[i] == '%' && hi >= 0 && lo >= 0) {
      const char b = static_cast<char>(hi * 16 + lo);
      out.push_back(b != 0 && keep.find(b) != std::string_view::npos ? 'e' : 'b');
      out.push_back(b);
      i += 2;
    } else {
      out.push_back('b');
      out.push_back(s[i]);
    }
  }
  return out;
}

}  // namespace x7::test

#endif
