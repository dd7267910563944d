// rangeValue: "bytes=" + the length in plain decimal + "-", fitting the
// 26-byte scratch buffer, and reading back to the length (0 for a negative one).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "check.h"
#include "text.h"

namespace {

// Readable seeds: a decimal text (optionally signed) is taken as the number,
// wrapping like a 64-bit register; any other input gives its first 8 bytes.
std::int64_t lengthOf(std::string_view in) {
  std::string_view digits = in;
  const bool negative = !digits.empty() && digits.front() == '-';
  if (negative) digits.remove_prefix(1);
  bool decimal = !digits.empty() && digits.size() <= 20;
  for (char c : digits) decimal = decimal && c >= '0' && c <= '9';
  std::uint64_t v = 0;
  if (decimal) {
    for (char c : digits) v = v * 10 + static_cast<std::uint64_t>(c - '0');
    if (negative) v = ~v + 1;
  } else {
    unsigned char raw[8] = {};
    std::memcpy(raw, in.data(), in.size() < 8 ? in.size() : 8);
    for (int i = 7; i >= 0; --i) v = (v << 8) | raw[i];
  }
  std::int64_t n;
  std::memcpy(&n, &v, sizeof n);
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::int64_t length = lengthOf(std::string_view(reinterpret_cast<const char*>(data), size));
  const std::string out = x7::text::rangeValue(length);

  X7_CHECK(out.size() <= 6 + 19 + 1);
  X7_CHECK(x7::fuzz::startsWith(out, "bytes="));
  X7_CHECK(x7::fuzz::endsWith(out, "-"));
  const std::string_view digits = std::string_view(out).substr(6, out.size() - 7);
  X7_CHECK(!digits.empty());
  X7_CHECK(digits.size() == 1 || digits.front() != '0');

  std::uint64_t back = 0;
  for (char c : digits) {
    X7_CHECK(c >= '0' && c <= '9');
    const auto d = static_cast<std::uint64_t>(c - '0');
    X7_CHECK(back <= (UINT64_MAX - d) / 10);
    back = back * 10 + d;
  }
  const std::uint64_t expected = length > 0 ? static_cast<std::uint64_t>(length) : 0;
  X7_CHECK(back == expected);
  X7_CHECK(out == "bytes=" + std::to_string(expected) + "-");
  return 0;
}
