import java.io.PrintStream;
import java.util.Locale;

/** The progress line: rewritten in place on a terminal, else printed every few seconds. */
final class Progress {
    private final Counters counts;
    private final PrintStream con;
    private final Activity activity;
    private final boolean terminal = System.console() != null;
    private Thread thread;
    private volatile boolean running;
    private int width;

    Progress(Counters counts, PrintStream con, Activity activity) {
        this.counts = counts;
        this.con = con;
        this.activity = activity;
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
        String now = activity.get();
        String line = String.format(Locale.ROOT, "%d of %d done, %s  %s", counts.done, counts.known,
                size(counts.bytes()), now.isEmpty() ? counts.current() : now);
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
        if (thread != null) thread.interrupt();
        if (terminal) {
            synchronized (this) {
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
