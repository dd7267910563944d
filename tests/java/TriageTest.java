import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.tolvak.fenwix.NodeURL;

import java.io.File;
import java.io.IOException;
import java.io.RandomAccessFile;
import java.net.MalformedURLException;
import java.net.URL;
import java.net.URLConnection;
import java.net.URLStreamHandler;
import java.util.List;
import java.util.function.Function;

import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.ValueSource;

class TriageTest {

    /** A file class of a platform whose separator is a backslash. */
    static class BackslashFile extends File {
        public static final char separatorChar = '\\';

        BackslashFile(String path) {
            super(path);
        }
    }

    /** A crawler at crawl position 5, a node and its local file. */
    static final class Fixture {
        final UrlLoad crawler;
        final NodeURL node;
        final File local;

        Fixture(String name, URL url) throws IOException {
            this(name, url, File::new);
        }

        Fixture(String name, URL url, Function<String, File> files) throws IOException {
            File dir = Jvm.tempDir(name);
            crawler = new UrlLoad(dir);
            crawler.urlIndex = 5;
            node = new NodeURL(0, -1, url, null);
            local = files.apply(new File(dir, "page.htm").getPath());
            node.setLoadedFilename(local.getPath());
        }

        File marker() {
            return new File(local.getPath() + ".INCOMPLETE");
        }

        void interrupted(long length) throws IOException {
            if (length >= 0) {
                try (RandomAccessFile f = new RandomAccessFile(local, "rw")) {
                    f.setLength(length);
                }
            }
            assertTrue(marker().createNewFile());
        }

        int answer(int code) {
            node.setResponseCode(code);
            return crawler.chiap(node, null, local);
        }
    }

    static URL url(String s) throws MalformedURLException {
        return new URL(s);
    }

    /** A URL whose text is exactly the given one, whatever it holds. */
    static URL urlWithText(String text) throws MalformedURLException {
        return new URL("nosuch", "example.test", -1, "/", new URLStreamHandler() {
            @Override
            protected URLConnection openConnection(URL u) {
                throw new UnsupportedOperationException();
            }

            @Override
            protected String toExternalForm(URL u) {
                return text;
            }
        });
    }

    @Test
    void notModifiedCompleteCopyIsCurrent() throws Exception {
        Fixture f = new Fixture("tri-304", url("http://example.test/page.htm"));
        assertEquals(0, f.answer(304));
        assertEquals(List.of("setPreviouslyDownloaded"), f.node.stateCalls());
        assertEquals("", f.crawler.range);
        assertEquals(5, f.crawler.urlIndex);
    }

    /** -1 stands for a missing local file. */
    @ParameterizedTest
    @ValueSource(longs = {-1, 0, 1024, 3_000_000_000L})
    void notModifiedInterruptedCopyAsksForTheRest(long length) throws Exception {
        Fixture f = new Fixture("tri-resume", url("http://example.test/page.htm"));
        try {
            f.interrupted(length);
            assertEquals(1, f.answer(304));
            assertEquals("bytes=" + Math.max(length, 0) + "-", f.crawler.range);
            assertEquals(4, f.crawler.urlIndex, "the same node comes next");
            assertFalse(f.marker().exists());
            assertTrue(f.node.stateCalls().isEmpty());
        } finally {
            f.local.delete();
        }
    }

    @Test
    void markerGoesOnlyWithAnAnswerThatSettlesTheLocalFile() throws Exception {
        for (int code : new int[] {200, 206, 404}) {
            Fixture f = new Fixture("tri-del", url("http://example.test/page.htm"));
            f.interrupted(100);
            assertEquals(0, f.answer(code));
            assertFalse(f.marker().exists(), "code " + code);
            assertEquals(code == 404 ? List.of("setNotFound") : List.of(), f.node.stateCalls());
            assertEquals("", f.crawler.range);
            assertEquals(5, f.crawler.urlIndex);
        }
        for (int code : new int[] {503, 500, 403, 401, 301, 302, 416, 204, 100, -1}) {
            Fixture f = new Fixture("tri-keep", url("http://example.test/page.htm"));
            f.interrupted(100);
            assertEquals(0, f.answer(code));
            assertTrue(f.marker().exists(), "code " + code + " says nothing about the local file");
            assertTrue(f.node.stateCalls().isEmpty());
            assertEquals("", f.crawler.range);
            assertEquals(5, f.crawler.urlIndex);
            // so the next 304 still resumes instead of passing the part as complete
            assertEquals(1, f.answer(304));
            assertEquals("bytes=100-", f.crawler.range);
            assertTrue(f.node.stateCalls().isEmpty());
        }
    }

    @Test
    void defaultPageNameIsCutBackOnce() throws Exception {
        Fixture f = new Fixture("tri-page", url("http://example.test/dir/x7fenwix.htm"));
        f.interrupted(10);
        assertEquals(1, f.answer(404));
        assertEquals("http://example.test/dir/", f.node.getURL().toString());
        assertEquals(4, f.crawler.urlIndex);
        assertTrue(f.node.stateCalls().isEmpty());
        assertFalse(f.marker().exists(), "deleted before the repair");

        assertEquals(0, f.answer(404), "a cut URL no longer ends with the page name");
        assertEquals(List.of("setNotFound"), f.node.stateCalls());
        assertEquals("http://example.test/dir/", f.node.getURL().toString());
        assertEquals(4, f.crawler.urlIndex);

        Fixture b = new Fixture("tri-bslash", url("http://example.test/a\\b/x7fenwix.htm"));
        assertEquals(1, b.answer(404));
        assertEquals("http://example.test/a/b/", b.node.getURL().toString());
    }

    @Test
    void pageNameWithoutAnySlashIsLeftAlone() throws Exception {
        URL odd = urlWithText("x7fenwix.htm");
        Fixture f = new Fixture("tri-noslash", odd);
        assertEquals(0, f.answer(404));
        assertTrue(f.node.stateCalls().isEmpty());
        assertSame(odd, f.node.getURL());
        assertEquals(5, f.crawler.urlIndex);
    }

    @Test
    void caretBecomesQuestionMarkOnlyWhereTheSeparatorIsABackslash() throws Exception {
        Fixture linux = new Fixture("tri-caret", url("http://example.test/page.asp^id=3"));
        assertEquals(0, linux.answer(404));
        assertEquals(List.of("setNotFound"), linux.node.stateCalls());
        assertEquals("http://example.test/page.asp^id=3", linux.node.getURL().toString());

        Fixture win = new Fixture("tri-caret-w", url("http://example.test/page.asp^id=3"), BackslashFile::new);
        win.interrupted(10);
        assertEquals(1, win.answer(404));
        assertEquals("http://example.test/page.asp?id=3", win.node.getURL().toString());
        assertEquals(4, win.crawler.urlIndex);
        assertFalse(win.marker().exists());
        assertEquals(0, win.answer(404), "no caret is left to repair");
        assertEquals(List.of("setNotFound"), win.node.stateCalls());

        Fixture plain = new Fixture("tri-nocaret-w", url("http://example.test/page.asp"), BackslashFile::new);
        assertEquals(0, plain.answer(404));
        assertEquals(List.of("setNotFound"), plain.node.stateCalls());

        // A text shorter than the page name goes the caret way.
        Fixture shortText = new Fixture("tri-short-w", url("file:/^"), BackslashFile::new);
        assertEquals(1, shortText.answer(404));
        assertEquals("file:/?", shortText.node.getURL().toString());
    }

    @Test
    void repairedTextThatIsNoUrlGivesUpQuietly() throws Exception {
        URL odd = urlWithText("nosuch://example.test/dir/x7fenwix.htm");
        Fixture f = new Fixture("tri-bad", odd);
        assertEquals(0, f.answer(404));
        assertEquals(List.of("setNotFound"), f.node.stateCalls());
        assertSame(odd, f.node.getURL());
        assertEquals(5, f.crawler.urlIndex);

        URL oddCaret = urlWithText("nosuch://example.test/p^q");
        Fixture w = new Fixture("tri-bad-w", oddCaret, BackslashFile::new);
        assertEquals(0, w.answer(404));
        assertEquals(List.of("setNotFound"), w.node.stateCalls());
        assertSame(oddCaret, w.node.getURL());
    }

    @Test
    void resumptionPrintsTheRangeItBuilt() throws Exception {
        String out = Jvm.run("RequestScenarios", "resume", "resume-big").ok().out;
        assertEquals(String.join("\n",
                "== resume",
                "contructed range field:bytes=1024-",
                "result=1 range=bytes=1024- urlIndex=6",
                "== resume-big",
                "contructed range field:bytes=3000000000-",
                "result=1 range=bytes=3000000000- urlIndex=6",
                ""), out);
    }
}
