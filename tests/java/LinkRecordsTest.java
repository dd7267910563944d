import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.tolvak.fenwix.NodeURL;

import java.io.File;
import java.net.URL;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.StandardOpenOption;
import java.util.ArrayList;
import java.util.List;
import java.util.Random;
import java.util.function.Predicate;
import java.util.regex.Matcher;
import java.util.regex.Pattern;

import org.junit.jupiter.api.Test;

/**
 * The links of saved pages kept from one run to the next: they come back
 * as the scan found them, less those the crawl list would drop as they join
 * it, and only for the page as it was, under the same base; a damaged record
 * file means scanning. Also the rewrite pass's
 * search for web addresses, which every update runs over every saved page.
 */
class LinkRecordsTest {
    private static NodeURL page(File file, String url) throws Exception {
        NodeURL p = new NodeURL(2, 5, new URL(url), null);
        p.setLoadedFilename(file.getPath());
        return p;
    }

    private static NodeURL link(int level, String url, String text, boolean saved) throws Exception {
        NodeURL n = new NodeURL(level, 5, new URL(url), text);
        n.setFromSavedPage(saved);
        return n;
    }

    @Test
    void linksComeBackAsFoundAndOnlyForThePageAsItWas() throws Exception {
        File root = Jvm.tempDir("link-records");
        File file = new File(root, "h 80/dir/p.html");
        file.getParentFile().mkdirs();
        Files.writeString(file.toPath(), "<a href='a b.html'>x</a><img src=i.gif>", StandardCharsets.ISO_8859_1);
        NodeURL p = page(file, "http://h/dir/p.html");
        // a text longer than one stored piece, with a lone surrogate and a NUL
        String odd = "\ud800" + "x".repeat(40_000) + "\u0000\u00e9";
        List<NodeURL> found = List.of(link(3, "http://h/dir/a b.html", odd, true), link(2, "http://h/dir/i.gif", "", false),
                link(2, "http://h/dir/i.gif", null, false));

        LinkRecords records = LinkRecords.load(root);
        assertFalse(records.replay(p, 9, new ArrayList<>()), "nothing recorded yet");
        records.found(p, found);
        records.save();

        List<NodeURL> list = new ArrayList<>();
        assertTrue(LinkRecords.load(root).replay(page(file, "http://h/dir/p.html"), 9, list));
        // the second i.gif at its level would be dropped by the crawl list
        assertEquals(2, list.size());
        for (int i = 0; i < 2; i++) {
            NodeURL want = found.get(i);
            NodeURL got = list.get(i);
            assertEquals(want.getURL().toString(), got.getURL().toString());
            assertEquals(want.getString(), got.getString());
            assertEquals(want.getLevel(), got.getLevel());
            assertEquals(9, got.getParentIndex(), "the page's index in this crawl");
            assertEquals(want.isFromSavedPage(), got.isFromSavedPage());
        }
        // the level is the page's own level in this crawl plus the link's step
        NodeURL deeper = new NodeURL(4, 1, new URL("http://h/dir/p.html"), null);
        deeper.setLoadedFilename(file.getPath());
        list.clear();
        assertTrue(LinkRecords.load(root).replay(deeper, 1, list));
        assertEquals(List.of(5, 4), List.of(list.get(0).getLevel(), list.get(1).getLevel()));

        // another base resolves the same text to other URLs
        list.clear();
        assertFalse(LinkRecords.load(root).replay(page(file, "http://h/other/p.html"), 9, list));
        assertTrue(list.isEmpty());
        // one byte more on disk
        long time = file.lastModified();
        Files.writeString(file.toPath(), " ", StandardOpenOption.APPEND);
        file.setLastModified(time);
        assertFalse(LinkRecords.load(root).replay(p, 9, list));
        assertTrue(list.isEmpty());
        Files.writeString(file.toPath(), "<a href='a b.html'>x</a><img src=i.gif>", StandardCharsets.ISO_8859_1);
        assertTrue(LinkRecords.load(root).replay(p, 9, list), "the same bytes again");

        // a damaged record file: nothing is taken from it
        File kept = new File(root, OutFiles.RECORDS_NAME);
        byte[] whole = Files.readAllBytes(kept.toPath());
        for (int cut : new int[] {0, 7, whole.length / 2, whole.length - 1}) {
            Files.write(kept.toPath(), java.util.Arrays.copyOf(whole, cut));
            list.clear();
            assertFalse(LinkRecords.load(root).replay(p, 9, list), "cut at " + cut);
            assertTrue(list.isEmpty());
        }
        byte[] flipped = whole.clone();
        flipped[3] ^= 1;
        Files.write(kept.toPath(), flipped);
        assertFalse(LinkRecords.load(root).replay(p, 9, new ArrayList<>()));
    }

    /** Replays page from the records in root: its links as (level, saved, URL, text), or null when it is scanned. */
    private static List<String> replayed(File root, NodeURL page) {
        List<NodeURL> list = new ArrayList<>();
        if (!LinkRecords.load(root).replay(page, 9, list)) {
            assertTrue(list.isEmpty());
            return null;
        }
        return described(list);
    }

    private static List<String> described(List<NodeURL> links) {
        List<String> d = new ArrayList<>();
        for (NodeURL n : links) d.add(n.getLevel() + " " + n.isFromSavedPage() + " " + n.getURL() + " " + n.getString());
        return d;
    }

    /**
     * The links as the crawl list keeps them: one to a URL (its text up to the
     * fragment) of the same kind as an earlier one, listed at its level or
     * lower, is dropped. listedAt: levels the list keeps URLs at already.
     */
    private static List<String> asListed(List<NodeURL> links, java.util.Map<String, Integer> listedAt) {
        java.util.Map<String, Integer> lowest = new java.util.HashMap<>(listedAt);
        List<NodeURL> kept = new ArrayList<>();
        for (NodeURL n : links) {
            String k = listKey(n);
            Integer low = lowest.get(k);
            if (low != null && low <= n.getLevel()) continue;
            lowest.put(k, n.getLevel());
            kept.add(n);
        }
        return described(kept);
    }

    private static String listKey(NodeURL n) {
        String u = n.getURL().toString();
        return n.isFromSavedPage() + " " + (u.contains("#") ? u.substring(0, u.indexOf('#')) : u);
    }

    /** Links of all kinds: many URLs (ids past one byte, steps both ways), texts shared, missing, other than the URL's first. */
    private static List<NodeURL> randomLinks(Random r, int count) throws Exception {
        String[] texts = {null, "", "x", "\udc00", "\ud83d\ude00 \u00e9", "t\u0000t", "page"};
        List<NodeURL> links = new ArrayList<>();
        for (int i = 0; i < count; i++) {
            int level = r.nextInt(10) < 8 ? 2 + r.nextInt(2) : r.nextInt(40) - 20;
            String text = r.nextBoolean() ? texts[r.nextInt(texts.length)] : "text " + r.nextInt(400);
            String fragment = r.nextInt(4) == 0 ? "#f" + r.nextInt(3) : "";
            links.add(link(level, "http://h/" + (r.nextBoolean() ? "\u00fc/" : "") + r.nextInt(600) + ".html" + fragment,
                    text, r.nextBoolean()));
        }
        return links;
    }

    @Test
    void pagesCarriedOverFromRunToRunComeBackExactly() throws Exception {
        File root = Jvm.tempDir("link-records-runs");
        Random r = new Random(7);
        int pages = 100;
        List<NodeURL> nodes = new ArrayList<>();
        List<List<NodeURL>> links = new ArrayList<>();
        LinkRecords first = LinkRecords.load(root);
        for (int i = 0; i < pages; i++) {
            File f = new File(root, "h/p" + i + ".html");
            f.getParentFile().mkdirs();
            Files.writeString(f.toPath(), "page " + i);
            nodes.add(page(f, "http://h/p" + i + ".html"));
            // many pages without links first: strings added one by one, by the pages' bases alone
            links.add(randomLinks(r, i < 70 ? 0 : r.nextInt(300)));
            first.found(nodes.get(i), links.get(i));
        }
        first.save();
        assertFalse(new File(root, OutFiles.RECORDS_NAME + ".spool").exists(), "the spool is gone once saved");

        // the second run: every third page changed and scanned again, every
        // fifth rewritten, the rest only replayed; then a third run reads it all back
        LinkRecords second = LinkRecords.load(root);
        for (int i = 0; i < pages; i++) {
            File f = new File(nodes.get(i).getLoadedFilename());
            if (i % 3 == 1) {
                Files.writeString(f.toPath(), "page " + i + " changed");
                assertFalse(second.replay(nodes.get(i), 9, new ArrayList<>()));
                links.set(i, randomLinks(r, r.nextInt(300)));
                second.found(nodes.get(i), links.get(i));
            } else {
                assertTrue(second.replay(nodes.get(i), 9, new ArrayList<>()), "page " + i);
                if (i % 5 == 0) {
                    Files.writeString(f.toPath(), "page " + i + " rewritten");
                    second.rewritten(List.of(f.getPath()));
                }
            }
        }
        second.save();
        for (int i = 0; i < pages; i++) {
            assertEquals(asListed(links.get(i), java.util.Map.of()), replayed(root, nodes.get(i)), "page " + i);
        }
    }

    @Test
    void aReplayLeavesOutExactlyTheLinksTheCrawlListKeepsAsLowOrLower() throws Exception {
        File root = Jvm.tempDir("link-records-listed");
        File f = new File(root, "h/p.html");
        f.getParentFile().mkdirs();
        Files.writeString(f.toPath(), "page");
        Random r = new Random(5);
        List<NodeURL> found = randomLinks(r, 3_000);
        LinkRecords first = LinkRecords.load(root);
        first.found(page(f, "http://h/p.html"), found);
        first.save();

        LinkRecords records = LinkRecords.load(root);
        List<NodeURL> all = new ArrayList<>();
        assertTrue(records.replay(page(f, "http://h/p.html"), 9, all));
        assertEquals(asListed(found, java.util.Map.of()), described(all), "nothing listed yet");
        // the crawl list keeps some of the URLs, of either kind, at levels of its own
        java.util.Map<String, Integer> keptAt = new java.util.HashMap<>();
        for (NodeURL n : all) {
            if (r.nextInt(3) != 0) continue;
            int level = n.getLevel() + r.nextInt(5) - 2;
            keptAt.merge(listKey(n), level, Math::min);
            records.listed((ReplayedNode) n, n.isFromSavedPage(), level);
        }
        List<NodeURL> again = new ArrayList<>();
        assertTrue(records.replay(page(f, "http://h/p.html"), 9, again));
        assertEquals(asListed(found, keptAt), described(again));
        assertTrue(again.size() > 300 && again.size() < all.size() - 100, "made: " + again.size() + " of " + all.size());
    }

    /**
     * A link that the replay of an earlier page in the crawl list made at its
     * level or lower joins the list first: a later page's replay leaves it
     * out, an earlier page's does not.
     */
    @Test
    void aReplayLeavesOutWhatAnEarlierPagesReplayMade() throws Exception {
        File root = Jvm.tempDir("link-records-earlier");
        LinkRecords first = LinkRecords.load(root);
        NodeURL[] pages = new NodeURL[2];
        for (int i = 0; i < 2; i++) {
            File f = new File(root, "h/p" + i + ".html");
            f.getParentFile().mkdirs();
            Files.writeString(f.toPath(), "page " + i);
            pages[i] = page(f, "http://h/p" + i + ".html");
        }
        first.found(pages[0], List.of(link(3, "http://h/x.html#a", "", false), link(4, "http://h/y.html", "", false)));
        first.found(pages[1], List.of(link(3, "http://h/x.html", "", false), link(3, "http://h/y.html#b", "", false),
                link(3, "http://h/x.html", "", true)));
        first.save();

        LinkRecords records = LinkRecords.load(root);
        assertEquals(2, replay(records, pages[0], 3).size());
        assertEquals(List.of("3 false http://h/y.html#b ", "3 true http://h/x.html "),
                described(replay(records, pages[1], 7)));
        assertEquals(3, replay(records, pages[1], 2).size(), "a page before the other");
    }

    private static List<NodeURL> replay(LinkRecords records, NodeURL page, int index) {
        List<NodeURL> list = new ArrayList<>();
        assertTrue(records.replay(page, index, list));
        return list;
    }

    @Test
    void noByteOfTheFileCanBeDamagedIntoAWrongReplay() throws Exception {
        File root = Jvm.tempDir("link-records-damage");
        File file = new File(root, "p.html");
        Files.writeString(file.toPath(), "<a href=a>a</a>");
        NodeURL p = page(file, "http://h/p.html");
        LinkRecords records = LinkRecords.load(root);
        records.found(p, randomLinks(new Random(3), 12));
        records.save();
        List<String> right = replayed(root, p);
        assertEquals(12, right.size());
        File kept = new File(root, OutFiles.RECORDS_NAME);
        byte[] whole = Files.readAllBytes(kept.toPath());
        // every byte is under a CRC or checked against the page: one bit off anywhere means scanning
        for (int at = 0; at < whole.length; at++) {
            for (int bit : new int[] {0x01, 0x80}) {
                byte[] damaged = whole.clone();
                damaged[at] ^= bit;
                Files.write(kept.toPath(), damaged);
                assertEquals(null, replayed(root, p), "bit " + bit + " of byte " + at);
            }
        }
    }

    @Test
    void aFileOfTheFormerFormatIsNotReplayedButReplaced() throws Exception {
        File root = Jvm.tempDir("link-records-old");
        File file = new File(root, "p.html");
        Files.writeString(file.toPath(), "<a href=a>a</a>");
        NodeURL p = page(file, "http://h/p.html");
        // one page, its base, encoding and digest right, as the former format wrote it
        java.io.ByteArrayOutputStream bytes = new java.io.ByteArrayOutputStream();
        try (java.io.DataOutputStream out = new java.io.DataOutputStream(bytes)) {
            out.writeUTF("x7fenwix links 2");
            out.writeInt(1);
            byte[] d = LinkRecords.digest(file);
            for (Object field : new Object[] {"p.html", d, "http://h/p.html", PageCharset.of(p).name()}) {
                if (field instanceof byte[]) {
                    out.writeByte(d.length);
                    out.write(d);
                } else {
                    out.writeInt(((String) field).length());
                    out.writeUTF((String) field);
                }
            }
            out.writeInt(0);
        }
        Files.write(new File(root, OutFiles.RECORDS_NAME).toPath(), bytes.toByteArray());
        assertEquals(null, replayed(root, p));

        LinkRecords records = LinkRecords.load(root);
        records.found(p, List.of(link(3, "http://h/a", "a", false)));
        records.save();
        assertEquals(List.of("3 false http://h/a a"), replayed(root, p));
    }

    @Test
    void aPageOutsideTheRootIsNeverRecorded() throws Exception {
        File root = Jvm.tempDir("link-records-outside");
        File outside = new File(root.getParentFile(), root.getName() + "-other.html");
        Files.writeString(outside.toPath(), "<a href=x>x</a>");
        NodeURL p = page(outside, "http://h/x.html");
        LinkRecords records = LinkRecords.load(root);
        records.found(p, List.of(link(3, "http://h/x", "x", false)));
        records.save();
        assertFalse(LinkRecords.load(root).replay(p, 0, new ArrayList<>()));
    }

    /** The search as a pattern states it, for comparison. */
    private static boolean byPattern(String text, Predicate<String> test) {
        Matcher m = Pattern.compile("(?i)https?://[^\\s\"'<>]+").matcher(text);
        while (m.find()) {
            if (test.test(m.group())) return true;
        }
        return false;
    }

    @Test
    void webAddressSearchFindsWhatThePatternFinds() {
        String[] parts = {"http", "HTTPS", "hTtP", "https", "://", ":/", "/", "a", ".", " ", "\t", "\"", "'", "<", ">",
            "x", "s", "h", "\u017f", "\u00e9", "\n", "\u000b", "\u00a0", "http://", "://a"};
        Random r = new Random(42);
        for (int round = 0; round < 20_000; round++) {
            StringBuilder b = new StringBuilder();
            for (int n = r.nextInt(12); n > 0; n--) b.append(parts[r.nextInt(parts.length)]);
            String text = b.toString();
            List<String> want = new ArrayList<>();
            List<String> got = new ArrayList<>();
            // a test that never holds sees every address, in order
            byPattern(text, a -> !want.add(a));
            WebAddresses.any(text, a -> !got.add(a));
            assertEquals(want, got, text);
            // and the search stops at the first that holds
            String second = want.size() > 1 ? want.get(1) : null;
            if (second != null) {
                List<String> seen = new ArrayList<>();
                assertTrue(WebAddresses.any(text, a -> seen.add(a) && a.equals(second) && seen.size() == 2));
                assertEquals(want.subList(0, 2), seen);
            }
        }
    }
}
