import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.ArrayList;
import java.util.List;
import java.util.Random;

import org.junit.jupiter.api.Test;

/** The index's candidates hold every position of a text from a point on, lowest first, across its growth. */
class ListPositionsTest {
    @Test
    void candidatesHoldEveryPositionOfTheTextInOrder() {
        Random r = new Random(5);
        ListPositions index = new ListPositions();
        List<String> texts = new ArrayList<>();
        // "Aa" and "BB" share a hash: a shared hash may add candidates, never lose one
        String[] words = {"Aa", "BB", "http://h/a", "http://h/b", "", "/out/a.html"};
        int checked = 0;
        for (int step = 0; step < 5_000; step++) {
            String t = r.nextInt(3) == 0 ? words[r.nextInt(words.length)] : "u" + r.nextInt(2_000);
            index.add(t);
            texts.add(t);
            if (step % 7 != 0) continue;
            String asked = texts.get(r.nextInt(texts.size()));
            int from = r.nextInt(texts.size());
            int[] got = index.candidates(asked, from);
            List<Integer> want = new ArrayList<>();
            for (int i = from; i < texts.size(); i++) {
                if (texts.get(i).hashCode() == asked.hashCode()) want.add(i);
            }
            assertArrayEquals(want.stream().mapToInt(Integer::intValue).toArray(), got, asked + " from " + from);
            checked += got.length;
        }
        assertTrue(checked > 1_000, "candidates found: " + checked);
    }
}
