import com.tolvak.fenwix.NodeURL;

import java.net.MalformedURLException;
import java.net.URL;
import java.util.function.Function;

/** One saved page whose links are being pointed at the local copy. */
public class UpdParent {
    public NodeURL parentlURL;
    public boolean isModified;

    private final Function<URL, NodeURL> nodes;

    /** nodes maps an absolute URL to the crawl's node for it, or null. */
    public UpdParent(NodeURL parent, Function<URL, NodeURL> nodes) {
        this.parentlURL = parent;
        this.nodes = nodes;
    }

    public native void repAttrib(x7Element element, String tagName);

    /** The node that a link of the page names, or null. */
    public NodeURL findMatch(String link) {
        try {
            return nodes.apply(new URL(parentlURL.getURL(), link));
        } catch (MalformedURLException e) {
            return null;
        }
    }
}
