import java.io.BufferedInputStream;
import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.net.InetAddress;
import java.net.ServerSocket;
import java.net.Socket;
import java.net.SocketException;
import java.nio.charset.StandardCharsets;
import java.time.Instant;
import java.time.ZoneOffset;
import java.time.ZonedDateTime;
import java.time.format.DateTimeFormatter;
import java.util.ArrayList;
import java.util.Collections;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Locale;
import java.util.Map;
import java.util.function.Function;
import java.util.function.ToIntFunction;

/**
 * A small HTTP/1.1 server on a socket of its own, for what a well-behaved
 * server never does: it can close the connection in the middle of a body it
 * announced with Content-Length. It answers any request target, in origin form
 * ("/a.htm") or, as a proxy is asked, in absolute form ("http://../a.htm"), so
 * that URLs with host names no resolver knows can be served. Static-file
 * manners otherwise: Last-Modified, 304 for If-Modified-Since, 206 for a Range
 * whose If-Range date matches. One request per connection.
 */
final class RawHttpServer implements AutoCloseable {
    static final DateTimeFormatter HTTP_DATE = DateTimeFormatter.RFC_1123_DATE_TIME.withLocale(Locale.US);

    /** A body and its time; null from the site for a 404. */
    static final class Resource {
        final byte[] body;
        final long lastModified;
        final String type;

        Resource(byte[] body, long lastModified, String type) {
            this.body = body;
            this.lastModified = lastModified;
            this.type = type;
        }
    }

    private final ServerSocket socket;
    private final Function<String, Resource> site;
    /** Body bytes to send before closing, for a request target; negative for all of them. */
    private volatile ToIntFunction<String> cut = t -> -1;
    /** Requests answered, as "GET target status [Range=...]". */
    final List<String> requests = Collections.synchronizedList(new ArrayList<>());
    private final Thread acceptor;

    RawHttpServer(Function<String, Resource> site) throws IOException {
        this.site = site;
        socket = new ServerSocket(0, 50, InetAddress.getByName("127.0.0.1"));
        acceptor = new Thread(this::acceptLoop, "raw-http");
        acceptor.setDaemon(true);
        acceptor.start();
    }

    int port() {
        return socket.getLocalPort();
    }

    String url(String path) {
        return "http://127.0.0.1:" + port() + path;
    }

    void cutBodies(ToIntFunction<String> cut) {
        this.cut = cut;
    }

    static String date(long millis) {
        return HTTP_DATE.format(ZonedDateTime.ofInstant(Instant.ofEpochMilli(millis), ZoneOffset.UTC));
    }

    @Override
    public void close() throws IOException {
        socket.close();
    }

    private void acceptLoop() {
        while (!socket.isClosed()) {
            Socket s;
            try {
                s = socket.accept();
            } catch (IOException e) {
                return;
            }
            Thread t = new Thread(() -> serve(s), "raw-http-conn");
            t.setDaemon(true);
            t.start();
        }
    }

    private void serve(Socket s) {
        try (Socket conn = s) {
            InputStream in = new BufferedInputStream(conn.getInputStream());
            String requestLine = line(in);
            if (requestLine == null) return;
            Map<String, String> headers = new LinkedHashMap<>();
            for (String h = line(in); h != null && !h.isEmpty(); h = line(in)) {
                int colon = h.indexOf(':');
                if (colon > 0) headers.put(h.substring(0, colon).trim().toLowerCase(Locale.ROOT), h.substring(colon + 1).trim());
            }
            String[] parts = requestLine.split(" ");
            String target = parts.length > 1 ? parts[1] : "";
            answer(conn.getOutputStream(), parts[0], target, headers);
        } catch (SocketException e) {
            // the client went away
        } catch (IOException e) {
            // nothing to answer
        }
    }

    private void answer(OutputStream out, String method, String target, Map<String, String> headers) throws IOException {
        Resource r = site.apply(target);
        String range = headers.get("range");
        if (r == null) {
            byte[] b = "not here".getBytes(StandardCharsets.US_ASCII);
            head(out, "404 Not Found", "text/plain", b.length, null, 0);
            out.write(b);
            requests.add(method + " " + target + " 404");
            return;
        }
        String ims = headers.get("if-modified-since");
        if (range == null && ims != null && notModifiedSince(ims, r.lastModified)) {
            head(out, "304 Not Modified", null, -1, null, r.lastModified);
            requests.add(method + " " + target + " 304");
            return;
        }
        int from = 0;
        String status = "200 OK";
        String contentRange = null;
        if (range != null && range.startsWith("bytes=") && range.endsWith("-")
                && date(r.lastModified).equals(headers.get("if-range"))) {
            from = Integer.parseInt(range.substring(6, range.length() - 1));
            if (from >= r.body.length) {
                head(out, "416 Range Not Satisfiable", null, 0, "bytes */" + r.body.length, r.lastModified);
                requests.add(method + " " + target + " 416 Range=" + range);
                return;
            }
            status = "206 Partial Content";
            contentRange = "bytes " + from + "-" + (r.body.length - 1) + "/" + r.body.length;
        }
        int length = r.body.length - from;
        head(out, status, r.type, length, contentRange, r.lastModified);
        int send = cut.applyAsInt(target);
        boolean cutShort = send >= 0 && send < length;
        out.write(r.body, from, cutShort ? send : length);
        out.flush();
        requests.add(method + " " + target + " " + status.substring(0, 3) + (range == null ? "" : " Range=" + range)
                + (cutShort ? " cut=" + send : ""));
    }

    private static boolean notModifiedSince(String ims, long lastModified) {
        try {
            long since = ZonedDateTime.parse(ims, HTTP_DATE).toInstant().toEpochMilli();
            return lastModified / 1000 * 1000 <= since;
        } catch (RuntimeException e) {
            return false;
        }
    }

    private static void head(OutputStream out, String status, String type, long length, String contentRange,
            long lastModified) throws IOException {
        StringBuilder h = new StringBuilder("HTTP/1.1 ").append(status).append("\r\n");
        h.append("Date: ").append(date(System.currentTimeMillis())).append("\r\n");
        if (lastModified > 0) h.append("Last-Modified: ").append(date(lastModified)).append("\r\n");
        if (type != null) h.append("Content-Type: ").append(type).append("\r\n");
        if (length >= 0) h.append("Content-Length: ").append(length).append("\r\n");
        if (contentRange != null) h.append("Content-Range: ").append(contentRange).append("\r\n");
        h.append("Accept-Ranges: bytes\r\nConnection: close\r\n\r\n");
        out.write(h.toString().getBytes(StandardCharsets.ISO_8859_1));
    }

    private static String line(InputStream in) throws IOException {
        ByteArrayOutputStream b = new ByteArrayOutputStream();
        for (int c = in.read(); c >= 0; c = in.read()) {
            if (c == '\n') {
                String s = b.toString(StandardCharsets.ISO_8859_1);
                return s.endsWith("\r") ? s.substring(0, s.length() - 1) : s;
            }
            b.write(c);
        }
        return b.size() == 0 ? null : b.toString(StandardCharsets.ISO_8859_1);
    }
}
