import com.tolvak.fenwix.NodeURL;

import java.io.File;
import java.net.URL;

/**
 * The attempts of one node on one connection: the request cycle run again
 * for a resumption, a failure another attempt may mend (after its backoff)
 * or a 416, until the node ends or the crawl must decide (a redirect, a
 * repaired URL).
 */
final class NodeAttempts {
    private NodeAttempts() {}

    /** A node's attempts so far: whether it crashed, and which node's 416 was asked again as a whole. */
    static final class State {
        boolean crashed;
        NodeURL retried;
    }

    /**
     * Runs the attempts of node, at index in the crawl list, through by.
     * REDIRECT, or AGAIN under a new URL, are left to the crawl.
     */
    static UrlLoad.Step run(UrlLoad by, NodeURL node, int index, State st) {
        while (true) {
            by.urlIndex = index;
            URL before = node.getURL();
            UrlLoad.Step s;
            try {
                s = by.request(node);
            } catch (RuntimeException e) {
                // One URL that cannot be fetched or saved never ends the crawl.
                by.appendLog("Error reading url:" + node.getURL() + " (" + Causes.of(e) + ")\n");
                by.range = "";
                node.setCreateError();
                st.crashed = true;
                return UrlLoad.Step.FAILED;
            }
            if (s == UrlLoad.Step.REDIRECT) return s;
            if (s == UrlLoad.Step.AGAIN) {
                if (!UrlLoad.key(node.getURL()).equals(UrlLoad.key(before))) return s;
                continue;
            }
            if (tryAgain(by, node)) continue;
            by.retries.done(node);
            by.redirects.done(node);
            if (node.getResponseCode() == 416 && st.retried != node && !by.aborted) {
                // The server will not give the rest of the part: nothing says
                // the part is whole, so the file is asked for whole.
                File local = new File(node.getLoadedFilename());
                local.delete();
                IncompleteMarker.remove(local);
                by.appendLog("Asking again for the whole file:" + node.getURL() + " (416 to a range request)\n");
                st.retried = node;
                continue;
            }
            return s;
        }
    }

    /**
     * Whether a failed attempt is made again (its backoff waited): a failed
     * connection, a 5xx answer, a body that broke off. A body with a part on
     * disk goes on from the part's end by a range request.
     */
    static boolean tryAgain(UrlLoad by, NodeURL node) {
        if (by.aborted || node.isLoaded() || node.isStopped()) return false;
        Failures.Failure f = by.failures.of(node);
        int code = node.getResponseCode();
        boolean retry = f != null && (code >= 500 || Failures.RETRIED.contains(f.kind));
        if (!retry) return false;
        File local = node.getLoadedFilename() == null ? null : new File(node.getLoadedFilename());
        boolean part = local != null && local.isFile() && local.length() > 0 && IncompleteMarker.on(local);
        // a cut that brought new bytes is no failed try
        long grown = part && f.kind.equals("connection broken") ? local.length() : 0;
        if (!by.retries.again(node, f.cause, grown, () -> by.aborted)) return false;
        by.appendLog("Trying again (" + by.retries.next(node) + "):" + node.getURL() + " (after " + f.cause
                + (part ? "; from byte " + local.length() : "") + ")\n");
        if (part) by.range = "bytes=" + local.length() + "-";
        return true;
    }
}
