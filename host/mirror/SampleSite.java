import com.sun.net.httpserver.Headers;
import com.sun.net.httpserver.HttpExchange;
import com.sun.net.httpserver.HttpServer;

import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.net.InetAddress;
import java.net.InetSocketAddress;
import java.net.URISyntaxException;
import java.net.URL;
import java.net.URLConnection;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.time.Instant;
import java.time.ZoneOffset;
import java.time.ZonedDateTime;
import java.time.format.DateTimeFormatter;
import java.time.format.DateTimeParseException;
import java.util.ArrayList;
import java.util.List;
import java.util.Locale;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.regex.Matcher;
import java.util.regex.Pattern;

/**
 * The bundled sample site, served on 127.0.0.1 by the JDK's own HTTP server:
 * the main part on one port and a second site part on the next. It answers as
 * a plain static server does: Last-Modified, 304 for If-Modified-Since, and
 * 206 for a Range whose If-Range date still matches.
 */
final class SampleSite implements AutoCloseable {
    /** Where the files of one site part come from. */
    interface Source {
        /** The bytes of a path below the part ("docs/a.html"), or null when there is none. */
        byte[] read(String path) throws IOException;

        /** Modification time of a path that read() found, in milliseconds. */
        long lastModified(String path) throws IOException;
    }

    /** Files bundled in the jar under sample-site/{part}/. */
    static Source bundled(String part) {
        String base = "/sample-site/" + part + "/";
        return new Source() {
            public byte[] read(String path) throws IOException {
                if (path.isEmpty() || path.endsWith("/") || path.startsWith("../") || path.contains("/../")) return null;
                URL u = SampleSite.class.getResource(base + path);
                // a directory of the jar is no file
                if (u == null || SampleSite.class.getResource(base + path + "/") != null) return null;
                try (InputStream in = u.openStream()) {
                    return in.readAllBytes();
                } catch (IOException e) {
                    return null;  // a directory entry of the jar
                }
            }

            public long lastModified(String path) throws IOException {
                URLConnection c = SampleSite.class.getResource(base + path).openConnection();
                long t = c.getLastModified();
                // Entries without a time all get one fixed time, so that a
                // second run still finds them unchanged.
                return t > 0 ? t : 1_700_000_000_000L;
            }
        };
    }

    /** Files of a directory on disk. */
    static Source directory(Path dir) {
        return new Source() {
            public byte[] read(String path) throws IOException {
                Path p = dir.resolve(path).normalize();
                if (!p.startsWith(dir.normalize()) || !Files.isRegularFile(p)) return null;
                return Files.readAllBytes(p);
            }

            public long lastModified(String path) throws IOException {
                return Files.getLastModifiedTime(dir.resolve(path)).toMillis();
            }
        };
    }

    private static final DateTimeFormatter HTTP_DATE = DateTimeFormatter.RFC_1123_DATE_TIME.withLocale(Locale.US);

    private final List<HttpServer> servers = new ArrayList<>();
    private final ExecutorService pool = Executors.newFixedThreadPool(4, r -> {
        Thread t = new Thread(r, "sample-site");
        t.setDaemon(true);
        return t;
    });
    private final int mainPort;
    private final int secondPort;
    /** Requests answered so far, as "GET /path?query 200 Range=..", for whoever wants to check. */
    final List<String> requests = java.util.Collections.synchronizedList(new ArrayList<>());
    private volatile String slowPrefix;
    private volatile int slowRate;

    private SampleSite(int mainPort, int secondPort) {
        this.mainPort = mainPort;
        this.secondPort = secondPort;
    }

    /** Serves the bundled site: the main part on port, the second part on port + 1 (0: any free ports). */
    static SampleSite start(int port) throws IOException {
        return start(bundled("main"), bundled("second"), port);
    }

    static SampleSite start(Source main, Source second, int port) throws IOException {
        InetAddress loopback = InetAddress.getByName("127.0.0.1");
        HttpServer a = HttpServer.create(new InetSocketAddress(loopback, port), 50);
        HttpServer b;
        try {
            b = HttpServer.create(new InetSocketAddress(loopback, port == 0 ? 0 : port + 1), 50);
        } catch (IOException e) {
            a.stop(0);
            throw e;
        }
        SampleSite site = new SampleSite(a.getAddress().getPort(), b.getAddress().getPort());
        site.serve(a, main);
        site.serve(b, second);
        return site;
    }

    /** Bodies of paths under prefix are sent at bytesPerSecond, so that a transfer can be caught midway. */
    void slow(String prefix, int bytesPerSecond) {
        slowRate = bytesPerSecond;
        slowPrefix = prefix;
    }

    String mainUrl() { return "http://127.0.0.1:" + mainPort + "/"; }
    String secondUrl() { return "http://127.0.0.1:" + secondPort + "/"; }
    int secondPort() { return secondPort; }

    private void serve(HttpServer server, Source source) {
        server.createContext("/", ex -> {
            // noted in the order the requests came, before the answer lets the
            // client go on to a request of the other part; the status follows
            String q = ex.getRequestURI().getRawQuery();
            String asked = ex.getRequestMethod() + " " + ex.getRequestURI().getRawPath() + (q == null ? "" : "?" + q);
            int at;
            synchronized (requests) {
                at = requests.size();
                requests.add(asked);
            }
            try {
                int status = answer(ex, source);
                String range = ex.getRequestHeaders().getFirst("Range");
                synchronized (requests) {
                    if (at < requests.size() && requests.get(at) == asked) {
                        requests.set(at, asked + " " + status + (range == null ? "" : " Range=" + range));
                    }
                }
            } catch (IOException | RuntimeException e) {
                // the client went away; nothing to answer
            } finally {
                ex.close();
            }
        });
        server.setExecutor(pool);
        server.start();
        servers.add(server);
    }

    /** Answers one request; its status. */
    private int answer(HttpExchange ex, Source source) throws IOException {
        String method = ex.getRequestMethod();
        if (!method.equals("GET") && !method.equals("HEAD")) {
            ex.sendResponseHeaders(405, -1);
            return 405;
        }
        String path;
        try {
            path = ex.getRequestURI().getPath();
            path = new java.net.URI(null, null, path, null).normalize().getPath();
        } catch (URISyntaxException | RuntimeException e) {
            ex.sendResponseHeaders(400, -1);
            return 400;
        }
        if (path == null || !path.startsWith("/")) {
            ex.sendResponseHeaders(400, -1);
            return 400;
        }
        String rel = path.substring(1);
        if (rel.isEmpty() || rel.endsWith("/")) rel += "index.html";
        byte[] body = source.read(rel);
        if (body == null) {
            byte[] msg = "<html><body><h1>404 Not Found</h1></body></html>\n".getBytes(StandardCharsets.US_ASCII);
            ex.getResponseHeaders().set("Content-Type", "text/html");
            ex.sendResponseHeaders(404, method.equals("HEAD") ? -1 : msg.length);
            if (!method.equals("HEAD")) ex.getResponseBody().write(msg);
            return 404;
        }
        String type = contentType(rel);
        if (type.startsWith("text/")) body = fillIn(body);
        // HTTP dates count whole seconds.
        long modified = source.lastModified(rel) / 1000 * 1000;
        Headers out = ex.getResponseHeaders();
        Headers in = ex.getRequestHeaders();
        out.set("Last-Modified", format(modified));
        out.set("Accept-Ranges", "bytes");

        String range = in.getFirst("Range");
        if (range != null) {
            String ifRange = in.getFirst("If-Range");
            Matcher m = Pattern.compile("bytes=(\\d+)-(\\d*)").matcher(range.trim());
            if (m.matches() && (ifRange == null || parse(ifRange) == modified)) {
                long first = Long.parseLong(m.group(1));
                long last = m.group(2).isEmpty() ? body.length - 1 : Math.min(Long.parseLong(m.group(2)), body.length - 1);
                if (first >= body.length || last < first) {
                    out.set("Content-Range", "bytes */" + body.length);
                    ex.sendResponseHeaders(416, -1);
                    return 416;
                }
                out.set("Content-Type", type);
                out.set("Content-Range", "bytes " + first + "-" + last + "/" + body.length);
                int len = (int) (last - first + 1);
                ex.sendResponseHeaders(206, method.equals("HEAD") ? -1 : len);
                if (!method.equals("HEAD")) send(ex, rel, body, (int) first, len);
                return 206;
            }
            // a changed file (or a range we do not serve) is sent whole
        } else {
            String since = in.getFirst("If-Modified-Since");
            if (since != null) {
                long t = parse(since);
                if (t >= 0 && modified <= t) {
                    ex.sendResponseHeaders(304, -1);
                    return 304;
                }
            }
        }
        out.set("Content-Type", type);
        ex.sendResponseHeaders(200, method.equals("HEAD") ? -1 : body.length);
        if (!method.equals("HEAD")) send(ex, rel, body, 0, body.length);
        return 200;
    }

    private void send(HttpExchange ex, String rel, byte[] body, int from, int len) throws IOException {
        OutputStream os = ex.getResponseBody();
        String prefix = slowPrefix;
        if (prefix == null || !rel.startsWith(prefix)) {
            os.write(body, from, len);
            return;
        }
        int step = Math.max(1, slowRate / 10);
        for (int at = from, end = from + len; at < end; at += step) {
            os.write(body, at, Math.min(step, end - at));
            os.flush();
            try {
                Thread.sleep(100);
            } catch (InterruptedException e) {
                Thread.currentThread().interrupt();
                throw new IOException("stopped");
            }
        }
    }

    /** The pages name both site parts by their URLs, whose ports are known only now. */
    private byte[] fillIn(byte[] body) {
        String s = new String(body, StandardCharsets.UTF_8);
        if (!s.contains("{{")) return body;
        s = s.replace("{{MAIN}}", "http://127.0.0.1:" + mainPort).replace("{{SECOND}}", "http://127.0.0.1:" + secondPort);
        return s.getBytes(StandardCharsets.UTF_8);
    }

    static String format(long millis) {
        return HTTP_DATE.format(ZonedDateTime.ofInstant(Instant.ofEpochMilli(millis), ZoneOffset.UTC));
    }

    /** Milliseconds of an HTTP date; -1 when it is not one. */
    static long parse(String date) {
        try {
            return ZonedDateTime.parse(date.trim(), HTTP_DATE).toInstant().toEpochMilli();
        } catch (DateTimeParseException e) {
            return -1;
        }
    }

    private static String contentType(String path) {
        String p = path.toLowerCase(Locale.ROOT);
        if (p.endsWith(".html") || p.endsWith(".htm")) return "text/html; charset=utf-8";
        if (p.endsWith(".css")) return "text/css";
        if (p.endsWith(".gif")) return "image/gif";
        if (p.endsWith(".png")) return "image/png";
        if (p.endsWith(".jpg") || p.endsWith(".jpeg")) return "image/jpeg";
        if (p.endsWith(".txt")) return "text/plain";
        return "application/octet-stream";
    }

    @Override
    public void close() {
        for (HttpServer s : servers) s.stop(0);
        pool.shutdownNow();
    }
}
