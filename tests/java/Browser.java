import java.io.File;
import java.io.IOException;
import java.net.URI;
import java.net.URL;
import java.net.http.HttpClient;
import java.net.http.WebSocket;
import java.nio.file.Files;
import java.nio.file.Path;
import java.time.Duration;
import java.util.ArrayList;
import java.util.Base64;
import java.util.Comparator;
import java.util.LinkedHashMap;
import java.util.LinkedHashSet;
import java.util.List;
import java.util.Locale;
import java.util.Map;
import java.util.Set;
import java.util.concurrent.CompletableFuture;
import java.util.concurrent.CompletionStage;
import java.util.concurrent.ConcurrentHashMap;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.TimeoutException;
import java.util.concurrent.atomic.AtomicInteger;
import java.util.stream.Stream;

/**
 * Debian's headless Chromium as a child process, driven over its DevTools
 * protocol with the JDK's WebSocket client: opens a page and reports what a
 * person would have missed on it (local files that did not load, attempts to
 * reach the network) and a screenshot.
 *
 * <pre>
 * try (Browser b = Browser.start()) { Browser.Visit v = b.openOffline(page); ... v.failedLocalLoads ... }
 * </pre>
 *
 * Offline visits fail every http, https, ws and wss request in the browser
 * before it leaves (Fetch interception on the page and on every frame or
 * worker attached to it) and count it as a network attempt.
 */
final class Browser implements AutoCloseable {
    static final String BINARY = System.getProperty("x7.chromium", "/usr/bin/chromium");
    /** The viewport of every visit, so that screenshots of two visits compare pixel by pixel. */
    static final int WIDTH = 1000;
    static final int HEIGHT = 800;
    private static final long CALL_SECONDS = 60;

    /** What one visit of a page saw. */
    static final class Visit {
        final String url;
        /** Local (file:) loads that failed, each "url (reason)", once per URL. */
        final List<String> failedLocalLoads = new ArrayList<>();
        /** Requests for the network (http, https, ws, wss), each once. */
        final List<String> networkAttempts = new ArrayList<>();
        /** Loads from a server that failed (live visits), each "url (reason)". */
        final List<String> failedServerLoads = new ArrayList<>();
        /** Every URL the page asked for, the page itself included. */
        final Set<String> requested = new LinkedHashSet<>();
        /** Where the page's links (a and area href) lead, as the browser resolved them. */
        final List<String> links = new ArrayList<>();
        /**
         * Local files that exist and that Chromium refuses to a file: page by
         * its cross-origin rule (text tracks): no copy could load them, so they
         * are shown, not counted as failed.
         */
        final List<String> refusedByBrowser = new ArrayList<>();
        /** Uncaught script errors: not asserted, shown to tell why a page looks wrong. */
        final List<String> scriptErrors = new ArrayList<>();
        /** Whether the load event came. */
        boolean loaded;
        /** PNG of the viewport, when asked for. */
        byte[] screenshot;

        Visit(String url) {
            this.url = url;
        }

        @Override
        public String toString() {
            return url + ": failed local loads " + failedLocalLoads + ", network attempts " + networkAttempts
                    + ", script errors " + scriptErrors + (loaded ? "" : ", no load event");
        }
    }

    private final Process process;
    private final File work;
    private final File profile;
    private final File log;
    private WebSocket socket;
    private final AtomicInteger ids = new AtomicInteger();
    private final Map<Integer, CompletableFuture<Map<String, Object>>> pending = new ConcurrentHashMap<>();
    /** The collector of each attached session. */
    private final Map<String, Collector> sessions = new ConcurrentHashMap<>();
    private final Object sendLock = new Object();
    /** Stops the browser should the test JVM end without close(). */
    private final Thread reaper;

    private Browser(Process process, File work, File profile, File log) {
        this.process = process;
        this.work = work;
        this.profile = profile;
        this.log = log;
        this.reaper = new Thread(() -> {
            process.descendants().forEach(ProcessHandle::destroyForcibly);
            process.destroyForcibly();
        });
        Runtime.getRuntime().addShutdownHook(reaper);
    }

    static Browser start() throws IOException, InterruptedException {
        File work = Jvm.tempDir("chromium");
        File profile = new File(work, "profile");
        File log = new File(work, "chromium.log");
        if (!profile.mkdirs()) throw new IOException("cannot make " + profile);
        Process p = new ProcessBuilder(BINARY, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                "--no-first-run", "--disable-background-networking", "--disable-component-update", "--disable-sync",
                "--user-data-dir=" + profile.getAbsolutePath(), "--remote-debugging-port=0", "about:blank")
                .redirectErrorStream(true).redirectOutput(log).start();
        Browser b = new Browser(p, work, profile, log);
        try {
            b.connect();
            return b;
        } catch (IOException | InterruptedException | RuntimeException e) {
            b.close();
            throw e;
        }
    }

    /** The port and path of the browser's endpoint are in DevToolsActivePort once it listens. */
    private void connect() throws IOException, InterruptedException {
        File active = new File(profile, "DevToolsActivePort");
        long end = System.nanoTime() + TimeUnit.SECONDS.toNanos(60);
        List<String> lines = List.of();
        while (lines.size() < 2) {
            if (!process.isAlive()) throw new IOException("chromium exited:\n" + Files.readString(log.toPath()));
            if (System.nanoTime() > end) throw new IOException("chromium wrote no DevToolsActivePort:\n" + Files.readString(log.toPath()));
            Thread.sleep(50);
            if (active.isFile()) lines = Files.readAllLines(active.toPath());
        }
        URI uri = URI.create("ws://127.0.0.1:" + lines.get(0).trim() + lines.get(1).trim());
        socket = HttpClient.newHttpClient().newWebSocketBuilder().connectTimeout(Duration.ofSeconds(20))
                .buildAsync(uri, new Listener()).join();
    }

    /** Opens a saved page with the network blocked. */
    Visit openOffline(File page, boolean screenshot) throws IOException, InterruptedException {
        return visit(page.getAbsoluteFile().toPath().toUri().toString(), true, screenshot);
    }

    /** Opens a page from a server, the network allowed (the reference a copy is compared with). */
    Visit openLive(URL url, boolean screenshot) throws IOException, InterruptedException {
        return visit(url.toString(), false, screenshot);
    }

    private Visit visit(String url, boolean block, boolean screenshot) throws IOException, InterruptedException {
        Visit v = new Visit(url);
        Collector c = new Collector(v, block);
        String targetId = (String) call(null, "Target.createTarget", Map.of("url", "about:blank")).get("targetId");
        try {
            String session = (String) call(null, "Target.attachToTarget", Map.of("targetId", targetId, "flatten", true))
                    .get("sessionId");
            sessions.put(session, c);
            c.sessions.add(session);
            for (String m : c.setUp()) call(session, m, c.params(m));
            call(session, "Page.enable", Map.of());
            // Frames and workers in processes of their own are attached too, held until set up.
            call(session, "Target.setAutoAttach", Map.of("autoAttach", true, "waitForDebuggerOnStart", true, "flatten", true));
            call(session, "Emulation.setDeviceMetricsOverride",
                    Map.of("width", WIDTH, "height", HEIGHT, "deviceScaleFactor", 1, "mobile", false));
            Map<String, Object> nav = call(session, "Page.navigate", Map.of("url", url));
            if (nav.get("errorText") != null && url.startsWith("file:")) {
                c.failed(url, String.valueOf(nav.get("errorText")));
            }
            v.loaded = c.loadEvent.await(30, TimeUnit.SECONDS);
            c.awaitQuiet();
            Map<String, Object> r = call(session, "Runtime.evaluate", Map.of("expression",
                    "JSON.stringify(Array.from(document.querySelectorAll('a[href],area[href]'), a => a.href))",
                    "returnByValue", true));
            Object value = ((Map<?, ?>) r.get("result")).get("value");
            if (value instanceof String) {
                for (Object o : (List<?>) Json.read((String) value)) v.links.add((String) o);
            }
            if (screenshot) {
                String data = (String) call(session, "Page.captureScreenshot", Map.of("format", "png")).get("data");
                v.screenshot = Base64.getDecoder().decode(data);
            }
        } finally {
            call(null, "Target.closeTarget", Map.of("targetId", targetId));
            for (String s : c.sessions) sessions.remove(s);
        }
        synchronized (c) {
            for (Map.Entry<String, String> f : c.failed.entrySet()) {
                if (!c.refused.contains(f.getKey())) v.failedLocalLoads.add(f.getValue());
            }
            v.networkAttempts.addAll(c.attempts.values());
            v.failedServerLoads.addAll(c.failedServer.values());
            v.requested.addAll(c.urls.values());
        }
        return v;
    }

    /** The events of one visit, from the page's session and those of its frames and workers. */
    private final class Collector {
        final Visit visit;
        final boolean block;
        final Set<String> sessions = ConcurrentHashMap.newKeySet();
        final CountDownLatch loadEvent = new CountDownLatch(1);
        /** URL of each request by its id, and the requests still open. */
        final Map<String, String> urls = new ConcurrentHashMap<>();
        final Set<String> open = ConcurrentHashMap.newKeySet();
        final Map<String, String> failed = new LinkedHashMap<>();
        final Set<String> refused = new java.util.HashSet<>();
        final Map<String, String> failedServer = new LinkedHashMap<>();
        final Map<String, String> attempts = new LinkedHashMap<>();
        volatile long lastActivity = System.nanoTime();

        Collector(Visit visit, boolean block) {
            this.visit = visit;
            this.block = block;
        }

        List<String> setUp() {
            List<String> m = new ArrayList<>(List.of("Network.enable", "Log.enable", "Runtime.enable"));
            if (block) m.add("Fetch.enable");
            return m;
        }

        Map<String, Object> params(String method) {
            if (!method.equals("Fetch.enable")) return Map.of();
            List<Object> patterns = new ArrayList<>();
            for (String scheme : new String[] {"http", "https", "ws", "wss"}) {
                patterns.add(Map.of("urlPattern", scheme + "://*", "requestStage", "Request"));
            }
            return Map.of("patterns", patterns);
        }

        private boolean existingFile(String url) {
            try {
                return new java.io.File(java.net.URI.create(url)).isFile();
            } catch (IllegalArgumentException e) {
                return false;
            }
        }

        synchronized void failed(String url, String why) {
            failed.putIfAbsent(url, url + " (" + why + ")");
        }

        synchronized void attempt(String key, String url) {
            attempts.putIfAbsent(key, url);
        }

        /** Waits until no request has been open for half a second (fonts and frames come after the load event). */
        void awaitQuiet() throws InterruptedException {
            long end = System.nanoTime() + TimeUnit.SECONDS.toNanos(15);
            while (System.nanoTime() < end) {
                Thread.sleep(100);
                if (open.isEmpty() && System.nanoTime() - lastActivity > TimeUnit.MILLISECONDS.toNanos(500)) return;
            }
        }

        @SuppressWarnings("unchecked")
        void event(String session, String method, Map<String, Object> p) {
            lastActivity = System.nanoTime();
            switch (method) {
                case "Page.loadEventFired":
                    loadEvent.countDown();
                    break;
                case "Network.requestWillBeSent": {
                    String id = (String) p.get("requestId");
                    String url = (String) ((Map<String, Object>) p.get("request")).get("url");
                    urls.put(id, url);
                    open.add(id);
                    if (isNetwork(url)) attempt(id, url);
                    break;
                }
                case "Network.webSocketCreated":
                    attempt((String) p.get("requestId"), (String) p.get("url"));
                    break;
                case "Network.loadingFinished":
                    open.remove(p.get("requestId"));
                    break;
                case "Network.loadingFailed": {
                    String id = (String) p.get("requestId");
                    open.remove(id);
                    String url = urls.get(id);
                    if (url == null) break;
                    String why = String.valueOf(p.get("errorText"));
                    if (url.startsWith("file:") && "origin".equals(p.get("blockedReason")) && existingFile(url)) {
                        synchronized (this) {
                            if (refused.add(url)) visit.refusedByBrowser.add(url + " (cross-origin rule of file: pages)");
                        }
                    } else if (url.startsWith("file:")) {
                        failed(url, why);
                    } else if (!block) {
                        synchronized (this) {
                            failedServer.putIfAbsent(url, url + " (" + why + ")");
                        }
                    }
                    break;
                }
                case "Log.entryAdded": {
                    Map<String, Object> e = (Map<String, Object>) p.get("entry");
                    String url = (String) e.get("url");
                    if ("network".equals(e.get("source")) && "error".equals(e.get("level")) && url != null
                            && url.startsWith("file:")) {
                        failed(url, String.valueOf(e.get("text")));
                    }
                    break;
                }
                case "Runtime.exceptionThrown": {
                    Map<String, Object> d = (Map<String, Object>) p.get("exceptionDetails");
                    Object ex = d.get("exception");
                    Object text = ex instanceof Map ? ((Map<String, Object>) ex).get("description") : d.get("text");
                    synchronized (this) {
                        visit.scriptErrors.add(String.valueOf(text).split("\n")[0] + " at " + d.get("url"));
                    }
                    break;
                }
                case "Fetch.requestPaused": {
                    String url = (String) ((Map<String, Object>) p.get("request")).get("url");
                    Object networkId = p.get("networkId");
                    attempt(networkId != null ? (String) networkId : "fetch:" + p.get("requestId"), url);
                    post(session, "Fetch.failRequest", Map.of("requestId", p.get("requestId"), "errorReason", "BlockedByClient"));
                    break;
                }
                case "Target.attachedToTarget": {
                    String child = (String) p.get("sessionId");
                    sessions.add(child);
                    Browser.this.sessions.put(child, this);
                    for (String m : setUp()) post(child, m, params(m));
                    post(child, "Target.setAutoAttach", Map.of("autoAttach", true, "waitForDebuggerOnStart", true, "flatten", true));
                    post(child, "Runtime.runIfWaitingForDebugger", Map.of());
                    break;
                }
                default:
                    break;
            }
        }
    }

    private static boolean isNetwork(String url) {
        String u = url.toLowerCase(Locale.ROOT);
        return u.startsWith("http:") || u.startsWith("https:") || u.startsWith("ws:") || u.startsWith("wss:");
    }

    /** Sends a command and waits for its answer; an error answer throws. */
    private Map<String, Object> call(String session, String method, Map<String, Object> params)
            throws IOException, InterruptedException {
        try {
            return post(session, method, params).get(CALL_SECONDS, TimeUnit.SECONDS);
        } catch (java.util.concurrent.ExecutionException e) {
            throw new IOException(method + ": " + e.getCause().getMessage(), e.getCause());
        } catch (TimeoutException e) {
            throw new IOException(method + ": no answer in " + CALL_SECONDS + " s");
        }
    }

    /** Sends a command without waiting (the only kind the socket's listener may send). */
    private CompletableFuture<Map<String, Object>> post(String session, String method, Map<String, Object> params) {
        int id = ids.incrementAndGet();
        CompletableFuture<Map<String, Object>> f = new CompletableFuture<>();
        pending.put(id, f);
        Map<String, Object> msg = new LinkedHashMap<>();
        msg.put("id", id);
        msg.put("method", method);
        msg.put("params", params);
        if (session != null) msg.put("sessionId", session);
        // The JDK's WebSocket takes one send at a time.
        synchronized (sendLock) {
            socket.sendText(Json.write(msg), true).join();
        }
        return f;
    }

    private final class Listener implements WebSocket.Listener {
        private final StringBuilder text = new StringBuilder();

        @Override
        public CompletionStage<?> onText(WebSocket ws, CharSequence data, boolean last) {
            text.append(data);
            if (last) {
                String message = text.toString();
                text.setLength(0);
                dispatch(message);
            }
            ws.request(1);
            return null;
        }

        @Override
        public CompletionStage<?> onClose(WebSocket ws, int status, String reason) {
            pending.values().forEach(f -> f.completeExceptionally(new IOException("DevTools socket closed: " + reason)));
            return null;
        }

        @SuppressWarnings("unchecked")
        private void dispatch(String message) {
            Map<String, Object> m = (Map<String, Object>) Json.read(message);
            Object id = m.get("id");
            if (id != null) {
                CompletableFuture<Map<String, Object>> f = pending.remove(((Number) id).intValue());
                if (f == null) return;
                Object error = m.get("error");
                if (error != null) f.completeExceptionally(new IOException(Json.write(error)));
                else f.complete((Map<String, Object>) m.getOrDefault("result", Map.of()));
                return;
            }
            String session = (String) m.get("sessionId");
            Collector c = session == null ? null : sessions.get(session);
            if (c != null) c.event(session, (String) m.get("method"), (Map<String, Object>) m.getOrDefault("params", Map.of()));
        }
    }

    /** Stops the browser by its process id (and whatever of its processes outlive it), then removes its profile. */
    @Override
    public void close() throws InterruptedException {
        if (socket != null) socket.abort();
        ProcessHandle h = process.toHandle();
        List<ProcessHandle> children = h.descendants().collect(java.util.stream.Collectors.toList());
        h.destroy();
        if (!process.waitFor(10, TimeUnit.SECONDS)) h.destroyForcibly();
        process.waitFor(10, TimeUnit.SECONDS);
        for (ProcessHandle c : children) {
            if (c.isAlive()) c.destroyForcibly();
        }
        try {
            Runtime.getRuntime().removeShutdownHook(reaper);
        } catch (IllegalStateException e) {
            // the JVM is exiting and runs the hook itself
        }
        try (Stream<Path> s = Files.walk(work.toPath())) {
            s.sorted(Comparator.reverseOrder()).forEach(p -> p.toFile().delete());
        } catch (IOException e) {
            // a scratch folder left behind does no harm
        }
    }

    /** Just enough JSON for the DevTools protocol: objects, arrays, strings, numbers, true, false, null. */
    static final class Json {
        private final String s;
        private int i;

        private Json(String s) {
            this.s = s;
        }

        static Object read(String text) {
            Json j = new Json(text);
            Object v = j.value();
            j.space();
            if (j.i != text.length()) throw j.error("trailing text");
            return v;
        }

        static String write(Object v) {
            StringBuilder b = new StringBuilder();
            write(b, v);
            return b.toString();
        }

        private static void write(StringBuilder b, Object v) {
            if (v == null) {
                b.append("null");
            } else if (v instanceof String) {
                String str = (String) v;
                b.append('"');
                for (int k = 0; k < str.length(); k++) {
                    char c = str.charAt(k);
                    if (c == '"' || c == '\\') b.append('\\').append(c);
                    else if (c < 0x20) b.append(String.format("\\u%04x", (int) c));
                    else b.append(c);
                }
                b.append('"');
            } else if (v instanceof Number || v instanceof Boolean) {
                b.append(v);
            } else if (v instanceof Map) {
                b.append('{');
                String sep = "";
                for (Map.Entry<?, ?> e : ((Map<?, ?>) v).entrySet()) {
                    b.append(sep);
                    write(b, String.valueOf(e.getKey()));
                    b.append(':');
                    write(b, e.getValue());
                    sep = ",";
                }
                b.append('}');
            } else if (v instanceof List) {
                b.append('[');
                String sep = "";
                for (Object o : (List<?>) v) {
                    b.append(sep);
                    write(b, o);
                    sep = ",";
                }
                b.append(']');
            } else {
                throw new IllegalArgumentException("not JSON: " + v.getClass());
            }
        }

        private void space() {
            while (i < s.length() && " \t\r\n".indexOf(s.charAt(i)) >= 0) i++;
        }

        private IllegalArgumentException error(String what) {
            return new IllegalArgumentException(what + " at " + i + " of " + s.substring(0, Math.min(s.length(), 200)));
        }

        private Object value() {
            space();
            if (i >= s.length()) throw error("end of text");
            char c = s.charAt(i);
            if (c == '{') {
                i++;
                Map<String, Object> m = new LinkedHashMap<>();
                space();
                if (s.charAt(i) == '}') {
                    i++;
                    return m;
                }
                while (true) {
                    space();
                    String key = string();
                    space();
                    expect(':');
                    m.put(key, value());
                    space();
                    if (s.charAt(i) == ',') {
                        i++;
                    } else {
                        expect('}');
                        return m;
                    }
                }
            }
            if (c == '[') {
                i++;
                List<Object> l = new ArrayList<>();
                space();
                if (s.charAt(i) == ']') {
                    i++;
                    return l;
                }
                while (true) {
                    l.add(value());
                    space();
                    if (s.charAt(i) == ',') {
                        i++;
                    } else {
                        expect(']');
                        return l;
                    }
                }
            }
            if (c == '"') return string();
            if (s.startsWith("true", i)) {
                i += 4;
                return Boolean.TRUE;
            }
            if (s.startsWith("false", i)) {
                i += 5;
                return Boolean.FALSE;
            }
            if (s.startsWith("null", i)) {
                i += 4;
                return null;
            }
            int start = i;
            while (i < s.length() && "+-0123456789.eE".indexOf(s.charAt(i)) >= 0) i++;
            if (start == i) throw error("unexpected '" + c + "'");
            String n = s.substring(start, i);
            if (n.matches("-?\\d{1,18}")) return Long.parseLong(n);
            return Double.parseDouble(n);
        }

        private void expect(char c) {
            if (i >= s.length() || s.charAt(i) != c) throw error("expected '" + c + "'");
            i++;
        }

        private String string() {
            expect('"');
            StringBuilder b = new StringBuilder();
            while (true) {
                if (i >= s.length()) throw error("unterminated string");
                char c = s.charAt(i++);
                if (c == '"') return b.toString();
                if (c != '\\') {
                    b.append(c);
                    continue;
                }
                char e = s.charAt(i++);
                switch (e) {
                    case 'n': b.append('\n'); break;
                    case 't': b.append('\t'); break;
                    case 'r': b.append('\r'); break;
                    case 'b': b.append('\b'); break;
                    case 'f': b.append('\f'); break;
                    case 'u':
                        b.append((char) Integer.parseInt(s.substring(i, i + 4), 16));
                        i += 4;
                        break;
                    default: b.append(e);
                }
            }
        }
    }

    /** Reads a PNG (for comparisons). */
    static java.awt.image.BufferedImage image(byte[] png) throws IOException {
        java.awt.image.BufferedImage img = javax.imageio.ImageIO.read(new java.io.ByteArrayInputStream(png));
        if (img == null) throw new IOException("not an image");
        return img;
    }

    /** Share of pixels whose colour differs by more than 32 in any channel; 1 for images of different sizes. */
    static double pixelDifference(byte[] a, byte[] b) throws IOException {
        java.awt.image.BufferedImage x = image(a);
        java.awt.image.BufferedImage y = image(b);
        if (x.getWidth() != y.getWidth() || x.getHeight() != y.getHeight()) return 1;
        long differ = 0;
        for (int row = 0; row < x.getHeight(); row++) {
            for (int col = 0; col < x.getWidth(); col++) {
                int p = x.getRGB(col, row);
                int q = y.getRGB(col, row);
                for (int shift = 0; shift <= 16; shift += 8) {
                    if (Math.abs((p >> shift & 0xff) - (q >> shift & 0xff)) > 32) {
                        differ++;
                        break;
                    }
                }
            }
        }
        return (double) differ / ((long) x.getWidth() * x.getHeight());
    }

    /** For a person to look at: a screenshot written beside the test's scratch files. */
    static void save(byte[] png, File file) throws IOException {
        Files.write(file.toPath(), png);
    }
}
