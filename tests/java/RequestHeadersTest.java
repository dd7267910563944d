import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotSame;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.tolvak.fenwix.NodeURL;

import java.io.File;
import java.net.URL;
import java.nio.file.Files;
import java.text.SimpleDateFormat;
import java.util.Date;
import java.util.List;
import java.util.Locale;
import java.util.TimeZone;

import org.junit.jupiter.api.Test;

class RequestHeadersTest {
    static final String AGENT = "User-Agent: Mozilla/4.0 (compatible; MSIE 4.01; Windows NT";
    static final String EPOCH = "Thu, 01 Jan 1970 00:00:00 GMT";
    static final long STAMP = 1_600_000_000_000L;
    static final String STAMP_DATE = "Sun, 13 Sep 2020 12:26:40 GMT";

    /** A node that counts the host calls made on it. */
    static class Node extends NodeURL {
        boolean pastMaxLevel;
        int calls;

        Node(int level, int parentIndex, URL url) {
            super(level, parentIndex, url, null);
        }

        @Override
        public boolean isPastMaxLevel() {
            calls++;
            return pastMaxLevel;
        }

        @Override
        public int getParentIndex() {
            calls++;
            return super.getParentIndex();
        }

        @Override
        public URL getURL() {
            calls++;
            return super.getURL();
        }
    }

    /** A cookie store with a fixed answer. */
    static class FixedCookies extends Cookies {
        final String value;
        URL askedFor;

        FixedCookies(String value) {
            this.value = value;
        }

        @Override
        public String sentCookies(URL url) {
            askedFor = url;
            return value;
        }
    }

    /** A crawl list of a start page and one page it links to, with the linked page's local file. */
    static final class Fixture {
        final UrlLoad crawler;
        final Node root;
        final Node child;
        final File local;

        Fixture(String name, String cookies) throws Exception {
            File dir = Jvm.tempDir(name);
            crawler = new UrlLoad(dir);
            crawler.fo = crawler.fmtGMT();
            crawler.cookiesCol = new FixedCookies(cookies);
            root = new Node(0, -1, new URL("http://example.test/index.htm"));
            child = new Node(1, 0, new URL("http://example.test/sub/page.htm"));
            crawler.urlToLoad.add(root);
            crawler.urlToLoad.add(child);
            local = new File(dir, "page.htm");
        }

        void saveLocal(long time) throws Exception {
            Files.write(local.toPath(), new byte[1024]);
            assertTrue(local.setLastModified(time));
        }

        RecordingConnection send(Node node) throws Exception {
            RecordingConnection c = new RecordingConnection(node.getURL());
            crawler.setRequestProperties(c, node, local);
            return c;
        }
    }

    static long parseHttpDate(String text) throws Exception {
        SimpleDateFormat f = new SimpleDateFormat("EEE, dd MMM yyyy HH:mm:ss 'GMT'", Locale.US);
        f.setTimeZone(TimeZone.getTimeZone("GMT"));
        return f.parse(text).getTime();
    }

    @Test
    void startPageWithoutCookiesGetsTheAgentAndAnEpochConditionForAMissingFile() throws Exception {
        Fixture f = new Fixture("hdr-root", null);
        RecordingConnection c = f.send(f.root);
        assertEquals(List.of(AGENT, "If-Modified-Since: " + EPOCH), c.headers);
        assertEquals("", f.crawler.range);
    }

    @Test
    void rangedRequestComesInOrderAndConsumesTheRangeOnce() throws Exception {
        Fixture f = new Fixture("hdr-range", "a=1; b=2");
        f.saveLocal(STAMP);
        String range = new String("bytes=1024-");
        f.crawler.range = range;
        f.child.pastMaxLevel = true;  // must not matter for a ranged request

        RecordingConnection first = f.send(f.child);
        assertEquals(List.of(AGENT, "Referer: http://example.test/index.htm", "Cookie: a=1; b=2",
                "Range: bytes=1024-", "If-Range: " + STAMP_DATE), first.headers);
        assertEquals("", f.crawler.range, "the range is sent once");
        assertNotSame(range, f.crawler.range);
        assertEquals(f.child.getURL(), ((FixedCookies) f.crawler.cookiesCol).askedFor);

        // The next request of the node is a conditional one again.
        f.child.pastMaxLevel = false;
        RecordingConnection second = f.send(f.child);
        assertEquals(List.of(AGENT, "Referer: http://example.test/index.htm", "Cookie: a=1; b=2",
                "If-Modified-Since: " + STAMP_DATE), second.headers);
    }

    @Test
    void oneCharacterRangeIsNoRangeAndStays() throws Exception {
        Fixture f = new Fixture("hdr-short", "");
        String range = new String("x");
        f.crawler.range = range;
        RecordingConnection c = f.send(f.root);
        assertEquals(List.of(AGENT, "Cookie: ", "If-Modified-Since: " + EPOCH), c.headers,
                "an empty cookie text is sent as an empty header");
        assertSame(range, f.crawler.range);
    }

    @Test
    void conditionalDateIsNowBeyondTheDepthLimitOrWhileStopping() throws Exception {
        Fixture f = new Fixture("hdr-now", null);
        f.saveLocal(STAMP);
        assertEquals(STAMP_DATE, f.send(f.child).value("If-Modified-Since"));

        f.child.pastMaxLevel = true;
        long now = System.currentTimeMillis();
        assertTrue(Math.abs(parseHttpDate(f.send(f.child).value("If-Modified-Since")) - now) < 5000);

        f.child.pastMaxLevel = false;
        f.crawler.aborted = true;
        now = System.currentTimeMillis();
        assertTrue(Math.abs(parseHttpDate(f.send(f.child).value("If-Modified-Since")) - now) < 5000);
    }

    @Test
    void nullConnectionTouchesNothing() throws Exception {
        Fixture f = new Fixture("hdr-null", "a=1");
        String range = "bytes=5-";
        f.crawler.range = range;
        f.crawler.setRequestProperties(null, f.child, f.local);
        assertEquals(0, f.child.calls);
        assertSame(range, f.crawler.range);
        assertEquals(null, ((FixedCookies) f.crawler.cookiesCol).askedFor);
    }

    @Test
    void formatterWritesGmtWhateverTheDefaultZone() throws Exception {
        TimeZone saved = TimeZone.getDefault();
        try {
            for (String zone : new String[] {"Pacific/Kiritimati", "America/St_Johns", "Asia/Kathmandu"}) {
                TimeZone.setDefault(TimeZone.getTimeZone(zone));
                Fixture f = new Fixture("hdr-zone", null);
                assertEquals(EPOCH, f.crawler.fo.format(new Date(0)), zone);
                assertEquals(STAMP_DATE, f.crawler.fo.format(new Date(STAMP)), zone);
                assertEquals("If-Modified-Since: " + EPOCH, f.send(f.root).headers.get(1), zone);
            }
        } finally {
            TimeZone.setDefault(saved);
        }
    }

    @Test
    void datesStayEnglishUnderAGermanDefaultLocale() throws Exception {
        String out = Jvm.runWithOptions(
                List.of("-Duser.language=de", "-Duser.country=DE", "-Duser.timezone=Asia/Kolkata"),
                "RequestScenarios", "locale").ok().out;
        assertEquals(String.join("\n",
                "== locale",
                "default=de_DE Asia/Kolkata",
                "platform day=Do.",
                "fmtGMT=" + EPOCH,
                "headers=[" + AGENT + ", If-Modified-Since: " + EPOCH + "]",
                ""), out);
    }

    @Test
    void rangedRequestPrintsItsRange() throws Exception {
        String out = Jvm.run("RequestScenarios", "range").ok().out;
        assertEquals(String.join("\n",
                "== range",
                "range:bytes=1024-",
                "headers=[" + AGENT + ", Range: bytes=1024-, If-Range: " + EPOCH + "]",
                "range=''",
                ""), out);
    }
}
