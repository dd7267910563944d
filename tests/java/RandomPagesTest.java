import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.tolvak.fenwix.NodeURL;

import java.io.File;
import java.net.MalformedURLException;
import java.net.URL;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.util.ArrayList;
import java.util.Collections;
import java.util.List;
import java.util.Random;

import org.junit.jupiter.api.Test;

/**
 * Random and mutated pages through the tag reader and the rewrite pass in the
 * real JVM: the tree gives the page back character for character, the rewrite
 * changes the link values it should and nothing else, and pages of
 * pathological shape end cleanly.
 */
class RandomPagesTest {
    static final boolean SMALL_RUN = "32".equals(System.getProperty("sun.arch.data.model"));

    /** Reads the page (UTF-8) into a tree of recording elements, checks it against the model and the page. */
    static HostilePages.Element readAndCheck(String page, String what) {
        HostilePages.Element root = new HostilePages.Element("");
        root.findChild(Trees.reader(page));
        // the same tree as the model's, of the recording class throughout
        assertEquals(Trees.dump(Trees.model(page)).replaceAll("(?m)^( *)x7Element ", "$1Element "), Trees.dump(root),
                what);
        if (!page.contains(x7Element.PLACEHOLDER)) {
            assertTrue(root.isFaithful(), what);
            assertEquals(page, root.toString(), what);
        }
        return root;
    }

    @Test
    void randomPagesComeBackAndOnlyTheirLinksAreRewritten() throws Exception {
        Random r = new Random(20240614L);
        int pages = SMALL_RUN ? 250 : 500;
        int elements = 0, rewritten = 0, asked = 0;
        for (int i = 0; i < pages; i++) {
            String page = HostilePages.asRead(HostilePages.randomPage(r));
            String what = "random page " + i + ": " + page;
            HostilePages.Element root = readAndCheck(page, what);
            HostilePages.Outcome o = HostilePages.rewriteAndCheck(root, page,
                    HostilePages.PARENTS[i % HostilePages.PARENTS.length], what);
            elements += o.elements;
            rewritten += o.rewritten;
            asked += o.asked;
        }
        System.out.println("random pages: " + pages + " pages, " + elements + " tags given to the rewrite, " + asked
                + " link texts looked up, " + rewritten + " links rewritten");
        assertTrue(rewritten > pages && asked > rewritten, "the pages had links to rewrite and to leave");
    }

    @Test
    void mutatedRealPagesComeBackAndOnlyTheirLinksAreRewritten() throws Exception {
        List<File> files = HostilePages.sqlitePages(40_000);
        assertTrue(files.size() >= 100, "the sqlite3 documentation is installed: " + files.size() + " pages");
        Random r = new Random(20240615L);
        Collections.shuffle(files, r);
        int count = SMALL_RUN ? 25 : 60;
        int rewritten = 0;
        long chars = 0;
        for (File f : files.subList(0, count)) {
            String original = HostilePages.read(f);
            for (int m = 0; m < 2; m++) {
                String page = HostilePages.asRead(HostilePages.mutate(original, r));
                String what = "mutation " + m + " of " + f;
                HostilePages.Element root = readAndCheck(page, what);
                rewritten += HostilePages.rewriteAndCheck(root, page, HostilePages.PARENTS[m], what).rewritten;
                chars += page.length();
            }
        }
        System.out.println("mutated pages: " + (2 * count) + " mutations of " + count + " real pages, " + chars
                + " characters, " + rewritten + " links rewritten");
        assertTrue(rewritten > count, "links were rewritten: " + rewritten);
    }

    /** A node saved under file, for the megabyte links. */
    private static NodeURL saved(String url, String file) throws MalformedURLException {
        return HostilePages.saved(new URL(url), file);
    }

    @Test
    void megabyteLinkValuesAreReadComparedAndRewritten() throws Exception {
        StringBuilder b = new StringBuilder();
        Random r = new Random(3);
        String alphabet = "abc/.-_\u00e9\u0000\ud83d\ude00%20";
        while (b.length() < (1 << 20)) {
            int k = r.nextInt(alphabet.length());
            // keep surrogate pairs whole
            if (Character.isLowSurrogate(alphabet.charAt(k))) k--;
            b.append(alphabet.charAt(k));
            if (Character.isHighSurrogate(alphabet.charAt(k))) b.append(alphabet.charAt(k + 1));
        }
        String big = b.toString();
        String linked = big + "1";
        int cut = Character.isHighSurrogate(big.charAt((1 << 16) - 1)) ? (1 << 16) - 1 : 1 << 16;
        String notSaved = big.substring(0, cut) + "2";
        String unknown = big.substring(0, cut) + "3";
        String already = big + "4";  // the relative path of its target, already
        String page = "<html><a href=\"" + linked + "\">one</a><img src='" + notSaved + "'><frame src=" + unknown
                + "><a href=\"" + already + "\">four</a></html>";
        HostilePages.Element root = readAndCheck(page, "megabyte links");

        NodeURL parent = saved("http://big.test/d/page.htm", "/m/big.test/d/page.htm");
        NodeURL one = saved("http://big.test/d/one.htm", "/m/big.test/d/sub/one.htm");
        NodeURL two = new NodeURL(0, 0, new URL("http://big.test/two.gif"), null);
        NodeURL four = saved("http://big.test/d/four.htm", "/m/big.test/d/" + already);
        List<String> asked = new ArrayList<>();
        UpdParent up = new UpdParent(parent, u -> null) {
            @Override
            public NodeURL findMatch(String link) {
                asked.add(link);
                return link.equals(linked) ? one : link.equals(notSaved) ? two : link.equals(already) ? four : null;
            }
        };
        List<x7Element> all = Trees.flatten(root);
        for (x7Element e : all) {
            if (!e.getTagname().isEmpty()) up.repAttrib(e, e.getTagname().toLowerCase(java.util.Locale.ROOT));
        }
        assertEquals(4, asked.size());
        assertTrue(asked.get(0).equals(linked) && asked.get(1).equals(notSaved) && asked.get(2).equals(unknown)
                && asked.get(3).equals(already), "the megabyte link texts arrive whole");
        assertTrue(up.isModified);
        assertEquals(List.of("href=sub/one.htm"), ((HostilePages.Element) all.get(2)).replaced);
        assertEquals(List.of("src=http://big.test/two.gif"), ((HostilePages.Element) all.get(3)).replaced);
        assertEquals(List.of(), ((HostilePages.Element) all.get(4)).replaced);
        assertEquals(List.of(), ((HostilePages.Element) all.get(5)).replaced, "equal megabyte values: no change");
        assertEquals("<html><a href=\"sub/one.htm\">one</a><img src=\"http://big.test/two.gif\"><frame src=" + unknown
                + "><a href=\"" + already + "\">four</a></html>", root.toString());
    }

    @Test
    void pathologicalPagesEndCleanlyInThePageScan() throws Exception {
        File dir = Jvm.tempDir("shapes");
        String out = Jvm.run("HostileShapes", dir.getPath(), "nested:1000000", "notag:" + (SMALL_RUN ? 4 : 10),
                "onlylt:1024", "chars").ok().out;
        assertEquals(String.join("\n",
                "IOException occured in InputStreamReader.close().",
                "nested: scanned=false calls=[] nodes=0",
                "then: nodes=[http://shapes.test/d/q.htm]",
                "notag: scanned, round trip=true, faithful=true, elements=1",
                "onlylt: scanned, round trip=true, faithful=true, elements=1",
                "chars: scanned, round trip=true, faithful=true, elements=4",
                "chars: links as written=true (2)",
                ""), out);
        // The same NUL and letters beyond the BMP, decoded as UTF-8 and as Latin-1 by the JVM's default.
        for (String charset : new String[] {"UTF-8", "ISO-8859-1"}) {
            String again = Jvm.runWithOptions(List.of("-Dfile.encoding=" + charset), "HostileShapes", dir.getPath(),
                    "chars").ok().out;
            assertEquals("chars: scanned, round trip=true, faithful=true, elements=4\n"
                    + "chars: links as written=true (2)\n", again, charset);
        }
    }

    @Test
    void aMirrorOfADeeplyNestedPageFinishesAndLeavesThatPageAsItIs() throws Exception {
        StringBuilder deep = new StringBuilder("<html><body><a href=\"index.html\">home</a>");
        for (int i = 0; i < 1_000_000; i++) deep.append(i % 2 == 0 ? "<a>" : "<title>");
        byte[] deepPage = deep.toString().getBytes(StandardCharsets.US_ASCII);
        byte[] index = "<html><body><a href=\"/deep.html\">deep</a> <a href='/other.html'>other</a></body></html>"
                .getBytes(StandardCharsets.US_ASCII);
        byte[] other = "<html><a href=\"/index.html\">back</a></html>".getBytes(StandardCharsets.US_ASCII);
        SampleSite.Source site = new SampleSite.Source() {
            public byte[] read(String path) {
                switch (path) {
                    case "index.html": return index;
                    case "deep.html": return deepPage;
                    case "other.html": return other;
                    default: return null;
                }
            }

            public long lastModified(String path) {
                return 1_600_000_000_000L;
            }
        };
        File out = new File(Jvm.tempDir("mirror-deep"), "copy");
        try (SampleSite server = SampleSite.start(site, site, 0)) {
            Jvm.Result r = MirrorRuns.mirror(server.mainUrl() + "index.html", out.getPath());
            assertEquals(2, r.exit, "the page whose links were not followed counts as a failure: " + r.out);
            assertFalse(r.out.contains("Error") || r.out.contains("\tat "), r.out);
            assertEquals(3, MirrorRuns.count(r.out, "pages saved"), r.out);
            assertEquals(1, MirrorRuns.count(r.out, "errors"), r.out);
            assertEquals(3, MirrorRuns.count(r.out, "links rewritten"), r.out);
            String dir = "127.0.0.1 " + server.mainUrl().replaceAll(".*:(\\d+)/", "$1");
            String log = Files.readString(new File(out, OutFiles.LOG_NAME).toPath());
            assertTrue(log.contains("Page not read, its links are not followed (nested too deeply, or unreadable):"
                    + new File(out, dir + "/deep.html").getCanonicalPath()), log);
            assertTrue(java.util.Arrays.equals(deepPage, Files.readAllBytes(new File(out, dir + "/deep.html").toPath())));
            assertEquals(List.of(), MirrorRuns.brokenLocalLinks(out));
        }
    }
}
