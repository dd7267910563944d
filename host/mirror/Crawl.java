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
    private final Map<String, NodeURL> byLocalFile = new java.util.concurrent.ConcurrentHashMap<>();
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

    /** Requests at once at most; one per site part that asks for a wait. */
    private final int connections;

    Crawl(UrlLoad load) {
        this(load, 4);
    }

    Crawl(UrlLoad load, int connections) {
        this.load = load;
        this.connections = Math.max(1, connections);
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
     * in list order; only requests run ahead, each on a connection of its
     * own. The next node is taken up once the answer of the one before has
     * its status: a redirect or a 404 (whose URL may be repaired) changes
     * what the crawl knows, so such a node waits until every node before it
     * has ended and is then finished alone, as a crawl of one connection
     * would.
     */
    void run(Predicate<NodeURL> accept, Consumer<NodeURL> done) {
        load.requests();
        this.accept = accept;
        this.done = done;
        List<NodeURL> list = load.urlToLoad;
        for (int i = load.urlIndex; i < list.size(); i++) {
            NodeURL n = list.get(i);
            if (n.getURL() != null) listed.putIfAbsent(listedKey(n), n.getLevel());
        }
        int next = load.urlIndex;
        pool = java.util.concurrent.Executors.newCachedThreadPool(r -> {
            Thread t = new Thread(r, "crawl-connection");
            t.setDaemon(true);
            return t;
        });
        try {
            while (!load.aborted) {
                commitEnded(false);
                if (!more(next)) {
                    if (pending.isEmpty()) break;
                    commitEnded(true);
                    continue;
                }
                takeUp(next, list.get(next));
                next++;
            }
        } finally {
            // the requests in flight end (a stop leaves their markers) and are told in order
            while (!pending.isEmpty()) commitEnded(true);
            pool.shutdown();
            load.urlIndex = next;
        }
    }

    /** A node taken up, until its outcome is committed in list order. */
    private static final class Slot {
        final int index;
        final NodeURL node;
        /** Its log lines, each with the body failure its thread had then. */
        final List<Object[]> lines = new ArrayList<>();
        /** Its connection; null when nothing is requested (a refused file, a node left out with log lines). */
        UrlLoad conn;
        boolean tellDone;
        /** Its file as named, for clashes with files in flight. */
        String path;
        final NodeAttempts.State attempts = new NodeAttempts.State();
        // guarded by the crawl
        boolean statusKnown, ended, waitsForCrawl;
        UrlLoad.Step step;

        Slot(int index, NodeURL node) {
            this.index = index;
            this.node = node;
        }

        void log(String line, Failures.Failure body) {
            synchronized (lines) {
                lines.add(new Object[] {line, body});
            }
        }
    }

    private Predicate<NodeURL> accept;
    private Consumer<NodeURL> done;
    private java.util.concurrent.ExecutorService pool;
    /** Nodes taken up and not committed, in list order; guarded by this. */
    private final java.util.ArrayDeque<Slot> pending = new java.util.ArrayDeque<>();
    /** Connections that ended their nodes, for the next ones. */
    private final java.util.ArrayDeque<UrlLoad> idle = new java.util.ArrayDeque<>();

    /** Decides about the node at index and, when it is fetched, starts its request and waits for its status. */
    private void takeUp(int index, NodeURL node) {
        Slot slot = new Slot(index, node);
        load.capture = line -> slot.log(line, null);
        Boolean taken;
        try {
            taken = take(node, accept);
        } finally {
            load.capture = null;
        }
        if (taken == null) {
            if (!slot.lines.isEmpty()) enqueue(slot);
            return;
        }
        if (!taken) {
            slot.tellDone = true;
            enqueue(slot);
            return;
        }
        URL url = node.getURL();
        slot.path = LocalNames.localFile(load.getRoot(), url).getPath();
        int most = load.requests().pace.paced(url) ? 1 : connections;
        String site = Pace.site(url);
        while (running(null) >= connections || running(site) >= most) step();
        slot.conn = connection(slot);
        enqueue(slot);
        start(slot);
        synchronized (this) {
            while (!slot.statusKnown) tick();
        }
        // a redirect or a 404: finished alone, after every node before it
        if (slot.waitsForCrawl) while (isPending(slot)) commitEnded(true);
    }

    private synchronized boolean isPending(Slot slot) {
        return pending.contains(slot);
    }

    private synchronized void enqueue(Slot slot) {
        pending.addLast(slot);
    }

    /** Requests running, to site (null: to any). */
    private synchronized int running(String site) {
        int n = 0;
        for (Slot s : pending) {
            if (s.conn != null && !s.ended && (site == null || site.equals(Pace.site(s.node.getURL())))) n++;
        }
        return n;
    }

    /** Commits what has ended, else waits a little. */
    private void step() {
        commitEnded(false);
        synchronized (this) {
            tick();
        }
    }

    /** Waits for news of the requests; a stop reaches every connection. */
    private void tick() {
        boolean stop = load.aborted;
        for (Slot s : pending) {
            if (s.conn != null && s.conn.aborted) stop = true;
        }
        if (stop) {
            load.aborted = true;
            for (Slot s : pending) {
                if (s.conn != null) s.conn.aborted = true;
            }
        }
        try {
            wait(50);
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
            load.aborted = true;
        }
    }

    private UrlLoad connection(Slot slot) {
        UrlLoad c = idle.poll();
        if (c == null) c = load.connectionLikeThis();
        c.nfiles = 0;
        c.totalReadLength = 0;
        c.aborted = load.aborted;
        c.range = "";
        // the Referer's page, all a request reads of the crawl list
        NodeURL parent = null;
        int p = slot.node.getParentIndex();
        if (p >= 0 && p < load.urlToLoad.size()) parent = load.urlToLoad.get(p);
        c.urlToLoad = new ParentOnly(p, parent);
        Failures failures = c.failures;
        c.capture = line -> slot.log(line, failures.peekBody());
        c.statusSeen = code -> status(slot, code);
        return c;
    }

    /** Of a crawl list, the parent of one node alone. */
    private static final class ParentOnly extends java.util.AbstractList<NodeURL> {
        private final int index;
        private final NodeURL parent;

        ParentOnly(int index, NodeURL parent) {
            this.index = index;
            this.parent = parent;
        }

        @Override
        public NodeURL get(int i) {
            return i == index ? parent : null;
        }

        @Override
        public int size() {
            return Math.max(index + 1, 0);
        }
    }

    private void start(Slot slot) {
        pool.execute(() -> {
            UrlLoad.Step s = NodeAttempts.run(slot.conn, slot.node, slot.index, slot.attempts);
            synchronized (this) {
                slot.step = s;
                slot.ended = true;
                slot.statusKnown = true;
                notifyAll();
            }
        });
    }

    /**
     * The status of an answer, on its connection's thread. A redirect or a
     * 404 may change what the crawl knows: its request waits until every
     * node before it is committed.
     */
    private synchronized void status(Slot slot, int code) {
        boolean alone = Redirects.isRedirect(code) || code == 404;
        slot.statusKnown = true;
        if (alone) slot.waitsForCrawl = true;
        notifyAll();
        while (alone && pending.peekFirst() != slot && !slot.conn.aborted) {
            try {
                wait(50);
            } catch (InterruptedException e) {
                Thread.currentThread().interrupt();
                return;
            }
        }
    }

    /**
     * Commits the nodes at the head of the list that have ended: all of them,
     * or with wait, one, waited for. A redirect or a repaired URL of the head
     * is decided here, and its node requested again.
     */
    private void commitEnded(boolean wait) {
        while (true) {
            Slot head;
            synchronized (this) {
                head = pending.peekFirst();
                if (head == null) return;
                if (head.conn != null && !head.ended) {
                    if (!wait) return;
                    tick();
                    continue;
                }
            }
            if (head.conn != null && !head.attempts.crashed && decided(head)) continue;
            synchronized (this) {
                pending.removeFirst();
                notifyAll();
            }
            commit(head);
            if (wait) return;
        }
    }

    /** The head's redirect or repaired URL; true when its node is requested again. */
    private boolean decided(Slot head) {
        NodeURL node = head.node;
        UrlLoad c = head.conn;
        UrlLoad.Step s = head.step;
        if (s == UrlLoad.Step.REDIRECT) {
            Failures failures = c.failures;
            Consumer<String> aside = load.capture;
            load.capture = line -> head.log(line, failures.peekBody());
            try {
                s = redirected(c, node, c.redirectCode, c.redirectLocation);
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
            // a repaired URL is known under its new text as well
            known.put(UrlLoad.key(node.getURL()), node);
        } else {
            return false;
        }
        synchronized (this) {
            head.ended = false;
        }
        start(head);
        return true;
    }

    /** The end of a node, in list order: its log lines, its counts, its page scanned, done told. */
    private void commit(Slot slot) {
        Consumer<String> aside = load.capture;
        load.capture = null;
        try {
            commitNow(slot);
        } finally {
            load.capture = aside;
        }
    }

    private void commitNow(Slot slot) {
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
        c.capture = null;
        c.statusSeen = null;
        idle.add(c);
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
    synchronized List<File> filesInFlight(File next) {
        List<File> files = new ArrayList<>();
        for (Slot s : pending) {
            if (s.conn != null && !s.ended) files.add(FolderClash.place(new File(s.path)));
        }
        files.add(next);
        return files;
    }

    /** Whether node's request has not been committed yet. */
    private synchronized boolean inFlight(NodeURL node) {
        for (Slot s : pending) {
            if (s.node == node && s.conn != null) return true;
        }
        return false;
    }

    /** Commits nodes until no request in flight is for path, a folder of it or a file in it. */
    private void settle(URL url) {
        String p = LocalNames.localFile(load.getRoot(), url).getPath();
        while (clashes(p)) commitEnded(true);
        // a page still being scanned beside the crawl is read before it moves
        PageScanner scans = load.pageScans();
        if (scans == null) return;
        for (String q : scanning) {
            if (q != null && (q.equals(p) || q.startsWith(p + File.separator) || p.startsWith(q + File.separator))) {
                List<NodeURL> list = load.urlToLoad;
                for (int from = list.size(); scans.merge(true, list); from = list.size()) dropListed(from);
                scanning.clear();
                return;
            }
        }
    }

    /** Files of the pages handed to the scans beside the crawl since the last wait for them all. */
    private final java.util.Set<String> scanning = new java.util.HashSet<>();

    private synchronized boolean clashes(String p) {
        for (Slot s : pending) {
            String q = s.path;
            if (q == null) continue;
            if (q.equals(p) || q.startsWith(p + File.separator) || p.startsWith(q + File.separator)) return true;
        }
        return false;
    }

    /**
     * Whether the node at urlIndex is fetched: TRUE to request it, FALSE when
     * it is taken up but refused its file, null when it is left out (no URL
     * of it, fetched by another node, or not accepted).
     */
    private Boolean take(NodeURL node, Predicate<NodeURL> accept) {
        if (!requestable(node)) return null;
        settle(node.getURL());
        String k = UrlLoad.key(node.getURL());
        String folderKey = folderPages.earlier(k);
        boolean accepted = false;
        if (folderKey != null && !known.containsKey(k)) {
            // an index page that an earlier run found to be its folder's page
            NodeURL folder = known.get(folderKey);
            // whether the folder's page is saved is known once it is committed
            while (folder != null && inFlight(folder)) commitEnded(true);
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
            PageScanner scans = load.pageScans();
            if (scans != null) {
                scanning.add(node.getLoadedFilename());
                scans.submit(node, load.urlIndex);
            } else {
                int from = load.urlToLoad.size();
                load.scan(node);
                // the records keep every link of the page: another page may lose the first one
                dropListed(from);
            }
        }
        if (s == UrlLoad.Step.DONE) {
            // nodes after this one are not known yet in a crawl of one connection
            NodeURL[] one = folderPages.saved(node, u -> {
                NodeURL n = known(u);
                return n == null || inFlight(n) ? null : n;
            });
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
    }

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
     * Whether the crawl list goes on at next. The links of the pages
     * scanned beside the crawl join it first; when the list has run out, the
     * next pending scan is waited for.
     */
    private boolean more(int next) {
        PageScanner scans = load.pageScans();
        List<NodeURL> list = load.urlToLoad;
        if (scans != null) {
            int from = list.size();
            scans.merge(false, list);
            dropListed(from);
            // the pages in flight come with their commits
            if (next >= list.size() && !pending.isEmpty()) return false;
            while (next >= list.size() && !load.aborted) {
                // the next page's links, in page order
                from = list.size();
                if (!scans.merge(true, list)) break;
                dropListed(from);
            }
        }
        return next < list.size();
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
