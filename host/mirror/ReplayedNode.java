import com.tolvak.fenwix.NodeURL;

import java.net.URL;

/** A node made from the link records: it knows the id of its URL in the records' table. */
final class ReplayedNode extends NodeURL {
    final int urlId;

    ReplayedNode(int level, int parentIndex, URL url, String linkText, int urlId) {
        super(level, parentIndex, url, linkText);
        this.urlId = urlId;
    }
}
