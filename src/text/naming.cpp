#include "naming.h"

#include <cstring>
#include <vector>

namespace x7 {

namespace {

// ---- SHA-256 (FIPS 180-4) ----

constexpr std::uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

inline std::uint32_t rotr(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

void compress(std::uint32_t h[8], const std::uint8_t block[64]) {
  std::uint32_t w[64];
  for (int i = 0; i < 16; ++i) {
    w[i] = (std::uint32_t(block[4 * i]) << 24) | (std::uint32_t(block[4 * i + 1]) << 16) |
           (std::uint32_t(block[4 * i + 2]) << 8) | std::uint32_t(block[4 * i + 3]);
  }
  for (int i = 16; i < 64; ++i) {
    const std::uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
    const std::uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
    w[i] = w[i - 16] + s0 + w[i - 7] + s1;
  }
  std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], k = h[7];
  for (int i = 0; i < 64; ++i) {
    const std::uint32_t t1 = k + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) + kRound[i] + w[i];
    const std::uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
    k = g;
    g = f;
    f = e;
    e = d + t1;
    d = c;
    c = b;
    b = a;
    a = t1 + t2;
  }
  h[0] += a;
  h[1] += b;
  h[2] += c;
  h[3] += d;
  h[4] += e;
  h[5] += f;
  h[6] += g;
  h[7] += k;
}

// ---- bytes of names ----

constexpr char kHex[] = "0123456789ABCDEF";

bool isHex(unsigned char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// Escapes in names use upper-case digits only, so that "c_abort.html" and the
// like keep their names.
bool isUpperHex(unsigned char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

int hexValue(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c - 'A' + 10;
}

// Bytes no file name may hold on some system, or that would change what a
// relative link means, or that the rule itself uses ('%' for URLs, '^' before
// a query); control bytes and everything outside printable ASCII.
bool mustEscape(unsigned char c) {
  return c < 0x20 || c >= 0x7f || std::strchr("/\\:*?\"<>|#%^", c) != nullptr;
}

bool isUnreserved(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_' || c == '~';
}

// Bytes that may stand unescaped in a URL path or query.
bool urlSafe(unsigned char c) { return isUnreserved(c) || std::strchr("!$&'()*+,;=:@", c) != nullptr; }

// "_HH" at i of an encoded name.
bool escapeAt(std::string_view s, std::size_t i) {
  return i + 2 < s.size() && s[i] == '_' && isUpperHex(s[i + 1]) && isUpperHex(s[i + 2]);
}

bool startsReserved(std::string_view s) {
  if (s.size() < kReservedPrefix.size()) return false;
  for (std::size_t i = 0; i < kReservedPrefix.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c - 'A' + 'a');
    if (c != static_cast<unsigned char>(kReservedPrefix[i])) return false;
  }
  return true;
}

void appendEscape(std::string& out, unsigned char c, char mark) {
  out.push_back(mark);
  out.push_back(kHex[c >> 4]);
  out.push_back(kHex[c & 15]);
}

// One byte of a decoded name; escaped when it must be written as "_HH".
struct Unit {
  unsigned char byte;
  bool escaped;
};
using Units = std::vector<Unit>;

// Percent-decodes text; an invalid escape stands for itself. An escape of a
// byte in keep stays an escape.
Units decode(std::string_view text, const char* keep) {
  Units out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '%' && i + 2 < text.size() && isHex(text[i + 1]) && isHex(text[i + 2])) {
      const auto b = static_cast<unsigned char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
      out.push_back({b, b != 0 && std::strchr(keep, b) != nullptr});
      i += 2;
    } else {
      out.push_back({c, false});
    }
  }
  return out;
}

// Writes decoded bytes as a name. A literal '_' before two hex digits is
// escaped too, so that every "_HH" in a name is an escape.
void emit(const Units& u, std::string& out) {
  for (std::size_t i = 0; i < u.size(); ++i) {
    const unsigned char b = u[i].byte;
    if (u[i].escaped || mustEscape(b)) {
      appendEscape(out, b, '_');
    } else if (b == '_' && i + 2 < u.size() && !u[i + 1].escaped && !u[i + 2].escaped && isUpperHex(u[i + 1].byte) &&
               isUpperHex(u[i + 2].byte)) {
      appendEscape(out, b, '_');
    } else {
      out.push_back(static_cast<char>(b));
    }
  }
}

// A literal name that would start with the reserved prefix gets its first
// byte escaped (the first byte of such a name is always a literal 'x' or 'X').
void unreserve(std::string& name) {
  if (!startsReserved(name)) return;
  std::string first;
  appendEscape(first, static_cast<unsigned char>(name[0]), '_');
  name.replace(0, 1, first);
}

std::string segmentName(std::string_view raw) {
  if (raw.empty()) return std::string(kEmptySegment);
  Units u = decode(raw, "");
  const bool dots = (u.size() == 1 || u.size() == 2) && u[0].byte == '.' && u.back().byte == '.';
  if (dots) u[0].escaped = true;
  std::string name;
  emit(u, name);
  unreserve(name);
  return name;
}

// Escapes of the bytes that split a query into its parameters stay escapes:
// "a%26b=1" and "a&b=1" are different queries.
std::string queryName(std::string_view raw) {
  std::string name;
  emit(decode(raw, "&=+;"), name);
  return name;
}

// The host as given (not decoded), lower-cased; a blank separates it from the
// port and a leading '.' would hide it, so both are escaped.
std::string siteName(std::string_view host, int port) {
  std::string name;
  if (host.empty()) {
    name = kNoHost;
  } else {
    Units u;
    u.reserve(host.size());
    for (char ch : host) {
      auto c = static_cast<unsigned char>(ch);
      if (c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c - 'A' + 'a');
      u.push_back({c, c == ' '});
    }
    if (u[0].byte == '.') u[0].escaped = true;
    emit(u, name);
    unreserve(name);
  }
  if (port >= 0) name += " " + std::to_string(port);
  return name;
}

std::string hexDigits(const std::array<std::uint8_t, 32>& hash, std::size_t digits) {
  static constexpr char lower[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < digits; ++i) out.push_back(lower[(hash[i / 2] >> (i % 2 ? 0 : 4)) & 15]);
  return out;
}

// A name longer than kMaxName becomes exactly kCappedName bytes, a length no
// uncapped name has.
std::string capped(const std::string& name) {
  if (name.size() <= kMaxName) return name;
  std::size_t cut = 0;
  while (cut < kCappedPrefix) {
    const std::size_t step = escapeAt(name, cut) ? 3 : 1;
    if (cut + step > kCappedPrefix) break;
    cut += step;
  }
  std::string out = name.substr(0, cut);
  out.append(kCappedPrefix - cut + 1, '~');
  out += hexDigits(sha256(name), kCappedHashHex);
  return out;
}

// A name's extension (".css"): a dot, then one to five letters or digits,
// at its end; empty for none.
std::string_view extensionOf(std::string_view name) {
  const auto dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0 || name.size() - dot < 2 || name.size() - dot > 6) return {};
  for (std::size_t i = dot + 1; i < name.size(); ++i) {
    const char c = name[i];
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return {};
  }
  return name.substr(dot);
}

// The names below the site part, uncapped: the directories, then the last
// name with its query. A query is followed by the name's extension again
// ("style.css^v=1.css"), so that a browser reading files knows the type.
std::vector<std::string> pathNames(std::string_view rawPath, const std::string* rawQuery) {
  std::string rooted;
  if (rawPath.empty() || rawPath[0] != '/') rooted.push_back('/');
  rooted.append(rawPath);
  std::string path = removeDotSegments(rooted);
  if (path.empty() || path[0] != '/') path.insert(0, "/");

  std::vector<std::string> names;
  std::size_t from = 1;
  for (;;) {
    const auto slash = path.find('/', from);
    if (slash == std::string::npos) break;
    names.push_back(segmentName(std::string_view(path).substr(from, slash - from)));
    from = slash + 1;
  }
  // after the last slash: a file name, or nothing for a directory
  names.push_back(from == path.size() ? std::string(kDirectoryPage)
                                      : segmentName(std::string_view(path).substr(from)));
  if (rawQuery != nullptr) {
    const std::string ext(extensionOf(names.back()));
    names.back() += "^" + queryName(*rawQuery) + ext;
  }
  return names;
}

// A name written back into URL text: its escapes as "%HH" (or the byte
// itself when it is unreserved, but never a '.', so that "_2E." stays no dot
// segment), its other bytes as they are where a URL allows them.
void appendOriginal(std::string& out, std::string_view name) {
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (escapeAt(name, i)) {
      const auto b = static_cast<unsigned char>(hexValue(name[i + 1]) * 16 + hexValue(name[i + 2]));
      if (isUnreserved(b) && b != '.') {
        out.push_back(static_cast<char>(b));
      } else {
        appendEscape(out, b, '%');
      }
      i += 2;
    } else {
      const auto c = static_cast<unsigned char>(name[i]);
      if (urlSafe(c)) {
        out.push_back(static_cast<char>(c));
      } else {
        appendEscape(out, c, '%');
      }
    }
  }
}

}  // namespace

std::array<std::uint8_t, 32> sha256(std::string_view data) {
  std::uint32_t h[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                        0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::size_t i = 0;
  for (; i + 64 <= data.size(); i += 64) compress(h, reinterpret_cast<const std::uint8_t*>(data.data() + i));
  std::uint8_t tail[128] = {};
  const std::size_t rest = data.size() - i;
  if (rest != 0) std::memcpy(tail, data.data() + i, rest);
  tail[rest] = 0x80;
  const std::size_t blocks = rest + 9 <= 64 ? 1 : 2;
  const std::uint64_t bits = static_cast<std::uint64_t>(data.size()) * 8;
  for (int k = 0; k < 8; ++k) tail[blocks * 64 - 1 - k] = static_cast<std::uint8_t>(bits >> (8 * k));
  for (std::size_t b = 0; b < blocks; ++b) compress(h, tail + 64 * b);
  std::array<std::uint8_t, 32> out{};
  for (int k = 0; k < 8; ++k) {
    for (int j = 0; j < 4; ++j) out[4 * k + j] = static_cast<std::uint8_t>(h[k] >> (24 - 8 * j));
  }
  return out;
}

std::string removeDotSegments(std::string_view path) {
  std::string in(path);
  std::string out;
  std::size_t at = 0;  // the input is in[at..]
  auto starts = [&](std::string_view p) { return in.compare(at, p.size(), p) == 0; };
  auto rest = [&](std::string_view p) { return in.size() - at == p.size() && starts(p); };
  auto dropLast = [&] {
    const auto slash = out.rfind('/');
    out.resize(slash == std::string::npos ? 0 : slash);
  };
  while (at < in.size()) {
    if (starts("../")) {
      at += 3;
    } else if (starts("./")) {
      at += 2;
    } else if (starts("/./")) {
      at += 2;
    } else if (rest("/.")) {
      in.replace(at, 2, "/");
    } else if (starts("/../")) {
      at += 3;
      dropLast();
    } else if (rest("/..")) {
      in.replace(at, 3, "/");
      dropLast();
    } else if (rest(".") || rest("..")) {
      at = in.size();
    } else {
      const auto next = in.find('/', in[at] == '/' ? at + 1 : at);
      const auto end = next == std::string::npos ? in.size() : next;
      out.append(in, at, end - at);
      at = end;
    }
  }
  return out;
}

std::string localName(std::string_view host, int port, std::string_view rawPath, const std::string* rawQuery) {
  const std::string site = capped(siteName(host, port));
  const std::vector<std::string> names = pathNames(rawPath, rawQuery);
  std::string full = site;
  std::string written = site;
  for (const auto& n : names) {
    full.append("/").append(n);
    written.append("/").append(capped(n));
  }
  if (written.size() <= kMaxPath) return written;
  // Folded: the hash of the whole uncapped path keeps it apart from any other.
  std::string folded = site;
  folded.append("/").append(kLongFolder).append("/").append(hexDigits(sha256(full), kFoldHashHex));
  folded.append("/").append(capped(names.back()));
  return folded;
}

bool originalPath(std::string_view localPath, std::string& rawPath, std::string& rawQuery, bool& hasQuery) {
  // Names hold no '%': every escape here is the URL's own.
  std::string text;
  for (const Unit& u : decode(localPath, "")) text.push_back(static_cast<char>(u.byte));
  std::string_view rest = text;
  if (!rest.empty() && rest[0] == '/') rest.remove_prefix(1);
  if (rest.empty()) return false;

  std::vector<std::string_view> names;
  for (;;) {
    const auto slash = rest.find('/');
    names.push_back(rest.substr(0, slash));
    if (slash == std::string_view::npos) break;
    rest.remove_prefix(slash + 1);
  }
  std::string_view last = names.back();
  const auto caret = last.find('^');
  hasQuery = caret != std::string_view::npos;
  std::string_view query = hasQuery ? last.substr(caret + 1) : std::string_view();
  names.back() = last.substr(0, caret);
  // the name's extension after the query is the rule's, not the query's
  const std::string_view ext = extensionOf(names.back());
  if (hasQuery && !ext.empty() && query.size() >= ext.size() && query.substr(query.size() - ext.size()) == ext) {
    query.remove_suffix(ext.size());
  }
  if (last.size() > kMaxName) return false;

  rawPath = "/";
  rawQuery.clear();
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string_view n = names[i];
    const bool isLast = i + 1 == names.size();
    if (n.size() > kMaxName || n.empty()) return false;
    if (isLast && n == kDirectoryPage) break;
    if (!isLast && n == kEmptySegment) {
      rawPath.push_back('/');
      continue;
    }
    if (startsReserved(n)) return false;
    appendOriginal(rawPath, n);
    if (!isLast) rawPath.push_back('/');
  }
  if (hasQuery) appendOriginal(rawQuery, query);

  // Only a name that localName makes of the result is one: anything else
  // (a web address's own path, a name of another rule) is no local name.
  const std::vector<std::string> again = pathNames(rawPath, hasQuery ? &rawQuery : nullptr);
  std::string joined;
  for (std::size_t i = 0; i < again.size(); ++i) {
    if (i != 0) joined.push_back('/');
    joined += again[i];
  }
  std::string_view local = text;
  if (!local.empty() && local[0] == '/') local.remove_prefix(1);
  if (joined == local) return true;
  // a name of the runs before the extension followed the query: "news.html^page=2"
  return hasQuery && !ext.empty() && joined.size() == local.size() + ext.size() &&
         std::string_view(joined).substr(0, local.size()) == local;
}

}  // namespace x7
