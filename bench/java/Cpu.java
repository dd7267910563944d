import java.lang.management.ManagementFactory;
import java.lang.management.ThreadMXBean;

/** CPU time of the calling thread. */
final class Cpu {
    private static final ThreadMXBean THREADS = ManagementFactory.getThreadMXBean();

    private Cpu() {}

    static long now() {
        return THREADS.getCurrentThreadCpuTime();
    }

    static double since(long c0) {
        return (now() - c0) / 1e9;
    }
}
