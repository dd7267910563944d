import com.tolvak.fenwix.NodeURL;

import java.io.File;
import java.net.MalformedURLException;
import java.net.URL;
import java.util.function.Function;

/** One saved page whose links are being pointed at the local copy. */
public class UpdParent {
    public NodeURL parentlURL;
    public boolean isModified;

    private final Function<URL, NodeURL> byUrl;
    private final Function<String, NodeURL> byFile;

    /** byUrl maps an absolute URL to the crawl's node for it, or null. */
    public UpdParent(NodeURL parent, Function<URL, NodeURL> byUrl) {
        this(parent, byUrl, null);
    }

    /**
     * byFile maps a saved file's absolute, normalised path to its node, or
     * null: a page rewritten by an earlier run
     * links to saved files, and such a link names its node through the file.
     */
    public UpdParent(NodeURL parent, Function<URL, NodeURL> byUrl, Function<String, NodeURL> byFile) {
        this.parentlURL = parent;
        this.byUrl = byUrl;
        this.byFile = byFile;
    }

    public native void repAttrib(x7Element element, String tagName);

    /**
     * The node that a link of the page names, or null. A link into a page
     * ("b.htm#part") yields a view of the node that keeps the fragment, so the
     * rewritten link still leads to the same place in the page. A link inside
     * the page itself ("#part") and an empty link are left as they are.
     */
    public NodeURL findMatch(String link) {
        if (link == null || link.isEmpty() || link.startsWith("#")) return null;
        int hash = link.indexOf('#');
        String fragment = hash < 0 ? null : link.substring(hash + 1);
        String bare = hash < 0 ? link : link.substring(0, hash);
        NodeURL node = null;
        try {
            node = byUrl.apply(new URL(parentlURL.getURL(), bare));
        } catch (MalformedURLException e) {
            // no URL; it may still name a saved file
        }
        if (node == null) node = bySavedFile(bare);
        if (node == null) return null;
        if (fragment != null && (fragment.indexOf(File.separatorChar) >= 0 || fragment.indexOf('/') >= 0)) fragment = null;
        // The node's URL may carry the fragment of the link that found it
        // first; this link keeps its own fragment, or none.
        URL u = node.getURL();
        if (fragment == null && (u == null || u.getRef() == null)) return node;
        return new InPage(node, fragment);
    }

    private NodeURL bySavedFile(String link) {
        String page = parentlURL.getLoadedFilename();
        if (byFile == null || page == null || link.isEmpty() || link.indexOf(':') >= 0) {
            return null;
        }
        File dir = new File(page).getAbsoluteFile().getParentFile();
        if (dir == null) return null;
        try {
            String path = new File(dir, link.replace('/', File.separatorChar)).toPath().normalize().toString();
            return byFile.apply(path);
        } catch (java.nio.file.InvalidPathException e) {
            return null;  // no file can have that name here
        }
    }

    /** A node seen through one link: its file name and URL carry that link's fragment, or none. */
    private static final class InPage extends NodeURL {
        private final NodeURL node;
        private final String fragment;

        InPage(NodeURL node, String fragment) {
            super(node.getLevel(), node.getParentIndex(), node.getURL(), node.getString());
            this.node = node;
            this.fragment = fragment;
        }

        @Override
        public boolean isLoaded() { return node.isLoaded(); }

        @Override
        public String getLoadedFilename() {
            String name = node.getLoadedFilename();
            return name == null || fragment == null ? name : name + "#" + fragment;
        }

        @Override
        public URL getURL() {
            URL u = node.getURL();
            if (u == null) return null;
            try {
                if (fragment != null) return new URL(u, "#" + fragment);
                String s = u.toString();
                int hash = s.indexOf('#');
                return hash < 0 ? u : new URL(s.substring(0, hash));
            } catch (MalformedURLException e) {
                return u;
            }
        }
    }
}
