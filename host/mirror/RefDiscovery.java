import com.tolvak.fenwix.NodeURL;

import java.io.IOException;
import java.net.MalformedURLException;
import java.net.URL;
import java.nio.charset.Charset;
import java.nio.file.Files;
import java.nio.file.Paths;
import java.util.HashSet;
import java.util.List;
import java.util.Locale;
import java.util.Set;

/**
 * Every reference a browser follows to show a saved page or stylesheet,
 * beyond the four tags the library's link discovery covers: scripts,
 * iframes, srcset candidates, media, objects, backgrounds, areas, meta
 * refresh, and the url() and @import of CSS. Each one that the library did
 * not add already becomes a node of the crawl list, after the library's own,
 * in the order of the document. Requisites (and stylesheets) get the page's
 * level, so the depth limit never keeps them from their page; pages one more.
 */
final class RefDiscovery {
    private RefDiscovery() {}

    /**
     * Adds the references of the saved document of page that the crawl list
     * does not hold from index from on; false when the document cannot be read.
     * A base href moves the library's links of the page too.
     */
    static boolean add(UrlLoad crawler, NodeURL page, Charset cs, int from, boolean css) {
        if (page.getLoadedFilename() == null || page.getURL() == null) return false;
        byte[] bytes;
        try {
            bytes = Files.readAllBytes(Paths.get(page.getLoadedFilename()));
        } catch (IOException | RuntimeException e) {
            return false;
        }
        List<PageRefs.Ref> refs = page.isScript() && !page.isHtml() ? PageRefs.ofScript(bytes, bytes.length)
                : PageRefs.of(bytes, bytes.length, css);
        URL pageUrl = page.getURL();
        URL base = base(pageUrl, bytes, refs, cs);
        boolean moved = !base.toString().equals(pageUrl.toString());
        boolean saved = page.isPreviouslyDownloaded();
        int slashes = crawler.slashesBelowRoot(page.getLoadedFilename());
        List<NodeURL> list = crawler.urlToLoad;
        Set<String> have = new HashSet<>();
        have.add(key(pageUrl));
        for (int i = from; i < list.size(); i++) {
            NodeURL n = list.get(i);
            if (moved && n.getString() != null) {
                URL u = resolve(base, n.getString());
                if (u != null) n.setURL(u);
            }
            have.add(key(n.getURL()));
        }
        for (PageRefs.Ref r : refs) {
            if (r.target() == PageRefs.BASE) continue;
            String text = PageRefs.text(bytes, r, cs);
            if (!followable(crawler, text)) continue;
            URL u = linkUrl(base, text, saved && !moved, slashes);
            if (u == null || !have.add(key(u))) continue;
            int level = page.getLevel() + (r.target() == PageRefs.NAVIGATION ? 1 : 0);
            list.add(new NodeURL(level, crawler.urlIndex, u, text));
        }
        return true;
    }

    /** Whether a link text leads anywhere a mirror can fetch: not empty, not the page itself, http(s). */
    static boolean followable(UrlLoad crawler, String text) {
        return !text.isEmpty() && !text.startsWith("#") && !crawler.notSupportedProtocol(text);
    }

    /** The document's base: its first base href resolved against its URL, or its URL. */
    static URL base(URL pageUrl, byte[] bytes, List<PageRefs.Ref> refs, Charset cs) {
        for (PageRefs.Ref r : refs) {
            if (r.target() != PageRefs.BASE) continue;
            String text = PageRefs.text(bytes, r, cs);
            URL u = text.isEmpty() ? null : resolve(pageUrl, text);
            String p = u == null ? "" : u.getProtocol().toLowerCase(Locale.ROOT);
            return p.equals("http") || p.equals("https") ? u : pageUrl;
        }
        return pageUrl;
    }

    /**
     * The URL of a link. In a page saved by an earlier run, a link that climbs
     * to the mirror's root ("../" steps reaching slashCount) names a site part
     * ("host 8080/...") and is rebuilt behind the base's protocol, as the
     * library's link discovery does.
     */
    static URL linkUrl(URL base, String text, boolean savedPage, int slashCount) {
        if (savedPage && RefRewrite.isRelativePath(text)) {
            int climb = 0;
            while (text.startsWith("../", 3 * climb)) climb++;
            if (climb >= slashCount) {
                String rest = text.substring(3 * climb);
                int slash = rest.indexOf('/');
                String site = SavedLinks.decoded(slash < 0 ? rest : rest.substring(0, slash));
                site = site.replaceFirst(" ", ":");
                try {
                    return new URL(base.getProtocol() + "://" + site + (slash < 0 ? "" : rest.substring(slash)));
                } catch (MalformedURLException e) {
                    return null;
                }
            }
        }
        return resolve(base, text);
    }

    /** The link resolved against base, in the form the crawl requests; null when it makes no URL. */
    static URL resolve(URL base, String text) {
        try {
            return SavedLinks.requestable(new URL(base, text));
        } catch (MalformedURLException | RuntimeException e) {
            return null;
        }
    }

    /** The crawl's key of a URL in its requested form. */
    static String key(URL u) {
        try {
            return UrlLoad.key(SavedLinks.requestable(u));
        } catch (MalformedURLException e) {
            return UrlLoad.key(u);
        }
    }
}
