import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.File;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Map;
import java.util.TreeMap;

import org.junit.jupiter.api.Test;

/** One site mirrored with one connection and with several: the same copy, log, summary and link records. */
class CrawlConnectionsTest {
    private static final int PAGES = 40;
    /** Without it an answer's time is the clock's, and whether an update finds a page current depends on timing. */
    private static final String STAMP = "Last-Modified: Mon, 02 Jan 2023 10:00:00 GMT";

    /** Pages that link on, a redirect, a repaired URL, a file and a folder of one name, 404s, a body served whole after a resume. */
    private static byte[] serve(ScriptedServer.Request r) {
        String t = r.target;
        if (t.equals("/robots.txt") || t.startsWith("/gone")) return ScriptedServer.answer("404 Not Found", new byte[0]);
        if (t.equals("/old.html")) return ScriptedServer.answer("301 Moved", new byte[0], "Location: /p7.html");
        if (t.equals("/data.bin")) {
            byte[] b = new byte[50_000];
            for (int i = 0; i < b.length; i++) b[i] = (byte) (i * 31);
            return ScriptedServer.answer("200 OK", b, "Content-Type: application/octet-stream", STAMP);
        }
        if (t.equals("/b")) return page("file b", "");
        if (t.equals("/b/c.html")) return page("in folder b", "");
        if (t.equals("/d/")) return page("folder d", "");
        if (t.equals("/") || t.matches("/p\\d+\\.html")) {
            int n = t.equals("/") ? 0 : Integer.parseInt(t.replaceAll("\\D", ""));
            StringBuilder links = new StringBuilder();
            for (int k = 1; k <= 3; k++) links.append("<a href=\"p").append((n * 3 + k) % PAGES).append(".html\">x</a>");
            if (n % 5 == 0) links.append("<a href=\"old.html\">o</a><a href=\"gone").append(n).append(".html\">g</a>");
            // a 404 whose repaired URL a page further on links to
            if (n == 0) links.append("<a href=\"d/x7fenwix.htm\">d</a>");
            if (n == 2) links.append("<a href=\"d/\">d</a>");
            if (n == 3) links.append("<a href=\"b\">b</a><a href=\"b/c.html\">c</a><a href=\"data.bin\">d</a>");
            return page("page " + n, links.toString());
        }
        return ScriptedServer.answer("404 Not Found", new byte[0]);
    }

    private static byte[] page(String title, String body) {
        return ScriptedServer.answer("200 OK", ("<html><head><title>" + title + "</title></head><body>" + body
                + "</body></html>").getBytes(StandardCharsets.US_ASCII), "Content-Type: text/html", STAMP);
    }

    /** Everything a run leaves that must not depend on its connections. */
    private static List<String> run(ScriptedServer server, File out, String threads) throws Exception {
        String site = "127.0.0.1 " + server.url("/").getPort();
        // a part of the binary file from an earlier run, marked, to be resumed
        File part = new File(out, site + "/data.bin");
        part.getParentFile().mkdirs();
        Files.write(part.toPath(), new byte[] {0, 31, 62});
        IncompleteMarker.make(part, null);
        Jvm.Result r = MirrorRuns.mirror(server.url("/").toString(), out.getPath(), "--max-threads", threads);
        assertEquals(0, r.exit, r.out);
        List<String> seen = new ArrayList<>();
        for (String line : r.out.split("\n")) {
            // the summary without its times
            if (line.matches("\\s*\\S.*:\\s+\\d+.*") && !line.matches("(?i).*(second|time|/s\\b).*")) seen.add("out " + line);
        }
        for (Map.Entry<String, File> e : MirrorRuns.files(out).entrySet()) {
            seen.add("file " + e.getKey() + " " + Arrays.hashCode(Files.readAllBytes(e.getValue().toPath())));
        }
        for (String line : Files.readAllLines(new File(out, OutFiles.LOG_NAME).toPath())) {
            if (!line.startsWith("#")) seen.add("log " + line.replace(out.getPath(), "OUT"));
        }
        // written page by page in the order of their paths, whatever order the scans met them in
        seen.add("records " + Arrays.hashCode(Files.readAllBytes(new File(out, OutFiles.RECORDS_NAME).toPath())));
        return seen;
    }


    /** Equal lists; else the lines that differ. */
    private static void same(List<String> one, List<String> four) {
        List<String> a = new ArrayList<>(one);
        List<String> b = new ArrayList<>(four);
        a.removeAll(four);
        b.removeAll(one);
        assertEquals(one, four, "one connection only: " + a + "\nfour only: " + b);
    }

    @Test
    void oneConnectionAndFourMakeTheSameMirrorFirstRunAndUpdate() throws Exception {
        try (ScriptedServer server = new ScriptedServer(CrawlConnectionsTest::serve)) {
            for (int rep = 0; rep < 2; rep++) {
                File one = Jvm.tempDir("connections-1");
                File four = Jvm.tempDir("connections-4");
                List<String> first = run(server, one, "1");
                same(first, run(server, four, "4"));
                assertTrue(first.stream().anyMatch(l -> l.contains("Redirected:")), first.toString());
                assertTrue(first.stream().anyMatch(l -> l.contains("Repaired URL:")), first.toString());
                assertTrue(first.stream().anyMatch(l -> l.contains("x7fenwix-file")), first.toString());
                assertTrue(first.stream().anyMatch(l -> l.startsWith("log Not found:")), first.toString());
                // the update: every page asked again, conditionally
                same(run(server, one, "1"), run(server, four, "4"));
            }
        }
    }

    /** Requests at once at most, seen by a server that takes its time over each answer, 304s included; with cookie, its first page sets one. */
    private static int mostAtOnce(File out, String threads, boolean cookie) throws Exception {
        java.util.concurrent.atomic.AtomicInteger now = new java.util.concurrent.atomic.AtomicInteger();
        java.util.concurrent.atomic.AtomicInteger most = new java.util.concurrent.atomic.AtomicInteger();
        com.sun.net.httpserver.HttpServer server = com.sun.net.httpserver.HttpServer.create(
                new java.net.InetSocketAddress("127.0.0.1", 0), 50);
        java.util.concurrent.ExecutorService pool = java.util.concurrent.Executors.newCachedThreadPool();
        server.setExecutor(pool);
        server.createContext("/", x -> {
            most.accumulateAndGet(now.incrementAndGet(), Math::max);
            try {
                Thread.sleep(150);
                String path = x.getRequestURI().getPath();
                StringBuilder links = new StringBuilder();
                for (int k = 1; path.equals("/") && k <= 12; k++) links.append("<a href=\"q").append(k).append(".html\">q</a>");
                byte[] body = ("<html><body>" + links + "</body></html>").getBytes(StandardCharsets.US_ASCII);
                x.getResponseHeaders().add("Content-Type", "text/html");
                if (cookie && path.equals("/")) x.getResponseHeaders().add("Set-Cookie", "session=1; Path=/");
                x.getResponseHeaders().add("Last-Modified", STAMP.substring("Last-Modified: ".length()));
                String since = x.getRequestHeaders().getFirst("If-Modified-Since");
                boolean current = since != null && !since.isEmpty();
                x.sendResponseHeaders(current ? 304 : 200, current ? -1 : body.length);
                if (!current) x.getResponseBody().write(body);
            } catch (InterruptedException e) {
                Thread.currentThread().interrupt();
            } finally {
                now.decrementAndGet();
                x.close();
            }
        });
        server.start();
        try {
            Jvm.Result r = MirrorRuns.mirror("http://127.0.0.1:" + server.getAddress().getPort() + "/", out.getPath(),
                    "--max-threads", threads);
            assertEquals(0, r.exit, r.out);
            return most.get();
        } finally {
            server.stop(0);
            pool.shutdownNow();
        }
    }

    @Test
    void anUpdateOfUnchangedPagesKeepsSeveralRequestsInFlight() throws Exception {
        File out = Jvm.tempDir("connections-overlap");
        mostAtOnce(out, "4", false);
        int four = mostAtOnce(out, "4", false);
        assertTrue(four >= 2 && four <= 4, "requests at once on the update with four connections: " + four);
        assertEquals(1, mostAtOnce(out, "1", false), "one connection");
        // later answers may depend on a cookie: each request waits for the one before
        assertEquals(1, mostAtOnce(Jvm.tempDir("connections-cookie"), "4", true), "a site that sets a cookie");
    }

    /**
     * Links that all name folders without their slash: every one redirects.
     * Each redirect's note is read, so its connection serves the next request
     * instead of a new one being opened, and the copy is the same with one
     * connection and four.
     */
    @Test
    void aSiteWhoseLinksAllRedirectKeepsItsConnections() throws Exception {
        File www = Jvm.tempDir("redirecting");
        int folders = 30;
        for (int i = 0; i < folders; i++) {
            StringBuilder links = new StringBuilder();
            for (int k = 1; k <= 3; k++) links.append("<a href=\"/d").append((i * 7 + k) % folders).append("\">x</a>");
            File f = new File(www, "d" + i + "/index.html");
            f.getParentFile().mkdirs();
            Files.writeString(f.toPath(), "<html><body>" + i + " " + links + "</body></html>");
        }
        Files.writeString(new File(www, "index.html").toPath(), "<html><a href=\"/d0\">d</a></html>");
        Map<String, List<String>> copies = new TreeMap<>();
        try (Nginx web = Nginx.start(www)) {
            for (String threads : new String[] {"1", "4"}) {
                int from = web.accessLog().size();
                File out = Jvm.tempDir("redirecting-" + threads);
                Jvm.Result r = MirrorRuns.mirror(web.url("/").toString(), out.getPath(), "--no-robots",
                        "--max-threads", threads);
                assertEquals(0, r.exit, r.out);
                List<Nginx.Entry> log = web.accessLogFrom(from);
                assertEquals(folders, log.stream().filter(e -> e.status == 301).count(), log.toString());
                long connections = log.stream().mapToLong(e -> e.connection).distinct().count();
                // the check of the start page may open one of its own
                assertTrue(connections <= Integer.parseInt(threads) + 1, connections + " connections: " + log);
                List<String> files = new ArrayList<>();
                for (Map.Entry<String, File> e : MirrorRuns.files(out).entrySet()) {
                    files.add(e.getKey() + " " + Arrays.hashCode(Files.readAllBytes(e.getValue().toPath())));
                }
                copies.put(threads, files);
            }
        }
        assertEquals(folders + 1, copies.get("1").stream().filter(f -> f.contains("x7fenwix.htm")).count(), copies.toString());
        same(copies.get("1"), copies.get("4"));
    }
}
