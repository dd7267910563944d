import com.tolvak.fenwix.NodeURL;

import java.net.URL;
import java.util.List;
import java.util.function.Predicate;

/** The counts of a run, as the progress line and the summary read them. */
final class Counters {
    /** How a node of the crawl ended, as the run counts it. */
    enum Outcome { ERROR, NOT_MODIFIED, PAGE, FILE, STOPPED, NOT_FOUND, HTTP_ERROR }

    int pages, files, notModified, resumed, notFound, errors, skipped;
    /** Errors and skipped URLs by kind, in the order first met. */
    final java.util.Map<String, Integer> errorKinds = new java.util.LinkedHashMap<>();
    final java.util.Map<String, Integer> skippedKinds = new java.util.LinkedHashMap<>();
    /** Nodes taken up so far, and the distinct URLs found that the crawl will fetch. */
    volatile int done, known;

    private final UrlLoad crawler;
    private final UrlKeys seen = new UrlKeys();
    private int scanned;

    Counters(UrlLoad crawler) {
        this.crawler = crawler;
    }

    /** Bytes transferred so far: the crawler's own count. */
    long bytes() {
        return crawler.totalReadLength;
    }

    /** The URL in hand. */
    String current() {
        NodeURL n = crawler.lURL;
        return n == null ? "" : String.valueOf(n.getURL());
    }

    /** Counts an error of a kind ("timeout", "HTTP 5xx"...) besides its node's outcome. */
    void errorKind(String kind) {
        errorKinds.merge(kind, 1, Integer::sum);
    }

    /** Counts a URL the run left out on purpose (robots.txt, --max-size, a redirect out of scope). */
    void skipped(String kind) {
        skipped++;
        skippedKinds.merge(kind, 1, Integer::sum);
    }

    /** A node left out after it was taken up: done, not failed. */
    void skippedNode(NodeURL node, String kind) {
        skipped(kind);
        done++;
    }

    /** "3 (2 timeout, 1 HTTP 5xx)" of a count and its kinds. */
    static String withKinds(int n, java.util.Map<String, Integer> kinds) {
        if (n == 0 || kinds.isEmpty()) return String.valueOf(n);
        StringBuilder b = new StringBuilder().append(n).append(" (");
        String sep = "";
        for (java.util.Map.Entry<String, Integer> e : kinds.entrySet()) {
            b.append(sep).append(e.getValue()).append(' ').append(e.getKey());
            sep = ", ";
        }
        return b.append(')').toString();
    }

    /** Counts a node that the crawl is done with. */
    Outcome count(NodeURL node) {
        Outcome o = outcome(node);
        switch (o) {
            case ERROR:
            case HTTP_ERROR:
                errors++;
                break;
            case NOT_MODIFIED:
                notModified++;
                break;
            case PAGE:
            case FILE:
                if (node.getResponseCode() == 206) resumed++;
                if (o == Outcome.PAGE) pages++;
                else files++;
                break;
            case NOT_FOUND:
                notFound++;
                break;
            default:
                break;
        }
        done++;
        return o;
    }

    private static Outcome outcome(NodeURL node) {
        int code = node.getResponseCode();
        if (node.hasError()) return Outcome.ERROR;
        if (node.isPreviouslyDownloaded()) return Outcome.NOT_MODIFIED;
        if (node.isLoaded()) return node.isHtml() ? Outcome.PAGE : Outcome.FILE;
        // interrupted: the marker is left for the next run
        if (node.isStopped()) return Outcome.STOPPED;
        if (node.isNotFound() || code == 404 || code == 410) return Outcome.NOT_FOUND;
        return Outcome.HTTP_ERROR;
    }

    /** Counts the distinct URLs of the crawl list that the crawl will fetch, from where the last call stopped. */
    void found(List<NodeURL> list, Predicate<NodeURL> fetched) {
        for (; scanned < list.size(); scanned++) {
            NodeURL n = list.get(scanned);
            URL u = n.getURL();
            if (u != null && fetched.test(n)) seen.putIfAbsent(false, u, 0);
        }
        known = Math.max(seen.size(), done);
    }
}
