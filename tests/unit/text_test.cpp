#include <gtest/gtest.h>

#include "text.h"

using namespace x7::text;

TEST(StripQuotes, RemovesOneMatchingPair) {
  EXPECT_EQ(stripQuotes("\"a.gif\""), "a.gif");
  EXPECT_EQ(stripQuotes("'a.gif'"), "a.gif");
  EXPECT_EQ(stripQuotes("\"a\"b\""), "a\"b");
  EXPECT_EQ(stripQuotes("\"\""), "");
  EXPECT_EQ(stripQuotes("''"), "");
}

TEST(StripQuotes, KeepsWhatIsNotAPair) {
  EXPECT_EQ(stripQuotes("\""), "\"");
  EXPECT_EQ(stripQuotes("'a.gif\""), "'a.gif\"");
  EXPECT_EQ(stripQuotes(" 'a' "), " 'a' ");
  EXPECT_EQ(stripQuotes(""), "");
  EXPECT_EQ(stripQuotes("a"), "a");
}

TEST(RangeValue, WholeSixtyFourBitLength) {
  EXPECT_EQ(rangeValue(0), "bytes=0-");
  EXPECT_EQ(rangeValue(1024), "bytes=1024-");
  EXPECT_EQ(rangeValue(3000000000LL), "bytes=3000000000-");
  EXPECT_EQ(rangeValue(INT64_MAX), "bytes=9223372036854775807-");
}

TEST(PageNameRepair, CutsBackToLastSlash) {
  std::string u = "http://h/dir/x7fenwix.htm";
  EXPECT_EQ(repairPageName(u), PageNameRepair::Repaired);
  EXPECT_EQ(u, "http://h/dir/");
  // once cut, the text no longer ends with the page name: one repair only
  EXPECT_EQ(repairPageName(u), PageNameRepair::NotApplicable);
}

TEST(PageNameRepair, SlashFoundBeforeBackslashesReplaced) {
  std::string u = "http://h/a\\b/x7fenwix.htm";
  EXPECT_EQ(repairPageName(u), PageNameRepair::Repaired);
  EXPECT_EQ(u, "http://h/a/b/");
  std::string v = "http://h/a/b\\x7fenwix.htm";
  EXPECT_EQ(repairPageName(v), PageNameRepair::Repaired);
  EXPECT_EQ(v, "http://h/a/");
}

TEST(PageNameRepair, EdgeTexts) {
  std::string noSlash = "x7fenwix.htm";
  EXPECT_EQ(repairPageName(noSlash), PageNameRepair::NoSlash);
  EXPECT_EQ(noSlash, "x7fenwix.htm");
  std::string shortText = "a.htm";
  EXPECT_EQ(repairPageName(shortText), PageNameRepair::NotApplicable);
  std::string other = "http://h/X7FENWIX.HTM";
  EXPECT_EQ(repairPageName(other), PageNameRepair::NotApplicable);
}

TEST(CaretRepair, ReplacesEveryCaretOnce) {
  std::string u = "http://h/page.asp^id=3^x";
  EXPECT_TRUE(repairCaret(u));
  EXPECT_EQ(u, "http://h/page.asp?id=3?x");
  EXPECT_FALSE(repairCaret(u));
}

TEST(Climb, CountsLeadingSteps) {
  EXPECT_EQ(climbCount("../../site 8080/dir/p.htm"), 2);
  EXPECT_EQ(climbCount("../q.htm"), 1);
  EXPECT_EQ(climbCount("p.htm"), 0);
  EXPECT_EQ(climbCount("..//../x"), 1);
  EXPECT_EQ(climbCount("../.."), 1);
  EXPECT_EQ(climbCount("../../"), 2);
}

TEST(Rebuild, SpaceBeforeFirstSlashIsThePortColon) {
  EXPECT_EQ(rebuildUrl("http", "site 8080/dir/p.htm"), "http://site:8080/dir/p.htm");
  EXPECT_EQ(rebuildUrl("http", "site 8080"), "http://site:8080");
  EXPECT_EQ(rebuildUrl("http", "site/a b.htm"), "http://site/a b.htm");
  EXPECT_EQ(rebuildUrl("https", "p.htm"), "https://p.htm");
  EXPECT_EQ(rebuildUrl("http", ""), "http://");
}

struct PathCase {
  const char* parent;
  const char* target;
  char sep;
  const char* expected;
};

TEST(RelativePath, WorkedExamples) {
  const PathCase cases[] = {
      {"/m/site/dir/page.htm", "/m/site/img/a.gif", '/', "../img/a.gif"},
      {"/m/site/page.htm", "/m/site/img/a.gif", '/', "img/a.gif"},
      {"/m/site/dir/page.htm", "/m/site/dir/b.htm", '/', "b.htm"},
      {"/m/site/d1/d2/page.htm", "/m/site/a.gif", '/', "../../a.gif"},
      {"/m/site/dir10/page.htm", "/m/site/dir1/a.gif", '/', "../dir1/a.gif"},
      {"/m/site/dir1/page.htm", "/m/site/dir10/a.gif", '/', "../dir10/a.gif"},
      {"C:\\m\\site\\dir\\page.htm", "C:\\m\\site\\img\\a.gif", '\\', "../img/a.gif"},
      {"C:\\a\\page.htm", "D:\\b\\a.gif", '\\', "../../D:/b/a.gif"},
      // backslashes are no separator on Linux and stay as they are
      {"/m/s/p.htm", "/m/s/a\\b.gif", '/', "a\\b.gif"},
      // the target's file name always stays, even when it equals a directory of the parent
      {"/m/site/page.htm", "/m/site", '/', "../site"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(relativePath(c.parent, c.target, c.sep), c.expected) << c.parent << " -> " << c.target;
  }
}

TEST(DiscoveredLink, CharacterReferencesDecodedAfterTheQuotes) {
  using x7::text::discoveredLink;
  EXPECT_EQ(discoveredLink("\"list.html?page=2&amp;sort=asc\""), "list.html?page=2&sort=asc");
  EXPECT_EQ(discoveredLink("'a&#38;b&#x26;c'"), "a&b&c");
  EXPECT_EQ(discoveredLink("na&#239;ve.html"), "na\xC3\xAFve.html");
  // unknown names and '&' alone stay; quotes that are no pair stay too
  EXPECT_EQ(discoveredLink("a&bogus;b&c"), "a&bogus;b&c");
  EXPECT_EQ(discoveredLink("'m.htm\""), "'m.htm\"");
  EXPECT_EQ(discoveredLink("''"), "");
}

TEST(DiscoveredLink, KeepsReferencesTheHostStringCannotTake) {
  using x7::text::discoveredLink;
  // outside the Basic Multilingual Plane: 4-byte UTF-8 is no modified UTF-8
  EXPECT_EQ(discoveredLink("a&#x1F600;.html"), "a&#x1F600;.html");
  // a NUL would cut the host string short
  const std::string nul = discoveredLink("a&#0;b");
  EXPECT_EQ(nul.find('\0'), std::string::npos);
}
