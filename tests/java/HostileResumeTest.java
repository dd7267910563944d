import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.tolvak.fenwix.NodeURL;

import java.io.File;
import java.nio.file.Files;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.function.Function;

import org.junit.jupiter.api.Test;

/** Servers that lie about ranges, validators and times: the copy ends whole or the run says why, never spliced. */
class HostileResumeTest {
    static final String DATE = "Fri, 14 Jul 2017 02:40:00 GMT";
    static final long TIME = 1500000000000L;
    static final byte[] BODY = body(300_000, 7);

    static byte[] body(int n, int seed) {
        byte[] b = new byte[n];
        for (int i = 0; i < n; i++) b[i] = (byte) ('a' + (i * seed + i / 7) % 26);
        return b;
    }

    static byte[] whole(byte[] body, String... extra) {
        List<String> h = new ArrayList<>(List.of("Last-Modified: " + DATE, "Content-Type: application/octet-stream"));
        h.addAll(List.of(extra));
        return ScriptedServer.answer("200 OK", body, h.toArray(new String[0]));
    }

    static byte[] partial(byte[] body, int from, int to, String... extra) {
        List<String> h = new ArrayList<>(List.of("Last-Modified: " + DATE,
                "Content-Range: bytes " + from + "-" + (to - 1) + "/" + body.length));
        h.addAll(List.of(extra));
        return ScriptedServer.answer("206 Partial Content", Arrays.copyOfRange(body, from, to), h.toArray(new String[0]));
    }

    static byte[] notModified() {
        return ScriptedServer.answer("304 Not Modified", new byte[0], "Last-Modified: " + DATE);
    }

    /** A crawl of one file from a scripted server, over a local copy as given (part, marker or nothing). */
    static final class Run {
        final File local;
        final NodeURL node;
        final ScriptedServer server;
        final UrlLoad crawler;

        Run(Function<ScriptedServer.Request, byte[]> script, byte[] onDisk, boolean marked, String validator)
                throws Exception {
            server = new ScriptedServer(script);
            crawler = new UrlLoad(Jvm.tempDir("hostile-resume"));
            node = crawler.addStart(server.url("/f.bin"));
            local = crawler.localFileFor(node.getURL());
            if (onDisk != null) {
                local.getParentFile().mkdirs();
                Files.write(local.toPath(), onDisk);
                local.setLastModified(TIME);
                if (marked) assertTrue(IncompleteMarker.make(local, validator));
            }
            new Crawl(crawler).run(n -> true, n -> { });
            server.close();
        }

        void assertWhole() throws Exception {
            assertArrayEquals(BODY, Files.readAllBytes(local.toPath()), "the file as the server has it");
            assertTrue(node.isLoaded());
            assertFalse(IncompleteMarker.on(local));
        }
    }

    @Test
    void rangesTheServerMakesUpAreNeverAppended() throws Exception {
        byte[] part = Arrays.copyOf(BODY, 100_000);
        // A 206 to a request that asked for no range, covering the whole: it is the whole.
        Run unasked = new Run(r -> partial(BODY, 0, BODY.length), body(1000, 3), false, null);
        unasked.assertWhole();
        // A 206 from byte 0 to a resumption: the part is dropped and the file fetched whole.
        Run fromZero = new Run(r -> r.header("Range") != null ? partial(BODY, 0, 200_000)
                : conditional(r) ? notModified() : whole(BODY), part, true, null);
        fromZero.assertWhole();
        assertTrue(fromZero.crawler.getLog().contains("Asking again for the whole file:"), fromZero.crawler.getLog());
        // A 206 without a range to an update, not the whole body: never old + new.
        Run spliced = new Run(r -> conditional(r) ? partial(BODY, 1000, 5000) : whole(BODY),
                body(1000, 3), false, null);
        spliced.assertWhole();
    }

    /** Whether a request carries a date condition (an empty one is none). */
    static boolean conditional(ScriptedServer.Request r) {
        return r.header("If-Modified-Since") != null && !r.header("If-Modified-Since").isEmpty();
    }

    @Test
    void answersThatRefuseTheRestFetchTheFileWhole() throws Exception {
        byte[] part = Arrays.copyOf(BODY, 100_000);
        // 416 to the resumption: the part is not taken for the whole.
        Run refused = new Run(r -> r.header("Range") != null
                ? ScriptedServer.answer("416 Range Not Satisfiable", new byte[0])
                : conditional(r) ? notModified() : whole(BODY), part, true, null);
        refused.assertWhole();
        // 304 to everything while a part is marked: a few requests, not an endless loop, and no part kept.
        Run stubborn = new Run(r -> notModified(), part, true, null);
        assertTrue(stubborn.server.requests.size() <= 4, stubborn.server.requests.size() + " requests");
        assertTrue(stubborn.node.hasError());
        assertFalse(stubborn.local.exists() && !IncompleteMarker.on(stubborn.local), "a part never passes for whole");
        assertTrue(stubborn.crawler.getLog().contains("304 Not Modified for a file that is not saved"));
    }

    @Test
    void theStrongEtagOfThePartValidatesItsRest() throws Exception {
        byte[] part = Arrays.copyOf(BODY, 100_000);
        String etag = "\"v1\"";
        // The server file changed at the same time: only the ETag tells, and it answers the whole.
        Run changed = new Run(r -> r.header("Range") != null && etag.equals(r.header("If-Range"))
                ? partial(BODY, 100_000, BODY.length, "ETag: " + etag)
                : r.header("Range") != null ? partial(body(300_000, 9), 100_000, 300_000, "ETag: \"v2\"")
                : notModified(), part, true, etag);
        changed.assertWhole();
        assertTrue(changed.server.requests.stream().anyMatch(r -> etag.equals(r.header("If-Range"))));
        // The server ignores If-Range and sends the rest of another body: refused, then fetched whole.
        Run other = new Run(r -> r.header("Range") != null
                ? partial(body(300_000, 9), 100_000, 300_000, "ETag: \"v2\"")
                : conditional(r) ? notModified() : whole(BODY), part, true, etag);
        other.assertWhole();
        // A cut transfer keeps the ETag of its body with the part.
        Run cut = new Run(r -> whole(BODY, "ETag: " + etag), null, false, null);
        cut.assertWhole();
    }

    @Test
    void aMissingFileIsFetchedWhateverItsTimeAndTimesAheadAreClamped() throws Exception {
        // The server's file is dated 1970 and it answers 304 to any date it is given.
        Run epoch = new Run(r -> conditional(r) ? notModified() : whole(BODY), null, false, null);
        epoch.assertWhole();
        long before = System.currentTimeMillis();
        Run future = new Run(r -> ScriptedServer.answer("200 OK", BODY, "Last-Modified: Fri, 01 Jan 2100 00:00:00 GMT"),
                null, false, null);
        future.assertWhole();
        assertTrue(future.local.lastModified() <= System.currentTimeMillis() + 2000
                && future.local.lastModified() >= before - 2000, "stamped now, not in 2100");
    }
}
