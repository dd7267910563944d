import com.tolvak.fenwix.NodeURL;

import java.io.File;
import java.io.IOException;
import java.net.HttpURLConnection;
import java.net.URL;
import java.net.URLConnection;
import java.text.SimpleDateFormat;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.List;
import java.util.Locale;
import java.util.Map;
import java.util.function.Consumer;
import java.util.regex.Pattern;

/**
 * The crawler. It keeps the crawl list and the crawl's state in the fields
 * that the natives read and write by name, and runs the request cycle of each
 * node through them.
 */
public class UrlLoad {
    static {
        System.loadLibrary("x7fenwix");
    }

    /** Stop signal; another thread may set it while a native runs. */
    public volatile boolean aborted;
    /** Pending Range value of a resumption; empty when there is nothing to resume. */
    public String range = "";
    public List<NodeURL> urlToLoad = new ArrayList<>();
    public int urlIndex;
    public Cookies cookiesCol = new Cookies();
    public SimpleDateFormat fo;
    public int nfiles;
    public long totalReadLength;
    public URL baseURL;
    public int baseFileSlashCount;
    public NodeURL lURL;

    private final File root;
    private final StringBuffer log = new StringBuffer();
    private volatile Consumer<String> logSink;

    public UrlLoad(File root) {
        this.root = root;
    }

    public File getRoot() { return root; }

    // The natives.
    public native void setRequestProperties(URLConnection conn, NodeURL node, File local);
    public native SimpleDateFormat fmtGMT();
    public native int chiap(NodeURL node, URLConnection conn, File local);
    public native void lokboi(File local, NodeURL node);
    public native void jiplok(NodeURL node, URLConnection conn, File local);
    public native void pHTML(NodeURL node);
    public native void chuekia(x7Element element, String tagName);

    // Called by the natives.

    public void appendLog(String line) {
        log.append(line);
        Consumer<String> sink = logSink;
        if (sink != null) sink.accept(line);
    }

    public static void fileSetLastModified(File f, long time) {
        // A server time before 1970 cannot be set on a file; the file keeps its own.
        if (time >= 0) f.setLastModified(time);
    }

    private static final Pattern SCHEME = Pattern.compile("^[A-Za-z][A-Za-z0-9+.-]*:");

    /** True for links a mirror cannot fetch: any scheme but http and https. */
    public boolean notSupportedProtocol(String link) {
        String l = link.trim();
        if (!SCHEME.matcher(l).find()) return false;
        String lower = l.toLowerCase(Locale.ROOT);
        return !(lower.startsWith("http:") || lower.startsWith("https:"));
    }

    /** Sets baseFileSlashCount to the number of "../" steps from lURL's saved page up to the root. */
    public void countBaseFileSlash() {
        baseFileSlashCount = slashesBelowRoot(lURL == null ? null : lURL.getLoadedFilename());
    }

    int slashesBelowRoot(String loadedFilename) {
        if (loadedFilename == null) return 0;
        String rootPath = root.getPath();
        String rel = loadedFilename.startsWith(rootPath) ? loadedFilename.substring(rootPath.length()) : loadedFilename;
        int n = 0;
        for (int i = 0; i < rel.length(); i++) {
            if (rel.charAt(i) == File.separatorChar) n++;
        }
        // a leading separator joins the root to the site part and is no step
        if (rel.startsWith(File.separator)) n--;
        return Math.max(n, 0);
    }

    /** Walks the page tree and hands every element to link discovery. */
    public void scan_html(x7Element rootElement) {
        List<x7Element> stack = new ArrayList<>();
        stack.add(rootElement);
        while (!stack.isEmpty()) {
            x7Element e = stack.remove(stack.size() - 1);
            String name = e.getTagname();
            if (name != null && !name.isEmpty()) chuekia(e, name.toLowerCase(Locale.ROOT));
            for (int i = e.children.size() - 1; i >= 0; i--) stack.add(e.children.get(i));
        }
    }

    // Host side.

    public void setLogSink(Consumer<String> sink) { this.logSink = sink; }
    public String getLog() { return log.toString(); }

    /** Where a node's body is saved. */
    public File localFileFor(URL url) { return LocalNames.localFile(root, url); }

    /** Outcome of one request of the cycle. */
    public enum Step { DONE, AGAIN, FAILED }

    /**
     * One request of a node: headers, connect, triage, freshness, transfer and,
     * for a page, the scan. AGAIN means the node is to be requested once more
     * (a resumption or a repaired URL); urlIndex has been stepped back for it.
     */
    public Step request(NodeURL node) {
        if (fo == null) fo = fmtGMT();
        lURL = node;
        File local = localFileFor(node.getURL());
        node.setLoadedFilename(local.getPath());
        node.resetOutcome();
        URLConnection conn;
        try {
            conn = node.getURL().openConnection();
        } catch (IOException e) {
            appendLog("Error reading url:" + node.getURL() + "\n");
            node.setReadWriteError();
            return Step.FAILED;
        }
        conn.setConnectTimeout(20_000);
        conn.setReadTimeout(60_000);
        setRequestProperties(conn, node, local);
        try {
            conn.connect();
            int code = conn instanceof HttpURLConnection ? ((HttpURLConnection) conn).getResponseCode() : 200;
            node.setResponseCode(code);
            node.setLastModified(serverTime(conn));
            cookiesCol.received(node.getURL(), conn.getHeaderFields());
            String type = conn.getContentType();
            node.setHtml(type != null ? type.toLowerCase(Locale.ROOT).startsWith("text/html") : looksLikePage(local));
        } catch (IOException e) {
            appendLog("Error reading url:" + node.getURL() + "\n");
            node.setReadWriteError();
            disconnect(conn);
            return Step.FAILED;
        }
        if (chiap(node, conn, local) == 1) {
            disconnect(conn);
            return Step.AGAIN;
        }
        if (node.getResponseCode() == 304 && node.isPreviouslyDownloaded()) {
            node.setHtml(looksLikePage(local));
        }
        lokboi(local, node);
        jiplok(node, conn, local);
        disconnect(conn);
        if (node.processHTML() && !aborted) pHTML(node);
        return node.hasError() ? Step.FAILED : Step.DONE;
    }

    private static long serverTime(URLConnection conn) {
        long t = conn.getLastModified();
        if (t > 0) return t;
        // Without Last-Modified the answer's own date stands in, so that the
        // copy is checked again next time rather than taken for current.
        t = conn.getDate();
        return t > 0 ? t : System.currentTimeMillis();
    }

    private static boolean looksLikePage(File f) {
        String n = f.getName().toLowerCase(Locale.ROOT);
        return n.endsWith(".htm") || n.endsWith(".html");
    }

    private static void disconnect(URLConnection conn) {
        if (conn instanceof HttpURLConnection) {
            // Keep-alive: drain nothing here, the transfer has read the body;
            // disconnect only a connection whose body was not consumed.
            try {
                if (((HttpURLConnection) conn).getResponseCode() >= 300) conn.getInputStream().close();
            } catch (IOException e) {
                // an error answer has no body stream to close
            }
        }
    }

    /** Known nodes by URL text without fragment, so that each URL is fetched once. */
    private final Map<String, NodeURL> known = new HashMap<>();

    public NodeURL known(URL url) {
        return known.get(key(url));
    }

    static String key(URL url) {
        String s = url.toString();
        int hash = s.indexOf('#');
        return hash < 0 ? s : s.substring(0, hash);
    }

    /** Adds a start URL at level 0. */
    public NodeURL addStart(URL url) {
        NodeURL n = new NodeURL(0, -1, url, null);
        urlToLoad.add(n);
        return n;
    }

    /**
     * Runs the crawl list from urlIndex to its end. accept decides which
     * discovered nodes are fetched (scope and level); each URL is fetched once.
     */
    public void crawl(java.util.function.Predicate<NodeURL> accept, Consumer<NodeURL> done) {
        for (; urlIndex < urlToLoad.size() && !aborted; urlIndex++) {
            NodeURL node = urlToLoad.get(urlIndex);
            String k = key(node.getURL());
            NodeURL first = known.get(k);
            if (first != null && first != node) continue;
            if (!accept.test(node)) continue;
            known.put(k, node);
            Step s = request(node);
            if (s == Step.AGAIN) {
                // the same node comes back at the next index (urlIndex was stepped back);
                // a repaired URL is known under its new text as well
                known.put(key(node.getURL()), node);
                continue;
            }
            if (done != null) done.accept(node);
        }
    }
}
