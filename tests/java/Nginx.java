import java.io.File;
import java.io.IOException;
import java.io.UncheckedIOException;
import java.net.InetSocketAddress;
import java.net.MalformedURLException;
import java.net.ServerSocket;
import java.net.Socket;
import java.net.URL;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.util.ArrayList;
import java.util.Collections;
import java.util.List;
import java.util.concurrent.TimeUnit;

/**
 * A private Debian nginx for end-to-end tests: its own configuration, logs and
 * temp folders in a scratch folder, listening on a free port of 127.0.0.1 and
 * serving a document root. Each request is logged with the headers that the
 * crawler sets, and {@link #accessLog()} hands them back parsed.
 *
 * <pre>
 * try (Nginx web = Nginx.start(docRoot)) { ... web.url("/a.htm") ... web.accessLog() ... }
 * try (Nginx web = Nginx.with(docRoot).slow("/slow/", 20_000).cookie("/c/", "sid=42; Path=/").start()) { ... }
 * </pre>
 *
 * The server runs in the foreground (daemon off) as a child of the test JVM and
 * is stopped by its process id on {@link #close()} (or when the JVM exits).
 */
final class Nginx implements AutoCloseable {
    static final String BINARY = System.getProperty("x7.nginx", "/usr/sbin/nginx");

    private static final String[] FIELDS = {"request", "status", "bytes", "range", "ifRange", "ifModifiedSince",
            "userAgent", "referer", "cookie", "connection"};

    /** One line of the access log; a header the request did not carry is null. */
    static final class Entry {
        final String request;  // "GET /path HTTP/1.1"
        final String method;
        final String path;     // path and query as requested
        final int status;
        final long bytesSent;  // body bytes sent
        final String range;
        final String ifRange;
        final String ifModifiedSince;
        final String userAgent;
        final String referer;
        final String cookie;
        final long connection;  // nginx's serial number of the connection

        Entry(String[] f) {
            request = f[0];
            String[] parts = request == null ? new String[0] : request.split(" ");
            method = parts.length > 0 ? parts[0] : null;
            path = parts.length > 1 ? parts[1] : null;
            status = Integer.parseInt(f[1]);
            bytesSent = Long.parseLong(f[2]);
            range = f[3];
            ifRange = f[4];
            ifModifiedSince = f[5];
            userAgent = f[6];
            referer = f[7];
            cookie = f[8];
            connection = Long.parseLong(f[9]);
        }

        @Override
        public String toString() {
            return status + " " + request + " [Range=" + range + " If-Range=" + ifRange + " If-Modified-Since="
                    + ifModifiedSince + " User-Agent=" + userAgent + " Referer=" + referer + " Cookie=" + cookie
                    + " bytes=" + bytesSent + "]";
        }
    }

    /** Settings of a server to start; {@link #start()} starts it. */
    static final class Builder {
        private final File docRoot;
        private final StringBuilder locations = new StringBuilder();

        private Builder(File docRoot) {
            this.docRoot = docRoot.getAbsoluteFile();
        }

        /** Files under the prefix are sent at bytesPerSecond per connection. */
        Builder slow(String prefix, int bytesPerSecond) {
            locations.append("        location ").append(prefix).append(" {\n")
                    .append("            limit_rate ").append(bytesPerSecond).append(";\n")
                    .append("        }\n");
            return this;
        }

        /** Answers for files under the prefix carry "Set-Cookie: setCookie". */
        Builder cookie(String prefix, String setCookie) {
            locations.append("        location ").append(prefix).append(" {\n")
                    .append("            add_header Set-Cookie ").append(quote(setCookie)).append(";\n")
                    .append("        }\n");
            return this;
        }

        /** Any further directives for the server block, as nginx configuration text. */
        Builder raw(String serverDirectives) {
            locations.append(serverDirectives).append('\n');
            return this;
        }

        Nginx start() throws IOException, InterruptedException {
            IOException last = null;
            // A free port found here may be taken by another test before nginx
            // binds it: try again with another one.
            for (int attempt = 0; attempt < 5; attempt++) {
                Nginx n = new Nginx(docRoot, freePort(), locations.toString());
                try {
                    n.launch();
                    return n;
                } catch (PortTaken e) {
                    last = e;
                }
            }
            throw last;
        }
    }

    private static final class PortTaken extends IOException {
        PortTaken(String msg) {
            super(msg);
        }
    }

    static Builder with(File docRoot) {
        return new Builder(docRoot);
    }

    static Nginx start(File docRoot) throws IOException, InterruptedException {
        return with(docRoot).start();
    }

    private final File docRoot;
    private final int port;
    private final String locations;
    private final File prefix;
    private final File accessLog;
    private final File errorLog;
    private final File output;
    private Process process;
    private Thread reaper;

    private Nginx(File docRoot, int port, String locations) throws IOException {
        this.docRoot = docRoot;
        this.port = port;
        this.locations = locations;
        this.prefix = Jvm.tempDir("nginx").getAbsoluteFile();
        this.accessLog = new File(prefix, "access.log");
        this.errorLog = new File(prefix, "error.log");
        this.output = new File(prefix, "output.log");
    }

    int port() {
        return port;
    }

    File docRoot() {
        return docRoot;
    }

    /** The folder that holds the configuration and the logs. */
    File prefix() {
        return prefix;
    }

    /** http://127.0.0.1:port + path (path starts with '/'). */
    URL url(String path) {
        try {
            return new URL("http", "127.0.0.1", port, path);
        } catch (MalformedURLException e) {
            throw new IllegalArgumentException(path, e);
        }
    }

    long pid() {
        return process.pid();
    }

    /** The access log so far, one entry per finished request, oldest first. */
    List<Entry> accessLog() {
        List<String> lines;
        try {
            lines = accessLog.exists() ? Files.readAllLines(accessLog.toPath(), StandardCharsets.UTF_8)
                    : Collections.emptyList();
        } catch (IOException e) {
            throw new UncheckedIOException(e);
        }
        List<Entry> out = new ArrayList<>();
        for (String line : lines) {
            if (line.isEmpty()) continue;
            String[] f = line.split("\t", -1);
            if (f.length != FIELDS.length) throw new IllegalStateException("unexpected access log line: " + line);
            for (int i = 0; i < f.length; i++) f[i] = unescape(f[i]);
            out.add(new Entry(f));
        }
        return out;
    }

    /**
     * The access log once it holds at least count entries: nginx writes a line
     * when a request has finished, which may be just after the client has read
     * the answer.
     */
    List<Entry> awaitAccessLog(int count) throws InterruptedException {
        return awaitAccessLog(null, count);
    }

    /**
     * The entries for path (every entry when null) once there are at least
     * count: a request the client broke off is logged when nginx next tries
     * to send, after a rate limit's pause.
     */
    List<Entry> awaitAccessLog(String path, int count) throws InterruptedException {
        long end = System.nanoTime() + TimeUnit.SECONDS.toNanos(10);
        while (true) {
            List<Entry> log = new ArrayList<>();
            for (Entry e : accessLog()) if (path == null || e.path.equals(path)) log.add(e);
            if (log.size() >= count) return log;
            if (System.nanoTime() > end) {
                throw new AssertionError("nginx logged " + log.size() + " requests" + (path == null ? "" : " for " + path)
                        + ", expected " + count + ": " + accessLog());
            }
            Thread.sleep(20);
        }
    }

    /** The entries logged after the first from of them. */
    List<Entry> accessLogFrom(int from) {
        List<Entry> log = accessLog();
        return new ArrayList<>(log.subList(Math.min(from, log.size()), log.size()));
    }

    String errorLog() throws IOException {
        return errorLog.exists() ? Files.readString(errorLog.toPath()) : "";
    }

    @Override
    public void close() throws InterruptedException {
        if (process == null) return;
        ProcessHandle h = process.toHandle();
        // SIGTERM: the master stops its workers and exits.
        h.destroy();
        if (!process.waitFor(10, TimeUnit.SECONDS)) {
            h.descendants().forEach(ProcessHandle::destroyForcibly);
            h.destroyForcibly();
            process.waitFor(10, TimeUnit.SECONDS);
        }
        if (reaper != null) {
            try {
                Runtime.getRuntime().removeShutdownHook(reaper);
            } catch (IllegalStateException e) {
                // the JVM is exiting and runs the hook itself
            }
        }
        process = null;
    }

    private void launch() throws IOException, InterruptedException {
        for (String d : new String[] {"logs", "tmp/body", "tmp/proxy", "tmp/fastcgi", "tmp/uwsgi", "tmp/scgi"}) {
            new File(prefix, d).mkdirs();
        }
        File conf = new File(prefix, "nginx.conf");
        Files.writeString(conf.toPath(), config(), StandardCharsets.UTF_8);
        File pidFile = new File(prefix, "nginx.pid");
        ProcessBuilder pb = new ProcessBuilder(BINARY, "-p", prefix.getPath() + "/", "-c", conf.getPath(),
                "-g", "daemon off;").redirectErrorStream(true).redirectOutput(output);
        process = pb.start();
        final Process p = process;
        reaper = new Thread(() -> p.destroyForcibly());
        Runtime.getRuntime().addShutdownHook(reaper);

        long end = System.nanoTime() + TimeUnit.SECONDS.toNanos(20);
        while (true) {
            if (!process.isAlive()) {
                String why = Files.readString(output.toPath()) + errorLog();
                process = null;
                Runtime.getRuntime().removeShutdownHook(reaper);
                if (why.contains("Address already in use")) throw new PortTaken(why);
                throw new IOException("nginx did not start:\n" + why);
            }
            // The pid file is written once the listening socket is open.
            if (pidFile.exists() && String.valueOf(process.pid()).equals(Files.readString(pidFile.toPath()).trim())
                    && accepts()) {
                return;
            }
            if (System.nanoTime() > end) {
                close();
                throw new IOException("nginx did not come up on port " + port + ":\n" + errorLog());
            }
            Thread.sleep(20);
        }
    }

    private boolean accepts() {
        try (Socket s = new Socket()) {
            s.connect(new InetSocketAddress("127.0.0.1", port), 1000);
            return true;
        } catch (IOException e) {
            return false;
        }
    }

    private String config() {
        String p = prefix.getPath();
        StringBuilder c = new StringBuilder();
        // As root the workers would switch to nobody, who cannot read a private scratch folder.
        if ("root".equals(System.getProperty("user.name"))) c.append("user root root;\n");
        c.append("worker_processes 1;\n")
                .append("pid ").append(quote(p + "/nginx.pid")).append(";\n")
                .append("lock_file ").append(quote(p + "/nginx.lock")).append(";\n")
                .append("error_log ").append(quote(errorLog.getPath())).append(" info;\n")
                .append("events { worker_connections 64; }\n")
                .append("http {\n")
                .append("    types {\n")
                .append("        text/html html htm;\n")
                .append("        text/plain txt;\n")
                .append("        text/css css;\n")
                .append("        image/gif gif;\n")
                .append("        image/png png;\n")
                .append("        image/jpeg jpg jpeg;\n")
                .append("    }\n")
                .append("    default_type application/octet-stream;\n")
                .append("    log_format x7 escape=default '")
                .append("$request\\t$status\\t$body_bytes_sent\\t$http_range\\t$http_if_range\\t")
                .append("$http_if_modified_since\\t$http_user_agent\\t$http_referer\\t$http_cookie\\t$connection';\n")
                .append("    access_log ").append(quote(accessLog.getPath())).append(" x7;\n")
                .append("    client_body_temp_path ").append(quote(p + "/tmp/body")).append(";\n")
                .append("    proxy_temp_path ").append(quote(p + "/tmp/proxy")).append(";\n")
                .append("    fastcgi_temp_path ").append(quote(p + "/tmp/fastcgi")).append(";\n")
                .append("    uwsgi_temp_path ").append(quote(p + "/tmp/uwsgi")).append(";\n")
                .append("    scgi_temp_path ").append(quote(p + "/tmp/scgi")).append(";\n")
                // 304 also for a copy newer than the server's, as the crawler expects.
                .append("    if_modified_since before;\n")
                .append("    keepalive_timeout 5;\n")
                .append("    server {\n")
                .append("        listen 127.0.0.1:").append(port).append(";\n")
                .append("        server_name localhost;\n")
                .append("        root ").append(quote(docRoot.getPath())).append(";\n")
                .append("        location / { }\n")
                .append(locations)
                .append("    }\n")
                .append("}\n");
        return c.toString();
    }

    private static String quote(String s) {
        return "\"" + s.replace("\\", "\\\\").replace("\"", "\\\"") + "\"";
    }

    private static int freePort() throws IOException {
        try (ServerSocket s = new ServerSocket()) {
            s.setReuseAddress(false);
            s.bind(new InetSocketAddress("127.0.0.1", 0));
            return s.getLocalPort();
        }
    }

    /** Undoes nginx's log escaping (\xHH for quotes, backslashes and control bytes); "-" is no value. */
    private static String unescape(String s) {
        if (s.equals("-")) return null;
        if (s.indexOf('\\') < 0) return s;
        java.io.ByteArrayOutputStream b = new java.io.ByteArrayOutputStream();
        byte[] in = s.getBytes(StandardCharsets.UTF_8);
        for (int i = 0; i < in.length; i++) {
            if (in[i] == '\\' && i + 3 < in.length && in[i + 1] == 'x') {
                b.write(Integer.parseInt(new String(in, i + 2, 2, StandardCharsets.US_ASCII), 16));
                i += 3;
            } else {
                b.write(in[i]);
            }
        }
        return b.toString(StandardCharsets.UTF_8);
    }
}
