import java.io.FilterInputStream;
import java.io.IOException;
import java.io.InputStream;
import java.net.URL;
import java.util.HashMap;
import java.util.Locale;
import java.util.Map;
import java.util.function.BooleanSupplier;

/**
 * The pace of the run: the wait between the requests to one site part (--wait,
 * or robots.txt's Crawl-delay when it is longer) and the cap on the rate at
 * which bodies are read (--limit-rate).
 */
final class Pace {
    private final long waitMs;
    private final long bytesPerSecond;
    private final Activity activity;
    /** Per site part: when its last request ended, and its Crawl-delay. */
    private final Map<String, Long> lastEnd = new HashMap<>();
    private final Map<String, Long> delayMs = new HashMap<>();

    Pace(double waitSeconds, long bytesPerSecond, Activity activity) {
        this.waitMs = Math.round(waitSeconds * 1000);
        this.bytesPerSecond = bytesPerSecond;
        this.activity = activity;
    }

    static String site(URL u) {
        int p = u.getPort() == -1 ? u.getDefaultPort() : u.getPort();
        return u.getHost().toLowerCase(Locale.ROOT) + ":" + p;
    }

    synchronized void crawlDelay(URL u, double seconds) {
        delayMs.put(site(u), Math.round(seconds * 1000));
    }

    /** Waits until a request to u's site part may go out; false when stopped meanwhile. */
    boolean before(URL u, BooleanSupplier stopped) {
        String s = site(u);
        long wait;
        String why;
        synchronized (this) {
            long delay = delayMs.getOrDefault(s, 0L);
            long least = Math.max(waitMs, delay);
            why = delay > waitMs ? "Crawl-delay of robots.txt" : "--wait";
            Long last = lastEnd.get(s);
            wait = last == null ? 0 : last + least - System.currentTimeMillis();
        }
        // most requests wait for nothing: no note to make for them
        if (wait <= 0) return !stopped.getAsBoolean();
        return activity.sleep(wait, String.format(Locale.ROOT, "waiting %.1f s before the next request to %s (%s)",
                wait / 1000.0, s, why), stopped);
    }

    /** The request to u's site part has ended: the next wait counts from now. */
    synchronized void after(URL u) {
        lastEnd.put(site(u), System.currentTimeMillis());
    }

    /** The body stream, read no faster than --limit-rate: the rate of the whole run, whatever the connections. */
    InputStream limited(InputStream in) {
        return bytesPerSecond <= 0 ? in : new Limited(in, this);
    }

    /** When the bytes read so far in the run, n more with them, are due at --limit-rate (System.nanoTime). */
    private synchronized long due(int n) {
        long now = System.nanoTime();
        // time no stream used is not saved up for a burst
        if (nextDue < now) nextDue = now;
        nextDue += n * 1_000_000_000L / bytesPerSecond;
        return nextDue;
    }

    /** See due. */
    private long nextDue;

    /**
     * Whether u's site part has one connection: to keep a wait (--wait, or its
     * Crawl-delay), or since it set a cookie.
     */
    synchronized boolean paced(URL u) {
        return waitMs > 0 || delayMs.getOrDefault(site(u), 0L) > 0 || cookieSites.contains(site(u));
    }

    /**
     * An answer from u's site part set a cookie: its later answers may depend
     * on it, so each request waits for the answer before it, as with one
     * connection.
     */
    synchronized void cookieSet(URL u) {
        cookieSites.add(site(u));
    }

    private final java.util.Set<String> cookieSites = new java.util.HashSet<>();

    private static final class Limited extends FilterInputStream {
        private final Pace pace;

        Limited(InputStream in, Pace pace) {
            super(in);
            this.pace = pace;
        }

        private void pace(int n) throws IOException {
            if (n <= 0) return;
            long ahead = (pace.due(n) - System.nanoTime()) / 1_000_000;
            if (ahead > 0) {
                try {
                    Thread.sleep(ahead);
                } catch (InterruptedException e) {
                    Thread.currentThread().interrupt();
                    throw new java.io.InterruptedIOException("stopped");
                }
            }
        }

        @Override
        public int read() throws IOException {
            int c = super.read();
            if (c >= 0) pace(1);
            return c;
        }

        @Override
        public int read(byte[] b, int off, int len) throws IOException {
            // small reads keep the rate smooth
            int n = super.read(b, off, (int) Math.min(len, Math.max(1, pace.bytesPerSecond / 10)));
            pace(n);
            return n;
        }
    }
}
