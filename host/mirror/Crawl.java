import com.tolvak.fenwix.NodeURL;

import java.io.File;
import java.net.MalformedURLException;
import java.net.URL;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.LinkedHashMap;
import java.util.LinkedHashSet;
import java.util.List;
import java.util.Map;
import java.util.function.Consumer;
import java.util.function.Predicate;

/**
 * The crawl of a mirror run: the crawl list of a crawler run from its
 * urlIndex to its end, each URL fetched once and never into a file outside
 * the root, every request through the crawler's request cycle.
 */
final class Crawl {
    private final UrlLoad load;
    /** Known nodes by URL text without fragment, so that each URL is fetched once. */
    private final Map<String, NodeURL> known = new LinkedHashMap<>();
    /** Known nodes by local file, so that URLs of one file share its node. */
    private final Map<String, NodeURL> byLocalFile = new HashMap<>();
    /**
     * The lowest level at which each URL has joined the crawl list, by whether
     * it came from a saved page and its text without fragment. A link found
     * again at that level or deeper ends as the one before it does (fetched
     * once, or refused by the same scope and depth), so it is dropped as it
     * joins the list instead of being kept there: the list grows with the
     * site's URLs, not its links.
     */
    private final Map<String, Integer> listed = new HashMap<>();
    /** Folders' pages and their index pages saved once. */
    private final FolderPages folderPages = new FolderPages();

    Crawl(UrlLoad load) {
        this.load = load;
        load.crawl = this;
    }

    NodeURL known(URL url) {
        return known.get(UrlLoad.key(url));
    }

    /** Every node the crawl has taken up so far, in crawl order. */
    List<NodeURL> knownNodes() {
        return new ArrayList<>(new LinkedHashSet<>(known.values()));
    }

    /** What an earlier run found (see sameAsFound): index pages not asked for again while their folder's page is saved. */
    void setSameAsFolder(Map<String, String> found) { folderPages.setEarlier(found); }

    /** Index pages found to be their folders' pages in this run, for the next one. */
    Map<String, String> sameAsFound() { return folderPages.found(); }

    /** Removes the second copies of pages saved twice; call once the scans are done. */
    void dropSecondCopies() { folderPages.dropSecondCopies(); }

    /**
     * Runs the crawl list from urlIndex to its end. accept decides which
     * discovered nodes are fetched (scope and level); done hears of every
     * node taken up.
     */
    void run(Predicate<NodeURL> accept, Consumer<NodeURL> done) {
        load.requests();
        List<NodeURL> list = load.urlToLoad;
        for (int i = load.urlIndex; i < list.size(); i++) {
            NodeURL n = list.get(i);
            if (n.getURL() != null) listed.putIfAbsent(listedKey(n), n.getLevel());
        }
        NodeURL again = null;     // the node in hand is asked for once more
        NodeURL retried = null;   // the node whose resumption was asked again as a whole
        for (; !load.aborted && more(); load.urlIndex++) {
            NodeURL node = list.get(load.urlIndex);
            if (node != again) {
                Boolean taken = take(node, accept);
                if (taken == null) continue;
                if (!taken) {
                    if (done != null) done.accept(node);
                    continue;
                }
            }
            again = null;
            UrlLoad.Step s;
            try {
                s = load.request(node);
                if (s == UrlLoad.Step.REDIRECT) s = redirected(load, node, load.redirectCode, load.redirectLocation);
            } catch (RuntimeException e) {
                // One URL that cannot be fetched or saved never ends the crawl.
                load.appendLog("Error reading url:" + node.getURL() + " (" + Causes.of(e) + ")\n");
                load.range = "";
                node.setCreateError();
                if (done != null) done.accept(node);
                continue;
            }
            if (s == UrlLoad.Step.AGAIN) {
                // urlIndex was stepped back: the same node comes next; a
                // repaired URL is known under its new text as well
                known.put(UrlLoad.key(node.getURL()), node);
                again = node;
                continue;
            }
            if (tryAgain(load, node)) {
                again = node;
                continue;
            }
            load.retries.done(node);
            load.redirects.done(node);
            if (node.getResponseCode() == 416 && retried != node && !load.aborted) {
                // The server will not give the rest of the part: nothing says
                // the part is whole, so the file is asked for whole.
                File local = new File(node.getLoadedFilename());
                local.delete();
                IncompleteMarker.remove(local);
                load.appendLog("Asking again for the whole file:" + node.getURL() + " (416 to a range request)\n");
                retried = node;
                again = node;
                load.urlIndex--;
                continue;
            }
            try {
                commit(node, s, done);
            } catch (RuntimeException e) {
                // a page that cannot be scanned ends as a URL that cannot be fetched
                load.appendLog("Error reading url:" + node.getURL() + " (" + Causes.of(e) + ")\n");
                load.range = "";
                node.setCreateError();
                if (done != null) done.accept(node);
            }
        }
    }

    /**
     * Whether the node at urlIndex is fetched: TRUE to request it, FALSE when
     * it is taken up but refused its file, null when it is left out (no URL
     * of it, fetched by another node, or not accepted).
     */
    private Boolean take(NodeURL node, Predicate<NodeURL> accept) {
        if (!requestable(node)) return null;
        String k = UrlLoad.key(node.getURL());
        String folderKey = folderPages.earlier(k);
        boolean accepted = false;
        if (folderKey != null && !known.containsKey(k)) {
            // an index page that an earlier run found to be its folder's page
            NodeURL folder = known.get(folderKey);
            if (folder != null) {
                if (folder.isLoaded()) {
                    known.put(k, folder);
                    folderPages.same(k, folderKey);
                    return null;
                }
            } else if (accept.test(node)) {
                // asked for by the folder's URL, under which it is saved
                try {
                    node.setURL(new URL(folderKey));
                    known.put(k, node);
                    folderPages.same(k, folderKey);
                    k = folderKey;
                } catch (MalformedURLException e) {
                    // asked for as it is
                }
                accepted = true;
            }
        }
        if (known.containsKey(k) || !(accepted || accept.test(node))) return null;
        File local = load.localFileFor(node.getURL());
        NodeURL owner = byLocalFile.get(local.getPath());
        if (owner != null) {
            // the same URL written another way ("/a/../b", "/%62"):
            // one file, fetched and rewritten once, found under both
            known.put(k, owner);
            return null;
        }
        known.put(k, node);
        byLocalFile.put(local.getPath(), node);
        String refused = SavedLinks.whyNotInside(load.getRoot(), local);
        if (refused != null) {
            load.appendLog("Refused file " + refused + ":" + local.getPath() + "\n");
            node.setCreateError();
            return false;
        }
        return true;
    }

    /** The end of a node: its page scanned, its folder's page noted, done told. */
    private void commit(NodeURL node, UrlLoad.Step s, Consumer<NodeURL> done) {
        if ((node.processHTML() || (node.isLoaded() && (node.isCss() || node.isScript()))) && !load.aborted) {
            PageScanner scans = load.pageScans();
            if (scans != null) {
                scans.submit(node, load.urlIndex);
            } else {
                int from = load.urlToLoad.size();
                load.scan(node);
                // the records keep every link of the page: another page may lose the first one
                dropListed(from);
            }
        }
        if (s == UrlLoad.Step.DONE) {
            NodeURL[] one = folderPages.saved(node, this::known);
            if (one != null) {
                known.put(UrlLoad.key(one[1].getURL()), one[0]);
                byLocalFile.put(one[1].getLoadedFilename(), one[0]);
            }
        }
        if (done != null) done.accept(node);
    }

    /** A file moved under the folder of its name to make room for the folder: its node follows it. */
    void movedUnderFolder(UrlLoad by, File from, File to) {
        NodeURL owner = byLocalFile.get(from.getPath());
        if (owner == null) return;
        if (from.getPath().equals(owner.getLoadedFilename())) owner.setLoadedFilename(to.getPath());
        byLocalFile.put(to.getPath(), owner);
        by.appendLog("Moved under its folder:" + from.getPath() + " -> " + to.getPath() + "\n");
        movedAny = true;
    }

    /** Whether this run moved a saved file into the folder of its name: links to it moved too. */
    private volatile boolean movedAny;

    boolean movedAny() { return movedAny; }

    /**
     * A redirect: followed by asking for the node again under its new URL (so
     * that it is saved under that URL's name and its links resolve against
     * it), while the old URL stays known as this node for the rewrite pass.
     * A target the crawl already has is not fetched twice; one the run would
     * not fetch is not requested and the link keeps its web address.
     */
    private UrlLoad.Step redirected(UrlLoad by, NodeURL node, int code, String location) {
        Redirects.Step step = by.redirects.follow(node, code, location);
        URL from = node.getURL();
        if (step.next == null) {
            if (step.failure) return by.failed(node, new Failures.Failure("redirect", step.why));
            by.appendLog("Redirect not followed:" + from + " (" + step.why + "; its links keep the web address)\n");
            by.failures.note(node, new Failures.Failure(Failures.SKIPPED_REDIRECT, step.why));
            return UrlLoad.Step.DONE;
        }
        URL to = step.next;
        File target = by.localFileFor(to);
        NodeURL owner = known.get(UrlLoad.key(to));
        if (owner == null) owner = byLocalFile.get(target.getPath());
        if (owner != null && owner != node) {
            // fetched, or to be fetched, under its own URL: once
            known.put(UrlLoad.key(from), owner);
            by.redirects.done(node);
            by.appendLog("Redirected:" + from + " -> " + to + " (fetched once, as " + to + ")\n");
            by.failures.note(node, new Failures.Failure(Failures.REDIRECTED, "to " + to));
            return UrlLoad.Step.DONE;
        }
        String refused = SavedLinks.whyNotInside(by.getRoot(), target);
        if (refused != null) {
            by.appendLog("Refused file " + refused + ":" + target.getPath() + "\n");
            node.setCreateError();
            by.failures.note(node, new Failures.Failure("file", "refused file " + refused));
            return UrlLoad.Step.FAILED;
        }
        by.appendLog("Redirected:" + from + " -> " + to + "\n");
        node.setURL(to);
        known.put(UrlLoad.key(to), node);
        byLocalFile.put(target.getPath(), node);
        by.urlIndex--;
        return UrlLoad.Step.AGAIN;
    }

    /**
     * Whether a failed attempt is made again (its backoff waited): a failed
     * connection, a 5xx answer, a body that broke off. A body with a part on
     * disk goes on from the part's end by a range request.
     */
    private boolean tryAgain(UrlLoad by, NodeURL node) {
        if (by.aborted || node.isLoaded() || node.isStopped()) return false;
        Failures.Failure f = by.failures.of(node);
        int code = node.getResponseCode();
        boolean retry = f != null && (code >= 500 || Failures.RETRIED.contains(f.kind));
        if (!retry) return false;
        File local = node.getLoadedFilename() == null ? null : new File(node.getLoadedFilename());
        boolean part = local != null && local.isFile() && local.length() > 0 && IncompleteMarker.on(local);
        // a cut that brought new bytes is no failed try
        long grown = part && f.kind.equals("connection broken") ? local.length() : 0;
        if (!by.retries.again(node, f.cause, grown, () -> by.aborted)) return false;
        by.appendLog("Trying again (" + by.retries.next(node) + "):" + node.getURL() + " (after " + f.cause
                + (part ? "; from byte " + local.length() : "") + ")\n");
        if (part) by.range = "bytes=" + local.length() + "-";
        by.urlIndex--;
        return true;
    }

    /**
     * Whether the crawl list goes on at urlIndex. The links of the pages
     * scanned beside the crawl join it first; when the list has run out, the
     * next pending scan is waited for.
     */
    private boolean more() {
        PageScanner scans = load.pageScans();
        List<NodeURL> list = load.urlToLoad;
        if (scans != null) {
            int from = list.size();
            scans.merge(false, list);
            dropListed(from);
            while (load.urlIndex >= list.size() && !load.aborted) {
                // the next page's links, in page order
                from = list.size();
                if (!scans.merge(true, list)) break;
                dropListed(from);
            }
        }
        return load.urlIndex < list.size();
    }

    /** Drops the links added to the crawl list from index from on that are listed already (see listed). */
    private void dropListed(int from) {
        List<NodeURL> list = load.urlToLoad;
        int kept = from;
        for (int i = from; i < list.size(); i++) {
            NodeURL n = list.get(i);
            if (n.getURL() != null) {
                String k = listedKey(n);
                Integer level = listed.get(k);
                if (level != null && level <= n.getLevel()) continue;
                listed.put(k, n.getLevel());
            }
            // nothing refers to a node of this tail by its index yet
            if (kept != i) list.set(kept, n);
            kept++;
        }
        list.subList(kept, list.size()).clear();
    }

    private static String listedKey(NodeURL n) {
        return (Boolean.TRUE.equals(n.isFromSavedPage()) ? "s " : "w ") + UrlLoad.key(n.getURL());
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
                List<NodeURL> list = load.urlToLoad;
                int parent = node.getParentIndex();
                saved = parent >= 0 && parent < list.size() && list.get(parent).isPreviouslyDownloaded();
            }
            if (saved) url = SavedLinks.original(url);
            url = SavedLinks.requestable(url);
            if (url != node.getURL()) node.setURL(url);
            return true;
        } catch (MalformedURLException e) {
            return false;
        }
    }
}
