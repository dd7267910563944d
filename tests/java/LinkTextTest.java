import static org.junit.jupiter.api.Assertions.assertEquals;

import java.net.URL;
import java.nio.charset.Charset;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.List;

import org.junit.jupiter.api.Test;

/**
 * Link text read as a browser reads it before a URL is made of it, and the
 * URL and the file link that come of it: character references, CSS escapes,
 * white space, raw non-ASCII, dot segments above the root, base href.
 */
class LinkTextTest {
    /** The text of every reference of a document, as the host reads it. */
    private static List<String> texts(String doc, Charset cs, boolean css) {
        byte[] b = doc.getBytes(cs);
        List<String> out = new ArrayList<>();
        for (PageRefs.Ref r : PageRefs.of(b, b.length, css)) out.add(PageRefs.text(b, r, cs));
        return out;
    }

    @Test
    void referencesAndEscapesAreDecodedAndWhiteSpaceDropped() {
        assertEquals(List.of("list.html?page=2&sort=asc", "a&b.html", "na\u00efve.html", "x.html", "tab.html"),
                texts("<a href=\"list.html?page=2&amp;sort=asc\"><a href='a&#38;b.html'><img src=na&#239;ve.html>"
                        + "<a href=\" \n x.html\t\"><a href=\"t\ta\nb.html\">", StandardCharsets.UTF_8, false));
        // the page's own charset, then references; in a style attribute references first, then CSS escapes
        assertEquals(List.of("caf\u00e9.png", "h1.png", "a(b).png", "&.png"),
                texts("<img src=\"caf\u00e9.png\"><div style=\"background:url('h\\31 .png')\">"
                        + "<div style='background:url(a\\(b\\).png)'><div style=\"background:url(&amp;.png)\">",
                        Charset.forName("ISO-8859-1"), false));
        assertEquals(List.of("print.css", "f\u00fc.woff", "line.png"),
                texts("@import 'print.css'; @font-face{src:url(\"f\\fc.woff\")} b{background:url('li\\\nne.png')}",
                        StandardCharsets.UTF_8, true));
        assertEquals("a&b", PageRefs.decodeCharRefs("a&amp;b"));
        assertEquals("&unknown;", PageRefs.decodeCharRefs("&unknown;"));
    }

    @Test
    void urlsLoseDotSegmentsAboveTheRootAndCarryNoRawCharacter() throws Exception {
        URL page = new URL("http://h.test/a/p.html");
        String[][] cases = {
            {"../../x.html", "http://h.test/x.html"},
            {"../../../legal/x.html?q=1#f", "http://h.test/legal/x.html?q=1#f"},
            {"./b/../c/./d.html", "http://h.test/a/c/d.html"},
            {"..", "http://h.test/"},
            {"na\u00efve.html", "http://h.test/a/na%C3%AFve.html"},
            {"a b.html", "http://h.test/a/a%20b.html"},
            {"a%20b.html", "http://h.test/a/a%20b.html"},
        };
        for (String[] c : cases) assertEquals(c[1], RefDiscovery.resolve(page, c[0]).toString(), c[0]);
        assertEquals("/", SavedLinks.withoutDotSegments("/.."));
        assertEquals("/a/", SavedLinks.withoutDotSegments("/a/b/.."));
        assertEquals("/a/..b/c.d", SavedLinks.withoutDotSegments("/a/..b/c.d"));
    }

    @Test
    void theFirstBaseHrefMovesRelativeLinks() throws Exception {
        URL page = new URL("http://h.test/a/p.html");
        byte[] doc = "<base href=\"/other/\"><base href=\"/no/\"><a href=\"b.html\">".getBytes(StandardCharsets.UTF_8);
        List<PageRefs.Ref> refs = PageRefs.of(doc, doc.length, false);
        URL base = RefDiscovery.base(page, doc, refs, StandardCharsets.UTF_8);
        assertEquals("http://h.test/other/", base.toString());
        assertEquals("http://h.test/other/b.html", RefDiscovery.resolve(base, "b.html").toString());
        // a base no mirror can follow leaves the page's own URL
        byte[] odd = "<base href=\"javascript:void(0)\">".getBytes(StandardCharsets.UTF_8);
        assertEquals(page, RefDiscovery.base(page, odd, PageRefs.of(odd, odd.length, false), StandardCharsets.UTF_8));
    }

    @Test
    void fileLinksEscapeWhatABrowserWouldReadOtherwise() {
        assertEquals("pydoctheme.css^2022.1", SavedLinks.fileLink("pydoctheme.css^2022.1"));
        assertEquals("list.html^page=2%26sort=asc", SavedLinks.fileLink("list.html^page=2&sort=asc"));
        assertEquals("../127.0.0.1%208080/a%25b%23c%3Fd.html", SavedLinks.fileLink("../127.0.0.1 8080/a%b#c?d.html"));
        assertEquals("img/%28x%29%2C%27y%27.png", SavedLinks.fileLink("img/(x),'y'.png"));
        assertEquals("./a:b.html", SavedLinks.fileLink("a:b.html"));
        // a link to another site part, rebuilt behind the protocol, names that site again
        try {
            assertEquals("http://127.0.0.1:8080/a.html", SavedLinks.original(new URL("http://127.0.0.1%208080/a.html")).toString());
            assertEquals("http://h.test/news.html?page=2", SavedLinks.original(new URL("http://h.test/news.html%5Epage=2")).toString());
        } catch (java.net.MalformedURLException e) {
            throw new AssertionError(e);
        }
        // and read back to the name they stand for
        for (String name : new String[] {"a%b#c?d.html", "list.html^page=2&sort=asc", "caf\u00e9 au lait.html"}) {
            assertEquals(name, SavedLinks.decoded(SavedLinks.fileLink(name)));
        }
    }
}
