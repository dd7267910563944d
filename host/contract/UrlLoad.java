import com.tolvak.fenwix.NodeURL;

import java.io.File;
import java.io.FileInputStream;
import java.io.IOException;
import java.io.InputStreamReader;
import java.nio.charset.Charset;
import java.net.HttpURLConnection;
import java.net.URL;
import java.net.URLConnection;
import java.text.SimpleDateFormat;
import java.util.ArrayList;
import java.util.List;
import java.util.Locale;
import java.util.function.Consumer;

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
    /** The crawl this crawler runs in; null for requests of its own. */
    Crawl crawl;
    /** Links of unchanged pages kept from earlier runs; null to scan every page. */
    private LinkRecords records;
    /** Scans of page trees so far. */
    private int scans;
    /** Scans beside the crawl; null to scan each page in line. */
    private PageScanner pageScans;
    private final StringBuffer log = new StringBuffer();
    private volatile Consumer<String> logSink;

    /** How the run's requests go out and are read; without a call of setRequests, one attempt each, no limits. */
    private Requests requests;
    Redirects redirects;
    Retries retries;
    /** The failure of each node, with its cause. */
    Failures failures = new Failures();
    /** Log lines kept aside instead of logged, while not null. */
    volatile Consumer<String> capture;

    public UrlLoad(File root) {
        this.root = root;
    }

    void setRequests(Requests requests, Redirects redirects) {
        this.requests = requests;
        this.redirects = redirects;
        this.retries = new Retries(requests.tries, requests.activity);
    }

    Requests requests() {
        if (requests == null) {
            Requests plain = Requests.plain(root);
            // without the run's own rules: redirects within the site part only
            setRequests(plain, new Redirects((n, to) -> Pace.site(to).equals(Pace.site(n.getURL())) ? null
                    : "another site part"));
        }
        return requests;
    }

    public File getRoot() { return root; }

    void setLinkRecords(LinkRecords records) { this.records = records; }

    LinkRecords records() { return records; }

    void setPageScans(PageScanner scans) { this.pageScans = scans; }

    PageScanner pageScans() { return pageScans; }


    /** A crawler of the same mirror for scanning pages on another thread; its log is this one's. */
    UrlLoad scannerLikeThis() {
        UrlLoad s = new UrlLoad(root);
        s.records = records;
        s.logSink = this::appendLog;
        s.unread = unread;
        return s;
    }

    /** The links of one saved page at index in the crawl list, found by this crawler alone (see scannerLikeThis). */
    List<NodeURL> scanAlone(NodeURL page, int index) {
        urlToLoad = new ArrayList<>();
        urlIndex = index;
        lURL = page;
        scan(page);
        return urlToLoad;
    }

    /** A crawler for requests of the same run on another thread: the same requests, redirects, retries, failures and cookies. */
    UrlLoad connectionLikeThis() {
        UrlLoad c = new UrlLoad(root);
        requests();
        c.requests = requests;
        c.redirects = redirects;
        c.retries = retries;
        c.failures = failures;
        c.cookiesCol = cookiesCol;
        c.crawl = crawl;
        return c;
    }

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
        Consumer<String> aside = capture;
        if (aside != null) {
            aside.accept(line);
            return;
        }
        Consumer<String> sink = logSink;
        // a run's log goes to its file: kept here as well, it would grow with the site
        if (sink != null) sink.accept(line);
        else log.append(line);
    }

    public static void fileSetLastModified(File f, long time) {
        // A server time before 1970 cannot be set on a file; the file keeps its own.
        if (time >= 0) f.setLastModified(time);
    }


    /**
     * True for links a mirror cannot fetch: any scheme but http and https.
     * Asked for every link of every page, so it looks at the characters
     * itself rather than through a pattern.
     */
    public boolean notSupportedProtocol(String link) {
        int from = 0;
        int end = link.length();
        while (from < end && link.charAt(from) <= ' ') from++;  // as trim() does
        int colon = schemeEnd(link, from);
        if (colon < 0) return false;
        int n = colon - from;
        return !(n == 4 && link.regionMatches(true, from, "http", 0, 4)
                || n == 5 && link.regionMatches(true, from, "https", 0, 5));
    }

    /** Where the scheme that s has at from ends (its ':'), or -1 for none: a letter, then letters, digits, '+', '.', '-'. */
    static int schemeEnd(String s, int from) {
        if (from >= s.length() || !isAsciiLetter(s.charAt(from))) return -1;
        for (int i = from + 1; i < s.length(); i++) {
            char c = s.charAt(i);
            if (c == ':') return i;
            if (!isAsciiLetter(c) && !(c >= '0' && c <= '9') && c != '+' && c != '.' && c != '-') return -1;
        }
        return -1;
    }

    private static boolean isAsciiLetter(char c) {
        return c >= 'a' && c <= 'z' || c >= 'A' && c <= 'Z';
    }

    /** Sets baseFileSlashCount to the number of "../" steps from lURL's saved page up to the root. */
    public void countBaseFileSlash() {
        baseFileSlashCount = slashesBelowRoot(lURL == null ? null : lURL.getLoadedFilename());
    }

    int slashesBelowRoot(String loadedFilename) {
        if (loadedFilename == null) return 0;
        String rootPath = root.getPath();
        String rel = loadedFilename;
        // below the root only when the root is a whole leading part of the name
        if (loadedFilename.startsWith(rootPath) && (rootPath.endsWith(File.separator)
                || loadedFilename.length() == rootPath.length()
                || loadedFilename.charAt(rootPath.length()) == File.separatorChar)) {
            rel = loadedFilename.substring(rootPath.length());
        }
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
        scans++;
        rootElement.forEachTag(this::chuekia);
    }

    // Host side.

    public void setLogSink(Consumer<String> sink) { this.logSink = sink; }
    /** The log of a crawler without a sink (see setLogSink). */
    public String getLog() { return log.toString(); }

    /** Where a node's body is saved: under a folder of its name when a folder has that name. */
    public File localFileFor(URL url) { return FolderClash.place(LocalNames.localFile(root, url)); }

    /** Outcome of one request of the cycle; REDIRECT leaves the redirect (redirectCode, redirectLocation) to the crawl. */
    public enum Step { DONE, AGAIN, FAILED, REDIRECT }

    int redirectCode;
    String redirectLocation;

    /**
     * One request of a node: headers, connect, triage, freshness and
     * transfer. AGAIN means the node is to be requested once more (a
     * resumption or a repaired URL); urlIndex has been stepped back for it.
     */
    public Step request(NodeURL node) {
        File local = localFileFor(node.getURL());
        try {
            if (crawl != null) {
                crawl.clearParents(this, local);
            } else {
                FolderClash.clearParents(root, local);
            }
        } catch (IOException e) {
            // the transfer reports the file it cannot create
            appendLog("Error creating file:" + local.getPath() + " (" + Causes.of(e) + ")\n");
        }
        // What is on disk is only part of a body when a transfer was cut short
        // (its marker is there) or when this request asks for the rest of it.
        boolean partialCopy = range.length() >= 2 || IncompleteMarker.on(local);
        String validator = partialCopy ? IncompleteMarker.validator(local) : null;
        node.setResponseCode(0);
        bodyEtag = null;
        transferTried = false;
        Step s = exchange(node, local, partialCopy, validator);
        // Triage deletes the marker before the rest of a part has arrived (a
        // 304 that asks again for the rest, a 206 or 200 whose transfer a stop
        // or a failure cuts off before it starts): as long as the part is not
        // whole, the marker goes back, or the next run would take the part for
        // the whole. Answers that settle the file (404, 410, 416) leave it.
        int code = node.getResponseCode();
        if ((partialCopy || transferTried) && !node.isLoaded() && code != 404 && code != 410 && code != 416
                && local.isFile()) {
            String keep = transferTried ? bodyEtag : validator;
            if (!IncompleteMarker.make(local, keep)) {
                // A part without its marker would pass for the whole next time.
                appendLog("Error creating file:" + IncompleteMarker.of(local).getPath()
                        + " (the part is removed: without its marker it would pass for complete)\n");
                local.delete();
            }
        }
        return s;
    }

    /** The strong ETag of the body the last transfer wrote, kept with its part. */
    private String bodyEtag;
    /** Whether the last request's body went to the local file. */
    private boolean transferTried;

    /** Drops the part on disk so that the node is asked for whole, as the next request of the cycle. */
    private Step askWhole(NodeURL node, File local, String why) {
        appendLog("Asking again for the whole file:" + node.getURL() + " (" + why + ")\n");
        range = "";
        local.delete();
        IncompleteMarker.remove(local);
        return Step.AGAIN;
    }

    private Step exchange(NodeURL node, File local, boolean partialCopy, String validator) {
        Requests rq = requests();
        failures.clear(node);
        URL url = node.getURL();
        if (!rq.pace.before(url, () -> aborted)) {
            lURL = node;
            node.resetOutcome();
            node.setStopped();
            return Step.DONE;
        }
        try {
            return exchange(node, local, partialCopy, validator, rq);
        } finally {
            rq.pace.after(url);
            rq.activity.set("");
        }
    }

    private Step exchange(NodeURL node, File local, boolean partialCopy, String validator, Requests rq) {
        if (fo == null) fo = fmtGMT();
        lURL = node;
        node.setLoadedFilename(local.getPath());
        node.resetOutcome();
        URLConnection conn;
        try {
            conn = node.getURL().openConnection();
        } catch (IOException e) {
            return failed(node, Failures.Failure.of(e));
        }
        rq.configure(conn);
        boolean askedRange = range.length() >= 2;
        setRequestProperties(conn, node, local);
        rq.identify(conn, askedRange);
        // The ETag of the part's body validates the resumption better than a date.
        if (askedRange && validator != null) conn.setRequestProperty("If-Range", validator);
        // Without a local copy there is nothing to be current: no condition.
        if (!askedRange && !local.isFile()) conn.setRequestProperty("If-Modified-Since", "");
        rq.activity.set("waiting for " + Pace.site(node.getURL()) + " to answer (timeout "
                + rq.readTimeoutMs / 1000.0 + " s): " + node.getURL());
        try {
            conn.connect();
            int code = conn instanceof HttpURLConnection ? ((HttpURLConnection) conn).getResponseCode() : 200;
            node.setResponseCode(code);
            node.setLastModified(BodyKinds.serverTime(conn));
            cookiesCol.received(node.getURL(), conn);
            if (conn.getHeaderField("Set-Cookie") != null) rq.pace.cookieSet(node.getURL());
            String type = conn.getContentType();
            Charset declared = PageCharset.named(type);
            if (declared != null) node.setCharset(declared.name());
            node.setHtml(type != null ? type.toLowerCase(Locale.ROOT).startsWith("text/html") : BodyKinds.looksLikePage(local));
            node.setCss(BodyKinds.isStylesheet(type, local));
            node.setScript(BodyKinds.isScript(type, local));
        } catch (IOException e) {
            Connections.release(conn, false);
            return failed(node, Failures.Failure.of(e));
        }
        int answered = node.getResponseCode();
        if (conn instanceof HttpURLConnection && Redirects.isRedirect(answered)) {
            String location = conn.getHeaderField("Location");
            Connections.release(conn, false);
            redirectCode = answered;
            redirectLocation = location;
            return Step.REDIRECT;
        }
        if (answered >= 400 && answered != 404 && answered != 410 && answered != 416) {
            String reason = null;
            try {
                reason = ((HttpURLConnection) conn).getResponseMessage();
            } catch (IOException | ClassCastException e) {
                // the code alone
            }
            Failures.Failure f = Failures.Failure.status(answered, reason);
            failures.note(node, f);
            appendLog("Error reading url:" + node.getURL() + " (" + f.cause + ")\n");
        }
        boolean hadPart = local.isFile();
        if (node.getResponseCode() == 206) {
            String[] why = {""};
            Resumption.Verdict v = Resumption.check(conn, askedRange, hadPart ? local.length() : 0, validator, why);
            // a range of an encoded body is no range of the plain body on disk
            if (v == Resumption.Verdict.APPEND && BodyStream.encoded(conn)) {
                v = Resumption.Verdict.BAD;
                why[0] = "206 with Content-Encoding " + BodyStream.encoding(conn);
            }
            if (v != Resumption.Verdict.APPEND) {
                if (v == Resumption.Verdict.WHOLE || !hadPart) local.delete();
                if (v == Resumption.Verdict.BAD) {
                    Connections.release(conn, false);
                    if (hadPart) {
                        urlIndex--;
                        return askWhole(node, local, why[0]);
                    }
                    return failed(node, new Failures.Failure("bad answer", why[0]));
                }
            }
        }
        if (chiap(node, conn, local) == 1) {
            Connections.release(conn, true);
            // A 304 to a request for the rest: the server cannot resume this file.
            if (askedRange && node.getResponseCode() == 304) return askWhole(node, local, "304 to a range request");
            return Step.AGAIN;
        }
        if (node.isPreviouslyDownloaded() && !local.isFile()) {
            Connections.release(conn, true);
            return failed(node, new Failures.Failure("bad answer", "304 Not Modified for a file that is not saved"));
        }
        if (node.getResponseCode() == 304 && node.isPreviouslyDownloaded()) {
            node.setHtml(BodyKinds.looksLikePage(local));
            node.setCss(!node.isHtml() && BodyKinds.isStylesheet(null, local));
            node.setScript(!node.isHtml() && BodyKinds.isScript(null, local));
        }
        // A partial copy carries the server's time too, so the freshness check
        // would take it for current; a whole body (200) must replace it.
        if (!partialCopy) lokboi(local, node);
        transferTried = node.downloadThisURL();
        bodyEtag = Resumption.strongEtag(conn);
        long offset = node.getResponseCode() == 206 && local.isFile() ? local.length() : 0;
        failures.takeBody();
        // while the body comes, the progress line names the URL
        rq.activity.set("");
        jiplok(node, new WholeBody(conn, BodyStream.decorator(conn, rq, failures, offset)), local);
        Failures.Failure broke = failures.takeBody();
        // not the body: the file could not be made or written
        if (broke == null && node.hasError()) {
            String why = Causes.ofFile(local);
            failures.note(node, new Failures.Failure("file", why == null ? "the file could not be written" : why));
        }
        boolean bodyRead = node.isLoaded() && !node.isPreviouslyDownloaded();
        Connections.release(conn, bodyRead || node.getResponseCode() == 304);
        if (transferTried && !node.isLoaded()) partLeft(node, local, broke, BodyStream.encoded(conn));
        return node.hasError() ? Step.FAILED : Step.DONE;
    }

    /** A failure before any body: logged with its cause. */
    Step failed(NodeURL node, Failures.Failure f) {
        appendLog("Error reading url:" + node.getURL() + " (" + f.cause + ")\n");
        failures.note(node, f);
        node.setReadWriteError();
        return Step.FAILED;
    }

    /**
     * What becomes of the part a broken-off transfer left: kept, marked, for a
     * range request; dropped when it is of an encoded body (its bytes are the
     * decoded ones, no range of the encoded body continues them) or of a
     * body the run refuses; the run stopped when the disk is nearly full.
     */
    private void partLeft(NodeURL node, File local, Failures.Failure broke, boolean encoded) {
        if (broke != null) failures.note(node, broke);
        String kind = broke == null ? "" : broke.kind;
        boolean refused = kind.equals(BodyFailure.TOO_LARGE) || kind.equals(BodyFailure.ENCODING);
        if (refused || encoded) {
            local.delete();
            IncompleteMarker.remove(local);
            if (encoded && !refused) {
                appendLog("Part dropped:" + node.getURL() + " (an encoded body is fetched whole, never resumed)\n");
            }
        }
        if (kind.equals(BodyFailure.DISK)) {
            failures.stop(broke.cause);
            aborted = true;
        }
    }

    /**
     * Finds the links of a saved page: from the records when they hold for the
     * page as it is, else by the page scan. Each link found notes whether its
     * page was a saved copy, whose links name local files.
     */
    /** Pages of the run whose tree could not be read, by loaded file name; shared with the scanners. */
    private java.util.Set<String> unread = java.util.concurrent.ConcurrentHashMap.newKeySet();

    java.util.Set<String> unread() { return unread; }

    void scan(NodeURL page) {
        int from = urlToLoad.size();
        if (records != null && records.replay(page, urlIndex, urlToLoad)) return;
        int before = scans;
        Charset cs = PageCharset.of(page);
        boolean sheet = (page.isCss() || page.isScript()) && !page.isHtml();
        if (sheet) {
            lURL = page;
            countBaseFileSlash();
        } else if (cs.equals(Charset.defaultCharset())) {
            // The library reads a page in the platform's charset; a page in
            // another one is read here, with the same steps, in its own.
            pHTML(page);
        } else {
            readInCharset(page, cs);
        }
        if (!sheet && scans == before) {
            // no tree of the page: its links cannot be followed, and the copy is not whole
            unread.add(page.getLoadedFilename());
            appendLog("Page not read, its links are not followed (nested too deeply, or unreadable):"
                    + page.getLoadedFilename() + "\n");
        }
        // then every other reference a browser follows to show the page
        boolean read = RefDiscovery.add(this, page, cs, from, sheet);
        boolean saved = page.isPreviouslyDownloaded();
        List<NodeURL> added = urlToLoad.subList(from, urlToLoad.size());
        for (NodeURL n : added) n.setFromSavedPage(saved);
        // a page that could not be read has no links to keep
        if (records != null && (scans != before || (sheet && read))) records.found(page, added);
    }

    private void readInCharset(NodeURL page, Charset cs) {
        x7Element root = new x7Element("");
        try (InputStreamReader in = new InputStreamReader(new FileInputStream(page.getLoadedFilename()), cs)) {
            root.findChild(in);
        } catch (IOException e) {
            appendLog("Error reading downloaded file :" + page.getLoadedFilename() + " (" + Causes.of(e) + ")\n");
            return;
        } catch (StackOverflowError e) {
            return;  // nested deeper than the thread's stack: as the library's own read ends
        }
        baseURL = page.getURL();
        countBaseFileSlash();
        scan_html(root);
    }

    /** The node that fetches a URL in this crawler's crawl; null before the crawl has it. */
    public NodeURL known(URL url) {
        return crawl == null ? null : crawl.known(url);
    }

    /** Every node the crawl has taken up so far, in crawl order. */
    public List<NodeURL> knownNodes() {
        return crawl == null ? new ArrayList<>() : crawl.knownNodes();
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
}
