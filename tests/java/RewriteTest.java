import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.tolvak.fenwix.NodeURL;

import java.net.URL;
import java.util.HashMap;
import java.util.List;
import java.util.Map;

import org.junit.jupiter.api.Test;

/** Link rewriting (repAttrib) driven by the host's UpdParent. */
class RewriteTest {
    static final String PAGE = "http://site.test/dir/page.htm";
    static final String PAGE_FILE = "/m/site.test/dir/page.htm";

    private static RewriteFixture fixture() throws Exception {
        RewriteFixture f = new RewriteFixture(PAGE, PAGE_FILE);
        f.target("http://site.test/img/a.gif", "/m/site.test/img/a.gif");
        f.target("http://site.test/dir/b.htm", "/m/site.test/dir/b.htm");
        return f;
    }

    @Test
    void imgFrameAndAnchorLinksPointAtTheSavedFiles() throws Exception {
        RewriteFixture f = fixture();
        RewriteFixture.Element img = f.rewrite("<img src=\"/img/a.gif\" alt=x>", "img");
        assertEquals("<img src=\"../img/a.gif\" alt=x>", img.getTagText());
        assertEquals(List.of("src=../img/a.gif"), img.replaced, "the new value goes in without quotes");
        assertEquals("<frame src=\"b.htm\" name=main>",
                f.rewrite("<frame src=http://site.test/dir/b.htm name=main>", "frame").getTagText());
        assertEquals("<a href=\"../img/a.gif\">", f.rewrite("<a href='/img/a.gif'>", "a").getTagText());
        assertTrue(f.up.isModified);
    }

    @Test
    void onlyTheExactTagNamesOfTheTableAndTheirOwnAttributeCount() throws Exception {
        RewriteFixture f = fixture();
        String[][] untouched = {
                {"<IMG SRC=\"/img/a.gif\">", "IMG"},
                {"<A HREF=\"/dir/b.htm\">", "A"},
                {"<Frame src=\"/dir/b.htm\">", "Frame"},
                {"<link rel=stylesheet href=\"/dir/b.htm\">", "link"},  // discovery queues it; rewriting does not
                {"<iframe src=\"/dir/b.htm\">", "iframe"},
                {"<area href=\"/dir/b.htm\">", "area"},
                {"<img href=\"/img/a.gif\">", "img"},  // not the row's attribute
                {"<a src=\"/img/a.gif\" name=x>", "a"},
        };
        for (String[] c : untouched) {
            RewriteFixture.Element e = f.rewrite(c[0], c[1]);
            assertEquals(c[0], e.getTagText(), c[1]);
            assertTrue(e.replaced.isEmpty(), c[1]);
        }
        assertTrue(f.asked.isEmpty(), "no lookup without a row and its attribute: " + f.asked);
        assertFalse(f.up.isModified);

        RewriteFixture.Element nameless = new RewriteFixture.Element("<img src=\"/img/a.gif\">");
        f.up.repAttrib(nameless, null);
        assertTrue(nameless.replaced.isEmpty());
    }

    @Test
    void oneEnclosingPairOfEqualQuotesIsRemovedBeforeTheLookup() throws Exception {
        RewriteFixture f = fixture();
        f.rewrite("<img src=\"a.gif\">", "img");
        f.rewrite("<img src='a.gif'>", "img");
        f.rewrite("<img src=a.gif>", "img");
        f.rewrite("<img src='a.gif\">", "img");  // different quotes at the two ends stay
        f.rewrite("<img src=\">", "img");         // one quote alone stays
        f.rewrite("<img src=\"\">", "img");      // two equal quotes leave the empty link
        assertEquals(List.of("a.gif", "a.gif", "a.gif", "'a.gif\"", "\"", ""), f.asked);
    }

    @Test
    void targetsNotSavedGetTheirAbsoluteUrlUnlessTheLinkIsThatAlready() throws Exception {
        RewriteFixture f = fixture();
        f.notLoaded("http://site.test/gone.htm");
        RewriteFixture.Element e = f.rewrite("<a href=\"../gone.htm\">", "a");
        assertEquals(List.of("href=http://site.test/gone.htm"), e.replaced);
        assertEquals("<a href=\"http://site.test/gone.htm\">", e.getTagText());
        assertTrue(f.up.isModified);

        RewriteFixture g = fixture();
        g.notLoaded("http://site.test/gone.htm");
        RewriteFixture.Element same = g.rewrite("<a href=\"http://site.test/gone.htm\">", "a");
        assertTrue(same.replaced.isEmpty());
        assertFalse(g.up.isModified);
    }

    @Test
    void aLinkThatIsTheNewValueAlreadyChangesNothing() throws Exception {
        RewriteFixture f = fixture();
        RewriteFixture.Element e = f.rewrite("<img src=\"../img/a.gif\">", "img");
        assertTrue(e.replaced.isEmpty(), "replaceAttribute is not called");
        assertFalse(f.up.isModified);

        // isModified is only ever set: an unchanged link leaves it as it was
        f.up.isModified = true;
        f.rewrite("<a href=b.htm>", "a");
        assertTrue(f.up.isModified);
    }

    @Test
    void linksThatNameNoNodeAreLeftAlone() throws Exception {
        RewriteFixture f = fixture();
        String[] tags = {"<a href=\"/nowhere.htm\">", "<a href=\"#top\">", "<a href=\"\">", "<a href=\"mailto:x@y.test\">",
                "<a href=\"javascript:void(0)\">"};
        for (String t : tags) assertEquals(t, f.rewrite(t, "a").getTagText());
        assertFalse(f.up.isModified);
    }

    @Test
    void relativePathsClimbOutOfTheParentsOwnDirectoriesOnly() throws Exception {
        String[][] rows = {
                {"/m/site/dir/page.htm", "/m/site/img/a.gif", "../img/a.gif"},
                {"/m/site/page.htm", "/m/site/img/a.gif", "img/a.gif"},
                {"/m/site/dir/page.htm", "/m/site/dir/b.htm", "b.htm"},
                {"/m/site/d1/d2/page.htm", "/m/site/a.gif", "../../a.gif"},
                {"/m/site/dir10/page.htm", "/m/site/dir1/a.gif", "../dir1/a.gif"},
                {"x/y/page.htm", "z/a.gif", "../../z/a.gif"},
                {"/m/a b/page.htm", "/m/c d/e.gif", "../c d/e.gif"},
        };
        for (String[] r : rows) {
            RewriteFixture f = new RewriteFixture(PAGE, r[0]);
            f.target("http://site.test/t.gif", r[1]);
            assertEquals("<img src=\"" + r[2] + "\">", f.rewrite("<img src=http://site.test/t.gif>", "img").getTagText(),
                    r[0] + " -> " + r[1]);
        }
    }

    @Test
    void missingFileNamesOrUrlLeaveTheElementUnchanged() throws Exception {
        RewriteFixture noPageFile = fixture();
        noPageFile.parent.setLoadedFilename(null);
        assertEquals("<img src=/img/a.gif>", noPageFile.rewrite("<img src=/img/a.gif>", "img").getTagText());
        assertFalse(noPageFile.up.isModified);

        RewriteFixture noTargetFile = fixture();
        noTargetFile.target("http://site.test/c.gif", null);
        assertEquals("<img src=/c.gif>", noTargetFile.rewrite("<img src=/c.gif>", "img").getTagText());
        assertFalse(noTargetFile.up.isModified);

        RewriteFixture noUrl = fixture();
        noUrl.notLoaded("http://site.test/gone.htm").setURL(null);
        assertEquals("<a href=/gone.htm>", noUrl.rewrite("<a href=/gone.htm>", "a").getTagText());
        assertFalse(noUrl.up.isModified);

        // a lookup of a host's own that needs no page gives a target to a
        // receiver without a parent node
        NodeURL target = RewriteFixture.loaded("http://site.test/d.gif", "/m/site.test/d.gif");
        UpdParent bare = new UpdParent(null, u -> null) {
            @Override
            public NodeURL findMatch(String link) {
                return target;
            }
        };
        RewriteFixture.Element e = new RewriteFixture.Element("<img src=a.gif>");
        bare.repAttrib(e, "img");
        assertTrue(e.replaced.isEmpty());
        assertFalse(bare.isModified);
    }

    @Test
    void exceptionsOfTheHostReachTheCallerAndNothingMoreHappens() throws Exception {
        RewriteFixture f = fixture();
        UpdParent failing = new UpdParent(f.parent, u -> {
            throw new IllegalStateException("lookup failed");
        });
        RewriteFixture.Element e = new RewriteFixture.Element("<img src=/img/a.gif>");
        IllegalStateException x = assertThrows(IllegalStateException.class, () -> failing.repAttrib(e, "img"));
        assertEquals("lookup failed", x.getMessage());
        assertTrue(e.replaced.isEmpty());
        assertFalse(failing.isModified);

        x7Element throwing = new x7Element("<img src=/img/a.gif>") {
            @Override
            public boolean replaceAttribute(String name, String value) {
                throw new IllegalStateException("read-only");
            }
        };
        assertThrows(IllegalStateException.class, () -> f.up.repAttrib(throwing, "img"));
        assertTrue(f.up.isModified, "set before replaceAttribute was called");
    }

    @Test
    void refusedReplacementPrintsItsDiagnosticAndStaysModified() throws Exception {
        String out = Jvm.run("RewriteScenarios", "refused").ok().out;
        assertEquals(String.join("\n",
                "== refused",
                "tree.replaceAttribute(.) is false!",
                "replaced=[src=../img/a.gif] isModified=true tag=<img src=/img/a.gif>",
                ""), out);
    }

    @Test
    void linksIntoAPageKeepTheirFragment() throws Exception {
        RewriteFixture f = fixture();
        f.notLoaded("http://site.test/gone.htm");
        assertEquals("<a href=\"b.htm#part\">", f.rewrite("<a href=\"/dir/b.htm#part\">", "a").getTagText());
        assertEquals("<a href=\"http://site.test/gone.htm#x\">", f.rewrite("<a href=../gone.htm#x>", "a").getTagText());
        assertEquals("<a href=b.htm#part>", f.rewrite("<a href=b.htm#part>", "a").getTagText(), "already local");
        // found first through another link into it: that link's fragment is not this one's
        RewriteFixture g = fixture();
        g.notLoaded("http://site.test/gone.htm#first");
        assertEquals("<a href=\"http://site.test/gone.htm\">", g.rewrite("<a href=../gone.htm>", "a").getTagText());
        assertEquals("<a href=\"http://site.test/gone.htm#x\">", g.rewrite("<a href=../gone.htm#x>", "a").getTagText());
        assertEquals("<a href=\"http://site.test/gone.htm\">", g.rewrite("<a href=../gone.htm#a/b>", "a").getTagText());
    }

    @Test
    void linksOfAPageRewrittenBeforeFindTheirNodesThroughTheSavedFiles() throws Exception {
        NodeURL page = RewriteFixture.loaded(PAGE, PAGE_FILE);
        NodeURL other = RewriteFixture.loaded("http://other.test:8080/x.htm", "/m/other.test 8080/x.htm");
        NodeURL query = RewriteFixture.loaded("http://site.test/dir/list.php?p=2", "/m/site.test/dir/list.php^p=2");
        Map<String, NodeURL> byFile = new HashMap<>();
        byFile.put("/m/other.test 8080/x.htm", other);
        byFile.put("/m/site.test/dir/list.php^p=2", query);
        UpdParent up = new UpdParent(page, u -> null, byFile::get);

        String[][] links = {
                {"<a href=\"../../other.test 8080/x.htm\">", "<a href=\"../../other.test 8080/x.htm\">"},
                {"<a href=\"list.php^p=2\">", "<a href=\"list.php^p=2\">"},
                {"<a href=\"./list.php^p=2\">", "<a href=\"list.php^p=2\">"},
        };
        assertEquals(other, up.findMatch("../../other.test 8080/x.htm"));
        for (String[] l : links) {
            RewriteFixture.Element e = new RewriteFixture.Element(l[0]);
            up.repAttrib(e, "a");
            assertEquals(l[1], e.getTagText());
        }
        assertTrue(up.isModified, "./list.php^p=2 became list.php^p=2");

        // a saved page linked to a target that this run could not save: its web address
        other.resetOutcome();
        RewriteFixture.Element e = new RewriteFixture.Element(links[0][0]);
        up.repAttrib(e, "a");
        assertEquals("<a href=\"http://other.test:8080/x.htm\">", e.getTagText());
        assertEquals(null, up.findMatch("x.htm:1"), "no file lookup for a link with a scheme");
        assertEquals(null, up.findMatch(new URL("http://site.test/x").toString()));
    }
}
