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
import java.util.LinkedHashMap;
import java.util.LinkedHashSet;
import java.util.List;
import java.util.Locale;
import java.util.Map;
import java.util.function.Consumer;
import java.util.function.Predicate;
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
    /** Links of unchanged pages kept from earlier runs; null to scan every page. */
    private LinkRecords records;
    /** Scans of page trees so far. */
    private int scans;
    /** Scans beside the crawl; null to scan each page in line. */
    private PageScanner pageScans;
    /** Hears of each page tree after its scan; may be null. */
    private volatile java.util.function.BiConsumer<NodeURL, x7Element> treeSink;
    private final StringBuffer log = new StringBuffer();
    private volatile Consumer<String> logSink;

    /** How the run's requests go out and are read; without a call of setRequests, one attempt each, no limits. */
    private Requests requests;
    private Redirects redirects;
    private Retries retries;
    /** The failure of each node, with its cause. */
    final Failures failures = new Failures();

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

    void setPageScans(PageScanner scans) { this.pageScans = scans; }

    void setTreeSink(java.util.function.BiConsumer<NodeURL, x7Element> sink) { this.treeSink = sink; }

    /** A crawler of the same mirror for scanning pages on another thread; its log is this one's. */
    UrlLoad scannerLikeThis() {
        UrlLoad s = new UrlLoad(root);
        s.records = records;
        s.treeSink = treeSink;
        s.logSink = this::appendLog;
        s.listed = null;
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
        java.util.function.BiConsumer<NodeURL, x7Element> sink = treeSink;
        if (sink != null) sink.accept(lURL, rootElement);
    }

    // Host side.

    public void setLogSink(Consumer<String> sink) { this.logSink = sink; }
    public String getLog() { return log.toString(); }

    /** Where a node's body is saved: under a folder of its name when a folder has that name. */
    public File localFileFor(URL url) { return FolderClash.place(LocalNames.localFile(root, url)); }

    /** Outcome of one request of the cycle. */
    public enum Step { DONE, AGAIN, FAILED }

    /**
     * One request of a node: headers, connect, triage, freshness, transfer and,
     * for a page, the scan. AGAIN means the node is to be requested once more
     * (a resumption or a repaired URL); urlIndex has been stepped back for it.
     */
    public Step request(NodeURL node) {
        File local = localFileFor(node.getURL());
        try {
            for (File f : FolderClash.clearParents(root, local)) movedUnderFolder(f, FolderClash.place(f));
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
            cookiesCol.received(node.getURL(), conn.getHeaderFields());
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
            return redirected(node, answered, location);
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
        if ((node.processHTML() || (node.isLoaded() && (node.isCss() || node.isScript()))) && !aborted) {
            if (pageScans != null) pageScans.submit(node, urlIndex);
            else scan(node);
        }
        return node.hasError() ? Step.FAILED : Step.DONE;
    }

    /** A failure before any body: logged with its cause. */
    private Step failed(NodeURL node, Failures.Failure f) {
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

    /** A file moved under the folder of its name to make room for the folder: its node follows it. */
    private void movedUnderFolder(File from, File to) {
        NodeURL owner = byLocalFile.get(from.getPath());
        if (owner == null) return;
        if (from.getPath().equals(owner.getLoadedFilename())) owner.setLoadedFilename(to.getPath());
        byLocalFile.put(to.getPath(), owner);
        appendLog("Moved under its folder:" + from.getPath() + " -> " + to.getPath() + "\n");
    }

    /**
     * A redirect: followed by asking for the node again under its new URL (so
     * that it is saved under that URL's name and its links resolve against
     * it), while the old URL stays known as this node for the rewrite pass.
     * A target the crawl already has is not fetched twice; one the run would
     * not fetch is not requested and the link keeps its web address.
     */
    private Step redirected(NodeURL node, int code, String location) {
        Redirects.Step step = redirects.follow(node, code, location);
        URL from = node.getURL();
        if (step.next == null) {
            if (step.failure) return failed(node, new Failures.Failure("redirect", step.why));
            appendLog("Redirect not followed:" + from + " (" + step.why + "; its links keep the web address)\n");
            failures.note(node, new Failures.Failure(Failures.SKIPPED_REDIRECT, step.why));
            return Step.DONE;
        }
        URL to = step.next;
        File target = localFileFor(to);
        NodeURL owner = known.get(key(to));
        if (owner == null) owner = byLocalFile.get(target.getPath());
        if (owner != null && owner != node) {
            // fetched, or to be fetched, under its own URL: once
            known.put(key(from), owner);
            redirects.done(node);
            appendLog("Redirected:" + from + " -> " + to + " (fetched once, as " + to + ")\n");
            failures.note(node, new Failures.Failure(Failures.REDIRECTED, "to " + to));
            return Step.DONE;
        }
        String refused = SavedLinks.whyNotInside(root, target);
        if (refused != null) {
            appendLog("Refused file " + refused + ":" + target.getPath() + "\n");
            node.setCreateError();
            failures.note(node, new Failures.Failure("file", "refused file " + refused));
            return Step.FAILED;
        }
        appendLog("Redirected:" + from + " -> " + to + "\n");
        node.setURL(to);
        known.put(key(to), node);
        byLocalFile.put(target.getPath(), node);
        urlIndex--;
        return Step.AGAIN;
    }

    /**
     * Finds the links of a saved page: from the records when they hold for the
     * page as it is, else by the page scan. Each link found notes whether its
     * page was a saved copy, whose links name local files.
     */
    void scan(NodeURL page) {
        int from = urlToLoad.size();
        if (records != null && records.replay(page, urlIndex, urlToLoad)) {
            dropListed(from);
            return;
        }
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
        // then every other reference a browser follows to show the page
        boolean read = RefDiscovery.add(this, page, cs, from, sheet);
        boolean saved = page.isPreviouslyDownloaded();
        List<NodeURL> added = urlToLoad.subList(from, urlToLoad.size());
        for (NodeURL n : added) n.setFromSavedPage(saved);
        // a page that could not be read has no links to keep
        if (records != null && (scans != before || (sheet && read))) records.found(page, added);
        // the records keep every link of the page: another page may lose the first one
        dropListed(from);
    }

    /**
     * The lowest level at which each URL has joined the crawl list, by whether
     * it came from a saved page and its text without fragment. A link found
     * again at that level or deeper ends as the one before it does (fetched
     * once, or refused by the same scope and depth), so it is dropped as it
     * joins the list instead of being kept there: the list grows with the
     * site's URLs, not its links. Null in the crawlers that scan beside the
     * crawl, whose links are dropped when they join this one's list.
     */
    private Map<String, Integer> listed = new java.util.HashMap<>();

    /** Drops the links added to the crawl list from index from on that are listed already (see listed). */
    private void dropListed(int from) {
        if (listed == null) return;
        int kept = from;
        for (int i = from; i < urlToLoad.size(); i++) {
            NodeURL n = urlToLoad.get(i);
            if (n.getURL() != null) {
                String k = (Boolean.TRUE.equals(n.isFromSavedPage()) ? "s " : "w ") + key(n.getURL());
                Integer level = listed.get(k);
                if (level != null && level <= n.getLevel()) continue;
                listed.put(k, n.getLevel());
            }
            // nothing refers to a node of this tail by its index yet
            if (kept != i) urlToLoad.set(kept, n);
            kept++;
        }
        urlToLoad.subList(kept, urlToLoad.size()).clear();
    }

    private void readInCharset(NodeURL page, Charset cs) {
        x7Element root = new x7Element("");
        try (InputStreamReader in = new InputStreamReader(new FileInputStream(page.getLoadedFilename()), cs)) {
            root.findChild(in);
        } catch (IOException e) {
            appendLog("Error reading downloaded file :" + page.getLoadedFilename() + " (" + Causes.of(e) + ")\n");
            return;
        }
        baseURL = page.getURL();
        countBaseFileSlash();
        scan_html(root);
    }

    /** Known nodes by URL text without fragment, so that each URL is fetched once. */
    private final Map<String, NodeURL> known = new LinkedHashMap<>();
    /** Known nodes by local file, so that URLs of one file share its node. */
    private final Map<String, NodeURL> byLocalFile = new java.util.HashMap<>();

    public NodeURL known(URL url) {
        return known.get(key(url));
    }

    /** Every node the crawl has taken up so far, in crawl order. */
    public List<NodeURL> knownNodes() {
        return new ArrayList<>(new LinkedHashSet<>(known.values()));
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
        if (listed != null) listed.putIfAbsent("w " + key(url), 0);
        return n;
    }

    /**
     * Runs the crawl list from urlIndex to its end. accept decides which
     * discovered nodes are fetched (scope and level); each URL is fetched once,
     * and never into a file outside the root. done hears of every node taken up.
     */
    public void crawl(Predicate<NodeURL> accept, Consumer<NodeURL> done) {
        requests();
        NodeURL again = null;     // the node in hand is asked for once more
        NodeURL retried = null;   // the node whose resumption was asked again as a whole
        for (; !aborted && more(); urlIndex++) {
            NodeURL node = urlToLoad.get(urlIndex);
            if (node != again) {
                if (!requestable(node)) continue;
                String k = key(node.getURL());
                String folderKey = folderPages.earlier(k);
                boolean accepted = false;
                if (folderKey != null && !known.containsKey(k)) {
                    // an index page that an earlier run found to be its folder's page
                    NodeURL folder = known.get(folderKey);
                    if (folder != null) {
                        if (folder.isLoaded()) {
                            known.put(k, folder);
                            folderPages.same(k, folderKey);
                            continue;
                        }
                    } else if (accept.test(node)) {
                        // asked for by the folder's URL, under which it is saved
                        try {
                            node.setURL(new URL(folderKey));
                            known.put(k, node);
                            folderPages.same(k, folderKey);
                            k = folderKey;
                        } catch (java.net.MalformedURLException e) {
                            // asked for as it is
                        }
                        accepted = true;
                    }
                }
                if (known.containsKey(k) || !(accepted || accept.test(node))) continue;
                File local = localFileFor(node.getURL());
                NodeURL owner = byLocalFile.get(local.getPath());
                if (owner != null) {
                    // the same URL written another way ("/a/../b", "/%62"):
                    // one file, fetched and rewritten once, found under both
                    known.put(k, owner);
                    continue;
                }
                known.put(k, node);
                byLocalFile.put(local.getPath(), node);
                String refused = SavedLinks.whyNotInside(root, local);
                if (refused != null) {
                    appendLog("Refused file " + refused + ":" + local.getPath() + "\n");
                    node.setCreateError();
                    if (done != null) done.accept(node);
                    continue;
                }
            }
            again = null;
            Step s;
            try {
                s = request(node);
            } catch (RuntimeException e) {
                // One URL that cannot be fetched or saved never ends the crawl.
                appendLog("Error reading url:" + node.getURL() + " (" + Causes.of(e) + ")\n");
                range = "";
                node.setCreateError();
                if (done != null) done.accept(node);
                continue;
            }
            if (s == Step.AGAIN) {
                // urlIndex was stepped back: the same node comes next; a
                // repaired URL is known under its new text as well
                known.put(key(node.getURL()), node);
                again = node;
                continue;
            }
            if (tryAgain(node, s)) {
                again = node;
                continue;
            }
            retries.done(node);
            redirects.done(node);
            if (node.getResponseCode() == 416 && retried != node && !aborted) {
                // The server will not give the rest of the part: nothing says
                // the part is whole, so the file is asked for whole.
                File local = new File(node.getLoadedFilename());
                local.delete();
                IncompleteMarker.remove(local);
                appendLog("Asking again for the whole file:" + node.getURL() + " (416 to a range request)\n");
                retried = node;
                again = node;
                urlIndex--;
                continue;
            }
            if (s == Step.DONE) {
                NodeURL[] one = folderPages.saved(node, this::known);
                if (one != null) {
                    known.put(key(one[1].getURL()), one[0]);
                    byLocalFile.put(one[1].getLoadedFilename(), one[0]);
                }
            }
            if (done != null) done.accept(node);
        }
    }

    /** Folders' pages and their index pages saved once. */
    private final FolderPages folderPages = new FolderPages();

    /** What an earlier run found (see sameAsFound): index pages not asked for again while their folder's page is saved. */
    void setSameAsFolder(Map<String, String> found) { folderPages.setEarlier(found); }

    /** Index pages found to be their folders' pages in this run, for the next one. */
    Map<String, String> sameAsFound() { return folderPages.found(); }

    /** Removes the second copies of pages saved twice; call once the scans are done. */
    public void dropSecondCopies() { folderPages.dropSecondCopies(); }

    /**
     * Whether a failed attempt is made again (its backoff waited): a failed
     * connection, a 5xx answer, a body that broke off. A body with a part on
     * disk goes on from the part's end by a range request.
     */
    private boolean tryAgain(NodeURL node, Step s) {
        if (aborted || node.isLoaded() || node.isStopped()) return false;
        Failures.Failure f = failures.of(node);
        int code = node.getResponseCode();
        boolean retry = f != null && (code >= 500 || Failures.RETRIED.contains(f.kind));
        if (!retry) return false;
        File local = node.getLoadedFilename() == null ? null : new File(node.getLoadedFilename());
        boolean part = local != null && local.isFile() && local.length() > 0 && IncompleteMarker.on(local);
        // a cut that brought new bytes is no failed try
        long grown = part && f.kind.equals("connection broken") ? local.length() : 0;
        if (!retries.again(node, f.cause, grown, () -> aborted)) return false;
        appendLog("Trying again (" + retries.next(node) + "):" + node.getURL() + " (after " + f.cause
                + (part ? "; from byte " + local.length() : "") + ")\n");
        if (part) range = "bytes=" + local.length() + "-";
        urlIndex--;
        return true;
    }

    /**
     * Whether the crawl list goes on at urlIndex. The links of the pages
     * scanned beside the crawl join it first; when the list has run out, the
     * next pending scan is waited for.
     */
    private boolean more() {
        if (pageScans != null) {
            int from = urlToLoad.size();
            pageScans.merge(false, urlToLoad);
            dropListed(from);
            while (urlIndex >= urlToLoad.size() && !aborted) {
                // the next page's links, in page order
                from = urlToLoad.size();
                if (!pageScans.merge(true, urlToLoad)) break;
                dropListed(from);
            }
        }
        return urlIndex < urlToLoad.size();
    }

    /**
     * Puts a node's URL in the form it is requested in; false when no URL can
     * be made of it. Links of a page saved by an earlier run name local files
     * and are read back into the URLs those files came from.
     */
    private boolean requestable(NodeURL node) {
        try {
            URL url = node.getURL();
            Boolean saved = node.isFromSavedPage();
            if (saved == null) {
                int parent = node.getParentIndex();
                saved = parent >= 0 && parent < urlToLoad.size() && urlToLoad.get(parent).isPreviouslyDownloaded();
            }
            if (saved) url = SavedLinks.original(url);
            url = SavedLinks.requestable(url);
            if (url != node.getURL()) node.setURL(url);
            return true;
        } catch (java.net.MalformedURLException e) {
            return false;
        }
    }
}
