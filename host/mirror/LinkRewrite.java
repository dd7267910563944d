import com.tolvak.fenwix.NodeURL;

import java.io.File;
import java.io.IOException;
import java.net.URL;
import java.nio.charset.Charset;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Set;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Future;
import java.util.concurrent.atomic.AtomicInteger;

/**
 * The pass after the crawl, one read and at most one write per saved page or
 * stylesheet. A page's links are pointed at the saved copies by the library
 * (repAttrib, tag by tag: TagRewrite), then every reference the library does
 * not cover by RefRewrite in the bytes that gives back. A page is read in its
 * own charset where that gives its bytes back exactly, else as ISO-8859-1,
 * which maps every byte to one character and back: only the rewritten links
 * differ. No tree of a page is read or kept.
 */
final class LinkRewrite {
    /** What the pass did. */
    int pagesRewritten;
    int linksRewritten;
    int pagesLeft;  // pages that could not be rewritten (see the log)
    /** Documents written back, by loaded file name. */
    final List<String> written = java.util.Collections.synchronizedList(new ArrayList<>());
    /** Documents whose rewriting failed on a file error, to be tried again by the next run. */
    final Set<String> retry = new java.util.TreeSet<>();
    /** The pass's progress: documents it will look at, and those it has looked at. */
    private volatile int documents;
    private final AtomicInteger handled = new AtomicInteger();

    private final UrlLoad crawler;
    private final File root;
    private final CrawlNodes nodes;
    private final RefRewrite refs;

    LinkRewrite(UrlLoad crawler) {
        this.crawler = crawler;
        this.root = crawler.getRoot();
        this.nodes = new CrawlNodes(crawler);
        this.refs = new RefRewrite(crawler, nodes);
    }

    /** The progress line of the pass. */
    String progress() {
        return String.format(java.util.Locale.ROOT, "Rewriting links, %d of %d documents", handled.get(), documents);
    }

    /** How much of the rewrite a document gets. */
    private enum Work {
        /** Saved or changed by this run, or pending: the library's links and every reference. */
        WHOLE,
        /** Rewritten before: only if it names a page saved now by its web address. */
        IF_ADDRESSED,
        /** Rewritten before, but a file it may name is gone: every reference, not the library's. */
        REFERENCES
    }

    void run(Set<String> pending) {
        run(pending, false, false);
    }

    /**
     * Rewrites the saved pages and stylesheets of the crawl that may need it:
     * those saved by this run, those an earlier run saved but did not get to
     * rewrite (pending, by normal path), and those whose web addresses name
     * pages that are saved now. A document rewritten before and found
     * unchanged on the server already links to the saved files. Pending notes
     * name pages only: after an unfinished pass (everyStylesheet) each
     * stylesheet is taken as pending. When this run removed files that an
     * earlier run saved, or moved them into their folders (moved), a link
     * to one no longer leads to it: every reference of every document is
     * looked at, without the library's rewrite, as if it were pending.
     */
    void run(Set<String> pending, boolean everyStylesheet, boolean moved) {
        List<NodeURL> saved = new ArrayList<>();
        // An earlier pass pointed every document at what was saved then: only
        // a file saved by this run, or by one stopped before its pass had
        // looked at every document (pending), can be named by a web address still.
        boolean savedNow = !pending.isEmpty();
        for (NodeURL doc : crawler.knownNodes()) {
            if (doc.isLoaded() && !doc.isPreviouslyDownloaded()) savedNow = true;
            if (!doc.isLoaded() || doc.getLoadedFilename() == null || !(doc.isHtml() || doc.isCss())) continue;
            saved.add(doc);
        }
        if (everyStylesheet) {
            // a run killed during a write left its temporary file
            for (NodeURL doc : saved) WriteBacks.dropLeftover(new File(doc.getLoadedFilename()));
        }
        List<Work> work = new ArrayList<>(saved.size());
        List<NodeURL> docs = new ArrayList<>(saved.size());
        for (NodeURL doc : saved) {
            boolean whole = !doc.isPreviouslyDownloaded() || pending.contains(CrawlNodes.normal(doc.getLoadedFilename()))
                    || everyStylesheet && !doc.isHtml();
            if (!whole && !moved && !savedNow) continue;
            docs.add(doc);
            work.add(whole ? Work.WHOLE : moved ? Work.REFERENCES : Work.IF_ADDRESSED);
        }
        // Documents are independent and the natives keep no state: each thread
        // reads and rewrites whole documents of its own; they are written back
        // on threads of their own (WriteBacks).
        documents = docs.size();
        int threads = Math.min(PageThreads.count(), docs.size());
        AtomicInteger next = new AtomicInteger();
        WriteBacks writes = new WriteBacks(WriteBacks.defaultRoom());
        Runnable worker = () -> {
            // a stop ends the pass between documents; the pending list keeps the rest
            for (int i = next.getAndIncrement(); i < docs.size() && !crawler.aborted
                    && !Thread.currentThread().isInterrupted(); i = next.getAndIncrement()) {
                document(docs.get(i), work.get(i), writes);
                handled.incrementAndGet();
            }
        };
        ExecutorService pool = threads > 1 ? PageThreads.pool(threads - 1, "rewrite") : null;
        boolean failed = true;
        try {
            List<Future<?>> helpers = new ArrayList<>();
            for (int t = 1; t < threads; t++) helpers.add(pool.submit(worker));
            worker.run();
            for (Future<?> f : helpers) PageThreads.result(f);
            failed = false;
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
            failed = false;
        } finally {
            if (pool != null) pool.shutdownNow();
            // what the pass threw goes on out; else a write's own failure does
            writes.finish(!failed);
        }
    }

    /** Rewrites one saved document as far as work asks and queues what changed to be written back. */
    private void document(NodeURL doc, Work work, WriteBacks writes) {
        boolean isPage = doc.isHtml();
        File file = new File(doc.getLoadedFilename());
        if (!SavedLinks.inside(root, file)) {
            if (isPage) {
                crawler.appendLog("Refused file outside the mirror:" + file.getPath() + "\n");
                left();
            }
            return;
        }
        if (!isPage && !file.isFile()) return;
        try {
            byte[] bytes = Files.readAllBytes(file.toPath());
            boolean byLibrary = isPage && work == Work.WHOLE;
            if (work == Work.IF_ADDRESSED) {
                Addressed a = addressed(bytes);
                if (!a.byReference) return;
                byLibrary = isPage && a.byLibrary;
            }
            byte[] now = bytes;
            int links = 0;
            if (byLibrary) {
                Linked linked = linked(doc, file, bytes);
                if (linked != null) {
                    now = linked.bytes;
                    links = linked.links;
                }
            }
            try {
                RefRewrite.Spliced spliced = refs.splice(doc, file, now);
                if (spliced != null) {
                    now = spliced.bytes();
                    links += spliced.changed();
                }
            } catch (RuntimeException e) {
                // the library's links stand without the other references
                crawler.appendLog("Page left as it is:" + file.getPath() + " (" + Causes.of(e) + ")\n");
            }
            if (now == bytes) return;
            int changed = links;
            writes.submit(file, now, new WriteBacks.Outcome() {
                @Override
                public void written() {
                    written.add(doc.getLoadedFilename());
                    rewritten(changed);
                }

                @Override
                public void failed(IOException e) {
                    writeFailed(file, e);
                }
            });
        } catch (InterruptedException e) {
            // the pass is ending: the page stays pending for the next run
            Thread.currentThread().interrupt();
            retryLater(file.getPath());
        } catch (IOException e) {
            writeFailed(file, e);
        } catch (RuntimeException e) {
            // one document that cannot be rewritten never ends the pass
            crawler.appendLog("Page left as it is:" + file.getPath() + " (" + Causes.of(e) + ")\n");
            if (isPage) left();
        }
    }

    private void writeFailed(File file, IOException e) {
        crawler.appendLog("Error rewriting file:" + file.getPath() + " (" + Causes.of(e) + ")\n");
        retryLater(file.getPath());
    }

    /** Which rewrite finds a page saved now behind a web address of a document. */
    private static final class Addressed {
        boolean byLibrary;
        boolean byReference;
    }

    /**
     * Whether a document rewritten before names a page saved now by its web
     * address: one search of its bytes, no copy of them.
     */
    private Addressed addressed(byte[] bytes) {
        Addressed a = new Addressed();
        WebAddresses.any(bytes, address -> {
            if (!a.byLibrary) a.byLibrary = nodes.libraryFinds(address);
            if (!a.byReference) a.byReference = a.byLibrary || nodes.namesSaved(address);
            return a.byLibrary;
        });
        return a;
    }

    /** A page's bytes after the library's rewrite, and the links it changed. */
    private static final class Linked {
        final byte[] bytes;
        final int links;

        Linked(byte[] bytes, int links) {
            this.bytes = bytes;
            this.links = links;
        }
    }

    /**
     * The page with the library's links pointed at the saved copies; null when
     * none changed or the page is left as it is (then the log says why).
     */
    private Linked linked(NodeURL page, File file, byte[] bytes) {
        try {
            // a page without such a tag gives itself back unchanged
            if (!RewrittenTags.any(bytes)) return null;
            // Read in its own charset where that gives the bytes back exactly,
            // else as ISO-8859-1, which does for any bytes: only the rewritten
            // links differ either way.
            Charset encoding = PageCharset.of(page, bytes);
            String text = new String(bytes, encoding);
            if (!Arrays.equals(text.getBytes(encoding), bytes)) {
                encoding = StandardCharsets.ISO_8859_1;
                text = new String(bytes, encoding);
            }
            UpdParent up = new UpdParent(page, nodes::node, nodes::byFile);
            TagRewrite.Result r = TagRewrite.rewrite(text, up);
            if (!up.isModified) return null;
            byte[] now = r.page.getBytes(encoding);
            return Arrays.equals(now, bytes) ? null : new Linked(now, r.links);
        } catch (RuntimeException e) {
            // one page that cannot be rewritten never ends the pass
            crawler.appendLog("Page left as it is:" + file.getPath() + " (" + Causes.of(e) + ")\n");
            left();
            return null;
        }
    }

    // The pass's counts, updated by its threads.
    private synchronized void left() {
        pagesLeft++;
    }

    private synchronized void rewritten(int links) {
        linksRewritten += links;
        pagesRewritten++;
    }

    private synchronized void retryLater(String path) {
        retry.add(path);
        pagesLeft++;
    }
}
