import java.util.concurrent.ExecutionException;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;

/** Threads that read pages into trees beside the thread that started them, and the results of their tasks. */
final class PageThreads {
    /**
     * Stack of the threads that read pages: each nesting level of a page costs
     * a native and a Java frame, and the default stack ends a page of a few
     * hundred unclosed anchors. Reserved, not committed, so it costs nothing
     * until a page needs it; smaller where a 32-bit address space is tight.
     */
    static final long PAGE_STACK = "32".equals(System.getProperty("sun.arch.data.model")) ? 64L << 20 : 512L << 20;

    private PageThreads() {}

    /**
     * How many threads read pages at once: one a processor, as far as the
     * heap holds a page's tree for each (32 MB apiece) and, in a 32-bit JVM,
     * at most 4, whose stacks the address space has room for.
     */
    static int count() {
        int processors = Runtime.getRuntime().availableProcessors();
        long heapShare = Math.max(1, Runtime.getRuntime().maxMemory() / (32L << 20));
        int cap = "32".equals(System.getProperty("sun.arch.data.model")) ? 4 : Integer.MAX_VALUE;
        return (int) Math.max(1, Math.min(Math.min(processors, heapShare), cap));
    }

    /** A pool of daemon threads, each with the stack that reading a page into its tree needs. */
    static ExecutorService pool(int threads, String name) {
        return Executors.newFixedThreadPool(threads, r -> {
            Thread t = new Thread(null, r, name, PAGE_STACK);
            t.setDaemon(true);
            return t;
        });
    }

    /** The result of a task; what the task threw is thrown here, as it would have been in line. */
    static <T> T result(Future<T> task) throws InterruptedException {
        try {
            return task.get();
        } catch (ExecutionException e) {
            Throwable c = e.getCause();
            if (c instanceof RuntimeException) throw (RuntimeException) c;
            if (c instanceof Error) throw (Error) c;
            throw new IllegalStateException(c);
        }
    }
}
