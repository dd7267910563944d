// stripQuotes: the result is the value itself, or the value less exactly one
// matching outer pair of apostrophes or double quotes, viewed in place.
#include <cstddef>
#include <cstdint>

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
  return 0;
}
