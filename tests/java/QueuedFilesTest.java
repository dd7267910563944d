import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.File;
import java.util.LinkedList;
import java.util.Random;

import org.junit.jupiter.api.Test;

/** The queue's clash test against a walk of the whole queue, on random paths that share folders and prefixes. */
class QueuedFilesTest {
    @Test
    void clashesAsAWalkOfTheQueueFinds() {
        Random r = new Random(11);
        String[] names = {"a", "ab", "b", "c", "d", "a.html", "c.html", "x7fenwix.htm"};
        QueuedFiles queued = new QueuedFiles();
        LinkedList<String> plain = new LinkedList<>();
        int[] answers = new int[2];
        for (int step = 0; step < 20_000; step++) {
            StringBuilder b = new StringBuilder(File.separator + "out");
            for (int d = 1 + r.nextInt(4); d > 0; d--) b.append(File.separator).append(names[r.nextInt(names.length)]);
            String p = b.toString();
            int what = r.nextInt(10);
            if (what < 2 && plain.size() < 12) {
                String f = r.nextInt(20) == 0 ? null : p;
                queued.add(f);
                plain.addLast(f);
            } else if (what < 4 && !plain.isEmpty()) {
                queued.removeFirst();
                plain.removeFirst();
            } else {
                boolean walked = plain.stream().anyMatch(q -> q != null && (q.equals(p)
                        || q.startsWith(p + File.separator) || p.startsWith(q + File.separator)));
                assertEquals(walked, queued.clashes(p), p + " against " + plain);
                answers[walked ? 1 : 0]++;
            }
        }
        assertTrue(answers[0] > 1000 && answers[1] > 1000, "both answers were tried");
    }
}
