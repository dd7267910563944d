#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "refscan.h"

using namespace x7::text;

namespace {

using Found = std::vector<std::pair<std::string, std::uint32_t>>;

// Each reported span cut out of the input, with its kind; also checks that
// spans lie inside the input in increasing order.
Found cut(std::string_view in, const std::vector<Ref>& refs) {
  Found out;
  std::uint32_t last = 0;
  for (const Ref& r : refs) {
    EXPECT_LE(last, r.start);
    EXPECT_LT(r.start, r.end);
    EXPECT_LE(r.end, in.size());
    last = r.end;
    out.emplace_back(std::string(in.substr(r.start, r.end - r.start)), r.kind);
  }
  return out;
}
Found html(std::string_view in) { return cut(in, scanHtml(in)); }
Found css(std::string_view in) { return cut(in, scanCss(in)); }

constexpr std::uint32_t kNav = kRefNavigation | kRefInAttr;
constexpr std::uint32_t kReq = kRefRequisite | kRefInAttr;
constexpr std::uint32_t kSheet = kRefStylesheet | kRefInAttr;
constexpr std::uint32_t kStyleReq = kRefRequisite | kRefInCss | kRefInAttr;
constexpr std::uint32_t kCssReq = kRefRequisite | kRefInCss;
constexpr std::uint32_t kCssSheet = kRefStylesheet | kRefInCss;

}  // namespace

TEST(ScanHtml, EveryElementAndAttribute) {
  const std::string page =
      "<BASE HREF=/root/><a href=a.htm><area href='m.htm'><img src=i.gif><image src=i2.gif>"
      "<script src=s.js></script><iframe src=f.htm></iframe><frame src=fr.htm><embed src=e.swf>"
      "<object data=o.swf><video src=v.mp4 poster=p.jpg><audio src=a.mp3><track src=t.vtt>"
      "<source src=so.webm><input type=IMAGE src=btn.gif><input src=no.gif>"
      "<body background=b.gif><table background=t.gif><td background=td.gif>"
      "<div href=no.htm src=no.gif>";
  EXPECT_EQ(html(page), (Found{{"/root/", kRefBase | kRefInAttr}, {"a.htm", kNav}, {"m.htm", kNav},
                               {"i.gif", kReq}, {"i2.gif", kReq}, {"s.js", kReq}, {"f.htm", kReq},
                               {"fr.htm", kReq}, {"e.swf", kReq}, {"o.swf", kReq}, {"v.mp4", kReq},
                               {"p.jpg", kReq}, {"a.mp3", kReq}, {"t.vtt", kReq}, {"so.webm", kReq},
                               {"btn.gif", kReq}, {"b.gif", kReq}, {"t.gif", kReq}, {"td.gif", kReq}}));
}

TEST(ScanHtml, LinkKindFollowsRel) {
  EXPECT_EQ(html("<link rel=stylesheet href=s.css><link rel='Alternate StyleSheet' href=alt.css>"
                 "<link rel='shortcut icon' href=f.ico><link rel=modulepreload href=m.js>"
                 "<link rel=preload as=style href=p.css><link rel=preload as=font href=f.woff2>"
                 "<link rel=manifest href=app.json><link rel=next href=2.htm><link href=none.htm>"
                 "<link rel=preconnect href=//cdn.example><link rel='dns-prefetch next' href=n.htm>"),
            (Found{{"s.css", kSheet}, {"alt.css", kSheet}, {"f.ico", kReq}, {"m.js", kReq}, {"p.css", kSheet},
                   {"f.woff2", kReq}, {"app.json", kReq}, {"2.htm", kNav}, {"none.htm", kNav}, {"n.htm", kNav}}));
}

TEST(ScanHtml, AttributeValuesAsBrowsersTokenise) {
  // quotes of either kind, none, spaces around '=' and inside quotes, '>' in
  // quotes, no space between attributes, upper case, first duplicate wins
  EXPECT_EQ(html("<IMG SRC = \" a b.gif \"><a title='x>y' href='q\"uote.htm'><img alt=\"\"src=c.gif>"
                 "<a href=d.htm/><img src=first.gif src=second.gif><img src src=no.gif><a href=\"\">"
                 "<a href=&quot;e&amp;f.htm>"),
            (Found{{"a b.gif", kReq}, {"q\"uote.htm", kNav}, {"c.gif", kReq}, {"d.htm/", kNav},
                   {"first.gif", kReq}, {"&quot;e&amp;f.htm", kNav}}));
}

TEST(ScanHtml, SkipsCommentsRawTextAndCutOffTags) {
  EXPECT_EQ(html("<!-- <img src=c1.gif> --><!--><img src=a.gif><!---><img src=b.gif>"
                 "<!-- x --!><img src=c.gif><!DOCTYPE html><?xml x?>"
                 "<script>document.write('<img src=s.gif>')</scripty></script ><img src=d.gif>"
                 "<textarea><img src=t.gif></textarea><title><a href=t.htm></title>"
                 "<noscript><img src=ns.gif></noscript></p title='<img src=e.gif>'><img src=f.gif>"),
            (Found{{"a.gif", kReq}, {"b.gif", kReq}, {"c.gif", kReq}, {"d.gif", kReq}, {"ns.gif", kReq},
                   {"f.gif", kReq}}));
  EXPECT_EQ(html("<img src=a.gif><!-- <img src=b.gif>"), (Found{{"a.gif", kReq}}));
  EXPECT_EQ(html("<img src=a.gif><img src=\"b.gif"), (Found{{"a.gif", kReq}}));
  EXPECT_EQ(html("<img src=a.gif><img src=b.gif"), (Found{{"a.gif", kReq}}));
  EXPECT_EQ(html("<script><img src=a.gif></script"), Found{});
  EXPECT_EQ(html("<plaintext><img src=a.gif>"), Found{});
  EXPECT_EQ(html(""), Found{});
  EXPECT_EQ(html("<"), Found{});
}

TEST(ScanHtml, Srcset) {
  EXPECT_EQ(html("<img srcset=' a.jpg 1x,b.jpg 2x ,  data:image/png;base64,AA== 3x,c.jpg,,, d.jpg'>"
                 "<source srcset=\"e.jpg (a, b) 1x, f.jpg 100w\"><img src=g.jpg srcset=h.jpg>"),
            (Found{{"a.jpg", kReq}, {"b.jpg", kReq}, {"data:image/png;base64,AA==", kReq}, {"c.jpg", kReq},
                   {"d.jpg", kReq}, {"e.jpg", kReq}, {"f.jpg", kReq}, {"g.jpg", kReq}, {"h.jpg", kReq}}));
}

TEST(ScanHtml, MetaRefresh) {
  EXPECT_EQ(html("<meta http-equiv=Refresh content=\"5; URL='a.htm'\"><meta http-equiv=refresh content='0;url=b.htm'>"
                 "<meta http-equiv=refresh content=\"1, 'c.htm' x\"><meta http-equiv=refresh content='2 ; d.htm '>"
                 "<meta http-equiv=refresh content='.5;url = \"e.htm'><meta http-equiv=refresh content=7>"
                 "<meta http-equiv=refresh content='x; url=no.htm'><meta name=refresh content='0;url=no.htm'>"
                 "<meta http-equiv=refresh content='3x no.htm'><meta http-equiv=refresh content='0;urlf.htm'>"),
            (Found{{"a.htm", kNav}, {"b.htm", kNav}, {"c.htm", kNav}, {"d.htm", kNav}, {"e.htm", kNav},
                   {"urlf.htm", kNav}}));
}

TEST(ScanHtml, StyleElementsAndAttributes) {
  EXPECT_EQ(html("<style>@import 'a.css'; b { background: url(b.png) }</STYLE><style>/*</style>"
                 "<p style=\"background:url(&quot;c.png&quot;) ; x: url('d.png')\"></p>"
                 "<span style='background:url(\"e.png\")' src=no.gif>"),
            (Found{{"a.css", kCssSheet}, {"b.png", kCssReq}, {"c.png", kStyleReq}, {"d.png", kStyleReq},
                   {"e.png", kStyleReq}}));
  // refs of a tag come in byte order whatever the order of its attributes
  EXPECT_EQ(html("<body style='background:url(x.png)' background=y.png>"),
            (Found{{"x.png", kStyleReq}, {"y.png", kReq}}));
}

TEST(ScanCss, UrlsImportsAndImageSets) {
  EXPECT_EQ(css("@import url(\"a.css\") screen; @IMPORT /* c */ 'b.css'; @import url( c.css );"
                "x { background: URL( d.png ) ; src: url('e.woff') format('woff'), url(\"f\\\".ttf\") }"
                "y { content: 'url(no.png)'; background: image-set('g.png' 1x, url(h.png) 2x) 'no' }"
                "z { b: myurl(no.png) url() #url(no.png) url(bad\"no.png) url(i\\).png) }"),
            (Found{{"a.css", kCssSheet}, {"b.css", kCssSheet}, {"c.css", kCssSheet}, {"d.png", kCssReq},
                   {"e.woff", kCssReq}, {"f\\\".ttf", kCssReq}, {"g.png", kCssReq}, {"h.png", kCssReq},
                   {"i\\).png", kCssReq}}));
}

TEST(ScanCss, CutOffAndBrokenShapes) {
  EXPECT_EQ(css("a { b: url(x.png"), (Found{{"x.png", kCssReq}}));
  EXPECT_EQ(css("a { b: url(  x.png   "), (Found{{"x.png", kCssReq}}));
  EXPECT_EQ(css("a { b: url('x.png"), (Found{{"x.png", kCssReq}}));
  EXPECT_EQ(css("url('x\\ ')"), (Found{{"x\\ ", kCssReq}}));  // the escaped space stays
  EXPECT_EQ(css("/* url(no.png) "), Found{});
  EXPECT_EQ(css("url('no\n.png) url(y.png)"), (Found{{"y.png", kCssReq}}));
  EXPECT_EQ(css("'a\\'url(no.png)' url(z.png) \\"), (Found{{"z.png", kCssReq}}));
  EXPECT_EQ(css("url(a b) url(ok.png)"), (Found{{"ok.png", kCssReq}}));
  EXPECT_EQ(css("url("), Found{});
  EXPECT_EQ(css("@import"), Found{});
}

TEST(Refscan, MegabyteValues) {
  const std::string big(1 << 20, 'x');
  const std::string page = "<a href='" + big + "'><img src=" + big + "><p style='" + big + "'><img src=\"" + big;
  const auto refs = scanHtml(page);
  ASSERT_EQ(refs.size(), 2u);
  EXPECT_EQ(refs[0].start, 9u);
  EXPECT_EQ(refs[0].end - refs[0].start, big.size());
  EXPECT_EQ(refs[1].end - refs[1].start, big.size());
  const auto cssRefs = scanCss("a{b:url(" + big);
  ASSERT_EQ(cssRefs.size(), 1u);
  EXPECT_EQ(cssRefs[0].end, 8 + big.size());
  EXPECT_TRUE(scanHtml("<!--" + big).empty());
  EXPECT_EQ(decodeCharRefs("&#" + std::string(1 << 20, '9') + ";"), "\xEF\xBF\xBD");
}

TEST(DecodeCharRefs, AsInAttributes) {
  EXPECT_EQ(decodeCharRefs("a.cgi?x=1&amp;y=2&#38;z=3&#x26;w=&#X3C;"), "a.cgi?x=1&y=2&z=3&w=<");
  EXPECT_EQ(decodeCharRefs("&lt&gt;&quot;&apos;&nbsp;&copy;&euro;&hellip;"),
            "<>\"'\xC2\xA0\xC2\xA9\xE2\x82\xAC\xE2\x80\xA6");
  // without ';': legacy names only, and not before '=' or an alphanumeric
  EXPECT_EQ(decodeCharRefs("?a=1&amp b&copy=2&copyx&ampy&apos &euro &unknown; &#; &#x; & &"),
            "?a=1& b&copy=2&copyx&ampy&apos &euro &unknown; &#; &#x; & &");
  EXPECT_EQ(decodeCharRefs("&#65&#0;&#128;&#x110000;&#xD800;&#129;&#x1F600;"),
            "A\xEF\xBF\xBD\xE2\x82\xAC\xEF\xBF\xBD\xEF\xBF\xBD\xC2\x81\xF0\x9F\x98\x80");
  EXPECT_EQ(decodeCharRefs("\xE9t\xE9&amp;"), "\xE9t\xE9&");  // other bytes copied as they are
  EXPECT_EQ(decodeCharRefs(""), "");
}

TEST(ScanScript, QuotedFileNamesOfTypesPagesLoad) {
  const std::string js =
      "// 'commented.js'\n/* \"also.css\" */\n"
      "createElem(doc, tag, 'search.js'); var s = \"img/x.PNG\"; var t = `tpl.js`;\n"
      "var u = 'http://h/abs.js', r = '/root.js', w = 'two words.js', n = 'name', e = 'a\\'b.js';\n"
      "var up = '../up/fonts/f.woff2'; var cut = 'open.js\n";
  std::vector<std::string> got;
  for (const auto& r : x7::text::scanScript(js)) {
    EXPECT_EQ(r.kind, x7::text::kRefRequisite);
    got.push_back(js.substr(r.start, r.end - r.start));
  }
  EXPECT_EQ(got, (std::vector<std::string>{"search.js", "img/x.PNG", "../up/fonts/f.woff2"}));
}
