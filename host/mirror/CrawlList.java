import com.tolvak.fenwix.NodeURL;

import java.net.MalformedURLException;
import java.net.URL;
import java.util.Collections;
import java.util.IdentityHashMap;
import java.util.List;
import java.util.Set;

/**
 * The crawl list of a crawl as it grows: the links of the pages scanned in
 * line or beside the crawl join it in page order, each URL once at its
 * lowest level, and each node is put in the form it is requested in.
 */
final class CrawlList {
    private final UrlLoad load;
    /**
     * The lowest level at which each URL has joined the crawl list, by whether
     * it came from a saved page and its text without fragment. A link found
     * again at that level or deeper ends as the one before it does (fetched
     * once, or refused by the same scope and depth), so it is dropped as it
     * joins the list instead of being kept there: the list grows with the
     * site's URLs, not its links.
     */
    private final UrlKeys listed = new UrlKeys();
    /** Files of the pages handed to the scans beside the crawl and not merged yet, in their order. */
    private final QueuedFiles scanning = new QueuedFiles();
    /** Nodes ahead of the crawl already in their requested form. */
    private final Set<NodeURL> early = Collections.newSetFromMap(new IdentityHashMap<>());

    CrawlList(UrlLoad load) {
        this.load = load;
    }

    /** Notes the URLs of the list from index from on as listed. */
    void start(int from) {
        List<NodeURL> list = load.urlToLoad;
        for (int i = from; i < list.size(); i++) {
            NodeURL n = list.get(i);
            if (n.getURL() != null) listed.putIfAbsent(fromSaved(n), n.getURL(), n.getLevel());
        }
    }

    /** Scans a page that has ended, at index, beside the crawl where it can. */
    void scan(NodeURL page, int index) {
        PageScanner scans = load.pageScans();
        if (scans != null) {
            scanning.add(page.getLoadedFilename());
            scans.submit(page, index);
        } else {
            int from = load.urlToLoad.size();
            load.scan(page);
            // the records keep every link of the page: another page may lose the first one
            dropListed(from);
        }
    }

    /**
     * Whether the crawl list goes on at next. The links of the pages
     * scanned beside the crawl join it first; when the list has run out and
     * no request is in flight (idle), the next pending scan is waited for.
     */
    boolean more(int next, boolean idle) {
        PageScanner scans = load.pageScans();
        List<NodeURL> list = load.urlToLoad;
        if (scans != null) {
            merge(scans, false);
            // the pages in flight come with their commits
            if (next >= list.size() && !idle) return false;
            while (next >= list.size() && !load.aborted && merge(scans, true)) {
                // the next page's links, in page order
            }
        }
        return next < list.size();
    }

    private boolean merge(PageScanner scans, boolean wait) {
        List<NodeURL> list = load.urlToLoad;
        int from = list.size();
        boolean any = scans.merge(wait, list);
        dropListed(from);
        while (scanning.size() > scans.pending()) scanning.removeFirst();
        return any;
    }

    /** Waits for every scan beside the crawl and adds its links to the list. */
    void mergeAll() {
        PageScanner scans = load.pageScans();
        if (scans == null) return;
        while (merge(scans, true)) {
            // page by page
        }
    }

    /** Whether a page being scanned beside the crawl is file p, a folder of it or a file in it. */
    boolean scanning(String p) {
        return scanning.clashes(p);
    }

    /** Drops the links added to the crawl list from index from on that are listed already (see listed). */
    private void dropListed(int from) {
        List<NodeURL> list = load.urlToLoad;
        int kept = from;
        for (int i = from; i < list.size(); i++) {
            NodeURL n = list.get(i);
            if (n.getURL() != null) {
                boolean saved = fromSaved(n);
                boolean lower = listed.putIfLower(saved, n.getURL(), n.getLevel());
                // either way the list now keeps the URL at this level or lower
                if (n instanceof ReplayedNode && load.records() != null) {
                    load.records().listed((ReplayedNode) n, saved, n.getLevel());
                }
                if (!lower) continue;
            }
            // nothing refers to a node of this tail by its index yet
            if (kept != i) list.set(kept, n);
            kept++;
        }
        list.subList(kept, list.size()).clear();
    }

    private static boolean fromSaved(NodeURL n) {
        return Boolean.TRUE.equals(n.isFromSavedPage());
    }

    /**
     * Puts a node's URL in the form it is requested in; false when no URL can
     * be made of it. Links of a page saved by an earlier run name local files
     * and are read back into the URLs those files came from.
     */
    boolean requestable(NodeURL node) {
        if (early.remove(node)) return true;
        try {
            URL url = requestURL(node);
            if (url != node.getURL()) node.setURL(url);
            return true;
        } catch (MalformedURLException e) {
            return false;
        }
    }

    /** The URL a node ahead of the crawl is to be requested under, the node left as it is; null when none. */
    URL requestedAs(NodeURL node) {
        if (early.contains(node)) return node.getURL();
        try {
            return requestURL(node);
        } catch (MalformedURLException | RuntimeException e) {
            return null;
        }
    }

    /** Puts a node ahead of the crawl in its requested form url now, for a look at it before its turn. */
    void ahead(NodeURL node, URL url) {
        if (!early.add(node)) return;
        if (url != node.getURL()) node.setURL(url);
    }

    private URL requestURL(NodeURL node) throws MalformedURLException {
        URL url = node.getURL();
        Boolean saved = node.isFromSavedPage();
        if (saved == null) {
            List<NodeURL> list = load.urlToLoad;
            int parent = node.getParentIndex();
            saved = parent >= 0 && parent < list.size() && list.get(parent).isPreviouslyDownloaded();
        }
        if (saved) url = SavedLinks.original(url);
        return SavedLinks.requestable(url);
    }
}
