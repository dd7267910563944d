// scanHtml, scanCss and scanScript over any bytes: every span lies inside the input, is
// not empty, and comes after the one before it; its kind has one target bit
// and the escaping bits of where it was found; a span opened by a quote holds
// no quote of that kind unless a CSS backslash escapes it.
// decodeCharRefs over the same bytes: never longer than its input (a
// reference is never shorter than its UTF-8), and the input itself when it
// holds no '&'.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "check.h"
#include "refscan.h"

namespace {

using x7::text::Ref;

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

// The quote that opens the span, if the last byte before it (white space
// aside) is one.
char openingQuote(std::string_view in, std::uint32_t start) {
  while (start > 0 && isSpace(in[start - 1])) --start;
  if (start == 0) return 0;
  const char c = in[start - 1];
  return c == '"' || c == '\'' ? c : 0;
}

bool escaped(std::string_view in, std::size_t at) {
  std::size_t slashes = 0;
  while (at > slashes && in[at - 1 - slashes] == '\\') ++slashes;
  return slashes % 2 != 0;
}

void checkRefs(std::string_view in, const std::vector<Ref>& refs, std::uint32_t mustHave, std::uint32_t mustNot) {
  std::uint32_t last = 0;
  for (const Ref& r : refs) {
    X7_CHECK(r.start < r.end);
    X7_CHECK(r.end <= in.size());
    X7_CHECK(last <= r.start);
    last = r.end;
    const std::uint32_t target = r.kind & x7::text::kRefTargetMask;
    X7_CHECK(target == x7::text::kRefNavigation || target == x7::text::kRefRequisite ||
             target == x7::text::kRefStylesheet || target == x7::text::kRefBase);
    X7_CHECK((r.kind & ~(x7::text::kRefTargetMask | x7::text::kRefInCss | x7::text::kRefInAttr)) == 0);
    X7_CHECK((r.kind & mustHave) == mustHave && (r.kind & mustNot) == 0);
    const bool css = (r.kind & x7::text::kRefInCss) != 0;
    // no white space at either end, but for an escaped one ending CSS text
    X7_CHECK(!isSpace(in[r.start]));
    X7_CHECK(!isSpace(in[r.end - 1]) || (css && escaped(in, r.end - 1)));
    const char q = openingQuote(in, r.start);
    if (q == 0) continue;
    for (std::uint32_t i = r.start; i < r.end; ++i) {
      X7_CHECK(in[i] != q || (css && escaped(in, i)));
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view in(reinterpret_cast<const char*>(data), size);

  const auto html = x7::text::scanHtml(in);
  checkRefs(in, html, 0, 0);
  for (const Ref& r : html) {
    X7_CHECK((r.kind & x7::text::kRefInAttr) != 0 || (r.kind & x7::text::kRefInCss) != 0);
  }
  checkRefs(in, x7::text::scanCss(in), x7::text::kRefInCss, x7::text::kRefInAttr);
  // a script's file names: requisites, inside their quotes, never holding one
  const auto script = x7::text::scanScript(in);
  checkRefs(in, script, x7::text::kRefRequisite, x7::text::kRefInCss | x7::text::kRefInAttr);
  for (const Ref& r : script) X7_CHECK(openingQuote(in, r.start) != 0 && in[r.end] == in[r.start - 1]);

  const std::string decoded = x7::text::decodeCharRefs(in);
  X7_CHECK(decoded.size() <= in.size());
  if (in.find('&') == std::string_view::npos) X7_CHECK(decoded == in);
  return 0;
}
