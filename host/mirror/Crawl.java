import com.tolvak.fenwix.NodeURL;

import java.io.File;
import java.io.IOException;
import java.net.MalformedURLException;
import java.net.URL;
import java.util.ArrayList;
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
    private final Map<String, NodeURL> byLocalFile = new java.util.concurrent.ConcurrentHashMap<>();
    /** Folders' pages and their index pages saved once. */
    private final FolderPages folderPages = new FolderPages();
    private final CrawlList crawlList;

    Crawl(UrlLoad load) {
        this(load, 4);
    }

    Crawl(UrlLoad load, int connections) {
        this.load = load;
        this.crawlList = new CrawlList(load);
        this.conns = new CrawlConnections(load, connections, new CrawlConnections.Outcomes() {
            @Override
            public boolean decided(CrawlConnections.Slot head) {
                return Crawl.this.decided(head);
            }

            @Override
            public void commit(CrawlConnections.Slot slot) {
                commitNow(slot);
            }
        });
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
     * node taken up, in crawl-list order.
     *
     * Every decision is made here in list order, and every outcome committed
     * in list order; only requests run ahead, up to the connections, each on
     * a connection of its own. A redirect or a repaired URL is settled once
     * every node before it is committed, against the crawl list as it stands
     * once their pages are scanned, so that it ends the same way whichever
     * nodes after it are in flight.
     */
    void run(Predicate<NodeURL> accept, Consumer<NodeURL> done) {
        load.requests();
        this.accept = accept;
        this.done = done;
        List<NodeURL> list = load.urlToLoad;
        crawlList.start(load.urlIndex);
        next = load.urlIndex;
        conns.open();
        try {
            while (!load.aborted) {
                conns.commitEnded(false);
                if (!crawlList.more(next, conns.isEmpty())) {
                    if (conns.isEmpty()) break;
                    conns.commitEnded(true);
                    continue;
                }
                takeUp(next, list.get(next));
                next++;
            }
        } finally {
            // the requests in flight end (a stop leaves their markers) and are told in order
            conns.close();
            load.urlIndex = next;
        }
    }

    private Predicate<NodeURL> accept;
    private Consumer<NodeURL> done;
    private final CrawlConnections conns;
    /** The next index of the crawl list to take up. */
    private int next;
    /** The index whose node take has put in its requested form, else -1. */
    private int transformed = -1;
    /** The crawl list's positions by URL key and by local file, for laterOwner. */
    private final ListPositions laterKeys = new ListPositions();
    private final ListPositions laterFiles = new ListPositions();

    /** Decides about the node at index and, when it is fetched, starts its request. */
    private void takeUp(int index, NodeURL node) {
        CrawlConnections.Slot slot = new CrawlConnections.Slot(index, node);
        load.capture = line -> slot.log(line, null);
        Boolean taken;
        try {
            taken = take(index, node);
        } finally {
            load.capture = null;
        }
        if (taken == null) {
            if (!slot.lines.isEmpty()) conns.enqueue(slot);
        } else if (!taken) {
            slot.tellDone = true;
            conns.enqueue(slot);
        } else {
            slot.path = LocalNames.localFile(load.getRoot(), node.getURL()).getPath();
            // taken up while it waits for a connection, as the nodes before it are committed
            requesting = node;
            try {
                conns.request(slot);
            } finally {
                requesting = null;
            }
        }
        transformed = -1;
    }

    /** The node taken up whose request waits for a free connection, else null. */
    private NodeURL requesting;

    /** The head's redirect or repaired URL; true when its node is requested again. */
    private boolean decided(CrawlConnections.Slot head) {
        NodeURL node = head.node;
        UrlLoad c = head.conn;
        UrlLoad.Step s = head.step;
        if (s == UrlLoad.Step.REDIRECT) {
            Failures failures = c.failures;
            Consumer<String> aside = load.capture;
            load.capture = line -> head.log(line, failures.peekBody());
            try {
                s = redirected(c, head, c.redirectCode, c.redirectLocation);
            } finally {
                load.capture = aside;
            }
            if (s != UrlLoad.Step.AGAIN) {
                c.retries.done(node);
                c.redirects.done(node);
                head.step = s;
                return false;
            }
        } else if (s == UrlLoad.Step.AGAIN) {
            URL to = node.getURL();
            NodeURL owner = owner(node, to, true);
            if (owner == null) owner = laterOwner(head, to);
            if (owner != null) {
                // fetched by a node further on, as a crawl of one connection would find too
                known.put(UrlLoad.key(head.asked), owner);
                c.appendLog("Repaired URL:" + head.asked + " -> " + to + " (fetched once, as " + to + ")\n");
                c.failures.note(node, new Failures.Failure(Failures.REDIRECTED, "to " + to));
                c.retries.done(node);
                c.redirects.done(node);
                head.step = UrlLoad.Step.DONE;
                return false;
            }
            // a repaired URL is known under its new text as well
            known.put(UrlLoad.key(to), node);
        } else {
            return false;
        }
        conns.again(head);
        return true;
    }

    /** The end of a node, in list order: its log lines, its counts, its page scanned, done told. */
    private void commitNow(CrawlConnections.Slot slot) {
        Failures failures = load.failures;
        for (Object[] l : slot.lines) failures.withBody((Failures.Failure) l[1], () -> load.appendLog((String) l[0]));
        NodeURL node = slot.node;
        UrlLoad c = slot.conn;
        if (c == null) {
            if (slot.tellDone && done != null) done.accept(node);
            return;
        }
        load.nfiles += c.nfiles;
        load.totalReadLength += c.totalReadLength;
        load.lURL = node;
        if (c.aborted) load.aborted = true;
        conns.release(slot);
        if (slot.attempts.crashed) {
            if (done != null) done.accept(node);
            return;
        }
        load.urlIndex = slot.index;
        try {
            commit(node, slot.step, done);
        } catch (RuntimeException e) {
            // a page that cannot be scanned ends as a URL that cannot be fetched
            load.appendLog("Error reading url:" + node.getURL() + " (" + Causes.of(e) + ")\n");
            node.setCreateError();
            if (done != null) done.accept(node);
        }
    }

    /** The files of the requests running, and next. */
    List<File> filesInFlight(File next) {
        return conns.filesInFlight(next);
    }

    /** Commits nodes until no request in flight is for url's file, a folder of it or a file in it. */
    private void settle(URL url) {
        String p = LocalNames.localFile(load.getRoot(), url).getPath();
        while (conns.clashes(p, null)) conns.commitEnded(true);
        // a page still being scanned beside the crawl is read before it moves
        if (crawlList.scanning(p)) crawlList.mergeAll();
    }

    /**
     * The node other than node that has to's URL or file: any taken up, or
     * with later, only one taken up after node and not committed yet.
     */
    private NodeURL owner(NodeURL node, URL to, boolean later) {
        NodeURL owner = known.get(UrlLoad.key(to));
        if (owner == null) owner = byLocalFile.get(load.localFileFor(to).getPath());
        if (owner == node || (owner != null && later && owner != requesting && !conns.taken(owner))) return null;
        return owner;
    }

    /**
     * The first node after head's in the crawl list, as it stands once every
     * page before head is scanned, that is for to's URL or file and accepted.
     * With one connection it is not taken up yet, with several it may be:
     * either way head's target is fetched by it, so that the copy does not
     * depend on the connections.
     */
    private NodeURL laterOwner(CrawlConnections.Slot head, URL to) {
        String k = UrlLoad.key(to);
        // node's own, or an earlier one's: no node further on fetches it
        if (known.containsKey(k) || byLocalFile.containsKey(load.localFileFor(to).getPath())) return null;
        crawlList.mergeAll();
        String file = LocalNames.localFile(load.getRoot(), to).getPath();
        List<NodeURL> list = load.urlToLoad;
        indexList(list);
        int from = Math.max(next, head.index + 1);
        for (int i : ascending(laterKeys.candidates(k, from), laterFiles.candidates(file, from))) {
            NodeURL n = list.get(i);
            URL u = i == transformed ? n.getURL() : crawlList.requestedAs(n);
            if (u == null || known.containsKey(UrlLoad.key(u))) continue;
            if (!UrlLoad.key(u).equals(k) && !LocalNames.localFile(load.getRoot(), u).getPath().equals(file)) continue;
            // accept reads the node as it is requested
            if (i != transformed) crawlList.ahead(n, u);
            if (accept.test(n)) return n;
        }
        return null;
    }

    /**
     * Indexes the crawl list's nodes not indexed yet by their URLs and files as
     * laterOwner reads them. A node's requested form does not change once its
     * page is merged, and only pages merged so far are indexed: a site whose
     * links all redirect is not searched from end to end once per redirect.
     */
    private void indexList(List<NodeURL> list) {
        File root = load.getRoot();
        for (int i = laterKeys.size(); i < list.size(); i++) {
            NodeURL n = list.get(i);
            URL u = i == transformed ? n.getURL() : crawlList.requestedAs(n);
            laterKeys.add(u == null ? "" : UrlLoad.key(u));
            laterFiles.add(u == null ? "" : LocalNames.localFile(root, u).getPath());
        }
    }

    /** The positions of a and b (each ascending) once each, ascending. */
    private static int[] ascending(int[] a, int[] b) {
        int[] all = new int[a.length + b.length];
        int i = 0, j = 0, n = 0;
        while (i < a.length || j < b.length) {
            int p = j == b.length || i < a.length && a[i] <= b[j] ? a[i++] : b[j++];
            if (n == 0 || all[n - 1] != p) all[n++] = p;
        }
        return java.util.Arrays.copyOf(all, n);
    }

    /**
     * Whether the node at urlIndex is fetched: TRUE to request it, FALSE when
     * it is taken up but refused its file, null when it is left out (no URL
     * of it, fetched by another node, or not accepted).
     */
    private Boolean take(int index, NodeURL node) {
        if (!crawlList.requestable(node)) return null;
        transformed = index;
        settle(node.getURL());
        String k = UrlLoad.key(node.getURL());
        String folderKey = folderPages.earlier(k);
        boolean accepted = false;
        if (folderKey != null && !known.containsKey(k)) {
            // an index page that an earlier run found to be its folder's page
            NodeURL folder = known.get(folderKey);
            // whether the folder's page is saved is known once it is committed
            while (folder != null && conns.inFlight(folder)) conns.commitEnded(true);
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
                    settle(node.getURL());
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
            crawlList.scan(node, load.urlIndex);
        }
        if (s == UrlLoad.Step.DONE) {
            // nodes after this one are not known yet in a crawl of one connection
            NodeURL[] one = folderPages.saved(node, u -> {
                NodeURL n = known(u);
                return n == null || conns.taken(n) ? null : n;
            });
            if (one != null) {
                known.put(UrlLoad.key(one[1].getURL()), one[0]);
                byLocalFile.put(one[1].getLoadedFilename(), one[0]);
            }
        }
        if (done != null) done.accept(node);
    }

    /**
     * Makes room for the folders of local, the file of a request of by: a
     * file saved where a folder must be moves into it, and its node follows
     * it. One connection at a time: two requests for pages of one folder
     * would otherwise both see the file and move it, the second time with the
     * folder the first made.
     */
    synchronized void clearParents(UrlLoad by, File local) throws IOException {
        for (File f : FolderClash.clearParents(by.getRoot(), local)) movedUnderFolder(by, f, FolderClash.place(f));
    }

    /** A file moved under the folder of its name to make room for the folder: its node follows it. */
    private void movedUnderFolder(UrlLoad by, File from, File to) {
        NodeURL owner = byLocalFile.get(from.getPath());
        if (owner == null) return;
        if (from.getPath().equals(owner.getLoadedFilename())) owner.setLoadedFilename(to.getPath());
        byLocalFile.put(to.getPath(), owner);
        movedAny = true;
        by.appendLog("Moved under its folder:" + from.getPath() + " -> " + to.getPath() + "\n");
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
    private UrlLoad.Step redirected(UrlLoad by, CrawlConnections.Slot head, int code, String location) {
        NodeURL node = head.node;
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
        NodeURL owner = owner(node, to, false);
        if (owner == null) owner = laterOwner(head, to);
        if (owner != null) {
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
}
