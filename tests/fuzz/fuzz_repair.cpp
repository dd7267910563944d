// The two 404 repairs of a URL text. Page name: repaired only when the text
// ends with the default page name and holds a slash; the result is the text
// up to and including its last slash with backslashes made slashes, and a
// second repair does not apply. Caret: no caret is left, every other byte
// stays, and a second repair finds nothing.
#include <cstddef>
#include <cstdint>
#include <string>

#include "check.h"
#include "text.h"

using x7::text::PageNameRepair;

namespace {

void pageName(const std::string& in) {
  std::string url = in;
  const PageNameRepair r = x7::text::repairPageName(url);
  const bool named = x7::fuzz::endsWith(in, x7::text::kDefaultPage);
  const auto slash = in.rfind('/');

  if (!named) {
    X7_CHECK(r == PageNameRepair::NotApplicable);
    X7_CHECK(url == in);
    return;
  }
  if (slash == std::string::npos) {
    X7_CHECK(r == PageNameRepair::NoSlash);
    X7_CHECK(url == in);
    return;
  }
  X7_CHECK(r == PageNameRepair::Repaired);
  X7_CHECK(url.size() == slash + 1);
  X7_CHECK(url.back() == '/');
  for (std::size_t i = 0; i < url.size(); ++i) {
    X7_CHECK(url[i] == (in[i] == '\\' ? '/' : in[i]));
  }
  // Each repair applies once: the cut text no longer ends with the page name.
  std::string again = url;
  X7_CHECK(x7::text::repairPageName(again) == PageNameRepair::NotApplicable);
  X7_CHECK(again == url);
}

void caret(const std::string& in) {
  std::string url = in;
  const bool any = x7::text::repairCaret(url);
  X7_CHECK(any == (in.find('^') != std::string::npos));
  X7_CHECK(url.size() == in.size());
  X7_CHECK(url.find('^') == std::string::npos);
  for (std::size_t i = 0; i < url.size(); ++i) {
    X7_CHECK(url[i] == (in[i] == '^' ? '?' : in[i]));
  }
  std::string again = url;
  X7_CHECK(!x7::text::repairCaret(again));
  X7_CHECK(again == url);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string in(reinterpret_cast<const char*>(data), size);
  pageName(in);
  caret(in);
  return 0;
}
