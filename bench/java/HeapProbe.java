import java.io.IOException;
import java.lang.management.ManagementFactory;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Paths;

/**
 * A Java agent for the growth table: the Mirror's live heap, taken as the
 * heap in use right after a full collection (System.gc(), which G1 makes
 * a full one), sampled every PERIOD ms on a thread of its own. The largest
 * sample and the number of samples go to FILE when the JVM ends.
 *
 *   java -javaagent:heapprobe.jar=FILE,PERIOD ...
 */
public final class HeapProbe {
    private static long max;
    private static int samples;

    private HeapProbe() {}

    public static void premain(String args) {
        String[] a = args.split(",");
        String file = a[0];
        long period = a.length > 1 ? Long.parseLong(a[1]) : 1000;
        Thread t = new Thread(() -> {
            try {
                for (;;) {
                    Thread.sleep(period);
                    sample();
                }
            } catch (InterruptedException e) {
                // the JVM is ending
            }
        }, "heap-probe");
        t.setDaemon(true);
        t.start();
        Runtime.getRuntime().addShutdownHook(new Thread(() -> {
            try {
                Files.writeString(Paths.get(file), maxAndCount(), StandardCharsets.US_ASCII);
            } catch (IOException e) {
                System.err.println("heap-probe: " + e);
            }
        }));
    }

    private static void sample() {
        System.gc();
        long used = ManagementFactory.getMemoryMXBean().getHeapMemoryUsage().getUsed();
        synchronized (HeapProbe.class) {
            max = Math.max(max, used);
            samples++;
        }
    }

    private static synchronized String maxAndCount() {
        return max + " " + samples + "\n";
    }
}
