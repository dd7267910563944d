import java.io.File;
import java.io.FileOutputStream;
import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.StandardCopyOption;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Semaphore;
import java.util.concurrent.TimeUnit;

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
    /** The first thing a write threw other than a file error. */
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
     * Queues text to replace file (writeBack); waits while the bytes in flight
     * fill the room. A document larger than the room is written in line: the
     * room bounds the heap that writes hold.
     */
    void submit(File file, byte[] text, Outcome outcome) throws InterruptedException {
        if (text.length >= (long) roomKb << 10) {
            write(file, text, outcome);
            return;
        }
        int kb = Math.max(1, text.length >> 10);
        room.acquire(kb);
        try {
            pool.execute(() -> {
                try {
                    write(file, text, outcome);
                } catch (RuntimeException | Error e) {
                    synchronized (this) {
                        if (thrown == null) thrown = e;
                    }
                } finally {
                    room.release(kb);
                }
            });
        } catch (RuntimeException e) {
            room.release(kb);
            throw e;
        }
    }

    private static void write(File file, byte[] text, Outcome outcome) {
        try {
            writeBack(file, text);
        } catch (IOException e) {
            outcome.failed(e);
            return;
        }
        outcome.written();
    }

    /**
     * Waits, through interrupts too, until every queued write has ended (a
     * write is short and its page must not change under the run's end), and
     * stops the threads. With rethrow, what a write threw other than a file
     * error is thrown here, as the pass would have thrown it in line.
     */
    void finish(boolean rethrow) {
        pool.shutdown();
        boolean interrupted = false;
        while (!pool.isTerminated()) {
            try {
                pool.awaitTermination(1, TimeUnit.MINUTES);
            } catch (InterruptedException e) {
                interrupted = true;
            }
        }
        if (interrupted) Thread.currentThread().interrupt();
        if (!rethrow) return;
        Throwable t;
        synchronized (this) {
            t = thrown;
        }
        if (t instanceof RuntimeException) throw (RuntimeException) t;
        if (t instanceof Error) throw (Error) t;
    }

    /**
     * Writes the page to a temporary file beside it and renames that over the
     * page, so that a crash leaves either the old page or the new one. The
     * page keeps its time: that is the server's time, which the next run's
     * conditional request sends.
     */
    private static void writeBack(File file, byte[] text) throws IOException {
        File tmp = temporary(file);
        long time = file.lastModified();
        try (FileOutputStream out = new FileOutputStream(tmp)) {
            out.write(text);
            out.getFD().sync();
        } catch (IOException e) {
            tmp.delete();
            throw e;
        }
        if (time > 0) tmp.setLastModified(time);
        try {
            Files.move(tmp.toPath(), file.toPath(), StandardCopyOption.ATOMIC_MOVE, StandardCopyOption.REPLACE_EXISTING);
        } catch (IOException e) {
            tmp.delete();
            throw e;
        }
    }

    private static File temporary(File file) {
        return new File(file.getParentFile(), "." + file.getName() + ".x7fenwix-tmp");
    }

    /** Removes the temporary file that a run killed during file's write left beside it. */
    static void dropLeftover(File file) {
        File tmp = temporary(file);
        if (tmp.isFile()) tmp.delete();
    }
}
