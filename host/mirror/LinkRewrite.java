import com.tolvak.fenwix.NodeURL;

import java.io.File;
import java.io.FileInputStream;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.InputStreamReader;
import java.net.URL;
import java.nio.charset.Charset;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.StandardCopyOption;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.HashMap;
import java.util.List;
import java.util.Map;
import java.util.Set;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Future;
import java.util.concurrent.atomic.AtomicInteger;

/**
 * The pass after the crawl: every saved page is read into a tree again, its
 * links are pointed at the saved copies (repAttrib), and a page that changed
 * is written back. Pages are read and written as ISO-8859-1, which maps every
 * byte to one character and back, so that whatever a page's encoding, only the
 * rewritten links differ; or from the tree that the crawl's scan read, in its
 * encoding, when that tree gives back the page's bytes exactly.
 */
final class LinkRewrite {
    /** What the pass did. */
    int pagesRewritten;
    int linksRewritten;
    int pagesLeft;  // pages that could not be rewritten (see the log)
    /** Pages written back, by loaded file name. */
    final List<String> written = java.util.Collections.synchronizedList(new ArrayList<>());
    /** Pages whose rewriting failed on a file error, to be tried again by the next run. */
    final Set<String> retry = new java.util.TreeSet<>();

    private final UrlLoad crawler;
    private final File root;
    private final Map<String, NodeURL> discovered = new HashMap<>();
    private final Map<String, NodeURL> byFile = new HashMap<>();

    /** Trees read during the crawl, or null. */
    private final PageTrees trees;

    LinkRewrite(UrlLoad crawler) {
        this(crawler, null);
    }

    LinkRewrite(UrlLoad crawler, PageTrees trees) {
        this.crawler = crawler;
        this.trees = trees;
        this.root = crawler.getRoot();
        for (NodeURL n : crawler.urlToLoad) {
            if (n.getURL() != null) discovered.putIfAbsent(UrlLoad.key(n.getURL()), n);
        }
        for (NodeURL n : crawler.knownNodes()) {
            if (n.getLoadedFilename() != null) byFile.put(normal(n.getLoadedFilename()), n);
        }
    }

    static String normal(String path) {
        try {
            return new File(path).getAbsoluteFile().toPath().normalize().toString();
        } catch (java.nio.file.InvalidPathException e) {
            // a name this platform cannot hold is no saved file
            return new File(path).getAbsolutePath();
        }
    }

    /** The crawl's node for a URL: the one fetched, else the first one found in a page. */
    NodeURL node(URL url) {
        NodeURL n = crawler.known(url);
        return n != null ? n : discovered.get(UrlLoad.key(url));
    }

    /**
     * Rewrites the saved pages of the crawl that may need it: those saved by
     * this run, those an earlier run saved but did not get to rewrite
     * (pending, by normal path), and those whose web addresses name pages that
     * are saved now. A page rewritten before and found unchanged on the server
     * already links to the saved files.
     */
    void run(Set<String> pending) {
        List<NodeURL> pages = new ArrayList<>();
        List<Boolean> always = new ArrayList<>();
        for (NodeURL page : crawler.knownNodes()) {
            if (!page.isLoaded() || !page.isHtml() || page.getLoadedFilename() == null) continue;
            boolean rewritten = page.isPreviouslyDownloaded() && !pending.contains(normal(page.getLoadedFilename()));
            pages.add(page);
            always.add(!rewritten);
        }
        // Pages are independent and the natives keep no state: each thread
        // reads, rewrites and writes whole pages of its own.
        int threads = Math.min(Math.min(MAX_THREADS, Runtime.getRuntime().availableProcessors()), pages.size());
        AtomicInteger next = new AtomicInteger();
        Runnable worker = () -> {
            // a stop ends the pass between pages; the pending list keeps the rest
            for (int i = next.getAndIncrement(); i < pages.size() && !crawler.aborted; i = next.getAndIncrement()) {
                page(pages.get(i), always.get(i));
            }
        };
        if (threads <= 1) {
            worker.run();
            return;
        }
        ExecutorService pool = PageThreads.pool(threads - 1, "rewrite");
        try {
            List<Future<?>> helpers = new ArrayList<>();
            for (int t = 1; t < threads; t++) helpers.add(pool.submit(worker));
            worker.run();
            for (Future<?> f : helpers) PageThreads.result(f);
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
        } finally {
            pool.shutdownNow();
        }
    }

    /** Threads of the pass at most: a tree in memory per thread. */
    private static final int MAX_THREADS = 4;

    /** Whether a page names by its web address a page that is saved now. */
    private boolean linksToSavedByAddress(String text) {
        return WebAddresses.any(text, a -> {
            try {
                NodeURL n = node(new URL(a));
                return n != null && n.isLoaded();
            } catch (java.net.MalformedURLException e) {
                return false;  // not a link
            }
        });
    }

    /**
     * Rewrites one saved page; true when it was written back. Unless always,
     * a page is read into a tree only when it names a saved page by its web
     * address.
     */
    boolean page(NodeURL page, boolean always) {
        File file = new File(page.getLoadedFilename());
        if (!SavedLinks.inside(root, file)) {
            crawler.appendLog("Refused file outside the mirror:" + file.getPath() + "\n");
            left();
            return false;
        }
        try {
            byte[] bytes = Files.readAllBytes(file.toPath());
            String original = new String(bytes, StandardCharsets.ISO_8859_1);
            if (!always && !linksToSavedByAddress(original)) return false;
            // A tree read by the crawl's scan serves only if it gives the page
            // back as the page is now; it is written in its own encoding.
            PageTrees.Held held = trees == null ? null : trees.take(page.getLoadedFilename());
            x7Element tree = null;
            Charset encoding = StandardCharsets.ISO_8859_1;
            if (held != null && held.gives(bytes)) {
                tree = held.tree;
                encoding = held.encoding;
            }
            if (tree == null) {
                tree = new x7Element("");
                try (InputStreamReader in = new InputStreamReader(new FileInputStream(file), StandardCharsets.ISO_8859_1)) {
                    tree.findChild(in);
                } catch (StackOverflowError e) {
                    // Nested deeper than the thread's stack: the crawl's page scan
                    // gave up on this page too; the pass goes on with the others.
                    crawler.appendLog("Page left as it is (nested too deeply to be read):" + file.getPath() + "\n");
                    left();
                    return false;
                }
                // A tree that does not give the page back byte for byte would
                // change more than its links.
                if (!tree.isFaithful() || !tree.toString().equals(original)) {
                    crawler.appendLog("Page left as it is (its tree does not give it back):" + file.getPath() + "\n");
                    left();
                    return false;
                }
            }
            UpdParent up = new UpdParent(page, this::node, p -> byFile.get(p));
            int links = rewriteLinks(tree, up);
            if (!up.isModified) return false;
            byte[] text = tree.toString().getBytes(encoding);
            if (Arrays.equals(text, bytes)) return false;
            writeBack(file, text);
            written.add(page.getLoadedFilename());
            rewritten(links);
            return true;
        } catch (IOException e) {
            crawler.appendLog("Error rewriting file:" + file.getPath() + " (" + Causes.of(e) + ")\n");
            retryLater(file.getPath());
            return false;
        } catch (RuntimeException e) {
            // one page that cannot be rewritten never ends the pass
            crawler.appendLog("Page left as it is:" + file.getPath() + " (" + Causes.of(e) + ")\n");
            left();
            return false;
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

    /** Hands every element to repAttrib; the number of links it changed. */
    private static int rewriteLinks(x7Element rootElement, UpdParent up) {
        int[] changed = {0};
        rootElement.forEachTag((e, tag) -> {
            String before = e.getTagText();
            up.repAttrib(e, tag);
            String attribute = LinkAttributes.rewritten(tag);
            if (attribute != null && !e.getTagText().equals(before)) {
                changed[0]++;
                encodeOutsideAscii(e, attribute);
            }
        });
        return changed[0];
    }

    /**
     * A saved file's name may hold letters outside ASCII; in the link they are
     * percent-encoded as UTF-8, which a browser reads back whatever the page's
     * own encoding is.
     */
    private static void encodeOutsideAscii(x7Element e, String attribute) {
        String v = e.getAttribute(attribute);
        if (v == null) return;
        v = LinkAttributes.unquote(v);
        StringBuilder b = new StringBuilder();
        boolean any = false;
        for (int i = 0; i < v.length(); i++) {
            char c = v.charAt(i);
            if (c >= 32 && c < 127) {
                b.append(c);
                continue;
            }
            any = true;
            int end = Character.isHighSurrogate(c) && i + 1 < v.length() ? i + 2 : i + 1;
            for (byte x : v.substring(i, end).getBytes(StandardCharsets.UTF_8)) {
                b.append('%').append(String.format("%02X", x & 0xff));
            }
            i = end - 1;
        }
        if (any) e.replaceAttribute(attribute, b.toString());
    }

    /**
     * Writes the page to a temporary file beside it and renames that over the
     * page, so that a crash leaves either the old page or the new one. The
     * page keeps its time: that is the server's time, which the next run's
     * conditional request sends.
     */
    static void writeBack(File file, byte[] text) throws IOException {
        File tmp = new File(file.getParentFile(), "." + file.getName() + ".x7fenwix-tmp");
        long time = file.lastModified();
        try (FileOutputStream out = new FileOutputStream(tmp)) {
            out.write(text);
            out.getFD().sync();
        } catch (IOException e) {
            tmp.delete();
            throw e;
        }
        if (time > 0) tmp.setLastModified(time);
        try {
            Files.move(tmp.toPath(), file.toPath(), StandardCopyOption.ATOMIC_MOVE, StandardCopyOption.REPLACE_EXISTING);
        } catch (IOException e) {
            tmp.delete();
            throw e;
        }
    }
}
