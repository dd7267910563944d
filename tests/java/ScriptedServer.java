import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.net.InetAddress;
import java.net.ServerSocket;
import java.net.Socket;
import java.net.URL;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.Collections;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Locale;
import java.util.Map;
import java.util.function.Function;

/**
 * A server that answers each request with whatever bytes its script returns,
 * however wrong: for the servers that lie about ranges, validators and times.
 * One request per connection; every request is kept.
 */
final class ScriptedServer implements AutoCloseable {
    /** A request as it came: its target and its headers (names in lower case). */
    static final class Request {
        final String target;
        final Map<String, String> headers;
        final String method;
        /** When its head had arrived, System.nanoTime(). */
        final long nanos;

        Request(String target, Map<String, String> headers) {
            this("GET", target, headers);
        }

        Request(String method, String target, Map<String, String> headers) {
            this.method = method;
            this.target = target;
            this.headers = headers;
            this.nanos = System.nanoTime();
        }

        String header(String name) {
            return headers.get(name.toLowerCase(Locale.ROOT));
        }
    }

    final List<Request> requests = Collections.synchronizedList(new ArrayList<>());
    private final ServerSocket socket;
    private final Function<Request, byte[]> script;
    private final Thread acceptor;

    ScriptedServer(Function<Request, byte[]> script) throws IOException {
        this.script = script;
        socket = new ServerSocket(0, 50, InetAddress.getByName("127.0.0.1"));
        acceptor = new Thread(this::serve, "scripted-http");
        acceptor.setDaemon(true);
        acceptor.start();
    }

    int port() {
        return socket.getLocalPort();
    }

    /** The targets asked for so far, in order. */
    List<String> targets() {
        synchronized (requests) {
            List<String> out = new ArrayList<>();
            for (Request r : requests) out.add(r.target);
            return out;
        }
    }

    URL url(String path) throws IOException {
        return new URL("http://127.0.0.1:" + socket.getLocalPort() + path);
    }

    /** An answer: status line, headers ("Name: value" each) and body; Content-Length and Connection added. */
    static byte[] answer(String status, byte[] body, String... headers) {
        StringBuilder b = new StringBuilder("HTTP/1.1 ").append(status).append("\r\n");
        for (String h : headers) b.append(h).append("\r\n");
        b.append("Content-Length: ").append(body.length).append("\r\nConnection: close\r\n\r\n");
        byte[] head = b.toString().getBytes(StandardCharsets.ISO_8859_1);
        byte[] all = new byte[head.length + body.length];
        System.arraycopy(head, 0, all, 0, head.length);
        System.arraycopy(body, 0, all, head.length, body.length);
        return all;
    }

    private void serve() {
        while (!socket.isClosed()) {
            try (Socket s = socket.accept()) {
                Request r = read(s.getInputStream());
                if (r == null) continue;
                requests.add(r);
                OutputStream out = s.getOutputStream();
                out.write(script.apply(r));
                out.flush();
            } catch (IOException e) {
                // closed, or the client went away
            }
        }
    }

    private static Request read(InputStream in) throws IOException {
        StringBuilder b = new StringBuilder();
        int c;
        while ((c = in.read()) >= 0) {
            b.append((char) c);
            if (b.length() >= 4 && b.substring(b.length() - 4).equals("\r\n\r\n")) break;
        }
        String[] lines = b.toString().split("\r\n");
        if (lines.length == 0 || lines[0].split(" ").length < 2) return null;
        Map<String, String> headers = new LinkedHashMap<>();
        for (int i = 1; i < lines.length; i++) {
            int colon = lines[i].indexOf(':');
            if (colon > 0) headers.put(lines[i].substring(0, colon).trim().toLowerCase(Locale.ROOT),
                    lines[i].substring(colon + 1).trim());
        }
        return new Request(lines[0].split(" ")[0], lines[0].split(" ")[1], headers);
    }

    @Override
    public void close() throws IOException {
        socket.close();
    }
}
