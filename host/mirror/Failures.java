import com.tolvak.fenwix.NodeURL;

import java.util.Collections;
import java.util.IdentityHashMap;
import java.util.Map;

/**
 * The last failure of each node of the crawl, with its kind for the summary
 * and its cause for the log; and the cause of a body that broke off, for
 * the transfer's own log line, which names no cause.
 */
final class Failures {
    static final class Failure {
        final String kind;
        final String cause;

        Failure(String kind, String cause) {
            this.kind = kind;
            this.cause = cause;
        }

        static Failure of(Throwable e) {
            return new Failure(Causes.kind(e), Causes.of(e));
        }

        static Failure status(int code, String reason) {
            String r = reason == null || reason.isEmpty() ? "" : " " + reason.trim();
            return new Failure("HTTP " + code / 100 + "xx", "HTTP " + code + r);
        }

        @Override
        public String toString() {
            return cause;
        }
    }

    /** Kinds that are no error: what the run left out on purpose. */
    static final String SKIPPED_REDIRECT = "redirect out of scope";
    static final String REDIRECTED = "redirected to a URL fetched once";
    /** Kinds of failure that another attempt may mend. */
    static final java.util.Set<String> RETRIED = java.util.Set.of("timeout", "connection refused",
            "connection broken", BodyFailure.TOO_SLOW, "other");

    private volatile String stopped;

    /** The run stops saving, for why. */
    void stop(String why) {
        stopped = why;
    }

    /** Why the run stopped saving; null when it did not. */
    String stopped() {
        return stopped;
    }

    private final Map<NodeURL, Failure> byNode = Collections.synchronizedMap(new IdentityHashMap<>());
    /** Per thread: each transfer reads its body on a thread of its own. */
    private final ThreadLocal<Failure> body = new ThreadLocal<>();

    void note(NodeURL node, Failure f) {
        byNode.put(node, f);
    }

    Failure of(NodeURL node) {
        return byNode.get(node);
    }

    void clear(NodeURL node) {
        byNode.remove(node);
    }

    /** A body stream failed with e: the next log line of a read failure names it. */
    void body(Throwable e) {
        body.set(Failure.of(e));
    }

    /** The body failure heard since the last call, or null. */
    Failure takeBody() {
        Failure f = body.get();
        body.remove();
        return f;
    }

    /** Runs r with f as this thread's body failure, as the thread that heard of it had it. */
    void withBody(Failure f, Runnable r) {
        Failure mine = body.get();
        body.set(f);
        try {
            r.run();
        } finally {
            if (mine == null) body.remove();
            else body.set(mine);
        }
    }

    Failure peekBody() {
        return body.get();
    }

    /**
     * A log line of the transfer with its cause: "Error reading url:URL" with
     * the body's failure, a file's error with what the file system tells.
     */
    String withCause(String line) {
        for (String prefix : new String[] {"Error creating file:", "Error writing file:"}) {
            if (line.startsWith(prefix) && line.endsWith("\n") && !line.contains(" (")) {
                String path = line.substring(prefix.length(), line.length() - 1);
                String why = Causes.ofFile(new java.io.File(path));
                return why == null ? line : prefix + path + " (" + why + ")\n";
            }
        }
        Failure f = body.get();
        if (f == null || !line.startsWith("Error reading url:") || !line.endsWith("\n") || line.contains(" (")) {
            return line;
        }
        if (f.kind.equals(BodyFailure.TOO_LARGE)) {
            return "Skipped:" + line.substring("Error reading url:".length(), line.length() - 1) + " (" + f.cause + ")\n";
        }
        return line.substring(0, line.length() - 1) + " (" + f.cause + ")\n";
    }
}
