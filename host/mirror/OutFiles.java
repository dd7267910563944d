import java.io.File;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.OutputStreamWriter;
import java.io.Writer;
import java.nio.ByteBuffer;
import java.nio.channels.FileChannel;
import java.nio.channels.FileLock;
import java.nio.channels.OverlappingFileLockException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.StandardOpenOption;
import java.util.Collection;
import java.util.HashSet;
import java.util.Set;

/**
 * The files a run keeps in OUT beside the copy, and their names: the log, the
 * lock, the link records and the notes that let a killed run be recovered.
 */
final class OutFiles implements AutoCloseable {
    static final String LOG_NAME = "x7fenwix.log";
    static final String LOCK_NAME = ".x7fenwix-lock";
    static final String RECORDS_NAME = ".x7fenwix-links";
    /** The links found in this run, until the records are saved. */
    static final String RECORDS_SPOOL_NAME = RECORDS_NAME + ".spool";
    /** Index pages that are their folders' pages ("/index.html" and "/"), saved once, one pair a line. */
    static final String SAME_NAME = ".x7fenwix-same";
    /** The file being transferred: a run killed outright leaves its name here. */
    static final String INFLIGHT_NAME = ".x7fenwix-inflight";
    /** Pages saved but not yet rewritten, one path a line. */
    static final String PENDING_NAME = ".x7fenwix-unrewritten";
    /**
     * Present from the moment a file that documents may link to moves or goes
     * until a pass has pointed every document's references at where it is now.
     */
    static final String MOVED_NAME = ".x7fenwix-moved";
    private static final String PROBE_PREFIX = ".x7fenwix-probe";

    final File out;
    private Writer log;
    private FileChannel inflight;
    private FileChannel unrewritten;
    /** Whether an earlier run left its rewrite pass unfinished (or some files to try again). */
    private boolean passUnfinished;
    /** Whether this run moved or removed such a file (see MOVED_NAME). */
    private boolean movedNow;
    /** The folders' pages noted by earlier runs, as read at the start of this one. */
    private java.util.Map<String, String> sameAsRead = java.util.Map.of();

    private OutFiles(File out) {
        this.out = out;
    }

    /** OUT as a folder that can be written, made when missing. */
    static OutFiles prepare(File folder) throws Options.Usage {
        if (folder.exists() && !folder.isDirectory()) throw new Options.Usage("OUT is not a folder: " + folder);
        if (!folder.isDirectory() && !folder.mkdirs()) throw new Options.Usage("cannot make the folder " + folder);
        try {
            // named after this process: File.createTempFile's random name seeds a
            // SecureRandom first, a sixtieth of a short update's time
            File probe = new File(folder, PROBE_PREFIX + ProcessHandle.current().pid());
            if (!probe.createNewFile() && !(probe.delete() && probe.createNewFile())) {
                throw new IOException("cannot create " + probe);
            }
            if (!probe.delete()) throw new IOException("cannot delete " + probe);
        } catch (IOException | SecurityException e) {
            throw new Options.Usage("cannot write in " + folder + " (" + e.getMessage() + ")");
        }
        return new OutFiles(folder(folder));
    }

    /** The folder OUT names, as the run's files are found in it: canonical where it can be. */
    static File folder(File out) {
        try {
            return out.getCanonicalFile();
        } catch (IOException e) {
            return out.getAbsoluteFile();
        }
    }

    /** The index pages an earlier run found to be their folders' pages; none when they cannot be read. */
    java.util.Map<String, String> sameAsFolder() {
        java.util.Map<String, String> m = new java.util.HashMap<>();
        sameAsRead = m;
        try {
            for (String line : Files.readAllLines(file(SAME_NAME).toPath(), StandardCharsets.UTF_8)) {
                int tab = line.indexOf('\t');
                if (tab > 0) m.put(line.substring(0, tab), line.substring(tab + 1));
            }
        } catch (IOException | RuntimeException e) {
            // a lost note costs one more request of each index page
        }
        return m;
    }

    /**
     * Whether found holds a folder's page that the note read at the start did
     * not: its index page's copy, which an earlier run may have saved, is gone.
     */
    boolean folderPagesFoundNow(java.util.Map<String, String> found) {
        return !sameAsRead.keySet().containsAll(found.keySet());
    }

    /** Keeps the index pages found to be their folders' pages for the next run. */
    void sameAsFolder(java.util.Map<String, String> found) {
        StringBuilder b = new StringBuilder();
        found.forEach((k, v) -> b.append(k).append('\t').append(v).append('\n'));
        try {
            if (found.isEmpty()) Files.deleteIfExists(file(SAME_NAME).toPath());
            else Files.write(file(SAME_NAME).toPath(), b.toString().getBytes(StandardCharsets.UTF_8));
        } catch (IOException e) {
            log("Error writing file:" + file(SAME_NAME) + "\n");
        }
    }

    File file(String name) {
        return new File(out, name);
    }

    /** Holds OUT for this run, or says that another run holds it. The lock ends with the channel. */
    FileChannel lock() throws IOException, Options.Usage {
        FileChannel ch = FileChannel.open(file(LOCK_NAME).toPath(), StandardOpenOption.CREATE, StandardOpenOption.WRITE);
        FileLock lock;
        try {
            lock = ch.tryLock();
        } catch (OverlappingFileLockException e) {
            lock = null;
        }
        if (lock == null) {
            ch.close();
            throw new Options.Usage("another mirror is running in " + out);
        }
        return ch;
    }

    void openLog() throws IOException {
        log = new OutputStreamWriter(new FileOutputStream(file(LOG_NAME), true), StandardCharsets.UTF_8);
    }

    synchronized void log(String line) {
        if (log == null) return;
        try {
            log.write(line);
            log.flush();
        } catch (IOException e) {
            // the log is best effort; the summary still tells the counts
        }
    }

    /**
     * Opens the notes for the crawl. Both stay open through it: a file opened
     * per request cost more than the request on an update.
     */
    void openNotes() throws IOException {
        passUnfinished = file(PENDING_NAME).exists();
        inflight = FileChannel.open(file(INFLIGHT_NAME).toPath(), StandardOpenOption.CREATE, StandardOpenOption.WRITE);
        unrewritten = FileChannel.open(file(PENDING_NAME).toPath(), StandardOpenOption.CREATE, StandardOpenOption.WRITE,
                StandardOpenOption.APPEND);
    }

    /** Until the next note, this file is in flight. */
    void inFlight(java.util.Collection<File> locals) {
        try {
            StringBuilder b = new StringBuilder();
            for (File f : locals) b.append(f.getPath()).append('\n');
            inflight.truncate(0);
            write(inflight, b.toString());
        } catch (IOException | RuntimeException e) {
            // without the note only a hard kill goes unnoticed
        }
    }

    /** Notes a saved page at once, so that even a run killed before its rewrite pass leaves it to the next one. */
    void savedPage(String loadedFilename) {
        try {
            write(unrewritten, loadedFilename + "\n");
        } catch (IOException e) {
            log("Error writing file:" + file(PENDING_NAME) + "\n");
        }
    }

    /** Closes the notes; the note of the file in flight stays until the crawl is known to have ended. */
    void closeNotes() {
        for (FileChannel ch : new FileChannel[] {inflight, unrewritten}) {
            try {
                if (ch != null) ch.close();
            } catch (IOException e) {
                // notes are best effort
            }
        }
        inflight = unrewritten = null;
    }

    /** The crawl ended: no file is in flight any more. */
    void crawlEnded() {
        file(INFLIGHT_NAME).delete();
    }

    /**
     * A run that was killed outright left a file half written and stamped with
     * the time of the kill: it gets the incomplete marker that a stopped
     * transfer leaves, so that this run asks for it again.
     */
    void recoverInflight() {
        File note = file(INFLIGHT_NAME);
        if (!note.isFile()) return;
        try {
            // one line per request that was in flight
            for (String line : Files.readAllLines(note.toPath(), StandardCharsets.UTF_8)) {
                if (line.trim().isEmpty()) continue;
                File f = new File(line.trim());
                if (f.isFile() && SavedLinks.inside(out, f) && IncompleteMarker.make(f)) {
                    log("Marked incomplete after an interrupted run:" + f.getPath() + "\n");
                }
            }
        } catch (IOException | RuntimeException e) {
            // nothing to recover
        }
        note.delete();
    }

    /** The pages that an earlier run saved and did not rewrite, by normal path. */
    Set<String> pendingRewrites() {
        Set<String> pages = new HashSet<>();
        try {
            for (String line : Files.readAllLines(file(PENDING_NAME).toPath(), StandardCharsets.UTF_8)) {
                if (!line.isEmpty()) pages.add(CrawlNodes.normal(FolderClash.place(new File(line)).getPath()));
            }
        } catch (IOException e) {
            // none pending
        }
        return pages;
    }

    /**
     * Whether an earlier run's rewrite pass did not end with every file done:
     * its notes name the pages it saved, not the other files it saved.
     */
    boolean earlierPassUnfinished() {
        return passUnfinished;
    }

    /**
     * Notes that a file documents may link to moved or went, as the crawl
     * ends (stopped or not), before a pass that may not finish: nothing else
     * would tell the next run, which finds it where it is now.
     */
    synchronized void filesMoved() {
        if (movedNow) return;
        movedNow = true;
        try {
            Files.write(file(MOVED_NAME).toPath(), new byte[0]);
        } catch (IOException e) {
            log("Error writing file:" + file(MOVED_NAME) + "\n");
        }
    }

    /** Whether this run or an earlier one moved or removed a file that no finished pass has followed yet. */
    boolean movesToFollow() {
        return movedNow || file(MOVED_NAME).exists();
    }

    /** A whole pass followed the moves. */
    void movesFollowed() {
        file(MOVED_NAME).delete();
        movedNow = false;
    }

    /** After a whole rewrite pass only the pages it could not rewrite stay pending. */
    void rewritesLeft(Collection<String> retry) {
        File pending = file(PENDING_NAME);
        if (retry.isEmpty()) {
            pending.delete();
            return;
        }
        try {
            Files.write(pending.toPath(), retry, StandardCharsets.UTF_8);
        } catch (IOException e) {
            log("Error writing file:" + pending + "\n");
        }
    }

    @Override
    public synchronized void close() {
        closeNotes();
        try {
            if (log != null) log.close();
        } catch (IOException e) {
            // nothing more to say
        }
        log = null;
    }

    /** Writes text (UTF-8) at the channel's position, which an appending channel keeps at its end. */
    private static void write(FileChannel note, String text) throws IOException {
        ByteBuffer b = ByteBuffer.wrap(text.getBytes(StandardCharsets.UTF_8));
        while (b.hasRemaining()) note.write(b);
    }
}
