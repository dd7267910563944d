import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

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
            URL url = new URL("http://h" + r.nextInt(3) + "/p/" + r.nextInt(4_000) + (r.nextBoolean() ? ".html" : "/")
                    + (r.nextInt(4) == 0 ? "#f" + r.nextInt(3) : ""));
            boolean kind = r.nextBoolean();
            boolean ifLower = r.nextBoolean();
            int value = r.nextInt(6);
            String k = kind + " " + UrlLoad.key(url);
            Integer kept = model.get(k);
            boolean want = kept == null || ifLower && kept > value;
            if (want) model.put(k, value);
            assertEquals(want, ifLower ? keys.putIfLower(kind, url, value) : keys.putIfAbsent(kind, url, value), k);
            assertEquals((int) model.get(k), keys.get(kind, url), k);
            assertEquals(model.size(), keys.size());
        }
        assertEquals(UrlKeys.ABSENT, keys.get(true, new URL("http://h0/never.html")));
    }

    @Test
    void keysThatDifferInLengthOrNulsOnlyStayApart() throws Exception {
        UrlKeys keys = new UrlKeys();
        // NULs in every place of a group of three; a last character that differs; a key cut before a NUL at its end
        String[] paths = {"/z", "\u0000/z", "\u0000\u0000/z", "\u0000\u0000\u0000/z", "a\u0000/z", "\u0000a/z", "ab/z",
            "ab\u0000/z", "y", "z", "ay", "az", "aby", "abz", "abcy", "abcz", "a\u0000#f", "a"};
        for (String p : paths) {
            assertTrue(keys.putIfAbsent(false, new URL("http://h/" + p), 1), p);
            assertTrue(keys.putIfAbsent(true, new URL("http://h/" + p), 1), p);
        }
        assertEquals(2 * paths.length, keys.size());
    }

    @Test
    void multipliesModuloTheMersennePrime() {
        BigInteger p = BigInteger.ONE.shiftLeft(61).subtract(BigInteger.ONE);
        Random r = new Random(3);
        long[] edges = {0, 1, 2, (1L << 61) - 2, (1L << 60), (1L << 32) + 7};
        for (int i = 0; i < 20_000; i++) {
            long a = i < 36 ? edges[i / 6] : Math.floorMod(r.nextLong(), (1L << 61) - 1);
            long b = i < 36 ? edges[i % 6] : Math.floorMod(r.nextLong(), (1L << 61) - 1);
            assertEquals(BigInteger.valueOf(a).multiply(BigInteger.valueOf(b)).mod(p).longValueExact(),
                    UrlKeys.mulMod(a, b), a + " * " + b);
        }
    }
}
