import java.io.PrintStream;
import java.util.Locale;
import java.util.function.Supplier;

/** The progress line: rewritten in place on a terminal, else printed every few seconds. */
final class Progress {
    private final PrintStream con;
    private final Supplier<String> line;
    /** Whether stop shows the last line even when no line was shown before. */
    private final boolean always;
    private final boolean terminal = System.console() != null;
    private Thread thread;
    private volatile boolean running;
    private int width;
    private boolean shown;

    /** The crawl's line: what is done of what is known, and what is being fetched. */
    Progress(Counters counts, PrintStream con, Activity activity) {
        this(con, () -> {
            String now = activity.get();
            return String.format(Locale.ROOT, "%d of %d done, %s  %s", counts.done, counts.known,
                    size(counts.bytes()), now.isEmpty() ? counts.current() : now);
        }, true);
    }

    /** A line of its own; a step too short to show one leaves none behind unless always. */
    Progress(PrintStream con, Supplier<String> line, boolean always) {
        this.con = con;
        this.line = line;
        this.always = always;
    }

    void start() {
        running = true;
        thread = new Thread(() -> {
            long every = terminal ? 250 : 3000;
            while (running) {
                try {
                    Thread.sleep(every);
                } catch (InterruptedException e) {
                    return;
                }
                if (running) show();
            }
        }, "mirror-progress");
        thread.setDaemon(true);
        thread.start();
    }

    synchronized void show() {
        String line = this.line.get();
        shown = true;
        if (terminal) {
            if (line.length() > 119) line = line.substring(0, 116) + "...";
            StringBuilder b = new StringBuilder("\r").append(line);
            for (int i = line.length(); i < width; i++) b.append(' ');
            width = line.length();
            con.print(b);
        } else {
            con.println(line);
        }
        con.flush();
    }

    void stop() {
        running = false;
        if (thread != null) {
            thread.interrupt();
            // its last line, if it was drawing one, before ours
            try {
                thread.join();
            } catch (InterruptedException e) {
                Thread.currentThread().interrupt();
            }
        }
        if (terminal) {
            synchronized (this) {
                if (!always && !shown) return;
                show();
                con.println();
            }
        }
    }

    static String size(long n) {
        if (n < 1024) return n + " B";
        if (n < 1024 * 1024) return String.format(Locale.ROOT, "%.1f KiB", n / 1024.0);
        return String.format(Locale.ROOT, "%.1f MiB", n / (1024.0 * 1024));
    }
}
