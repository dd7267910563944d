import com.tolvak.fenwix.NodeURL;

import java.util.IdentityHashMap;
import java.util.Locale;
import java.util.Map;
import java.util.function.BooleanSupplier;

/**
 * Whether a failed attempt of a node is tried again within the run: a
 * connection that failed, a 5xx answer, a body that broke off. At most
 * --tries attempts, after a backoff of 0.5, 1, 2... s (10 s at most); a body
 * cut off midway that brought new bytes goes on at once and is not counted.
 */
final class Retries {
    private static final long FIRST_BACKOFF_MS = 500;
    private static final long MAX_BACKOFF_MS = 10_000;
    /** Attempts of one node in all, progress or not: a server cutting every body after a byte ends somewhere. */
    private static final int MAX_ATTEMPTS = 1000;

    private final int tries;
    private final Activity activity;
    private final Map<NodeURL, int[]> attempts = java.util.Collections.synchronizedMap(new IdentityHashMap<>());
    /** The longest part on disk each node's attempts have left. */
    private final Map<NodeURL, Long> longest = java.util.Collections.synchronizedMap(new IdentityHashMap<>());

    Retries(int tries, Activity activity) {
        this.tries = tries;
        this.activity = activity;
    }

    /**
     * After a failed attempt: true when the node is to be tried again, once
     * its backoff has passed (counted attempts, attempts in all); false when
     * its tries are used up or the run stops. part: the bytes of the body on
     * disk after a cut that can be resumed, else 0.
     */
    boolean again(NodeURL node, String cause, long part, BooleanSupplier stopped) {
        int[] a = attempts.computeIfAbsent(node, n -> new int[2]);
        // a part longer than any before: the body goes on (a server that
        // ignores ranges and cuts every copy short brings no new bytes)
        long best = longest.getOrDefault(node, 0L);
        boolean progressed = part > best;
        if (progressed) longest.put(node, part);
        a[1]++;
        if (!progressed) a[0]++;
        if (a[0] >= tries || a[1] >= MAX_ATTEMPTS || stopped.getAsBoolean()) {
            done(node);
            return false;
        }
        long backoff = progressed ? 0 : Math.min(MAX_BACKOFF_MS, FIRST_BACKOFF_MS << Math.min(a[0] - 1, 20));
        return activity.sleep(backoff, String.format(Locale.ROOT, "try %d of %d of %s in %.1f s, after: %s",
                a[0] + 1, tries, node.getURL(), backoff / 1000.0, cause), stopped);
    }

    /** The attempt that comes next, for the log: "2 of 3". */
    String next(NodeURL node) {
        int[] a = attempts.get(node);
        return (a == null ? 1 : a[0] + 1) + " of " + tries;
    }

    void done(NodeURL node) {
        attempts.remove(node);
        longest.remove(node);
    }
}
