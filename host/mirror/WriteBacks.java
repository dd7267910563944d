import java.io.File;
import java.io.IOException;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Semaphore;

/**
 * Rewritten documents written back on threads of their own. Each write ends
 * in an fsync, which waits for the disk: on a disk that takes 10 ms for one,
 * the pass of 756 pages on 2 threads took 5.3 s instead of 0.7 s, its
 * processors idle. Here the rewrite goes on while earlier pages are written,
 * and the syncs of several pages wait at once (the file system commits them
 * together). The bytes waiting to be written are bounded, so a heap that
 * holds the pass holds them too.
 */
final class WriteBacks {
    /** What becomes of one document's write. */
    interface Outcome {
        void written();

        void failed(IOException e);
    }

    /** Writes waiting on the disk at once. */
    static final int THREADS = 8;

    private final ExecutorService pool;
    /** Room for the bytes not yet written, in KB. */
    private final Semaphore room;
    private final int roomKb;
    private final Object lock = new Object();
    private int open;
    private Throwable thrown;

    /** roomBytes bounds the bytes waiting to be written. */
    WriteBacks(long roomBytes) {
        roomKb = (int) Math.max(1, Math.min(Integer.MAX_VALUE, roomBytes >> 10));
        room = new Semaphore(roomKb);
        pool = Executors.newFixedThreadPool(THREADS, r -> {
            Thread t = new Thread(r, "write-back");
            t.setDaemon(true);
            return t;
        });
    }

    /**
     * The room a pass leaves for writes in flight: a sixteenth of the heap, at
     * most 8 MB. That holds a page for every writing thread many times over;
     * more would only hold pages longer when the disk is the slower side.
     */
    static long defaultRoom() {
        return Math.min(8L << 20, Runtime.getRuntime().maxMemory() / 16);
    }

    /**
     * Queues text to replace file (LinkRewrite.writeBack); waits while the
     * bytes in flight fill the room. A document larger than the room is
     * written in line: the room bounds the heap that writes hold.
     */
    void submit(File file, byte[] text, Outcome outcome) throws InterruptedException {
        if (text.length >= (long) roomKb << 10) {
            write(file, text, outcome);
            return;
        }
        int kb = Math.max(1, text.length >> 10);
        room.acquire(kb);
        synchronized (lock) {
            open++;
        }
        try {
            pool.execute(() -> {
                Throwable t = null;
                try {
                    write(file, text, outcome);
                } catch (RuntimeException | Error e) {
                    t = e;
                } finally {
                    ended(kb, t);
                }
            });
        } catch (RuntimeException e) {
            ended(kb, null);
            throw e;
        }
    }

    private static void write(File file, byte[] text, Outcome outcome) {
        try {
            LinkRewrite.writeBack(file, text);
        } catch (IOException e) {
            outcome.failed(e);
            return;
        }
        outcome.written();
    }

    private void ended(int kb, Throwable t) {
        room.release(kb);
        synchronized (lock) {
            if (t != null && thrown == null) thrown = t;
            open--;
            lock.notifyAll();
        }
    }

    /**
     * Waits, through interrupts too, until every queued write has ended (a
     * write is short and its page must not change under the run's end), then
     * stops the threads. With rethrow, what a write threw other than a file
     * error is thrown here, as the pass would have thrown it in line.
     */
    void finish(boolean rethrow) {
        boolean interrupted = false;
        Throwable t;
        synchronized (lock) {
            while (open > 0) {
                try {
                    lock.wait();
                } catch (InterruptedException e) {
                    interrupted = true;
                }
            }
            t = thrown;
        }
        pool.shutdown();
        if (interrupted) Thread.currentThread().interrupt();
        if (!rethrow) return;
        if (t instanceof RuntimeException) throw (RuntimeException) t;
        if (t instanceof Error) throw (Error) t;
    }
}
