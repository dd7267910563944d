#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "naming.h"
#include "../common/url_key.h"

using x7::localName;
using x7::originalPath;

namespace {

using x7::test::decoded;

std::string hex(const std::array<std::uint8_t, 32>& h) {
  static const char d[] = "0123456789abcdef";
  std::string s;
  for (auto b : h) {
    s.push_back(d[b >> 4]);
    s.push_back(d[b & 15]);
  }
  return s;
}

std::string name(std::string_view path) { return localName("h", -1, path, nullptr); }

std::string name(std::string_view path, const std::string& query) { return localName("h", -1, path, &query); }

std::vector<std::string> parts(const std::string& path) {
  std::vector<std::string> out;
  std::size_t from = 0;
  for (;;) {
    const auto at = path.find('/', from);
    out.push_back(path.substr(from, at == std::string::npos ? std::string::npos : at - from));
    if (at == std::string::npos) return out;
    from = at + 1;
  }
}

// What makes two URLs the same: host in lower case, port, dot segments
// removed, segments decoded; in the query, escapes of & = + ; stay escapes.
std::string normalized(const std::string& host, int port, const std::string& path, const std::string* query) {
  std::string lower;
  for (char c : host) lower.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
  std::string key = lower + '\0' + std::to_string(port) + '\0';
  for (const auto& seg : parts(x7::removeDotSegments(path.empty() || path[0] != '/' ? "/" + path : path))) {
    key += decoded(seg, "") + '\0';
  }
  if (query != nullptr) key += "?" + decoded(*query, "&=+;");
  return key;
}

// Pieces of path segments chosen to make different URLs look alike.
const std::vector<std::string> kPieces = {
    "%",    "%2",  "%25", "%2e", "%2E", ".",   "..",  "_",   "_2",  "_25", "_5F", "_5f", "_2E", "_ab",   "5F",  "2e",
    "2E",   "a",   "A",   "%41", "%61", "^",   "%5E", "_5E", " ",   "%20", "_20", "\xc3", "\xa9", "%C3%A9",
    "%00",  "~",   "x7fenwix",  "X7FENWIX", "x7fenwix.htm", "x7fenwix-long", "x7fenwix-file", "x7fenwix-empty",
    "%78",  "%2F", "%5C", "\\",  ":",   "*",   "|",   "\"",  "<",   "%3F", "#",   "%23", "&", "%26", "=", "+",
    "%2B",  ";",   "%3b", "f",   "0",   "9",   "_f0", "_F0", "%7F", "\x7f", "\x01", "%0A"};

std::string randomText(std::mt19937& r, int maxPieces) {
  std::string s;
  const int n = static_cast<int>(r() % (maxPieces + 1));
  for (int i = 0; i < n; ++i) {
    if (r() % 40 == 0) {
      s.append(150 + r() % 120, "ab_%"[r() % 4]);  // long runs
    } else {
      s += kPieces[r() % kPieces.size()];
    }
  }
  return s;
}

std::string randomPath(std::mt19937& r) {
  std::string p;
  const int segs = static_cast<int>(r() % 5);
  for (int i = 0; i < segs; ++i) p += "/" + randomText(r, 3);
  if (r() % 4 == 0) p += "/";
  if (r() % 200 == 0) {
    for (int i = 0; i < 40; ++i) p += "/" + std::string(120, 'd') + std::to_string(i);  // very long
  }
  return p;
}

}  // namespace

TEST(Sha256, KnownVectors) {
  EXPECT_EQ(hex(x7::sha256("")), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(hex(x7::sha256("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // two blocks of padding, and a whole block before them
  EXPECT_EQ(hex(x7::sha256("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(hex(x7::sha256(std::string(1000, 'a'))),
            "41edece42d63e8d9bf515a9ba6932e1c20cbc9f5a5d134645adb5db1b9737ea3");
}

TEST(RemoveDotSegments, AsRfc3986Does) {
  EXPECT_EQ(x7::removeDotSegments("/a/b/c/./../../g"), "/a/g");
  EXPECT_EQ(x7::removeDotSegments("mid/content=5/../6"), "mid/6");
  EXPECT_EQ(x7::removeDotSegments("/../a"), "/a");
  EXPECT_EQ(x7::removeDotSegments("/a/.."), "/");
  EXPECT_EQ(x7::removeDotSegments("/a/."), "/a/");
  EXPECT_EQ(x7::removeDotSegments("/.../..../x"), "/.../..../x");
  EXPECT_EQ(x7::removeDotSegments("/%2e%2e/x"), "/%2e%2e/x");
}

TEST(LocalName, NamesThatCollidedBefore) {
  EXPECT_EQ(name("/a%20b.html"), "h/a b.html");
  EXPECT_EQ(name("/a_20b.html"), "h/a_5F20b.html");
  EXPECT_EQ(name("/"), "h/x7fenwix.htm");
  EXPECT_EQ(name(""), "h/x7fenwix.htm");
  EXPECT_EQ(name("/x7fenwix.htm"), "h/_787fenwix.htm");
  EXPECT_EQ(name("/X7FenWix-long/x"), "h/_587FenWix-long/x");
  EXPECT_EQ(name("/a//b"), "h/a/x7fenwix-empty/b");
  EXPECT_EQ(name("/a^b"), "h/a_5Eb");
  EXPECT_EQ(name("/a", "b"), "h/a^b");
  EXPECT_EQ(name("/dir/", ""), "h/dir/x7fenwix.htm^.htm");
}

TEST(LocalName, EscapesAndDots) {
  EXPECT_EQ(name("/%C3%A9t%C3%A9.html"), "h/_C3_A9t_C3_A9.html");
  EXPECT_EQ(name("/\xc3\xa9t\xc3\xa9.html"), "h/_C3_A9t_C3_A9.html");
  EXPECT_EQ(name("/a%00b.html"), "h/a_00b.html");
  EXPECT_EQ(name("/100%.html"), "h/100_25.html");
  EXPECT_EQ(name("/a%2Fb%5Cc:d"), "h/a_2Fb_5Cc_3Ad");
  EXPECT_EQ(name("/../../etc/passwd"), "h/etc/passwd");
  EXPECT_EQ(name("/%2e%2e/%2E/x"), "h/_2E./_2E/x");
  EXPECT_EQ(name("/a/./b/../c"), "h/a/c");
  EXPECT_EQ(name("/_AB_ab_zz_1"), "h/_5FAB_ab_zz_1");
  EXPECT_EQ(name("/p", "q=1&r=%26&s=%2f&t=%41"), "h/p^q=1&r=_26&s=_2F&t=A");
}

TEST(LocalName, SitePart) {
  EXPECT_EQ(localName("H.Test", 8080, "/", nullptr), "h.test 8080/x7fenwix.htm");
  EXPECT_EQ(localName("..", -1, "/", nullptr), "_2E./x7fenwix.htm");
  EXPECT_EQ(localName(".", -1, "/", nullptr), "_2E/x7fenwix.htm");
  EXPECT_EQ(localName("", -1, "/", nullptr), "x7fenwix-nohost/x7fenwix.htm");
  EXPECT_EQ(localName("x7fenwix.log", -1, "/", nullptr), "_787fenwix.log/x7fenwix.htm");
  EXPECT_EQ(localName("a b", -1, "/", nullptr), "a_20b/x7fenwix.htm");
  EXPECT_EQ(localName("[::1]", 1, "/", nullptr), "[_3A_3A1] 1/x7fenwix.htm");
}

TEST(LocalName, LongNamesAreCapped) {
  for (std::size_t len = 170; len <= 300; ++len) {
    const std::string seg(len, 'n');
    const std::string got = name("/" + seg);
    const std::string last = got.substr(2);
    if (len <= x7::kMaxName) {
      EXPECT_EQ(last, seg);
    } else {
      ASSERT_EQ(last.size(), x7::kCappedName) << len;
      EXPECT_EQ(last.substr(0, 168), seg.substr(0, 168));
      EXPECT_EQ(last[168], '~');
      EXPECT_EQ(last.find_first_not_of("0123456789abcdef", 169), std::string::npos) << last;
    }
  }
  // the cut never splits an escape: it stops before it and pads with '~'
  const std::string got = name("/" + std::string(166, 'n') + "%C3%A9%C3%A9" + std::string(40, 'n'));
  ASSERT_EQ(got.size(), 2 + x7::kCappedName);
  EXPECT_EQ(got.substr(2 + 163, 6), "nnn~~~") << got;
  // a capped name with its marker and with the rewrite's temporary name fits
  EXPECT_LE(x7::kCappedName + std::string(".INCOMPLETE").size(), 255u);
  EXPECT_LE(1 + x7::kCappedName + std::string(".x7fenwix-tmp").size(), 255u);
}

TEST(LocalName, LongPathsAreFolded) {
  std::string path;
  for (int i = 0; i < 50; ++i) path += "/" + std::string(99, 'd');
  path += "/last.html";
  ASSERT_GT(path.size(), 5000u);
  const std::string got = name(path, "q");
  const auto p = parts(got);
  ASSERT_EQ(p.size(), 4u) << got;
  EXPECT_EQ(p[0], "h");
  EXPECT_EQ(p[1], "x7fenwix-long");
  EXPECT_EQ(p[2].size(), 32u);
  EXPECT_EQ(p[3], "last.html^q.html");
  // another path in the same folder keeps its own hash
  EXPECT_NE(parts(name(path + "x", "q"))[2], p[2]);
  // just under the limit nothing is folded
  std::string fits;
  while (fits.size() + 100 < x7::kMaxPath - 2) fits += "/" + std::string(99, 'e');
  EXPECT_EQ(name(fits), "h" + fits);
}

TEST(OriginalPath, InvertsRewrittenLinks) {
  std::string path, query;
  bool hasQuery = true;
  ASSERT_TRUE(originalPath("/docs/x7fenwix.htm", path, query, hasQuery));
  EXPECT_EQ(path, "/docs/");
  EXPECT_FALSE(hasQuery);
  // the name's extension follows the query; names of earlier runs lack it
  for (const char* saved : {"/news.html^page=2.html", "/news.html^page=2"}) {
    ASSERT_TRUE(originalPath(saved, path, query, hasQuery)) << saved;
    EXPECT_EQ(path, "/news.html");
    EXPECT_TRUE(hasQuery);
    EXPECT_EQ(query, "page=2");
  }
  EXPECT_EQ(name("/a.css", "x=1.2"), "h/a.css^x=1.2.css");
  EXPECT_NE(name("/a", "x=1.2.css"), name("/a.css", "x=1.2"));
  // as a URL carries it: blank and caret percent-encoded
  ASSERT_TRUE(originalPath("/a%20b_5F20.html%5Ep=_26.html", path, query, hasQuery));
  EXPECT_EQ(path, "/a%20b_20.html");
  EXPECT_EQ(query, "p=%26");
  ASSERT_TRUE(originalPath("/_2E./_C3_A9/_787fenwix.htm", path, query, hasQuery));
  EXPECT_EQ(path, "/%2E./%C3%A9/x7fenwix.htm");
  ASSERT_TRUE(originalPath("/x7fenwix-empty/x7fenwix.htm", path, query, hasQuery));
  EXPECT_EQ(path, "//");
  ASSERT_TRUE(originalPath("/c_abort.html", path, query, hasQuery));
  EXPECT_EQ(path, "/c_abort.html");
}

TEST(OriginalPath, RefusesWhatNoRunWrote) {
  std::string path, query;
  bool hasQuery;
  for (const char* p : {"/", "", "/file_2023.html", "/a_2E.html", "/%zz", "/\xc3\xa9", "/x7fenwix-long/ab/c",
                        "/b/x7fenwix-file", "/x7fenwix.htm/a", "/a//b", "/a/x7fenwix-empty", "/a^b^c"}) {
    EXPECT_FALSE(originalPath(p, path, query, hasQuery)) << p;
  }
  const std::string capped = name("/" + std::string(200, 'c')).substr(1);
  EXPECT_FALSE(originalPath(capped, path, query, hasQuery));
}

// Random URLs over pieces that make look-alikes: the rule is one-to-one on
// normalized URLs, keeps its limits, writes ASCII only, and originalPath
// gives back a URL of the same name for every name it can invert.
TEST(LocalNameProperties, OneToOneBoundedAsciiInvertible) {
  std::mt19937 r(20240617u);
  const std::vector<std::string> hosts = {"h", "H", "h 1", "x7fenwix", ".", "..", "", "a b", "%2e", "\xc3\xa9"};
  std::map<std::string, std::string> byName;  // name -> normalized URL
  int inverted = 0, capped = 0, folded = 0, sameUrl = 0;
  for (int i = 0; i < 60000; ++i) {
    const std::string host = hosts[r() % hosts.size()];
    const int port = r() % 3 == 0 ? static_cast<int>(r() % 3) : -1;
    const std::string path = randomPath(r);
    const bool withQuery = r() % 3 == 0;
    const std::string query = randomText(r, 3);
    const std::string* q = withQuery ? &query : nullptr;
    const std::string got = localName(host, port, path, q);
    const std::string key = normalized(host, port, path, q);
    const auto seen = byName.emplace(got, key);
    ASSERT_EQ(seen.first->second, key) << "two URLs share " << got << "\n  path " << path;
    if (!seen.second) ++sameUrl;

    ASSERT_LE(got.size(), 3300u) << path;
    bool isCapped = false;
    const auto names = parts(got);
    for (const auto& n : names) {
      ASSERT_FALSE(n.empty() || n == "." || n == "..") << got;
      ASSERT_LE(n.size(), x7::kCappedName) << got;
      isCapped |= n.size() == x7::kCappedName;
      for (char c : n) ASSERT_TRUE(c >= 0x20 && c < 0x7f) << got;
    }
    const bool isFolded = names.size() > 1 && names[1] == x7::kLongFolder;
    capped += isCapped;
    folded += isFolded;

    std::string origPath, origQuery;
    bool hasQuery = false;
    const std::string below = got.substr(got.find('/'));
    const bool ok = originalPath(below, origPath, origQuery, hasQuery);
    if (isCapped || isFolded) {
      EXPECT_FALSE(ok) << got;
      continue;
    }
    ASSERT_TRUE(ok) << got;
    ASSERT_EQ(hasQuery, withQuery) << got;
    ASSERT_EQ(localName(host, port, origPath, hasQuery ? &origQuery : nullptr), got) << origPath;
    ++inverted;
  }
  EXPECT_GT(inverted, 40000);
  EXPECT_GT(capped, 500);
  EXPECT_GT(folded, 50);
  EXPECT_GT(sameUrl, 100);  // look-alikes that are the same URL met
}
