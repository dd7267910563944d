import com.tolvak.fenwix.NodeURL;

import java.util.List;

/** Scans of saved pages that run beside the crawl; the crawl hands pages in and takes their links back. */
interface PageScanner {
    /** Starts the scan of a saved page that stands at index in the crawl list. */
    void submit(NodeURL page, int index);

    /**
     * Adds the links of the scans done to the crawl list, in the order of
     * their pages. With wait, waits for the first pending scan; false when
     * there was none to wait for.
     */
    boolean merge(boolean wait, List<NodeURL> crawlList);

    /** Scans handed in and not merged yet. */
    int pending();

    /** Drops the scans not started; the ones running end on their own. */
    void stop();
}
