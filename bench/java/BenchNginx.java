import java.io.File;
import java.io.IOException;
import java.io.RandomAccessFile;
import java.net.InetSocketAddress;
import java.net.ServerSocket;
import java.net.Socket;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.TimeUnit;

/**
 * Debian's nginx serving a few document roots, one port each, on 127.0.0.1:
 * its own configuration, logs and temp folders under a scratch folder, run in
 * the foreground and stopped by its process id. Its access log tells what each
 * run asked for and what it was sent.
 */
final class BenchNginx implements AutoCloseable {
    private final File prefix;
    private final File accessLog;
    private final int basePort;
    private final Process process;
    private long logOffset;

    /** What the server sent between two marks. */
    static final class Traffic {
        int requests, ok, notModified, notFound, other;
        long bodyBytes;
        /** The distinct request URIs. */
        final java.util.Set<String> uris = new java.util.HashSet<>();

        @Override
        public String toString() {
            return requests + " requests (" + ok + " 200, " + notModified + " 304, " + notFound + " 404, " + other
                    + " other), " + bodyBytes + " body bytes";
        }
    }

    BenchNginx(File prefix, List<File> roots) throws IOException, InterruptedException {
        this.prefix = prefix.getAbsoluteFile();
        this.accessLog = new File(this.prefix, "access.log");
        for (String d : new String[] {"tmp/body", "tmp/proxy", "tmp/fastcgi", "tmp/uwsgi", "tmp/scgi"}) {
            new File(this.prefix, d).mkdirs();
        }
        basePort = freePorts(roots.size());
        File conf = new File(this.prefix, "nginx.conf");
        Files.writeString(conf.toPath(), config(roots), StandardCharsets.UTF_8);
        process = new ProcessBuilder("/usr/sbin/nginx", "-p", this.prefix.getPath() + "/", "-c", conf.getPath(), "-g",
                "daemon off;").redirectErrorStream(true).redirectOutput(new File(this.prefix, "output.log")).start();
        long end = System.nanoTime() + TimeUnit.SECONDS.toNanos(20);
        while (!accepts(basePort + roots.size() - 1)) {
            if (!process.isAlive() || System.nanoTime() > end) {
                close();
                throw new IOException("nginx did not start: "
                        + Files.readString(new File(this.prefix, "output.log").toPath()));
            }
            Thread.sleep(20);
        }
    }

    /** http://127.0.0.1:port-of-root-i + path. */
    String url(int root, String path) {
        return "http://127.0.0.1:" + (basePort + root) + path;
    }

    /** Forgets the traffic so far: the next {@link #traffic()} counts from here. */
    void mark() {
        logOffset = accessLog.length();
    }

    /** The requests logged since the last mark (nginx logs a request once it has been answered). */
    Traffic traffic() throws IOException {
        Traffic t = new Traffic();
        List<String> lines = new ArrayList<>();
        try (RandomAccessFile f = new RandomAccessFile(accessLog, "r")) {
            f.seek(logOffset);
            byte[] rest = new byte[(int) (f.length() - logOffset)];
            f.readFully(rest);
            for (String l : new String(rest, StandardCharsets.UTF_8).split("\n")) {
                if (!l.isEmpty()) lines.add(l);
            }
        }
        for (String l : lines) {
            String[] f = l.split(" ");
            int status = Integer.parseInt(f[0]);
            t.requests++;
            t.bodyBytes += Long.parseLong(f[1]);
            if (f.length > 2) t.uris.add(f[2]);
            if (status == 200 || status == 206) t.ok++;
            else if (status == 304) t.notModified++;
            else if (status == 404) t.notFound++;
            else t.other++;
        }
        return t;
    }

    private String config(List<File> roots) {
        String p = prefix.getPath();
        StringBuilder c = new StringBuilder();
        // As root the workers would switch to nobody, who may not read the scratch folder.
        if ("root".equals(System.getProperty("user.name"))) c.append("user root root;\n");
        c.append("worker_processes 1;\n")
                .append("pid ").append(p).append("/nginx.pid;\n")
                .append("lock_file ").append(p).append("/nginx.lock;\n")
                .append("error_log ").append(p).append("/error.log;\n")
                .append("events { worker_connections 256; }\n")
                .append("http {\n")
                .append("    include /etc/nginx/mime.types;\n")
                .append("    default_type application/octet-stream;\n")
                .append("    log_format bench '$status $body_bytes_sent $request_uri';\n")
                .append("    access_log ").append(accessLog.getPath()).append(" bench;\n")
                .append("    client_body_temp_path ").append(p).append("/tmp/body;\n")
                .append("    proxy_temp_path ").append(p).append("/tmp/proxy;\n")
                .append("    fastcgi_temp_path ").append(p).append("/tmp/fastcgi;\n")
                .append("    uwsgi_temp_path ").append(p).append("/tmp/uwsgi;\n")
                .append("    scgi_temp_path ").append(p).append("/tmp/scgi;\n")
                .append("    sendfile on;\n")
                .append("    keepalive_requests 100000;\n")
                .append("    if_modified_since before;\n");
        for (int i = 0; i < roots.size(); i++) {
            c.append("    server { listen 127.0.0.1:").append(basePort + i).append("; root ")
                    .append(roots.get(i).getAbsolutePath()).append("; }\n");
        }
        return c.append("}\n").toString();
    }

    private static int freePorts(int n) throws IOException {
        for (int attempt = 0; attempt < 50; attempt++) {
            int base;
            try (ServerSocket s = new ServerSocket(0, 1, java.net.InetAddress.getByName("127.0.0.1"))) {
                base = s.getLocalPort();
            }
            if (base + n > 65535) continue;
            boolean free = true;
            for (int i = 1; i < n && free; i++) free = !accepts(base + i);
            if (free) return base;
        }
        throw new IOException("no " + n + " free ports in a row");
    }

    private static boolean accepts(int port) {
        try (Socket s = new Socket()) {
            s.connect(new InetSocketAddress("127.0.0.1", port), 500);
            return true;
        } catch (IOException e) {
            return false;
        }
    }

    /** SIGTERM to the master, which stops its worker; forcibly after 10 s. */
    @Override
    public void close() {
        ProcessHandle h = process.toHandle();
        h.destroy();
        try {
            if (!process.waitFor(10, TimeUnit.SECONDS)) {
                h.descendants().forEach(ProcessHandle::destroyForcibly);
                h.destroyForcibly();
                process.waitFor(10, TimeUnit.SECONDS);
            }
        } catch (InterruptedException e) {
            h.descendants().forEach(ProcessHandle::destroyForcibly);
            h.destroyForcibly();
            Thread.currentThread().interrupt();
        }
    }
}
