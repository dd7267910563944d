import static org.junit.jupiter.api.Assertions.assertEquals;

import java.io.File;
import java.util.LinkedList;
import java.util.Random;

import org.junit.jupiter.api.Test;

/** The queue's clash test against a walk of the whole queue, on random paths that share folders and prefixes. */
class QueuedFilesTest {
    private static boolean walk(LinkedList<String> queue, String p) {
        for (String q : queue) {
            if (q != null && (q.equals(p) || q.startsWith(p + File.separator) || p.startsWith(q + File.separator))) {
                return true;
            }
        }
        return false;
    }

    private static String path(Random r) {
        // few names, so that files, folders and names that only share a prefix meet
        String[] names = {"a", "ab", "b", "c", "d", "a.html", "c.html", "x7fenwix.htm"};
        StringBuilder b = new StringBuilder(File.separator + "out");
        for (int depth = 1 + r.nextInt(4); depth > 0; depth--) b.append(File.separator).append(names[r.nextInt(names.length)]);
        return b.toString();
    }

    @Test
    void clashesAsAWalkOfTheQueueFinds() {
        Random r = new Random(11);
        QueuedFiles queued = new QueuedFiles();
        LinkedList<String> plain = new LinkedList<>();
        int clashes = 0;
        int asked = 0;
        for (int step = 0; step < 20_000; step++) {
            int what = r.nextInt(10);
            if (what < 2 && plain.size() < 12) {
                String f = r.nextInt(20) == 0 ? null : path(r);
                queued.add(f);
                plain.addLast(f);
            } else if (what < 4 && !plain.isEmpty()) {
                queued.removeFirst();
                plain.removeFirst();
            } else {
                String p = path(r);
                boolean expected = walk(plain, p);
                assertEquals(expected, queued.clashes(p), p + " against " + plain);
                asked++;
                if (expected) clashes++;
            }
            assertEquals(plain.size(), queued.size());
        }
        // both answers were asked for many times
        assertEquals(true, clashes > 1000 && asked - clashes > 1000, clashes + " clashes of " + asked);
    }
}
