import com.tolvak.fenwix.NodeURL;

import java.util.ArrayDeque;
import java.util.List;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Future;

/**
 * Page scans beside the crawl: the crawl goes on with its next request while
 * saved pages are read into trees and their links found on threads of their
 * own. Each thread scans through a crawler of its own, whose fields the
 * natives set and read for that page alone. The links of the pages join the
 * crawl list in the order of their pages, so the list ends as it would with
 * every page scanned in line.
 */
final class PageScans implements PageScanner {
    /** One scan, by the crawl list index of its page. */
    private static final class Scan {
        final int index;
        final Future<List<NodeURL>> links;

        Scan(int index, Future<List<NodeURL>> links) {
            this.index = index;
            this.links = links;
        }
    }

    private final ExecutorService pool;
    private final ThreadLocal<UrlLoad> scanner;
    private final ArrayDeque<Scan> pending = new ArrayDeque<>();

    private PageScans(UrlLoad crawler, int threads) {
        pool = PageThreads.pool(threads, "page-scan");
        scanner = ThreadLocal.withInitial(() -> crawler.scannerLikeThis());
    }

    /** Scans on up to threads threads beside the crawl. */
    static PageScans start(UrlLoad crawler, int threads) {
        return new PageScans(crawler, Math.max(1, threads));
    }

    @Override
    public void submit(NodeURL page, int index) {
        pending.add(new Scan(index, pool.submit(() -> scanner.get().scanAlone(page, index))));
    }

    @Override
    public boolean merge(boolean wait, List<NodeURL> crawlList) {
        if (pending.isEmpty()) return false;
        while (!pending.isEmpty() && (wait || pending.peek().links.isDone())) {
            Scan s = pending.poll();
            wait = false;
            try {
                crawlList.addAll(PageThreads.result(s.links));
            } catch (InterruptedException e) {
                Thread.currentThread().interrupt();
                return false;
            }
        }
        return true;
    }

    @Override
    public int pending() {
        return pending.size();
    }

    @Override
    public void stop() {
        pending.clear();
        pool.shutdownNow();
    }
}
