import java.io.ByteArrayInputStream;
import java.io.IOException;
import java.io.InputStreamReader;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Paths;
import java.util.Map;
import java.util.concurrent.BlockingQueue;
import java.util.concurrent.ConcurrentHashMap;
import java.util.concurrent.LinkedBlockingQueue;

/**
 * Reads the pages that the crawl saves into trees, on a thread of its own
 * while the crawl goes on, so that the rewrite pass after the crawl need not
 * read every page again. A tree is read as the pass reads a page (ISO-8859-1)
 * and held until the pass takes it; the pass uses it only if it still gives
 * the page back as it is on disk. Pages are read up to a budget of page bytes.
 */
final class PageTrees {
    private final Map<String, x7Element> trees = new ConcurrentHashMap<>();
    private final BlockingQueue<String> queue = new LinkedBlockingQueue<>();
    private final long budget;
    private long read;  // bytes of the pages read so far; the reader's own
    private final Thread reader;
    private volatile boolean stopped;

    private PageTrees(long budget) {
        this.budget = budget;
        reader = new Thread(null, this::readPages, "page-trees", Mirror.PAGE_STACK);
        reader.setDaemon(true);
        reader.start();
    }

    /**
     * A reader of trees where a second processor can run it beside the crawl;
     * null where it would only take turns with the crawl. Trees take about
     * twice the bytes of their pages: the budget keeps them to a small part of
     * the heap.
     */
    static PageTrees startIfUseful() {
        if (Runtime.getRuntime().availableProcessors() < 2) return null;
        return start(Runtime.getRuntime().maxMemory() / 16);
    }

    /** A reader of trees that reads pages up to budget bytes in all. */
    static PageTrees start(long budget) {
        return new PageTrees(budget);
    }

    /** A page saved by the crawl, by its loaded file name. */
    void offer(String loadedFilename) {
        if (!stopped && loadedFilename != null) queue.add(loadedFilename);
    }

    /** The tree read for a page, or null; each tree is handed out once. */
    x7Element take(String loadedFilename) {
        return loadedFilename == null ? null : trees.remove(loadedFilename);
    }

    /** Whether a tree is held for a page. */
    boolean holds(String loadedFilename) {
        return trees.containsKey(loadedFilename);
    }

    /** No more pages are read; the trees read so far stay to be taken. */
    void stop() {
        stopped = true;
        queue.clear();
        reader.interrupt();
    }

    private void readPages() {
        while (!stopped) {
            String name;
            try {
                name = queue.take();
            } catch (InterruptedException e) {
                return;
            }
            byte[] page;
            try {
                page = Files.readAllBytes(Paths.get(name));
            } catch (IOException | RuntimeException e) {
                continue;  // the pass reads it, and reports what it finds
            }
            if (read + page.length > budget) continue;
            read += page.length;
            x7Element tree = new x7Element("");
            try (InputStreamReader in = new InputStreamReader(new ByteArrayInputStream(page),
                    StandardCharsets.ISO_8859_1)) {
                tree.findChild(in);
            } catch (IOException | StackOverflowError e) {
                continue;  // left to the pass, which logs a page it cannot read
            }
            trees.put(name, tree);
        }
    }
}
