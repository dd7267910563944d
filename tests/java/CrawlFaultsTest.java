import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.ByteArrayOutputStream;
import java.io.File;
import java.net.InetAddress;
import java.net.ServerSocket;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Map;
import java.util.Random;
import java.util.concurrent.ConcurrentHashMap;
import java.util.concurrent.atomic.AtomicInteger;
import java.util.function.Function;
import java.util.zip.GZIPOutputStream;

import org.junit.jupiter.api.Test;

/**
 * Mirror runs against scripted servers that misbehave: redirects of every
 * kind, answers that never come, bodies cut off, 5xx answers, bodies that
 * always come gzip-encoded, waits asked for, a disk nearly full.
 */
class CrawlFaultsTest {
    private static final String DATE = "Last-Modified: Tue, 01 Sep 2020 10:00:00 GMT";

    private static byte[] page(String html) {
        return ScriptedServer.answer("200 OK", html.getBytes(StandardCharsets.UTF_8), "Content-Type: text/html", DATE);
    }

    private static byte[] notFound() {
        return ScriptedServer.answer("404 Not Found", new byte[0]);
    }

    private static byte[] moved(String status, String location) {
        return ScriptedServer.answer(status, new byte[0], "Location: " + location);
    }

    private static byte[] gzip(byte[] b) throws Exception {
        ByteArrayOutputStream out = new ByteArrayOutputStream();
        try (GZIPOutputStream z = new GZIPOutputStream(out)) {
            z.write(b);
        }
        return out.toByteArray();
    }

    private static String read(File f) throws Exception {
        return Files.readString(f.toPath(), StandardCharsets.ISO_8859_1);
    }

    private static long count(List<String> targets, String target) {
        return targets.stream().filter(target::equals).count();
    }

    @Test
    void redirectsAreFollowedSavedUnderWhereTheyLeadAndNeverLoopOrLeaveTheScope() throws Exception {
        try (ScriptedServer other = new ScriptedServer(r -> page("<html>elsewhere</html>"))) {
            String away = other.url("/x.html").toString();
            Function<ScriptedServer.Request, byte[]> site = r -> {
                switch (r.target) {
                    case "/robots.txt": return notFound();
                    case "/s/start.html": return page("<html><a href=\"moved\">1</a> <a href=\"new/page.html\">2</a>"
                            + " <a href=\"sub\">3</a> <a href=\"loop1\">4</a> <a href=\"away\">5</a>"
                            + " <a href=\"hop0\">6</a> <a href=\"same\">7</a></html>");
                    case "/s/moved": return moved("301 Moved Permanently", "/s/new/page.html");
                    case "/s/new/page.html": return page("<html><img src=\"pic.gif\"> <a href=\"../start.html\">b</a></html>");
                    case "/s/new/pic.gif": return ScriptedServer.answer("200 OK", "GIF89a".getBytes(), "Content-Type: image/gif");
                    case "/s/sub": return moved("301 Moved Permanently", "sub/");
                    case "/s/sub/": return page("<html>the folder's page <a href=\"../start.html\">b</a></html>");
                    case "/s/loop1": return moved("302 Found", "loop2");
                    case "/s/loop2": return moved("302 Found", "/s/loop1");
                    case "/s/away": return moved("302 Found", away);
                    case "/s/same": return moved("307 Temporary Redirect", "/s/sub/");
                    default:
                        if (r.target.startsWith("/s/hop")) {
                            int n = Integer.parseInt(r.target.substring(6));
                            return moved("302 Found", "hop" + (n + 1));
                        }
                        return notFound();
                }
            };
            try (ScriptedServer web = new ScriptedServer(site)) {
                File out = new File(Jvm.tempDir("redirects"), "copy");
                Jvm.Result r = MirrorRuns.mirror(web.url("/s/start.html").toString(), out.getPath());
                List<String> asked = web.targets();
                String log = read(new File(out, OutFiles.LOG_NAME));
                String dir = "127.0.0.1 " + web.port() + "/s/";

                // 301 to a page: saved under its final name, fetched once, its links resolved there
                assertEquals(1, count(asked, "/s/new/page.html"), asked.toString());
                assertEquals(1, count(asked, "/s/new/pic.gif"), asked.toString());
                assertFalse(new File(out, dir + "moved").exists());
                assertTrue(new File(out, dir + "new/pic.gif").isFile());
                String start = read(new File(out, dir + "start.html"));
                assertTrue(start.contains("<a href=\"new/page.html\">1</a>"), start);
                // sub to sub/: the folder's page, no file named like the folder
                assertTrue(new File(out, dir + "sub/x7fenwix.htm").isFile());
                assertTrue(start.contains("<a href=\"sub/x7fenwix.htm\">3</a>"), start);
                assertTrue(start.contains("<a href=\"sub/x7fenwix.htm\">7</a>"), start);
                assertEquals(1, count(asked, "/s/sub/"), asked.toString());
                // a loop is found at once, a chain ends after ten hops
                assertEquals(1, count(asked, "/s/loop1"), asked.toString());
                assertEquals(1, count(asked, "/s/loop2"), asked.toString());
                assertTrue(log.contains("(redirect loop: "), log);
                assertTrue(asked.contains("/s/hop10") && !asked.contains("/s/hop11"), asked.toString());
                assertTrue(log.contains("(more than 10 redirects: "), log);
                // another site part is never asked; the link keeps its web address
                assertEquals(List.of(), other.targets());
                assertTrue(start.contains("<a href=\"" + web.url("/s/away") + "\">5</a>"), start);
                assertTrue(log.contains("Redirect not followed:" + web.url("/s/away") + " (302 to " + away), log);

                assertEquals(2, r.exit, r.out);
                assertTrue(r.out.contains("errors:             2 (2 redirect)"), r.out);
                assertTrue(r.out.contains("1 redirect out of scope"), r.out);
                assertEquals(List.of(), MirrorRuns.brokenLocalLinks(out));
            }
        }
    }

    @Test
    void aFileAndAFolderOfOneNameNeverBlockARun() throws Exception {
        Function<ScriptedServer.Request, byte[]> site = r -> {
            switch (r.target) {
                case "/c/start.html": return page("<html><a href=\"x\">file</a> <a href=\"x/y.html\">in</a></html>");
                case "/c/x": return ScriptedServer.answer("200 OK", "plain x".getBytes(), "Content-Type: text/plain", DATE);
                case "/c/x/y.html": return page("<html><a href=\"../x\">up</a></html>");
                default: return notFound();
            }
        };
        try (ScriptedServer web = new ScriptedServer(site)) {
            File out = new File(Jvm.tempDir("clash"), "copy");
            String dir = "127.0.0.1 " + web.port() + "/c/";
            for (int run = 1; run <= 2; run++) {
                Jvm.Result r = MirrorRuns.mirror(web.url("/c/start.html").toString(), out.getPath());
                assertEquals(0, r.exit, "run " + run + ":\n" + r.out);
                assertEquals("plain x", read(new File(out, dir + "x/" + FolderClash.FILE_NAME)));
                assertTrue(new File(out, dir + "x/y.html").isFile());
                assertTrue(read(new File(out, dir + "start.html")).contains("<a href=\"x/x7fenwix-file\">file</a>"));
                assertEquals(List.of(), MirrorRuns.brokenLocalLinks(out), "run " + run);
            }
        }
    }

    @Test
    void aServerThatNeverAnswersEndsTheRunWithinTheTimeoutAndSaysWhy() throws Exception {
        try (ServerSocket silent = new ServerSocket(0, 50, InetAddress.getByName("127.0.0.1"))) {
            // connections are taken by the backlog and never answered
            File out = new File(Jvm.tempDir("silent"), "copy");
            long t0 = System.nanoTime();
            Jvm.Result r = MirrorRuns.mirror("http://127.0.0.1:" + silent.getLocalPort() + "/", out.getPath(),
                    "--timeout", "4", "--tries", "1");
            double seconds = (System.nanoTime() - t0) / 1e9;
            assertEquals(2, r.exit, r.out);
            // robots.txt and one attempt, 4 s each: the start page's check is not made once robots.txt timed out
            assertTrue(seconds < 20, seconds + " s:\n" + r.out);
            assertTrue(r.out.contains("The start page could not be saved: SocketTimeoutException: Read timed out"), r.out);
            assertTrue(r.out.contains("errors:             1 (1 timeout)"), r.out);
            assertTrue(r.out.matches("(?s).*0 of \\d done, 0 B  waiting for 127\\.0\\.0\\.1:\\d+ to answer \\(timeout 4\\.0 s\\).*"),
                    "the progress line says what it waits for:\n" + r.out);
            String log = read(new File(out, OutFiles.LOG_NAME));
            String site = "http://127.0.0.1:" + silent.getLocalPort();
            assertTrue(log.contains("Error reading url:" + site + "/ (SocketTimeoutException: Read timed out)"), log);
            assertTrue(log.contains("robots.txt:" + site + "/robots.txt (SocketTimeoutException: Read timed out,"
                    + " everything allowed)"), log);
        }
    }

    /** A body of its own that the server cuts off at random offsets, the first few times it is asked. */
    private static final class Cutting implements Function<ScriptedServer.Request, byte[]> {
        final byte[] body;
        final boolean gzipped;
        final Random random = new Random(42);
        final AtomicInteger cutsLeft;

        Cutting(byte[] body, boolean gzipped, int cuts) {
            this.body = body;
            this.gzipped = gzipped;
            this.cutsLeft = new AtomicInteger(cuts);
        }

        @Override
        public byte[] apply(ScriptedServer.Request r) {
            try {
                if (!r.target.equals("/f/data.bin")) {
                    return r.target.equals("/f/index.html") ? page("<html><a href=\"data.bin\">d</a></html>") : notFound();
                }
                byte[] sent = gzipped ? gzip(body) : body;
                int from = 0;
                String status = "200 OK";
                List<String> headers = new ArrayList<>(List.of(DATE, "ETag: \"v1\"", "Content-Type: application/octet-stream"));
                if (gzipped) headers.add("Content-Encoding: gzip");
                String range = r.header("Range");
                if (range != null && !gzipped && "\"v1\"".equals(r.header("If-Range"))) {
                    from = Integer.parseInt(range.replaceAll("bytes=(\\d+)-", "$1"));
                    status = "206 Partial Content";
                    headers.add("Content-Range: bytes " + from + "-" + (sent.length - 1) + "/" + sent.length);
                }
                byte[] rest = Arrays.copyOfRange(sent, from, sent.length);
                byte[] whole = ScriptedServer.answer(status, rest, headers.toArray(new String[0]));
                if (cutsLeft.getAndDecrement() <= 0) return whole;
                // the head and a random part of the body, at least a byte, never all of it
                int keep = 1 + random.nextInt(Math.max(1, rest.length - 1));
                return Arrays.copyOf(whole, whole.length - rest.length + keep);
            } catch (Exception e) {
                throw new IllegalStateException(e);
            }
        }
    }

    @Test
    void aBodyCutAtRandomOffsetsEndsWholeInTheSameRun() throws Exception {
        byte[] body = new byte[300_000];
        new Random(5).nextBytes(body);
        Cutting script = new Cutting(body, false, 6);
        try (ScriptedServer web = new ScriptedServer(script)) {
            File out = new File(Jvm.tempDir("cut-random"), "copy");
            Jvm.Result r = MirrorRuns.mirror(web.url("/f/index.html").toString(), out.getPath(), "--no-robots");
            assertEquals(0, r.exit, r.out);
            File saved = new File(out, "127.0.0.1 " + web.port() + "/f/data.bin");
            assertArrayEquals(body, Files.readAllBytes(saved.toPath()));
            assertFalse(IncompleteMarker.on(saved));
            // each retry asked for the rest of exactly the part on disk
            List<ScriptedServer.Request> asks = new ArrayList<>();
            for (ScriptedServer.Request q : web.requests) if (q.target.equals("/f/data.bin")) asks.add(q);
            assertEquals(7, asks.size(), web.targets().toString());
            assertEquals(null, asks.get(0).header("Range"));
            for (int i = 1; i < asks.size(); i++) {
                assertTrue(asks.get(i).header("Range").matches("bytes=[1-9]\\d*-"), asks.get(i).headers.toString());
                assertEquals("identity", asks.get(i).header("Accept-Encoding"));
            }
            String log = read(new File(out, OutFiles.LOG_NAME));
            assertTrue(log.contains("Error reading url:" + web.url("/f/data.bin") + " (IOException: connection closed after "), log);
            assertTrue(log.contains("Trying again (1 of 3):" + web.url("/f/data.bin")), log);
        }
    }

    @Test
    void aServerThatIgnoresRangesAndCutsEveryCopyUsesUpItsTries() throws Exception {
        byte[] body = new byte[5000];
        Function<ScriptedServer.Request, byte[]> site = r -> {
            if (r.target.equals("/f/index.html")) return page("<html><a href=\"data.bin\">d</a></html>");
            if (!r.target.equals("/f/data.bin")) return notFound();
            byte[] whole = ScriptedServer.answer("200 OK", body, DATE, "Content-Type: application/octet-stream");
            return Arrays.copyOf(whole, whole.length - 4000);
        };
        try (ScriptedServer web = new ScriptedServer(site)) {
            File out = new File(Jvm.tempDir("cut-always"), "copy");
            Jvm.Result r = MirrorRuns.mirror(web.url("/f/index.html").toString(), out.getPath(), "--no-robots");
            assertEquals(2, r.exit, r.out);
            // the first cut brought bytes; the three that brought none are the tries
            assertEquals(4, count(web.targets(), "/f/data.bin"), web.targets().toString());
            assertTrue(r.out.contains("errors:             1 (1 connection broken)"), r.out);
            assertTrue(IncompleteMarker.on(new File(out, "127.0.0.1 " + web.port() + "/f/data.bin")));
        }
    }

    @Test
    void anAlwaysGzipServerIsSavedDecodedAndACutEncodedBodyIsFetchedWhole() throws Exception {
        byte[] body = new byte[120_000];
        new Random(9).nextBytes(body);
        Cutting data = new Cutting(body, true, 1);
        Map<String, byte[]> pages = new ConcurrentHashMap<>();
        pages.put("/f/index.html", "<html><a href=\"b.html\">b</a> <a href=\"data.bin\">d</a></html>".getBytes());
        pages.put("/f/b.html", "<html>b's page <a href=\"index.html\">back</a></html>".getBytes());
        Function<ScriptedServer.Request, byte[]> site = r -> {
            try {
                if (r.target.equals("/f/data.bin")) return data.apply(r);
                byte[] p = pages.get(r.target);
                if (p == null) return notFound();
                // whatever the request says
                return ScriptedServer.answer("200 OK", gzip(p), "Content-Type: text/html", "Content-Encoding: gzip", DATE);
            } catch (Exception e) {
                throw new IllegalStateException(e);
            }
        };
        try (ScriptedServer web = new ScriptedServer(site)) {
            File out = new File(Jvm.tempDir("gzip"), "copy");
            Jvm.Result r = MirrorRuns.mirror(web.url("/f/index.html").toString(), out.getPath(), "--no-robots");
            assertEquals(0, r.exit, r.out);
            String dir = "127.0.0.1 " + web.port() + "/f/";
            assertEquals("<html>b's page <a href=\"x7fenwix.htm\">back</a></html>".replace("x7fenwix.htm", "index.html"),
                    read(new File(out, dir + "b.html")));
            assertArrayEquals(body, Files.readAllBytes(new File(out, dir + "data.bin").toPath()));
            for (ScriptedServer.Request q : web.requests) {
                if (q.method.equals("GET")) assertEquals("gzip", q.header("Accept-Encoding"), q.target);
                assertEquals(null, q.header("Range"), "an encoded body is never resumed: " + q.headers);
            }
            assertEquals(2, count(web.targets(), "/f/data.bin"));
            assertTrue(read(new File(out, OutFiles.LOG_NAME)).contains(
                    "Part dropped:" + web.url("/f/data.bin") + " (an encoded body is fetched whole, never resumed)"));
        }
    }

    @Test
    void answersOf5xxAreTriedAgainAndEveryErrorHasItsCause() throws Exception {
        AtomicInteger flaky = new AtomicInteger();
        Function<ScriptedServer.Request, byte[]> site = r -> {
            switch (r.target) {
                case "/e/index.html": return page("<html><a href=\"flaky.html\">f</a> <a href=\"down.html\">d</a>"
                        + " <a href=\"gone.html\">g</a> <a href=\"no.html\">n</a></html>");
                case "/e/flaky.html":
                    return flaky.incrementAndGet() <= 2 ? ScriptedServer.answer("503 Service Unavailable", new byte[0])
                            : page("<html>at last</html>");
                case "/e/down.html": return ScriptedServer.answer("502 Bad Gateway", "bad".getBytes());
                case "/e/no.html": return ScriptedServer.answer("403 Forbidden", "no".getBytes());
                default: return notFound();
            }
        };
        try (ScriptedServer web = new ScriptedServer(site)) {
            File out = new File(Jvm.tempDir("5xx"), "copy");
            Jvm.Result r = MirrorRuns.mirror(web.url("/e/index.html").toString(), out.getPath(), "--no-robots");
            List<String> asked = web.targets();
            assertEquals(3, count(asked, "/e/flaky.html"), asked.toString());
            assertEquals(3, count(asked, "/e/down.html"), asked.toString());
            assertEquals(1, count(asked, "/e/no.html"), asked.toString());
            assertEquals("<html>at last</html>", read(new File(out, "127.0.0.1 " + web.port() + "/e/flaky.html")));
            assertEquals(2, r.exit, r.out);
            assertTrue(r.out.contains("errors:             2 (1 HTTP 5xx, 1 HTTP 4xx)"), r.out);
            assertEquals(1, MirrorRuns.count(r.out, "not found"), r.out);
            String log = read(new File(out, OutFiles.LOG_NAME));
            assertTrue(log.contains("Error reading url:" + web.url("/e/down.html") + " (HTTP 502 Bad Gateway)"), log);
            assertTrue(log.contains("Trying again (2 of 3):" + web.url("/e/down.html") + " (after HTTP 502 Bad Gateway)"), log);
            assertTrue(log.contains("Error reading url:" + web.url("/e/no.html") + " (HTTP 403 Forbidden)"), log);
        }
    }

    @Test
    void waitsBetweenRequestsAreKeptAndCrawlDelayIsTheLeast() throws Exception {
        Function<ScriptedServer.Request, byte[]> site = r -> {
            switch (r.target) {
                case "/robots.txt": return ScriptedServer.answer("200 OK", "User-agent: *\nCrawl-delay: 0.8\n".getBytes());
                case "/w/index.html": return page("<html><a href=\"a.html\">a</a> <a href=\"b.html\">b</a></html>");
                case "/w/a.html": case "/w/b.html": return page("<html>x</html>");
                default: return notFound();
            }
        };
        for (String[] c : new String[][] {{"0.5", "no robots"}, {"0.2", "robots"}}) {
            try (ScriptedServer web = new ScriptedServer(site)) {
                File out = new File(Jvm.tempDir("wait"), "copy" + c[0]);
                List<String> args = new ArrayList<>(List.of(web.url("/w/index.html").toString(), out.getPath(), "--wait", c[0]));
                if (c[1].equals("no robots")) args.add("--no-robots");
                Jvm.Result r = MirrorRuns.mirror(args.toArray(new String[0]));
                assertEquals(0, r.exit, r.out);
                double least = c[1].equals("robots") ? 0.8 : 0.5;
                List<ScriptedServer.Request> q = new ArrayList<>(web.requests);
                assertEquals(c[1].equals("robots") ? 5 : 4, q.size(), web.targets().toString());
                for (int i = 1; i < q.size(); i++) {
                    double gap = (q.get(i).nanos - q.get(i - 1).nanos) / 1e9;
                    // the server notes a request when its head is in: a few ms of tolerance
                    assertTrue(gap >= least - 0.03, c[1] + ": " + gap + " s before " + q.get(i).target);
                }
            }
        }
    }

    @Test
    void aTrickleUnderTheMinimumRateBreaksOffIsTriedAgainAndSaysWhy() throws Exception {
        File www = new File(Jvm.tempDir("trickle"), "www");
        new File(www, "slow").mkdirs();
        Files.writeString(new File(www, "index.html").toPath(), "<html><a href=\"slow/big.bin\">b</a></html>");
        Files.write(new File(www, "slow/big.bin").toPath(), new byte[20_000]);
        try (Nginx web = Nginx.with(www).slow("/slow/", 200).start()) {
            File out = new File(www.getParentFile(), "copy");
            long t0 = System.nanoTime();
            Jvm.Result r = MirrorRuns.mirror(web.url("/index.html").toString(), out.getPath(), "--no-robots",
                    "--min-rate", "1000", "--min-rate-time", "1", "--tries", "2");
            double seconds = (System.nanoTime() - t0) / 1e9;
            assertEquals(2, r.exit, r.out);
            assertTrue(seconds < 15, seconds + " s");
            assertTrue(r.out.contains("errors:             1 (1 too slow)"), r.out);
            String log = read(new File(out, OutFiles.LOG_NAME));
            assertTrue(log.matches("(?s).*Error reading url:" + web.url("/slow/big.bin")
                    + " \\(\\d+ bytes in \\d+\\.\\d s, under --min-rate 1000 bytes a second\\).*"), log);
            // the second attempt went on from the part's end
            List<Nginx.Entry> asks = web.awaitAccessLog("/slow/big.bin", 2);
            assertEquals(2, asks.size(), asks.toString());
            // nginx logs a request when it ends, the broken-off one maybe after the next
            assertEquals(1, asks.stream().filter(e -> e.range == null).count(), asks.toString());
            assertEquals(1, asks.stream().filter(e -> e.range != null && e.range.matches("bytes=[1-9]\\d*-")).count(),
                    asks.toString());
            assertTrue(IncompleteMarker.on(new File(out, "127.0.0.1 " + web.port() + "/slow/big.bin")), "left for the next run");
        }
    }

    @Test
    void aRateLimitSlowsTheBodyAndANearlyFullDiskStopsTheRunWithThePartMarked() throws Exception {
        byte[] body = new byte[40_000];
        new Random(3).nextBytes(body);
        Cutting whole = new Cutting(body, false, 0);
        try (ScriptedServer web = new ScriptedServer(whole)) {
            File out = new File(Jvm.tempDir("rate"), "copy");
            long t0 = System.nanoTime();
            Jvm.Result r = MirrorRuns.mirror(web.url("/f/index.html").toString(), out.getPath(), "--no-robots",
                    "--limit-rate", "20k");
            double seconds = (System.nanoTime() - t0) / 1e9;
            assertEquals(0, r.exit, r.out);
            assertTrue(seconds >= 1.8, "40000 bytes at 20 KiB/s took " + seconds + " s");

            File full = new File(Jvm.tempDir("rate"), "full");
            Jvm.Result stopped = MirrorRuns.mirror(web.url("/f/index.html").toString(), full.getPath(), "--no-robots",
                    "--min-free", "100000g");
            assertEquals(2, stopped.exit, stopped.out);
            assertTrue(stopped.out.contains("Stopped: the disk of "), stopped.out);
            File page = new File(full, "127.0.0.1 " + web.port() + "/f/index.html");
            assertTrue(IncompleteMarker.on(page), "the part is left marked");
            Jvm.Result again = MirrorRuns.mirror(web.url("/f/index.html").toString(), full.getPath(), "--no-robots");
            assertEquals(0, again.exit, again.out);
            assertArrayEquals(body, Files.readAllBytes(new File(full, "127.0.0.1 " + web.port() + "/f/data.bin").toPath()));
        }
    }
}
