import java.util.Arrays;
import java.util.Locale;

/** Timings of repeated runs: min and median, and the rows of the table. */
final class Stats {
    final String name;
    private double[] v = new double[0];

    Stats(String name) {
        this.name = name;
    }

    void add(double x) {
        v = Arrays.copyOf(v, v.length + 1);
        v[v.length - 1] = x;
    }

    double[] values() {
        return v.clone();
    }

    int count() {
        return v.length;
    }

    double min() {
        return Arrays.stream(v).min().orElse(Double.NaN);
    }

    double median() {
        if (v.length == 0) return Double.NaN;
        double[] s = v.clone();
        Arrays.sort(s);
        int m = s.length / 2;
        return s.length % 2 == 1 ? s[m] : (s[m - 1] + s[m]) / 2;
    }

    /** "min / median" with the given format for each. */
    String both(String fmt) {
        return String.format(Locale.ROOT, fmt + " / " + fmt, min(), median());
    }

    static String f(String fmt, Object... args) {
        return String.format(Locale.ROOT, fmt, args);
    }

    /** Seconds since t0 (System.nanoTime()). */
    static double since(long t0) {
        return (System.nanoTime() - t0) / 1e9;
    }

    /** Pass or miss of a target ratio, with how much it is over. */
    static String verdict(double ratio, double target) {
        if (ratio <= target) return "met (<= " + f("%.2f", target) + ")";
        return "missed by " + f("%.1f%%", (ratio / target - 1) * 100);
    }
}
