import java.io.File;
import java.util.ArrayDeque;
import java.util.HashMap;
import java.util.Map;

/**
 * Files in a queue, first in first out, and whether a path clashes with one
 * of them: is one of them, a folder of one, or inside one. Each file and each
 * folder above it is counted, so that the question is a few lookups however
 * long the queue.
 */
final class QueuedFiles {
    private final ArrayDeque<String> queue = new ArrayDeque<>();
    private final Map<String, Integer> files = new HashMap<>();
    private final Map<String, Integer> folders = new HashMap<>();

    /** Adds a file at the end; null stands for no file and clashes with nothing. */
    void add(String file) {
        queue.addLast(file == null ? "" : file);
        counted(file, 1);
    }

    /** Takes the first file off. */
    void removeFirst() {
        String file = queue.removeFirst();
        counted(file.isEmpty() ? null : file, -1);
    }

    int size() {
        return queue.size();
    }

    /** Whether a file of the queue is p, a folder of p, or a file in folder p. */
    boolean clashes(String p) {
        if (files.containsKey(p) || folders.containsKey(p)) return true;
        for (String f = folderOf(p); f != null; f = folderOf(f)) {
            if (files.containsKey(f)) return true;
        }
        return false;
    }

    private void counted(String file, int change) {
        if (file == null) return;
        count(files, file, change);
        for (String f = folderOf(file); f != null; f = folderOf(f)) count(folders, f, change);
    }

    private static void count(Map<String, Integer> counts, String key, int change) {
        counts.merge(key, change, (a, b) -> a + b == 0 ? null : a + b);
    }

    /** The path up to its last separator; null at the top. */
    private static String folderOf(String path) {
        int i = path.lastIndexOf(File.separatorChar);
        return i > 0 ? path.substring(0, i) : null;
    }
}
