import com.tolvak.fenwix.NodeURL;

import java.net.MalformedURLException;
import java.net.URL;
import java.util.ArrayList;
import java.util.IdentityHashMap;
import java.util.List;
import java.util.Locale;
import java.util.Map;

/**
 * Redirects, followed by the crawl itself rather than the JDK: at most
 * MAX_HOPS of them per URL, a loop found as soon as a URL comes round again,
 * and a target the run would not fetch (another site, out of scope,
 * disallowed) never requested: its link keeps its web address.
 */
final class Redirects {
    static final int MAX_HOPS = 10;

    /** Why the run does not fetch a redirect's target, or null when it does. */
    interface Check {
        String refuse(NodeURL node, URL target);
    }

    /** What becomes of one redirect. */
    static final class Step {
        /** The URL to request next; null when the redirect is not followed. */
        final URL next;
        /** Why not, for the log; null when followed. */
        final String why;
        /** Whether not following it is a failure (a loop, too many hops, a bad Location) rather than the scope. */
        final boolean failure;

        Step(URL next, String why, boolean failure) {
            this.next = next;
            this.why = why;
            this.failure = failure;
        }
    }

    private final Check check;
    private final Map<NodeURL, List<String>> chains = java.util.Collections.synchronizedMap(new IdentityHashMap<>());

    Redirects(Check check) {
        this.check = check;
    }

    static boolean isRedirect(int code) {
        return code == 301 || code == 302 || code == 303 || code == 307 || code == 308;
    }

    /** The redirect of node's current URL, answered with code and Location. */
    Step follow(NodeURL node, int code, String location) {
        URL from = node.getURL();
        List<String> chain = chains.computeIfAbsent(node, n -> new ArrayList<>(List.of(UrlLoad.key(from))));
        if (location == null || location.trim().isEmpty()) return end(node, code + " without Location", true);
        URL to;
        try {
            to = new URL(from, location.trim());
            String p = to.getProtocol().toLowerCase(Locale.ROOT);
            if (!p.equals("http") && !p.equals("https") || to.getHost().isEmpty()) {
                return end(node, code + " to '" + location + "', no web address the run can fetch", true);
            }
            to = SavedLinks.requestable(to);
        } catch (MalformedURLException e) {
            return end(node, code + " to '" + location + "' (" + Causes.of(e) + ")", true);
        }
        String key = UrlLoad.key(to);
        if (chain.contains(key)) {
            return end(node, "redirect loop: " + String.join(" -> ", chain) + " -> " + key, true);
        }
        if (chain.size() > MAX_HOPS) {
            return end(node, "more than " + MAX_HOPS + " redirects: " + String.join(" -> ", chain), true);
        }
        String refused = check.refuse(node, to);
        if (refused != null) return end(node, code + " to " + to + ", not followed: " + refused, false);
        chain.add(key);
        return new Step(to, null, false);
    }

    private Step end(NodeURL node, String why, boolean failure) {
        chains.remove(node);
        return new Step(null, why, failure);
    }

    /** The node is done with: its chain is forgotten. */
    void done(NodeURL node) {
        chains.remove(node);
    }
}
