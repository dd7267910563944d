import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertInstanceOf;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.tolvak.fenwix.NodeURL;

import java.io.File;
import java.net.URL;
import java.util.ArrayList;
import java.util.List;

import org.junit.jupiter.api.Test;

class LinkDiscoveryTest {
    static final String BASE = "http://h.test/d/e/page.htm";

    /** A crawler with a page in hand at level 3, index 7, whose links are discovered one element at a time. */
    static class Fixture {
        final List<String> judged = new ArrayList<>();
        final UrlLoad crawler = new UrlLoad(new File(".")) {
            @Override
            public boolean notSupportedProtocol(String link) {
                judged.add(link);
                return super.notSupportedProtocol(link);
            }
        };

        Fixture() throws Exception {
            crawler.baseURL = new URL(BASE);
            crawler.lURL = new NodeURL(3, -1, crawler.baseURL, null);
            crawler.urlIndex = 7;
        }

        Fixture saved(int baseFileSlashCount) {
            crawler.lURL.setPreviouslyDownloaded();
            crawler.baseFileSlashCount = baseFileSlashCount;
            return this;
        }

        /** "level parent URL | link text" of each node that one call adds. */
        List<String> discover(String tag, String name) {
            return discover(new x7Element(tag), name);
        }

        List<String> discover(x7Element e, String name) {
            int before = crawler.urlToLoad.size();
            crawler.chuekia(e, name);
            List<String> out = new ArrayList<>();
            for (NodeURL n : crawler.urlToLoad.subList(before, crawler.urlToLoad.size())) {
                out.add(n.getLevel() + " " + n.getParentIndex() + " " + n.getURL() + " | " + n.getString());
            }
            return out;
        }
    }

    /** An element that counts what is asked of it. */
    static class Counting extends x7Element {
        int asked;

        Counting(String tag) {
            super(tag);
        }

        @Override
        public String getAttribute(String name) {
            asked++;
            return super.getAttribute(name);
        }
    }

    /** Which links are dropped for their scheme: only http and https (any case) are kept among those with one. */
    @Test
    void linksOfOtherSchemesAreDroppedAndTheRestKept() {
        UrlLoad c = new UrlLoad(new File("."));
        for (String link : new String[] {"mailto:a@b", " javascript:void(0)", "FTP://h/x", "data:,x", "a+b.c-d:x",
                "git+ssh://h/r"}) {
            assertTrue(c.notSupportedProtocol(link), link);
        }
        for (String link : new String[] {"http://h/", "HTTPS://h/", " \thttp:x", "page.html", "/a:b", "1a:x",
                "a b:c", "", "  ", "d/e:f", "?q=a:b", "#x:y", ":x", "http", "a_b:c"}) {
            assertTrue(!c.notSupportedProtocol(link), link);
        }
    }

    @Test
    void tableRowsGiveTheirAttributeAndLevel() throws Exception {
        Fixture f = new Fixture();
        assertEquals(List.of("3 7 http://h.test/d/e/i.gif | i.gif"), f.discover("<img src=i.gif>", "img"));
        assertEquals(List.of("3 7 http://h.test/d/f.htm | ../f.htm"), f.discover("<frame src=../f.htm>", "frame"));
        assertEquals(List.of("3 7 http://h.test/s.css | /s.css"), f.discover("<link rel=x href=/s.css>", "link"));
        assertEquals(List.of("4 7 http://other.test/x | http://other.test/x"),
                f.discover("<a href=http://other.test/x>", "a"));
        // the other row's attribute is not looked at
        assertEquals(List.of(), f.discover("<img href=i.gif>", "img"));
        assertEquals(List.of(), f.discover("<a src=x.htm name=y>", "a"));
    }

    @Test
    void otherTagsAndCapitalsAreNotLookedAt() throws Exception {
        Fixture f = new Fixture();
        for (String name : new String[] {"IMG", "A", "Frame", "iframe", "area", "script", "", "a "}) {
            Counting e = new Counting("<a href=x.htm src=y.gif>");
            assertEquals(List.of(), f.discover(e, name), name);
            assertEquals(0, e.asked, name);
        }
        assertTrue(f.judged.isEmpty());
    }

    /** An element whose link attribute has exactly the given raw value. */
    static class Valued extends x7Element {
        final String value;

        Valued(String value) {
            super("<a>");
            this.value = value;
        }

        @Override
        public String getAttribute(String name) {
            return name.equals("href") ? value : null;
        }
    }

    @Test
    void characterReferencesOfTheLinkAreDecodedBeforeItsUrlIsMade() throws Exception {
        Fixture f = new Fixture();
        assertEquals(List.of("4 7 http://h.test/d/e/list.html?page=2&sort=asc | list.html?page=2&sort=asc"),
                f.discover(new Valued("\"list.html?page=2&amp;sort=asc\""), "a"));
        assertEquals(List.of("4 7 http://h.test/d/e/a&b&c.gif | a&b&c.gif"), f.discover(new Valued("a&#38;b&#x26;c.gif"), "a"));
        // decoded text is what the host judges: a scheme written with references is still one
        assertEquals(List.of(), f.discover(new Valued("mailto&#58;x@y"), "a"));
        assertEquals("mailto:x@y", f.judged.get(f.judged.size() - 1));
        // a reference the host string cannot carry as it is stays as it was written
        assertEquals(List.of("4 7 http://h.test/d/e/a&#x1F600;.htm | a&#x1F600;.htm"),
                f.discover(new Valued("a&#x1F600;.htm"), "a"));
    }

    @Test
    void oneMatchingPairOfQuotesIsRemoved() throws Exception {
        Fixture f = new Fixture();
        String[][] cases = {
            {"'a%20b.htm'", "a%20b.htm"},
            {"\"q.htm\"", "q.htm"},
            {"'m.htm\"", "'m.htm\""},
            {"\"n.htm'", "\"n.htm'"},
            {"'", "'"},
            {"\"", "\""},
            {"\"o\"i.htm\"", "o\"i.htm"},
            {"' s.htm '", " s.htm "},
            {"'&amp;'", "&"},
        };
        List<String> judged = new ArrayList<>();
        for (String[] c : cases) {
            List<String> added = f.discover(new Valued(c[0]), "a");
            assertEquals(1, added.size(), c[0]);
            assertTrue(added.get(0).endsWith(" | " + c[1]), c[0] + " -> " + added);
            judged.add(c[1]);
        }
        // two equal quotes leave the empty link, which is judged and resolved like any other
        assertEquals(List.of("4 7 " + BASE + " | "), f.discover(new Valued("''"), "a"));
        judged.add("");
        assertEquals(judged, f.judged);
        // through the host's reading of a tag, quotes and all
        assertEquals(List.of("4 7 http://h.test/d/e/q%20r.htm | q%20r.htm"), f.discover("<A HREF=\"q%20r.htm\">", "a"));
    }

    @Test
    void linksOfOtherProtocolsAreDropped() throws Exception {
        Fixture f = new Fixture();
        assertEquals(List.of(), f.discover("<a href='mailto:a@h.test'>", "a"));
        assertEquals(List.of(), f.discover("<img src=\"javascript:x()\">", "img"));
        assertEquals(List.of("mailto:a@h.test", "javascript:x()"), f.judged);
    }

    @Test
    void savedPageRebuildsLinksThatClimbToTheMirrorRoot() throws Exception {
        Fixture f = new Fixture().saved(2);
        assertEquals(List.of("4 7 http://site:8080/dir/p.htm | ../../site 8080/dir/p.htm"),
                f.discover("<a href='../../site 8080/dir/p.htm'>", "a"));
        // one step short: resolved against the base, steps and all
        assertEquals(List.of("4 7 http://h.test/d/q.htm | ../q.htm"), f.discover("<a href=../q.htm>", "a"));
        // more steps than needed: the rest is still read as the site part
        assertEquals(List.of("3 7 http://site/i.gif | ../../../site/i.gif"),
                f.discover("<img src=../../../site/i.gif>", "img"));
        assertEquals(List.of("4 7 http://site:8080 | ../../site 8080"), f.discover("<a href='../../site 8080'>", "a"));
        assertEquals(List.of("4 7 http://site/a b.htm | ../../site/a b.htm"),
                f.discover("<a href='../../site/a b.htm'>", "a"));
    }

    @Test
    void savedPageWithNoStepsToClimbRebuildsEveryLink() throws Exception {
        for (int count : new int[] {0, -1, Integer.MIN_VALUE}) {
            Fixture f = new Fixture().saved(count);
            assertEquals(List.of("4 7 http://p.htm | p.htm"), f.discover("<a href=p.htm>", "a"), "count " + count);
            assertEquals(List.of("3 7 http://other.test/i.gif | ../other.test/i.gif"),
                    f.discover("<img src=../other.test/i.gif>", "img"));
        }
    }

    @Test
    void pageNotSavedBeforeResolvesEveryLinkAgainstTheBase() throws Exception {
        Fixture f = new Fixture();
        f.crawler.baseFileSlashCount = 0;
        assertEquals(List.of("4 7 http://h.test/site%208080/dir/p.htm | ../../site%208080/dir/p.htm"),
                f.discover("<a href='../../site%208080/dir/p.htm'>", "a"));
    }

    @Test
    void linkThatMakesNoUrlIsDroppedWithoutFallback() throws Exception {
        // the rebuilt text has a port that is no number; base resolution would have worked
        String link = "<a href='../../site 80x/p.htm'>";
        assertEquals(List.of(), new Fixture().saved(2).discover(link, "a"));
        assertEquals(1, new Fixture().discover(link, "a").size());

        // base resolution fails: a scheme that java.net.URL does not know
        Fixture f = new Fixture();
        UrlLoad anything = new UrlLoad(new File(".")) {
            @Override
            public boolean notSupportedProtocol(String l) {
                return false;
            }
        };
        anything.baseURL = f.crawler.baseURL;
        anything.lURL = f.crawler.lURL;
        anything.chuekia(new x7Element("<a href=nosuch:thing>"), "a");
        anything.chuekia(new x7Element("<a href=http://h.test:99999999999/>"), "a");
        assertTrue(anything.urlToLoad.isEmpty());
    }

    @Test
    void missingBaseOrPageInHandDoesNotCrash() throws Exception {
        Fixture f = new Fixture();
        f.crawler.baseURL = null;
        assertEquals(List.of("4 7 http://x.test/ | http://x.test/"), f.discover("<a href=http://x.test/>", "a"));
        assertEquals(List.of(), f.discover("<a href=rel.htm>", "a"), "nothing to resolve against");
        f.saved(0);
        assertEquals(List.of(), f.discover("<a href=rel.htm>", "a"), "no protocol to rebuild with");
        f.crawler.baseURL = new URL(BASE);
        f.crawler.lURL = null;
        assertEquals(List.of(), f.discover("<a href=rel.htm>", "a"));
        f.crawler.chuekia(null, "a");
        f.crawler.chuekia(new x7Element("<a href=x>"), null);
        assertEquals(1, f.crawler.urlToLoad.size(), "only the absolute link");
    }

    /** A node in hand of a subclass: the new nodes are of the same class. */
    static class Special extends NodeURL {
        Special(int level, int parent, URL url, String link) {
            super(level, parent, url, link);
        }
    }

    @Test
    void newNodesAreOfTheClassOfTheNodeInHand() throws Exception {
        Fixture f = new Fixture();
        f.crawler.lURL = new Special(0, 2, new URL(BASE), null);
        f.discover("<a href=x.htm>", "a");
        assertInstanceOf(Special.class, f.crawler.urlToLoad.get(0));
    }

    @Test
    void failureOfAnUntestedCallReachesTheCaller() throws Exception {
        Fixture f = new Fixture();
        x7Element broken = new x7Element("<a href=x>") {
            @Override
            public String getAttribute(String name) {
                throw new IllegalStateException("no attributes today");
            }
        };
        IllegalStateException e = assertThrows(IllegalStateException.class, () -> f.crawler.chuekia(broken, "a"));
        assertEquals("no attributes today", e.getMessage());
        assertTrue(f.crawler.urlToLoad.isEmpty());
    }

    @Test
    void failuresOfMakingOrAddingTheNodeAreDescribedAndCleared() throws Exception {
        String out = Jvm.run("LinkDiscoveryScenarios").ok().out;
        assertEquals(String.join("\n",
                "== add false",
                "urlToLoad.add(nextLURL) false.",
                "returned, offered=1",
                "== getLevel throws",
                "Exception in thread \"main\" java.lang.IllegalStateException: level unknown",
                "returned, nodes=0 made=0",
                "== constructor throws",
                "Exception in thread \"main\" java.lang.IllegalArgumentException: no node today",
                "returned, nodes=0",
                "== no such constructor",
                "Exception in thread \"main\" java.lang.NoSuchMethodError: "
                        + "LLinkDiscoveryScenarios$Bare;.<init>(IILjava/net/URL;Ljava/lang/String;)V",
                "returned, nodes=0",
                "== add throws",
                "Exception in thread \"main\" java.lang.UnsupportedOperationException",
                "returned",
                ""), withoutStackLines(out));
    }

    /** The output without the stack frames that ExceptionDescribe prints under each exception. */
    private static String withoutStackLines(String out) {
        StringBuilder b = new StringBuilder();
        for (String line : out.split("\n", -1)) {
            if (line.startsWith("\tat ") || line.startsWith("\t... ")) continue;
            b.append(line).append('\n');
        }
        return b.substring(0, b.length() - 1);
    }
}
