// stripQuotes: the result is the value itself, or the value less exactly one
// matching outer pair of apostrophes or double quotes, viewed in place. And
// discoveredLink, which decodes the character references of that result: never
// longer, and nothing a host string cannot carry (NUL, 4-byte UTF-8).
#include <cstddef>
#include <cstdint>
#include <string>

#include "check.h"
#include "text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view in(reinterpret_cast<const char*>(data), size);
  const std::string_view out = x7::text::stripQuotes(in);

  const bool pair = in.size() > 1 && (in.front() == '\'' || in.front() == '"') && in.back() == in.front();
  // Exactly one pair, and only when there is one: never a second, inner pair.
  if (pair) {
    X7_CHECK(out.data() == in.data() + 1);
    X7_CHECK(out.size() == in.size() - 2);
  } else {
    X7_CHECK(out.data() == in.data());
    X7_CHECK(out.size() == in.size());
  }

  const std::string link = x7::text::discoveredLink(in);
  X7_CHECK(link.size() <= out.size());
  if (out.find('&') == std::string_view::npos) X7_CHECK(link == out);
  for (unsigned char c : link) {
    if (c == 0 || c >= 0xF0) X7_CHECK(std::string_view(link) == out);
  }
  return 0;
}
