import com.tolvak.fenwix.NodeURL;

import java.io.File;
import java.net.MalformedURLException;
import java.net.URL;
import java.util.HashMap;
import java.util.Map;

/**
 * The crawl's node for a URL or a saved file, as the rewrite pass asks for
 * it: the node fetched, else the first one found in a page. Built once after
 * the crawl and only read then, by every thread of the pass.
 *
 * The library's links are looked up as written, the references of the byte
 * pass in the form the crawl requests; both forms are kept, so that each
 * finds the node it found when they were two passes.
 */
final class CrawlNodes {
    private final UrlLoad crawler;
    private final Map<String, NodeURL> asWritten = new HashMap<>();
    private final Map<String, NodeURL> asRequested = new HashMap<>();
    private final Map<String, NodeURL> byFile = new HashMap<>();

    CrawlNodes(UrlLoad crawler) {
        this.crawler = crawler;
        for (NodeURL n : crawler.urlToLoad) {
            if (n.getURL() == null) continue;
            String written = UrlLoad.key(n.getURL());
            String requested = RefDiscovery.key(n.getURL());
            asWritten.putIfAbsent(written, n);
            // most URLs are written as requested: one key string for both
            asRequested.putIfAbsent(requested.equals(written) ? written : requested, n);
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

    /** The node of a link of the library's rewrite, by its URL as written. */
    NodeURL node(URL url) {
        NodeURL n = crawler.known(url);
        return n != null ? n : asWritten.get(UrlLoad.key(url));
    }

    /** The node saved as a file (absolute, normal path), or null. */
    NodeURL byFile(String normalPath) {
        return byFile.get(normalPath);
    }

    /** The node of a reference, by its URL as requested. */
    NodeURL requested(URL u) {
        NodeURL n = crawler.known(u);
        if (n == null) {
            try {
                n = crawler.known(SavedLinks.requestable(u));
            } catch (MalformedURLException e) {
                // no other form
            }
        }
        return n != null ? n : asRequested.get(RefDiscovery.key(u));
    }

    /**
     * The target of a reference of a document: in a document saved by an
     * earlier run, a link to a local name stands for the URL it was saved from.
     */
    NodeURL target(URL u, boolean savedDoc) {
        NodeURL target = requested(u);
        if ((target == null || !target.isLoaded()) && savedDoc) {
            try {
                NodeURL t = requested(SavedLinks.original(u));
                if (t != null) target = t;
            } catch (MalformedURLException e) {
                // no such saved name
            }
        }
        return target;
    }

    /**
     * Whether a web address as it stands in a saved document names a page
     * saved now, as either kind of rewrite would find it: also cut at a
     * parenthesis (CSS's url()) and with "&amp;" read as '&'.
     */
    boolean namesSaved(String address) {
        if (saved(address)) return true;
        int paren = address.indexOf(')');
        if (paren > 0 && saved(address.substring(0, paren))) return true;
        return address.contains("&amp;") && saved(address.replace("&amp;", "&"));
    }

    /** Whether the library's rewrite finds a saved page behind a web address. */
    boolean libraryFinds(String address) {
        try {
            NodeURL n = node(new URL(address));
            return n != null && n.isLoaded();
        } catch (MalformedURLException e) {
            return false;  // not a link
        }
    }

    private boolean saved(String address) {
        if (libraryFinds(address)) return true;
        URL u;
        try {
            u = new URL(address);
        } catch (MalformedURLException e) {
            return false;  // not a link
        }
        u = RefDiscovery.resolve(u, address);
        NodeURL n = u == null ? null : target(u, true);
        return n != null && n.isLoaded();
    }
}
