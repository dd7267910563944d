import java.util.concurrent.ExecutionException;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;

/** Threads that read pages into trees beside the thread that started them, and the results of their tasks. */
final class PageThreads {
    private PageThreads() {}

    /** A pool of daemon threads, each with the stack that reading a page into its tree needs. */
    static ExecutorService pool(int threads, String name) {
        return Executors.newFixedThreadPool(threads, r -> {
            Thread t = new Thread(null, r, name, Mirror.PAGE_STACK);
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
