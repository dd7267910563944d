import java.io.File;
import java.nio.charset.Charset;
import java.util.Arrays;
import java.util.Map;
import java.util.concurrent.ConcurrentHashMap;

/**
 * The trees that the crawl's page scans read, held for the rewrite pass, so
 * that the pass need not read every page again. A tree is held with the
 * encoding it was read in, up to a budget of page bytes, and serves the pass
 * only if it still gives the page back byte for byte as it is on disk.
 */
final class PageTrees {
    /** A tree and the encoding of its characters. */
    static final class Held {
        final x7Element tree;
        final Charset encoding;

        Held(x7Element tree, Charset encoding) {
            this.tree = tree;
            this.encoding = encoding;
        }

        /** Whether the tree gives back exactly these bytes. */
        boolean gives(byte[] page) {
            return tree.isFaithful() && Arrays.equals(tree.toString().getBytes(encoding), page);
        }
    }

    private final Map<String, Held> trees = new ConcurrentHashMap<>();
    private final long budget;
    private long held;  // page bytes of the trees offered so far

    private PageTrees(long budget) {
        this.budget = budget;
    }

    /**
     * Heap bytes a tree keeps per byte of its page: 1.8 to 4.2, 2.9 over the
     * whole sqlite documentation (2.8 over a javadoc), read as the crawl reads it.
     */
    static final int TREE_PER_PAGE_BYTE = 3;

    /** The budget keeps the trees to an eighth of the heap. */
    static PageTrees forThisHeap() {
        return withBudget(Runtime.getRuntime().maxMemory() / 8 / TREE_PER_PAGE_BYTE);
    }

    static PageTrees withBudget(long budget) {
        return new PageTrees(budget);
    }

    /** The tree of a page as a scan read it; kept while the budget allows. */
    void offer(String loadedFilename, x7Element tree, Charset encoding) {
        if (loadedFilename == null || tree == null) return;
        long size = new File(loadedFilename).length();
        synchronized (this) {
            if (held + size > budget) return;
            held += size;
        }
        trees.put(loadedFilename, new Held(tree, encoding));
    }

    /** The tree held for a page, or null; each tree is handed out once. */
    Held take(String loadedFilename) {
        return loadedFilename == null ? null : trees.remove(loadedFilename);
    }

    /** Whether a tree is held for a page. */
    boolean holds(String loadedFilename) {
        return trees.containsKey(loadedFilename);
    }
}
