// The references of a page or a stylesheet that a browser follows to show it,
// found in one pass over its bytes. Bytes are taken as an ASCII-compatible
// encoding (UTF-8, ISO-8859-x, windows-125x): bytes from 0x80 up are opaque.
//
// A reference is reported as the byte span of its raw text in the input, so
// that the host can splice a replacement in and keep every other byte: no
// quotes, no ASCII white space at either end, escapes and character
// references left as they are (the kind says which ones apply). Empty
// references (href="", url()) are not reported. Spans come in increasing
// order and never overlap.
#ifndef X7FENWIX_REFSCAN_H
#define X7FENWIX_REFSCAN_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace x7::text {

// Kind of a reference: exactly one target bit, plus the bits that say how its
// text is escaped. The host mirrors these values (PageRefs.java).
enum RefKind : std::uint32_t {
  // A page the user may go to: a and area href, link href of any other rel,
  // meta refresh URL.
  kRefNavigation = 1,
  // Needed to show the page: images (srcset candidates one by one), scripts,
  // frames and iframes, embed, object data, media, tracks, image inputs,
  // background attributes, icons, preloads, manifests; in CSS every url()
  // and image-set() string outside @import (fonts, images, cursors).
  kRefRequisite = 2,
  // A stylesheet, to be scanned in turn with scanCss: link rel=stylesheet (or
  // a preload as=style, which scripts often turn into one), @import.
  kRefStylesheet = 4,
  // The document's base URL (base href); the first one in the page counts.
  kRefBase = 8,
  kRefTargetMask = 15,
  // The span is CSS text: CSS escapes (backslash) apply.
  kRefInCss = 16,
  // The span is inside an HTML attribute value: character references apply.
  // A style attribute gives both bits; decode character references first.
  kRefInAttr = 32,
};

struct Ref {
  std::uint32_t start;  // first byte of the reference
  std::uint32_t end;    // one past its last byte
  std::uint32_t kind;   // RefKind bits
};

// The references of an HTML page. Tag and attribute names are matched without
// regard to case, values are tokenised as browsers do (quoted or not; the
// first of duplicate attributes counts); comments, script text and the raw
// text of textarea, title, xmp, iframe, noembed and noframes hold none;
// style elements and style attributes are scanned as CSS. noscript content is
// scanned as markup, as a browser without scripts shows it. A tag cut off by
// the end of the input gives nothing, as in a browser.
std::vector<Ref> scanHtml(std::string_view bytes);

// The references of a stylesheet: url(), @import and image-set() strings.
// Comments are skipped; strings may hold backslash escapes; a url( or a
// string cut off by the end of the input reaches to it.
std::vector<Ref> scanCss(std::string_view bytes);

// Decodes the HTML character references of an attribute value as a browser
// does: numeric ones (decimal, hex; the semicolon optional), and the named
// ones real pages use. A named one without its semicolon is decoded only
// when it is one that browsers accept so and it is not followed by '=' or a
// letter or digit. Unknown ones stay as they are. Output is UTF-8 for the
// decoded characters, other bytes copied; it is never longer than the input.
// The files a script names for a browser to load: string literals (quoted
// with ' or ") that are one relative path ending in a file type pages load
// (js, css, json, images, fonts), as "search.js" in
// createElement('script').src = root + 'search.js'. Comments, regular
// expressions aside, and template literals are skipped. Each is a
// kRefRequisite without escaping bits; the span excludes the quotes.
std::vector<Ref> scanScript(std::string_view bytes);

std::string decodeCharRefs(std::string_view value);

}  // namespace x7::text

#endif
