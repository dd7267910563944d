// The protocol rebuild of a saved relative link: the climb count is the
// number of leading "../" steps and not one more, and the rebuilt text is
// protocol + "://" + remainder where at most one byte differs: the first
// space of the remainder becomes ':' when no '/' comes before it.
// Input: the protocol, a newline, then the link.
#include <cstddef>
#include <cstdint>
#include <string>

#include "check.h"
#include "text.h"

namespace {

void rebuilt(std::string_view protocol, std::string_view remainder) {
  const std::string out = x7::text::rebuildUrl(protocol, remainder);
  X7_CHECK(out.size() == protocol.size() + 3 + remainder.size());
  X7_CHECK(out.compare(0, protocol.size(), protocol) == 0);
  X7_CHECK(out.compare(protocol.size(), 3, "://") == 0);

  const std::string_view rest = std::string_view(out).substr(protocol.size() + 3);
  const auto space = remainder.find(' ');
  const auto slash = remainder.find('/');
  const bool port = space != std::string_view::npos && space < slash;
  std::size_t changed = 0;
  for (std::size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] == remainder[i]) continue;
    ++changed;
    X7_CHECK(port && i == space && rest[i] == ':');
  }
  X7_CHECK(changed == (port ? 1u : 0u));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view protocol, link;
  x7::fuzz::splitLine(std::string_view(reinterpret_cast<const char*>(data), size), protocol, link);

  const int climb = x7::text::climbCount(link);
  X7_CHECK(climb >= 0);
  const std::size_t steps = static_cast<std::size_t>(climb);
  X7_CHECK(steps * 3 <= link.size());
  for (std::size_t i = 0; i < steps; ++i) {
    X7_CHECK(link.compare(3 * i, 3, "../") == 0);
  }
  const std::string_view remainder = link.substr(3 * steps);
  X7_CHECK(!x7::fuzz::startsWith(remainder, "../"));

  rebuilt(protocol, remainder);
  rebuilt(protocol, link);
  return 0;
}
