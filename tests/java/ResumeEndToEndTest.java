import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.tolvak.fenwix.NodeURL;

import java.io.File;
import java.net.URL;
import java.nio.file.Files;
import java.util.Arrays;
import java.util.HashSet;
import java.util.List;
import java.util.Random;
import java.util.Set;

import org.junit.jupiter.api.Test;

/**
 * The request cycle of the crawler against a real nginx: interrupted
 * transfers resumed with a ranged request, a changed server copy replacing
 * a partial one, a current copy left alone, a repaired 404, and the headers
 * as the server received them.
 */
class ResumeEndToEndTest {
    static final String AGENT = "Mozilla/4.0 (compatible; MSIE 4.01; Windows NT";
    /** The condition sent for a file not saved yet: none (a server file dated 1970 would answer 304). */
    static final String NO_CONDITION = "";
    static final long SERVER_TIME = 1_500_000_000_000L;
    static final String SERVER_DATE = "Fri, 14 Jul 2017 02:40:00 GMT";
    // Bodies of the interrupted transfers are larger than what the JDK drains
    // in the background when a connection is closed early (512 KiB), so the
    // server really stops sending.
    static final int BIG = 700_000;
    static final int RATE = 200_000;  // bytes per second in the slow locations
    static final int STOP_AFTER = 30_000;

    static byte[] body(int n, long seed) {
        byte[] b = new byte[n];
        new Random(seed).nextBytes(b);
        return b;
    }

    static File serve(File docRoot, String path, byte[] body, long time) throws Exception {
        File f = new File(docRoot, path);
        f.getParentFile().mkdirs();
        Files.write(f.toPath(), body);
        assertTrue(f.setLastModified(time));
        return f;
    }

    static Nginx.Builder server(File docRoot) {
        return Nginx.with(docRoot)
                .slow("/slow/", RATE)
                .cookie("/c/", "x7session=abc123; Path=/")
                // a server that ignores If-Modified-Since and answers every request in full
                .raw("        location /plain/ { if_modified_since off; limit_rate " + RATE + "; }")
                .raw("        location /dir/ { index index.txt; }");
    }

    static File marker(File local) {
        return new File(local.getPath() + ".INCOMPLETE");
    }

    /** Requests the node while another thread stops the crawl once the local file holds STOP_AFTER bytes. */
    static UrlLoad.Step requestAndInterrupt(UrlLoad crawler, NodeURL node) throws Exception {
        File local = crawler.localFileFor(node.getURL());
        Thread stopper = new Thread(() -> {
            long end = System.nanoTime() + 60_000_000_000L;
            while (System.nanoTime() < end && !Thread.currentThread().isInterrupted()) {
                if (local.length() >= STOP_AFTER) {
                    crawler.aborted = true;
                    return;
                }
                try {
                    Thread.sleep(1);
                } catch (InterruptedException e) {
                    return;
                }
            }
        });
        stopper.setDaemon(true);
        stopper.start();
        try {
            return crawler.request(node);
        } finally {
            stopper.interrupt();
            stopper.join();
        }
    }

    /** The strong ETag nginx gives a static file: its time and length in hex. */
    static String nginxEtag(long time, long length) {
        return String.format("\"%x-%x\"", time / 1000, length);
    }

    /** Checks the state an interrupted transfer leaves and returns the length of the part on disk. */
    static long assertInterrupted(UrlLoad crawler, NodeURL node, byte[] body) throws Exception {
        File local = crawler.localFileFor(node.getURL());
        assertEquals(List.of("setStopped", "setDownloaded"), node.stateCalls());
        long part = local.length();
        assertTrue(part >= STOP_AFTER && part < body.length, "part of " + part + " bytes");
        assertArrayEquals(Arrays.copyOf(body, (int) part), Files.readAllBytes(local.toPath()));
        assertTrue(marker(local).isFile());
        assertEquals(SERVER_TIME, local.lastModified(), "the part carries the server time");
        assertEquals(SERVER_TIME, marker(local).lastModified(), "so does its marker");
        return part;
    }

    /** The state calls the node received from the request in hand (they accumulate over attempts). */
    static List<String> callsOf(NodeURL node, Runnable request) {
        int before = node.stateCalls().size();
        request.run();
        List<String> all = node.stateCalls();
        return all.subList(before, all.size());
    }

    static void print(String title, List<Nginx.Entry> log) {
        System.out.println("nginx access log, " + title + ":");
        for (Nginx.Entry e : log) System.out.println("  " + e);
    }

    @Test
    void interruptedTransferIsResumedWithARangedRequest() throws Exception {
        File docRoot = Jvm.tempDir("e2e-docs");
        byte[] body = body(BIG, 1);
        serve(docRoot, "slow/big.bin", body, SERVER_TIME);
        try (Nginx web = server(docRoot).start()) {
            UrlLoad crawler = new UrlLoad(Jvm.tempDir("e2e-site"));
            NodeURL node = crawler.addStart(web.url("/slow/big.bin"));
            File local = crawler.localFileFor(node.getURL());

            assertEquals(UrlLoad.Step.DONE, requestAndInterrupt(crawler, node));
            long part = assertInterrupted(crawler, node, body);
            Nginx.Entry first = web.awaitAccessLog(1).get(0);
            assertEquals(200, first.status);
            assertEquals(NO_CONDITION, first.ifModifiedSince, "no local copy yet");
            assertNull(first.range);
            assertTrue(first.bytesSent < body.length, "the server stopped sending: " + first.bytesSent);

            // Next crawl: the conditional request finds the server copy unchanged.
            crawler.aborted = false;
            List<String> calls = callsOf(node, () -> assertEquals(UrlLoad.Step.AGAIN, crawler.request(node)));
            assertEquals("bytes=" + part + "-", crawler.range);
            assertEquals(-1, crawler.urlIndex, "stepped back to the same node");
            assertTrue(marker(local).exists(), "the part keeps its marker until the rest has arrived");
            assertTrue(calls.isEmpty(), calls.toString());
            Nginx.Entry second = web.awaitAccessLog(2).get(1);
            assertEquals(304, second.status);
            assertEquals(SERVER_DATE, second.ifModifiedSince);
            assertNull(second.range);

            // Again: the rest only, appended.
            calls = callsOf(node, () -> assertEquals(UrlLoad.Step.DONE, crawler.request(node)));
            assertEquals("", crawler.range);
            assertEquals(206, node.getResponseCode());
            assertEquals(List.of("setDownloaded"), calls);
            assertEquals(body.length - part, node.readLength);
            assertArrayEquals(body, Files.readAllBytes(local.toPath()));
            assertFalse(marker(local).exists());
            assertEquals(SERVER_TIME, local.lastModified());
            List<Nginx.Entry> log = web.awaitAccessLog(3);
            Nginx.Entry third = log.get(2);
            assertEquals(206, third.status);
            assertEquals("bytes=" + part + "-", third.range);
            assertEquals(nginxEtag(SERVER_TIME, body.length), third.ifRange, "the part's strong ETag");
            assertNull(third.ifModifiedSince);
            assertEquals(body.length - part, third.bytesSent);
            for (Nginx.Entry e : log) {
                assertEquals("GET /slow/big.bin HTTP/1.1", e.request);
                assertEquals(AGENT, e.userAgent);
                assertNull(e.referer);
                assertNull(e.cookie);
            }
            print("interrupted and resumed", log);
        }
    }

    @Test
    void serverCopyChangedBeforeTheRestIsFetchedReplacesThePart() throws Exception {
        File docRoot = Jvm.tempDir("e2e-docs");
        byte[] body = body(BIG, 2);
        File served = serve(docRoot, "slow/big.bin", body, SERVER_TIME);
        try (Nginx web = server(docRoot).start()) {
            UrlLoad crawler = new UrlLoad(Jvm.tempDir("e2e-site"));
            NodeURL node = crawler.addStart(web.url("/slow/big.bin"));
            File local = crawler.localFileFor(node.getURL());
            requestAndInterrupt(crawler, node);
            long part = assertInterrupted(crawler, node, body);
            crawler.aborted = false;
            assertEquals(UrlLoad.Step.AGAIN, crawler.request(node));

            byte[] changed = body(120_000, 3);
            long changedTime = SERVER_TIME + 3_600_000;
            serve(docRoot, "slow/big.bin", changed, changedTime);
            assertEquals(changedTime, served.lastModified());

            assertEquals(UrlLoad.Step.DONE, crawler.request(node));
            assertEquals(200, node.getResponseCode(), "If-Range no longer matches");
            assertArrayEquals(changed, Files.readAllBytes(local.toPath()));
            assertEquals(changedTime, local.lastModified());
            assertFalse(marker(local).exists());
            List<Nginx.Entry> log = web.awaitAccessLog(3);
            Nginx.Entry last = log.get(2);
            assertEquals(200, last.status);
            assertEquals("bytes=" + part + "-", last.range);
            assertEquals(nginxEtag(SERVER_TIME, body.length), last.ifRange, "the ETag of the part's body");
            assertEquals(changed.length, last.bytesSent);
            print("changed between interruption and resumption", log);
        }
    }

    @Test
    void serverThatIgnoresConditionsStillCompletesAPartialCopy() throws Exception {
        File docRoot = Jvm.tempDir("e2e-docs");
        byte[] body = body(BIG, 4);
        serve(docRoot, "plain/big.bin", body, SERVER_TIME);
        try (Nginx web = server(docRoot).start()) {
            UrlLoad crawler = new UrlLoad(Jvm.tempDir("e2e-site"));
            NodeURL node = crawler.addStart(web.url("/plain/big.bin"));
            File local = crawler.localFileFor(node.getURL());
            requestAndInterrupt(crawler, node);
            assertInterrupted(crawler, node, body);
            crawler.aborted = false;

            // 200 for an unchanged copy: the part has the server's time, yet
            // it must not pass for current.
            List<String> calls = callsOf(node, () -> assertEquals(UrlLoad.Step.DONE, crawler.request(node)));
            assertEquals(200, node.getResponseCode());
            assertEquals(List.of("setDownloaded"), calls);
            assertArrayEquals(body, Files.readAllBytes(local.toPath()));
            assertFalse(marker(local).exists());
            Nginx.Entry last = web.awaitAccessLog(2).get(1);
            assertEquals(SERVER_DATE, last.ifModifiedSince);
            assertEquals(200, last.status);
        }
    }

    @Test
    void currentCopyIsLeftAsItIs() throws Exception {
        File docRoot = Jvm.tempDir("e2e-docs");
        serve(docRoot, "files/data.bin", "served bytes".getBytes(), SERVER_TIME);
        try (Nginx web = server(docRoot).start()) {
            UrlLoad crawler = new UrlLoad(Jvm.tempDir("e2e-site"));
            NodeURL node = crawler.addStart(web.url("/files/data.bin"));
            File local = crawler.localFileFor(node.getURL());
            assertEquals(UrlLoad.Step.DONE, crawler.request(node));
            assertEquals("served bytes", Files.readString(local.toPath()));
            assertEquals(SERVER_TIME, local.lastModified());
            assertEquals(1, crawler.nfiles);

            // Same length and time, other bytes: shows whether anything is written.
            Files.writeString(local.toPath(), "local bytes!");
            assertTrue(local.setLastModified(SERVER_TIME));
            List<String> calls = callsOf(node, () -> assertEquals(UrlLoad.Step.DONE, crawler.request(node)));
            assertEquals(304, node.getResponseCode());
            assertEquals(Set.of("setPreviouslyDownloaded"), new HashSet<>(calls), calls.toString());
            assertTrue(node.isLoaded());
            assertEquals("local bytes!", Files.readString(local.toPath()));
            assertEquals(1, crawler.nfiles, "nothing transferred");
            Nginx.Entry second = web.awaitAccessLog(2).get(1);
            assertEquals(304, second.status);
            assertEquals(SERVER_DATE, second.ifModifiedSince);
            assertEquals(0, second.bytesSent);
        }
    }

    @Test
    void missingDefaultPageIsFetchedFromItsDirectory() throws Exception {
        File docRoot = Jvm.tempDir("e2e-docs");
        serve(docRoot, "dir/index.txt", "directory index".getBytes(), SERVER_TIME);
        try (Nginx web = server(docRoot).start()) {
            UrlLoad crawler = new UrlLoad(Jvm.tempDir("e2e-site"));
            NodeURL node = crawler.addStart(web.url("/dir/x7fenwix.htm"));
            assertEquals(UrlLoad.Step.AGAIN, crawler.request(node));
            assertEquals(web.url("/dir/").toString(), node.getURL().toString());
            assertEquals(-1, crawler.urlIndex);
            assertEquals(UrlLoad.Step.DONE, crawler.request(node));
            assertEquals(200, node.getResponseCode());
            assertEquals("directory index", Files.readString(crawler.localFileFor(node.getURL()).toPath()));
            List<Nginx.Entry> log = web.awaitAccessLog(2);
            assertEquals("GET /dir/x7fenwix.htm HTTP/1.1", log.get(0).request);
            assertEquals(404, log.get(0).status);
            assertEquals("GET /dir/ HTTP/1.1", log.get(1).request);
            assertEquals(200, log.get(1).status);
            print("404 repaired", log);
        }
    }

    @Test
    void serverReceivesTheHeadersTheLibrarySet() throws Exception {
        File docRoot = Jvm.tempDir("e2e-docs");
        serve(docRoot, "c/start.txt", "start".getBytes(), SERVER_TIME);
        serve(docRoot, "files/next.txt", "next".getBytes(), SERVER_TIME);
        try (Nginx web = server(docRoot).start()) {
            UrlLoad crawler = new UrlLoad(Jvm.tempDir("e2e-site"));
            NodeURL start = crawler.addStart(web.url("/c/start.txt"));
            NodeURL next = new NodeURL(1, 0, web.url("/files/next.txt"), "/files/next.txt");
            crawler.urlToLoad.add(next);
            assertEquals(UrlLoad.Step.DONE, crawler.request(start));
            assertEquals(UrlLoad.Step.DONE, crawler.request(next));
            assertEquals("next", Files.readString(crawler.localFileFor(next.getURL()).toPath()));

            List<Nginx.Entry> log = web.awaitAccessLog(2);
            Nginx.Entry first = log.get(0);
            assertEquals(AGENT, first.userAgent);
            assertNull(first.referer);
            assertNull(first.cookie, "no cookie before the server set one");
            assertEquals(NO_CONDITION, first.ifModifiedSince);
            Nginx.Entry second = log.get(1);
            assertEquals(AGENT, second.userAgent);
            assertEquals(web.url("/c/start.txt").toString(), second.referer);
            assertEquals("x7session=abc123", second.cookie);
            assertEquals(NO_CONDITION, second.ifModifiedSince);
            assertNull(second.range);
            assertNull(second.ifRange);
            print("referer and cookie", log);
        }
    }
}
