/** What the crawl is doing or waiting for right now, for the progress line. */
final class Activity {
    private volatile String now = "";

    void set(String what) {
        now = what == null ? "" : what;
    }

    String get() {
        return now;
    }

    /**
     * Sleeps for ms, saying why on the progress line, in short steps so that
     * a stop ends the wait; false when stopped.
     */
    boolean sleep(long ms, String why, java.util.function.BooleanSupplier stopped) {
        if (ms <= 0) return !stopped.getAsBoolean();
        long end = System.nanoTime() + ms * 1_000_000;
        set(why);
        try {
            for (long left = ms; left > 0; left = (end - System.nanoTime()) / 1_000_000) {
                if (stopped.getAsBoolean()) return false;
                Thread.sleep(Math.min(left, 100));
            }
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
            return false;
        }
        return !stopped.getAsBoolean();
    }
}
