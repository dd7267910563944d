import com.tolvak.fenwix.NodeURL;

import java.net.MalformedURLException;
import java.net.URL;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.List;
import java.util.Map;

/**
 * A saved page being rewritten: its node, the crawl's nodes by URL, and an
 * UpdParent that records what findMatch was asked.
 */
class RewriteFixture {
    static final String ROOT = "/m";

    final NodeURL parent;
    final Map<String, NodeURL> nodes = new HashMap<>();
    final List<String> asked = new ArrayList<>();
    final UpdParent up;

    /** An element that records replaceAttribute calls and may refuse them. */
    static class Element extends x7Element {
        final List<String> replaced = new ArrayList<>();
        boolean refuse;

        Element(String tag) {
            super(tag);
        }

        @Override
        public boolean replaceAttribute(String name, String value) {
            replaced.add(name + "=" + value);
            return !refuse && super.replaceAttribute(name, value);
        }
    }

    RewriteFixture(String pageUrl, String pageFile) throws MalformedURLException {
        parent = loaded(pageUrl, pageFile);
        up = new UpdParent(parent, u -> nodes.get(UrlLoad.key(u))) {
            @Override
            public NodeURL findMatch(String link) {
                asked.add(link);
                return super.findMatch(link);
            }
        };
    }

    /** A node saved under file. */
    static NodeURL loaded(String url, String file) throws MalformedURLException {
        NodeURL n = new NodeURL(0, -1, new URL(url), null);
        n.setLoadedFilename(file);
        n.setResponseCode(200);
        n.setDownloaded();
        return n;
    }

    NodeURL target(String url, String file) throws MalformedURLException {
        NodeURL n = loaded(url, file);
        nodes.put(url, n);
        return n;
    }

    /** A node known to the crawl that was not saved. */
    NodeURL notLoaded(String url) throws MalformedURLException {
        NodeURL n = new NodeURL(1, 0, new URL(url), null);
        n.setResponseCode(404);
        n.setNotFound();
        nodes.put(UrlLoad.key(n.getURL()), n);
        return n;
    }

    /** Runs repAttrib on a new element of the tag text; the element afterwards. */
    Element rewrite(String tagText, String tagName) {
        Element e = new Element(tagText);
        up.repAttrib(e, tagName);
        return e;
    }
}
