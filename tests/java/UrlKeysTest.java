import static org.junit.jupiter.api.Assertions.assertEquals;

import java.math.BigInteger;
import java.net.URL;
import java.util.HashMap;
import java.util.Map;
import java.util.Random;

import org.junit.jupiter.api.Test;

/** The fingerprinted key set answers as a map of the key texts would, across its growth. */
class UrlKeysTest {
    @Test
    void answersAsAMapOfKeyTexts() throws Exception {
        Random r = new Random(11);
        UrlKeys keys = new UrlKeys();
        Map<String, Integer> model = new HashMap<>();
        for (int step = 0; step < 40_000; step++) {
            // few enough URLs that most steps meet one again, with and without a fragment
            String text = "http://h" + r.nextInt(3) + "/p/" + r.nextInt(4_000) + (r.nextBoolean() ? ".html" : "/")
                    + (r.nextInt(4) == 0 ? "#f" + r.nextInt(3) : "");
            URL url = new URL(text);
            boolean kind = r.nextBoolean();
            int value = r.nextInt(6);
            String k = kind + " " + UrlLoad.key(url);
            Integer kept = model.get(k);
            boolean want;
            if (r.nextBoolean()) {
                want = kept == null;
                if (want) model.put(k, value);
                assertEquals(want, keys.putIfAbsent(kind, url, value), "putIfAbsent " + k);
            } else {
                want = kept == null || kept > value;
                if (want) model.put(k, value);
                assertEquals(want, keys.putIfLower(kind, url, value), "putIfLower " + k);
            }
            Integer now = model.get(k);
            assertEquals(now == null ? UrlKeys.ABSENT : now, keys.get(kind, url), k);
            assertEquals(model.size(), keys.size());
        }
        assertEquals(UrlKeys.ABSENT, keys.get(true, new URL("http://h0/never.html")));
    }

    @Test
    void keysThatDifferInLengthOrNulsOnlyStayApart() throws Exception {
        UrlKeys keys = new UrlKeys();
        String[] tails = {"", "\u0000", "\u0000\u0000", "\u0000\u0000\u0000", "\u0000\u0000\u0000\u0000", "a",
            "a\u0000", "\u0000a", "ab", "ab\u0000", "abc", "abc\u0000", "\uffff\uffff\uffff", "\uffff\uffff"};
        for (String t : tails) {
            assertEquals(true, keys.putIfAbsent(false, new URL("http://h/" + t + "/z"), 1), t);
            assertEquals(true, keys.putIfAbsent(true, new URL("http://h/" + t + "/z"), 1), t);
        }
        // keys that differ in their last character only, at every place of it in a group of three
        for (int n = 0; n < 6; n++) {
            for (String last : new String[] {"y", "z"}) {
                assertEquals(true, keys.putIfAbsent(false, new URL("http://h/" + "abcde".substring(0, n) + last), 1));
            }
        }
        // a key cut at its fragment may end in a NUL character
        assertEquals(true, keys.putIfAbsent(false, new URL("http://h/a\u0000#f"), 1));
        assertEquals(true, keys.putIfAbsent(false, new URL("http://h/a"), 1));
        assertEquals(2 * tails.length + 14, keys.size());
    }

    @Test
    void multipliesModuloTheMersennePrime() {
        BigInteger p = BigInteger.ONE.shiftLeft(61).subtract(BigInteger.ONE);
        Random r = new Random(3);
        long[] edges = {0, 1, 2, (1L << 61) - 2, (1L << 60), (1L << 32) + 7};
        for (int i = 0; i < 20_000; i++) {
            long a = i < 36 ? edges[i / 6] : Math.floorMod(r.nextLong(), (1L << 61) - 1);
            long b = i < 36 ? edges[i % 6] : Math.floorMod(r.nextLong(), (1L << 61) - 1);
            long want = BigInteger.valueOf(a).multiply(BigInteger.valueOf(b)).mod(p).longValueExact();
            assertEquals(want, UrlKeys.mulMod(a, b), a + " * " + b);
        }
    }
}
