#include "refscan.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace x7::text {

namespace {

using std::size_t;
using std::string_view;
constexpr size_t kNone = string_view::npos;

bool isSpace(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }
bool isNewline(unsigned char c) { return c == '\n' || c == '\r' || c == '\f'; }
unsigned char lower(unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c; }
bool isDigit(unsigned char c) { return c >= '0' && c <= '9'; }
bool isAlpha(unsigned char c) { return lower(c) >= 'a' && lower(c) <= 'z'; }
bool isAlnum(unsigned char c) { return isAlpha(c) || isDigit(c); }

// s equals name, which is lower case, without regard to ASCII case.
bool equalsLower(string_view s, string_view name) {
  if (s.size() != name.size()) return false;
  for (size_t i = 0; i < s.size(); ++i) {
    if (lower(s[i]) != static_cast<unsigned char>(name[i])) return false;
  }
  return true;
}

bool startsLower(string_view s, size_t at, size_t end, string_view name) {
  return at <= end && end - at >= name.size() && equalsLower(s.substr(at, name.size()), name);
}

// Inputs of 4 GiB and more are scanned up to there: spans are 32-bit.
string_view capped(string_view s) {
  constexpr std::uint64_t kMax = 0xFFFFFFFFu;
  return static_cast<std::uint64_t>(s.size()) > kMax ? s.substr(0, static_cast<size_t>(kMax)) : s;
}

void push(std::vector<Ref>& out, size_t b, size_t e, std::uint32_t kind) {
  out.push_back(Ref{static_cast<std::uint32_t>(b), static_cast<std::uint32_t>(e), kind});
}

// ---- character references ----

struct CharRef {
  std::uint32_t cp;
  size_t len;  // bytes from the '&'; 0 when there is no reference
};

struct Named {
  string_view name;
  std::uint32_t cp;
  bool legacy;  // browsers also take it without the semicolon
};

const Named kNamed[] = {
    {"amp", '&', true},       {"AMP", '&', true},        {"lt", '<', true},        {"LT", '<', true},
    {"gt", '>', true},        {"GT", '>', true},         {"quot", '"', true},      {"QUOT", '"', true},
    {"apos", '\'', false},    {"nbsp", 0xA0, true},      {"copy", 0xA9, true},     {"COPY", 0xA9, true},
    {"reg", 0xAE, true},      {"REG", 0xAE, true},       {"shy", 0xAD, true},      {"cent", 0xA2, true},
    {"pound", 0xA3, true},    {"yen", 0xA5, true},       {"sect", 0xA7, true},     {"deg", 0xB0, true},
    {"laquo", 0xAB, true},    {"raquo", 0xBB, true},     {"middot", 0xB7, true},   {"times", 0xD7, true},
    {"divide", 0xF7, true},   {"euro", 0x20AC, false},   {"trade", 0x2122, false}, {"hellip", 0x2026, false},
    {"ndash", 0x2013, false}, {"mdash", 0x2014, false},  {"lsquo", 0x2018, false}, {"rsquo", 0x2019, false},
    {"ldquo", 0x201C, false}, {"rdquo", 0x201D, false},  {"bull", 0x2022, false},
};

// What browsers make of &#128; to &#159;: the windows-1252 characters (0
// where that code page has a hole, and the number stays).
const std::uint16_t kWin1252[32] = {
    0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178};

std::uint32_t numericValue(std::uint32_t v) {
  if (v == 0 || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return 0xFFFD;
  if (v >= 0x80 && v <= 0x9F && kWin1252[v - 0x80] != 0) return kWin1252[v - 0x80];
  return v;
}

CharRef numericRef(string_view s, size_t amp) {
  size_t i = amp + 2;  // after "&#"
  const bool hex = i < s.size() && lower(s[i]) == 'x';
  if (hex) ++i;
  const size_t digits = i;
  std::uint32_t v = 0;
  for (; i < s.size(); ++i) {
    const unsigned char c = lower(s[i]);
    std::uint32_t d;
    if (isDigit(c)) {
      d = c - '0';
    } else if (hex && c >= 'a' && c <= 'f') {
      d = c - 'a' + 10;
    } else {
      break;
    }
    // Past the last code point the value only needs to stay out of range.
    v = std::min<std::uint32_t>(v * (hex ? 16 : 10) + d, 0x110000);
  }
  if (i == digits) return {0, 0};
  if (i < s.size() && s[i] == ';') ++i;
  return {numericValue(v), i - amp};
}

// The reference at s[amp] == '&', read as in an attribute value.
CharRef charRefAt(string_view s, size_t amp) {
  if (amp + 1 < s.size() && s[amp + 1] == '#') return numericRef(s, amp);
  const string_view rest = s.substr(amp + 1);
  CharRef best{0, 0};
  bool semicolon = false;
  for (const Named& n : kNamed) {
    if (rest.size() < n.name.size() || rest.compare(0, n.name.size(), n.name) != 0) continue;
    const bool semi = rest.size() > n.name.size() && rest[n.name.size()] == ';';
    if (!semi && !n.legacy) continue;
    const size_t len = 1 + n.name.size() + (semi ? 1 : 0);
    if (len > best.len) {
      best = {n.cp, len};
      semicolon = semi;
    }
  }
  // In an attribute, "&copy=1" or "&copyx" stays as it is.
  if (best.len != 0 && !semicolon && amp + best.len < s.size()) {
    const unsigned char next = s[amp + best.len];
    if (next == '=' || isAlnum(next)) return {0, 0};
  }
  return best;
}

void appendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// ---- CSS ----

bool isNameChar(unsigned char c) { return isAlnum(c) || c == '-' || c == '_' || c >= 0x80; }

// Scans CSS from a start offset to the end of s; offsets are those of s. In a
// style attribute (inAttr) a character reference may stand for a quote.
class CssScan {
 public:
  CssScan(string_view s, std::uint32_t flags, std::vector<Ref>& out)
      : s_(s), n_(s.size()), flags_(flags), inAttr_((flags & kRefInAttr) != 0), out_(out) {}

  void run(size_t i) {
    while (i < n_) {
      const unsigned char c = s_[i];
      char q;
      const size_t ql = quoteAt(i, q);
      if (c == '/' && i + 1 < n_ && s_[i + 1] == '*') {
        i = comment(i);
      } else if (ql != 0) {
        i = string(i + ql, q, imageSet_ != 0 && depth_ == imageSet_ ? kRefRequisite : 0);
      } else if (c == '@' || c == '#') {
        const size_t j = ident(i + 1);
        i = c == '@' && equalsLower(s_.substr(i + 1, j - i - 1), "import") ? import(j) : j;
      } else if (c == '(') {
        ++depth_;
        ++i;
      } else if (c == ')') {
        if (depth_ > 0) --depth_;
        if (imageSet_ > depth_) imageSet_ = 0;
        ++i;
      } else if (isNameChar(c) || escapeAt(i)) {
        i = word(i);
      } else {
        ++i;
      }
    }
  }

 private:
  // A backslash that escapes the next byte (not a line break).
  bool escapeAt(size_t i) const { return s_[i] == '\\' && !(i + 1 < n_ && isNewline(s_[i + 1])); }

  // Length of a quote at i, and which one: the byte itself, or in a style
  // attribute a character reference to one (&quot; &#39; ...).
  size_t quoteAt(size_t i, char& q) const {
    if (i >= n_) return 0;
    if (s_[i] == '"' || s_[i] == '\'') {
      q = s_[i];
      return 1;
    }
    if (!inAttr_ || s_[i] != '&') return 0;
    const CharRef r = charRefAt(s_, i);
    if (r.len == 0 || (r.cp != '"' && r.cp != '\'')) return 0;
    q = static_cast<char>(r.cp);
    return r.len;
  }

  size_t comment(size_t i) const {
    const size_t end = s_.find("*/", i + 2);
    return end == kNone ? n_ : end + 2;
  }

  size_t ident(size_t i) const {
    while (i < n_) {
      if (isNameChar(s_[i])) {
        ++i;
      } else if (escapeAt(i)) {
        i = std::min(n_, i + 2);
      } else {
        break;
      }
    }
    return i;
  }

  // An identifier, a number with its unit, or a function name and its '('.
  size_t word(size_t i) {
    const size_t j = ident(i);
    if (j >= n_ || s_[j] != '(') return j;
    const string_view name = s_.substr(i, j - i);
    if (equalsLower(name, "url")) return url(j + 1, kRefRequisite);
    ++depth_;
    if (equalsLower(name, "image-set") || equalsLower(name, "-webkit-image-set")) imageSet_ = depth_;
    return j + 1;
  }

  // A string from just after its opening quote; reported as kind unless kind
  // is 0 or a line break ends it (browsers drop such a string).
  size_t string(size_t i, char q, std::uint32_t kind) {
    const size_t from = i;
    while (i < n_) {
      char close;
      const size_t ql = quoteAt(i, close);
      if (ql != 0 && close == q) {
        report(from, i, kind);
        return i + ql;
      }
      if (s_[i] == '\\') {
        i = std::min(n_, i + 2);
      } else if (isNewline(s_[i])) {
        return i;
      } else {
        ++i;
      }
    }
    report(from, n_, kind);
    return n_;
  }

  // From just after "url(": a quoted argument, or an unquoted URL up to ')'.
  size_t url(size_t i, std::uint32_t kind) {
    while (i < n_ && isSpace(s_[i])) ++i;
    char q;
    const size_t ql = quoteAt(i, q);
    if (ql != 0) {
      ++depth_;  // a url( function with a string; its ')' comes as usual
      return string(i + ql, q, kind);
    }
    const size_t from = i;
    while (i < n_) {
      const unsigned char c = s_[i];
      if (c == ')') {
        report(from, i, kind);
        return i + 1;
      }
      if (isSpace(c)) {
        size_t j = i;
        while (j < n_ && isSpace(s_[j])) ++j;
        if (j < n_ && s_[j] != ')') return badUrl(j);
        report(from, i, kind);
        return std::min(n_, j + 1);
      }
      if (c == '(' || c < 0x09 || c == 0x0B || (c >= 0x0E && c < 0x20) || c == 0x7F || quoteAt(i, q) != 0 ||
          (c == '\\' && !escapeAt(i))) {
        return badUrl(i);
      }
      i = c == '\\' ? std::min(n_, i + 2) : i + 1;
    }
    report(from, n_, kind);  // cut off by the end: browsers still take it
    return n_;
  }

  // The rest of a malformed url(...): up to its ')', no reference.
  size_t badUrl(size_t i) const {
    while (i < n_) {
      if (s_[i] == ')') return i + 1;
      i = escapeAt(i) ? std::min(n_, i + 2) : i + 1;
    }
    return n_;
  }

  // From just after "@import": its string or url() names a stylesheet.
  size_t import(size_t i) {
    for (;;) {
      while (i < n_ && isSpace(s_[i])) ++i;
      if (!(i + 1 < n_ && s_[i] == '/' && s_[i + 1] == '*')) break;
      i = comment(i);
    }
    char q;
    const size_t ql = quoteAt(i, q);
    if (ql != 0) return string(i + ql, q, kRefStylesheet);
    const size_t j = ident(i);
    if (j < n_ && s_[j] == '(' && equalsLower(s_.substr(i, j - i), "url")) return url(j + 1, kRefStylesheet);
    return i;
  }

  // White space inside the span goes, unless escaped ("a\ " ends in a space).
  void report(size_t b, size_t e, std::uint32_t kind) {
    if (kind == 0) return;
    while (b < e && isSpace(s_[b])) ++b;
    while (e > b && isSpace(s_[e - 1])) {
      size_t slashes = 0;
      while (e - 1 - slashes > b && s_[e - 2 - slashes] == '\\') ++slashes;
      if (slashes % 2 != 0) break;
      --e;
    }
    if (b < e) push(out_, b, e, kind | flags_);
  }

  const string_view s_;
  const size_t n_;
  const std::uint32_t flags_;
  const bool inAttr_;
  std::vector<Ref>& out_;
  std::uint32_t depth_ = 0;     // open parentheses and functions
  std::uint32_t imageSet_ = 0;  // depth inside an image-set(), 0 outside
};

// ---- HTML ----

enum class TagId {
  kOther, kA, kLink, kImg, kSrc, kVideo, kObject, kInput, kBackground, kMeta, kBase,
  kRawText, kStyle, kPlainText
};

struct TagInfo {
  string_view name;
  TagId id;
  bool rawText;  // its content up to its end tag is text, not markup
};

const TagInfo kOtherTag{"", TagId::kOther, false};
const TagInfo kTags[] = {
    {"a", TagId::kA, false},         {"area", TagId::kA, false},         {"link", TagId::kLink, false},
    {"img", TagId::kImg, false},     {"image", TagId::kImg, false},      {"source", TagId::kImg, false},
    {"script", TagId::kSrc, true},   {"iframe", TagId::kSrc, true},      {"frame", TagId::kSrc, false},
    {"embed", TagId::kSrc, false},   {"audio", TagId::kSrc, false},      {"track", TagId::kSrc, false},
    {"video", TagId::kVideo, false}, {"object", TagId::kObject, false},  {"input", TagId::kInput, false},
    {"body", TagId::kBackground, false},  {"table", TagId::kBackground, false}, {"thead", TagId::kBackground, false},
    {"tbody", TagId::kBackground, false}, {"tfoot", TagId::kBackground, false}, {"tr", TagId::kBackground, false},
    {"td", TagId::kBackground, false},    {"th", TagId::kBackground, false},    {"meta", TagId::kMeta, false},
    {"base", TagId::kBase, false},        {"style", TagId::kStyle, true},       {"textarea", TagId::kRawText, true},
    {"title", TagId::kRawText, true},     {"xmp", TagId::kRawText, true},       {"noembed", TagId::kRawText, true},
    {"noframes", TagId::kRawText, true},  {"plaintext", TagId::kPlainText, false},
};

const TagInfo& tagOf(string_view name) {
  for (const TagInfo& t : kTags) {
    if (equalsLower(name, t.name)) return t;
  }
  return kOtherTag;
}

enum Attr { kHref, kSrcAttr, kSrcset, kData, kPoster, kBackgroundAttr, kRel, kAs, kType, kHttpEquiv, kContent,
            kStyleAttr, kAttrCount };
const string_view kAttrNames[kAttrCount] = {"href", "src",  "srcset", "data",       "poster",  "background",
                                            "rel",  "as",   "type",   "http-equiv", "content", "style"};

int attrOf(string_view name) {
  for (int a = 0; a < kAttrCount; ++a) {
    if (equalsLower(name, kAttrNames[a])) return a;
  }
  return -1;
}

struct Value {
  size_t b = 0, e = 0;
  bool seen = false;
};
using Values = std::array<Value, kAttrCount>;

// Link types whose target is needed to show the page.
const string_view kRequisiteRels[] = {"icon", "apple-touch-icon", "apple-touch-icon-precomposed", "mask-icon",
                                      "preload", "modulepreload", "manifest"};

class HtmlScan {
 public:
  HtmlScan(string_view s, std::vector<Ref>& out) : s_(s), n_(s.size()), out_(out) {}

  void run() {
    size_t i = 0;
    while (i < n_) {
      const void* lt = std::memchr(s_.data() + i, '<', n_ - i);
      if (lt == nullptr) return;
      i = static_cast<size_t>(static_cast<const char*>(lt) - s_.data());
      if (i + 1 >= n_) return;
      const unsigned char c = s_[i + 1];
      if (isAlpha(c)) {
        i = startTag(i + 1);
      } else if (c == '/') {
        i = endTag(i + 2);
      } else if (c == '!') {
        i = startsLower(s_, i, n_, "<!--") ? comment(i + 4) : bogus(i + 2);
      } else if (c == '?') {
        i = bogus(i + 1);
      } else {
        ++i;
      }
    }
  }

 private:
  size_t bogus(size_t i) const {
    const size_t gt = s_.find('>', i);
    return gt == kNone ? n_ : gt + 1;
  }

  // From just after "<!--" to after "-->" or "--!>"; "<!-->" and "<!--->"
  // close at once.
  size_t comment(size_t i) const {
    if (i < n_ && s_[i] == '>') return i + 1;
    if (i + 1 < n_ && s_[i] == '-' && s_[i + 1] == '>') return i + 2;
    for (;;) {
      const size_t d = s_.find("--", i);
      if (d == kNone) return n_;
      if (d + 2 < n_ && s_[d + 2] == '>') return d + 3;
      if (d + 3 < n_ && s_[d + 2] == '!' && s_[d + 3] == '>') return d + 4;
      i = d + 1;
    }
  }

  size_t tagName(size_t i) const {
    while (i < n_ && !isSpace(s_[i]) && s_[i] != '/' && s_[i] != '>') ++i;
    return i;
  }

  // From just after "</": end tags hold attributes too, whose quoted values
  // may hide a '>'.
  size_t endTag(size_t i) {
    if (i >= n_) return n_;
    if (s_[i] == '>') return i + 1;
    if (!isAlpha(s_[i])) return bogus(i);
    Values ignored;
    const size_t end = attributes(tagName(i), ignored);
    return end == kNone ? n_ : end;
  }

  size_t startTag(size_t i) {
    const size_t nameEnd = tagName(i);
    const TagInfo& tag = tagOf(s_.substr(i, nameEnd - i));
    Values v;
    const size_t end = attributes(nameEnd, v);
    if (end == kNone) return n_;  // cut off: browsers drop the tag
    emit(tag.id, v);
    if (tag.id == TagId::kPlainText) return n_;
    if (!tag.rawText) return end;
    const size_t close = endTagOf(end, tag.name);
    if (tag.id == TagId::kStyle) CssScan(s_.substr(0, close), kRefInCss, out_).run(end);
    return close;
  }

  // The '<' of the end tag "</name" that closes raw text, or the end.
  size_t endTagOf(size_t i, string_view name) const {
    for (;;) {
      const size_t lt = s_.find("</", i);
      if (lt == kNone) return n_;
      const size_t after = lt + 2 + name.size();
      if (startsLower(s_, lt + 2, n_, name) && after < n_ && (isSpace(s_[after]) || s_[after] == '/' || s_[after] == '>')) {
        return lt;
      }
      i = lt + 1;
    }
  }

  // Attributes from just after the tag name to just after the tag's '>'
  // (kNone when the input ends first). The first of duplicates counts.
  size_t attributes(size_t i, Values& v) const {
    for (;;) {
      while (i < n_ && (isSpace(s_[i]) || s_[i] == '/')) ++i;
      if (i >= n_) return kNone;
      if (s_[i] == '>') return i + 1;
      const size_t name = i++;  // a name may start with '='
      while (i < n_ && !isSpace(s_[i]) && s_[i] != '/' && s_[i] != '>' && s_[i] != '=') ++i;
      const int a = attrOf(s_.substr(name, i - name));
      while (i < n_ && isSpace(s_[i])) ++i;
      size_t vb = i, ve = i;
      if (i < n_ && s_[i] == '=') {
        ++i;
        while (i < n_ && isSpace(s_[i])) ++i;
        if (i >= n_) return kNone;
        if (s_[i] == '"' || s_[i] == '\'') {
          const void* q = std::memchr(s_.data() + i + 1, s_[i], n_ - i - 1);
          if (q == nullptr) return kNone;
          vb = i + 1;
          ve = static_cast<size_t>(static_cast<const char*>(q) - s_.data());
          i = ve + 1;
        } else {
          vb = i;
          while (i < n_ && !isSpace(s_[i]) && s_[i] != '>') ++i;
          ve = i;
        }
      }
      if (a >= 0 && !v[a].seen) v[a] = Value{vb, ve, true};
    }
  }

  void add(size_t b, size_t e, std::uint32_t kind) {
    while (b < e && isSpace(s_[b])) ++b;
    while (e > b && isSpace(s_[e - 1])) --e;
    if (b < e && kind != 0) push(out_, b, e, kind | kRefInAttr);
  }
  void add(const Value& v, std::uint32_t kind) {
    if (v.seen) add(v.b, v.e, kind);
  }

  bool valueIs(const Value& v, string_view lowerName) const {
    return v.seen && equalsLower(s_.substr(v.b, v.e - v.b), lowerName);
  }

  void emit(TagId id, const Values& v) {
    const size_t mark = out_.size();
    switch (id) {
      case TagId::kA: add(v[kHref], kRefNavigation); break;
      case TagId::kLink: add(v[kHref], linkKind(v)); break;
      case TagId::kImg:
        add(v[kSrcAttr], kRefRequisite);
        if (v[kSrcset].seen) srcset(v[kSrcset].b, v[kSrcset].e);
        break;
      case TagId::kSrc: add(v[kSrcAttr], kRefRequisite); break;
      case TagId::kVideo:
        add(v[kSrcAttr], kRefRequisite);
        add(v[kPoster], kRefRequisite);
        break;
      case TagId::kObject: add(v[kData], kRefRequisite); break;
      case TagId::kInput:
        if (valueIs(v[kType], "image")) add(v[kSrcAttr], kRefRequisite);
        break;
      case TagId::kBackground: add(v[kBackgroundAttr], kRefRequisite); break;
      case TagId::kMeta:
        if (valueIs(v[kHttpEquiv], "refresh") && v[kContent].seen) refresh(v[kContent].b, v[kContent].e);
        break;
      case TagId::kBase: add(v[kHref], kRefBase); break;
      default: break;
    }
    if (v[kStyleAttr].seen) {
      CssScan(s_.substr(0, v[kStyleAttr].e), kRefInCss | kRefInAttr, out_).run(v[kStyleAttr].b);
    }
    if (out_.size() - mark > 1) {
      std::sort(out_.begin() + static_cast<std::ptrdiff_t>(mark), out_.end(),
                [](const Ref& x, const Ref& y) { return x.start < y.start; });
    }
  }

  std::uint32_t linkKind(const Values& v) const {
    bool requisite = false, stylesheet = false, preload = false, other = false, any = false;
    const Value& rel = v[kRel];
    size_t i = rel.b;
    while (rel.seen && i < rel.e) {
      while (i < rel.e && isSpace(s_[i])) ++i;
      const size_t from = i;
      while (i < rel.e && !isSpace(s_[i])) ++i;
      if (from == i) break;
      const string_view token = s_.substr(from, i - from);
      any = true;
      if (equalsLower(token, "stylesheet")) {
        stylesheet = true;
      } else if (std::any_of(std::begin(kRequisiteRels), std::end(kRequisiteRels),
                             [&](string_view r) { return equalsLower(token, r); })) {
        requisite = true;
        preload = preload || equalsLower(token, "preload");
      } else if (!equalsLower(token, "dns-prefetch") && !equalsLower(token, "preconnect")) {
        other = true;
      }
    }
    // A preload as=style usually becomes a stylesheet by script.
    if (stylesheet || (preload && valueIs(v[kAs], "style"))) return kRefStylesheet;
    if (requisite) return kRefRequisite;
    return any && !other ? 0 : kRefNavigation;  // only origins to connect to: nothing to fetch
  }

  // Each candidate URL of a srcset: up to white space; a comma ends a
  // candidate after its URL or its descriptors, not inside "(...)".
  void srcset(size_t i, size_t e) {
    for (;;) {
      while (i < e && (isSpace(s_[i]) || s_[i] == ',')) ++i;
      if (i >= e) return;
      const size_t from = i;
      while (i < e && !isSpace(s_[i])) ++i;
      size_t to = i;
      if (s_[to - 1] == ',') {
        while (s_[to - 1] == ',') --to;  // stops at from: s_[from] is no comma
        add(from, to, kRefRequisite);
        continue;
      }
      add(from, to, kRefRequisite);
      for (bool paren = false; i < e; ++i) {
        if (paren) {
          paren = s_[i] != ')';
        } else if (s_[i] == ',') {
          break;
        } else {
          paren = s_[i] == '(';
        }
      }
    }
  }

  // The URL of a refresh: "5; url='x'" and its looser shapes.
  void refresh(size_t i, size_t e) {
    auto skipSpace = [&](size_t p) {
      while (p < e && isSpace(s_[p])) ++p;
      return p;
    };
    i = skipSpace(i);
    const size_t time = i;
    while (i < e && isDigit(s_[i])) ++i;
    if (i == time && !(i < e && s_[i] == '.')) return;
    while (i < e && (isDigit(s_[i]) || s_[i] == '.')) ++i;
    if (i >= e || !(isSpace(s_[i]) || s_[i] == ';' || s_[i] == ',')) return;
    i = skipSpace(i);
    if (i < e && (s_[i] == ';' || s_[i] == ',')) ++i;
    i = skipSpace(i);
    if (i >= e) return;
    bool quotes = lower(s_[i]) != 'u';
    if (startsLower(s_, i, e, "url")) {
      const size_t eq = skipSpace(i + 3);
      if (eq < e && s_[eq] == '=') {
        i = skipSpace(eq + 1);
        quotes = true;
      }
    }
    size_t end = e;
    if (quotes && i < e && (s_[i] == '"' || s_[i] == '\'')) {
      const size_t q = s_.substr(0, e).find(s_[i], i + 1);
      ++i;
      if (q != kNone) end = q;
    }
    add(i, end, kRefNavigation);
  }

  const string_view s_;
  const size_t n_;
  std::vector<Ref>& out_;
};

}  // namespace

std::vector<Ref> scanHtml(std::string_view bytes) {
  std::vector<Ref> out;
  HtmlScan(capped(bytes), out).run();
  return out;
}

std::vector<Ref> scanCss(std::string_view bytes) {
  std::vector<Ref> out;
  CssScan(capped(bytes), kRefInCss, out).run(0);
  return out;
}

namespace {

// File types a script loads for its page.
bool loadableType(string_view name) {
  static const char* const kTypes[] = {".js", ".mjs", ".css", ".json", ".png", ".gif", ".jpg", ".jpeg",
                                       ".svg", ".webp", ".ico", ".woff", ".woff2", ".ttf", ".otf"};
  const size_t dot = name.rfind('.');
  if (dot == kNone || dot == 0) return false;
  const string_view ext = name.substr(dot);
  for (const char* t : kTypes) {
    if (ext.size() == string_view(t).size() && equalsLower(ext, t)) return true;
  }
  return false;
}

// One relative path: letters, digits and "._-/~", no scheme, not from the root.
bool relativeFile(string_view s) {
  if (s.empty() || s.size() > 512 || s[0] == '/' || s.find("//") != kNone) return false;
  for (char c : s) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                    c == '_' || c == '-' || c == '/' || c == '~';
    if (!ok) return false;
  }
  return loadableType(s.substr(s.rfind('/') == kNone ? 0 : s.rfind('/') + 1));
}

}  // namespace

std::vector<Ref> scanScript(std::string_view bytes) {
  std::vector<Ref> out;
  const string_view in = capped(bytes);
  size_t i = 0;
  while (i < in.size()) {
    const char c = in[i];
    if (c == '/' && i + 1 < in.size() && in[i + 1] == '/') {
      const size_t nl = in.find('\n', i);
      i = nl == kNone ? in.size() : nl + 1;
    } else if (c == '/' && i + 1 < in.size() && in[i + 1] == '*') {
      const size_t close = in.find("*/", i + 2);
      i = close == kNone ? in.size() : close + 2;
    } else if (c == '"' || c == '\'' || c == '`') {
      // to the closing quote on the same line (a template literal may span lines)
      size_t j = i + 1;
      bool plain = true;
      while (j < in.size() && in[j] != c && (c == '`' || in[j] != '\n')) {
        if (in[j] == '\\') {
          plain = false;
          ++j;
        }
        ++j;
      }
      if (c != '`' && plain && j < in.size() && in[j] == c && relativeFile(in.substr(i + 1, j - i - 1))) {
        out.push_back(Ref{static_cast<std::uint32_t>(i + 1), static_cast<std::uint32_t>(j), kRefRequisite});
      }
      i = j + 1;
    } else {
      ++i;
    }
  }
  return out;
}

std::string decodeCharRefs(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  size_t i = 0;
  while (i < value.size()) {
    const size_t amp = value.find('&', i);
    if (amp == kNone) break;
    out.append(value.substr(i, amp - i));
    const CharRef r = charRefAt(value, amp);
    if (r.len == 0) {
      out.push_back('&');
      i = amp + 1;
    } else {
      appendUtf8(out, r.cp);
      i = amp + r.len;
    }
  }
  if (i < value.size()) out.append(value.substr(i));
  return out;
}

}  // namespace x7::text
