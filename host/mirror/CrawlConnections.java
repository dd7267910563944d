import com.tolvak.fenwix.NodeURL;

import java.io.File;
import java.net.URL;
import java.util.ArrayDeque;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.function.Consumer;

/**
 * The connections of a crawl: the nodes taken up and not yet committed, in
 * crawl-list order, each request on a connection of its own; outcomes are
 * handed back to the crawl in list order.
 */
final class CrawlConnections {
    /** What the crawl does with the head of the list once its request has ended. */
    interface Outcomes {
        /** The head's redirect or repaired URL settled; true when its node is requested again. */
        boolean decided(Slot head);

        /** The end of a node, in list order. */
        void commit(Slot slot);
    }

    /** A node taken up, until its outcome is committed in list order. */
    static final class Slot {
        final int index;
        final NodeURL node;
        /** Its log lines, each with the body failure its thread had then. */
        final List<Object[]> lines = new ArrayList<>();
        /** Its connection; null when nothing is requested (a refused file, a node left out with log lines). */
        UrlLoad conn;
        boolean tellDone;
        /** Its file as named, for clashes with files in flight. */
        String path;
        /** The URL its last request asked for, before a repair. */
        URL asked;
        final NodeAttempts.State attempts = new NodeAttempts.State();
        // guarded by the connections
        boolean ended;
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

    private final UrlLoad load;
    private final int connections;
    private final Outcomes outcomes;
    private ExecutorService pool;
    /** Nodes taken up and not committed, in list order; guarded by this. */
    private final ArrayDeque<Slot> pending = new ArrayDeque<>();
    /** Connections that ended their nodes, for the next ones. */
    private final ArrayDeque<UrlLoad> idle = new ArrayDeque<>();

    CrawlConnections(UrlLoad load, int connections, Outcomes outcomes) {
        this.load = load;
        this.connections = Math.max(1, connections);
        this.outcomes = outcomes;
    }

    void open() {
        pool = Executors.newCachedThreadPool(r -> {
            Thread t = new Thread(r, "crawl-connection");
            t.setDaemon(true);
            return t;
        });
    }

    /** Commits every node left (a stop leaves the markers of the requests in flight). */
    void close() {
        while (!isEmpty()) commitEnded(true);
        pool.shutdown();
    }

    synchronized boolean isEmpty() {
        return pending.isEmpty();
    }

    synchronized void enqueue(Slot slot) {
        pending.addLast(slot);
    }

    /** Starts the request of slot once a connection is free for its site. */
    void request(Slot slot) {
        URL url = slot.node.getURL();
        int most = load.requests().pace.paced(url) ? 1 : connections;
        String site = Pace.site(url);
        while (running(null) >= connections || running(site) >= most) {
            commitEnded(false);
            synchronized (this) {
                // looked at again under the lock: news that came since has
                // already been told, and waiting for more would wait 50 ms
                if (!headEnded() && (running(null) >= connections || running(site) >= most)) tick();
            }
        }
        slot.conn = connection(slot);
        enqueue(slot);
        start(slot);
    }

    /** Requests running, to site (null: to any); a redirect or a repaired URL still to be settled counts, as it may go on. */
    private synchronized int running(String site) {
        int n = 0;
        for (Slot s : pending) {
            boolean goesOn = !s.ended || s.step == UrlLoad.Step.REDIRECT || s.step == UrlLoad.Step.AGAIN;
            if (s.conn != null && goesOn && (site == null || site.equals(Pace.site(s.node.getURL())))) n++;
        }
        return n;
    }

    /** Whether the head of the list waits to be committed. Holds the lock. */
    private boolean headEnded() {
        Slot head = pending.peekFirst();
        return head != null && (head.conn == null || head.ended);
    }

    /** Waits for news of the requests; a stop reaches every connection. Holds the lock. */
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
        return c;
    }

    /** Hands slot's connection back once its node is committed. */
    void release(Slot slot) {
        slot.conn.capture = null;
        idle.add(slot.conn);
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

    /** Runs the attempts of slot's node on its connection. */
    void start(Slot slot) {
        slot.asked = slot.node.getURL();
        pool.execute(() -> {
            UrlLoad.Step s = NodeAttempts.run(slot.conn, slot.node, slot.index, slot.attempts);
            synchronized (this) {
                slot.step = s;
                slot.ended = true;
                notifyAll();
            }
        });
    }

    /** Runs slot's node again, at the head, once no other request in flight clashes with its file. */
    void again(Slot head) {
        synchronized (this) {
            head.path = LocalNames.localFile(load.getRoot(), head.node.getURL()).getPath();
            while (clashes(head.path, head) && !load.aborted) tick();
            head.ended = false;
        }
        start(head);
    }

    /**
     * Commits the nodes at the head of the list that have ended: all of them,
     * or with wait, one, waited for.
     */
    void commitEnded(boolean wait) {
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
            if (head.conn != null && !head.attempts.crashed && outcomes.decided(head)) continue;
            synchronized (this) {
                pending.removeFirst();
                notifyAll();
            }
            Consumer<String> aside = load.capture;
            load.capture = null;
            try {
                outcomes.commit(head);
            } finally {
                load.capture = aside;
            }
            if (wait) return;
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

    /** Whether node has been taken up and not committed. */
    synchronized boolean taken(NodeURL node) {
        for (Slot s : pending) {
            if (s.node == node) return true;
        }
        return false;
    }

    /** Whether node's request has not been committed yet. */
    synchronized boolean inFlight(NodeURL node) {
        for (Slot s : pending) {
            if (s.node == node && s.conn != null) return true;
        }
        return false;
    }

    /** Whether a node not committed (other than but, and when but is given still running) is for path, a folder of it or a file in it. */
    synchronized boolean clashes(String p, Slot but) {
        for (Slot s : pending) {
            String q = s.path;
            if (q == null || s == but || (but != null && s.ended)) continue;
            if (q.equals(p) || q.startsWith(p + File.separator) || p.startsWith(q + File.separator)) return true;
        }
        return false;
    }
}
