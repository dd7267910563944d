import java.net.URL;
import java.util.concurrent.ThreadLocalRandom;

/**
 * URL keys (the URL's text without its fragment, in one of two kinds) with
 * a small number each, kept as a 122-bit fingerprint instead of the text:
 * 20 bytes a slot where a map of strings took about 170 a key. Two keys share
 * a fingerprint only when both of its polynomial hashes, modulo 2^61-1 at
 * bases drawn at random for each set, agree: for keys of up to L characters
 * that happens with a chance under (L / 2^61)^2 a pair, whatever the site
 * chose its URLs to be (about 10^-21 for a million URLs of 200 characters).
 * Not thread-safe.
 */
final class UrlKeys {
    static final int ABSENT = Integer.MIN_VALUE;

    private static final long P = (1L << 61) - 1;
    /** Set on every slot in use; a fingerprint half is below 2^61. */
    private static final long USED = 1L << 62;

    private final long baseA;
    private final long baseB;
    private long[] a = new long[64];
    private long[] b = new long[64];
    private int[] values = new int[64];
    private int size;
    /** The characters of the key in hand. */
    private char[] chars = new char[256];

    UrlKeys() {
        ThreadLocalRandom r = ThreadLocalRandom.current();
        baseA = r.nextLong(1L << 32, P);
        baseB = r.nextLong(1L << 32, P);
    }

    int size() {
        return size;
    }

    /** The number kept for the key of url in kind, or ABSENT. */
    int get(boolean kind, URL url) {
        int end = key(url);
        long ha = hash(chars, end, baseA, kind);
        long hb = hash(chars, end, baseB, kind);
        int i = slot(ha, hb);
        return a[i] == 0 ? ABSENT : values[i];
    }

    /** Keeps value for the key of url in kind unless a key is kept; true when it was not. */
    boolean putIfAbsent(boolean kind, URL url, int value) {
        return put(kind, url, value, false);
    }

    /**
     * Keeps value for the key of url in kind unless as low a value is kept;
     * true when the key was absent or kept a higher value.
     */
    boolean putIfLower(boolean kind, URL url, int value) {
        return put(kind, url, value, true);
    }

    private boolean put(boolean kind, URL url, int value, boolean ifLower) {
        int end = key(url);
        long ha = hash(chars, end, baseA, kind);
        long hb = hash(chars, end, baseB, kind);
        int i = slot(ha, hb);
        if (a[i] != 0) {
            if (!ifLower || values[i] <= value) return false;
            values[i] = value;
            return true;
        }
        if (++size > a.length / 2) {
            grow();
            i = slot(ha, hb);
        }
        a[i] = ha | USED;
        b[i] = hb;
        values[i] = value;
        return true;
    }

    /**
     * The key's characters three at a time as the digits of a polynomial,
     * its length the last digit: the digits tell every key apart, and the
     * multiplications, the cost of a key, are a third of one a character.
     */
    private long hash(char[] c, int end, long base, boolean kind) {
        long h = kind ? 1 : 2;
        int i = 0;
        for (; i + 3 <= end; i += 3) {
            long digit = c[i] | (long) c[i + 1] << 16 | (long) c[i + 2] << 32;
            h = reduce(mulMod(h, base) + digit);
        }
        if (i < end) {
            long digit = c[i] | (i + 1 < end ? (long) c[i + 1] << 16 : 0);
            h = reduce(mulMod(h, base) + digit);
        }
        return reduce(mulMod(h, base) + end);
    }

    /** The characters of the key of url (UrlLoad.key), in chars (grown to hold them); their count. */
    private int key(URL url) {
        String s = UrlLoad.key(url);
        int end = s.length();
        if (chars.length < end) chars = new char[Math.max(end, chars.length * 2)];
        // one copy instead of a call a character
        s.getChars(0, end, chars, 0);
        return end;
    }

    /** a * b modulo P, for a and b below P. */
    static long mulMod(long a, long b) {
        long lo = a * b;
        long hi = Math.multiplyHigh(a, b);
        // 2^64 = 8 * 2^61 and 2^61 = 1, modulo P
        return reduce((lo & P) + (lo >>> 61) + (hi << 3));
    }

    /** x modulo P, for x below 2^63. */
    private static long reduce(long x) {
        x = (x & P) + (x >>> 61);
        return x >= P ? x - P : x;
    }

    /** The slot of a fingerprint: its own, or the empty one where it would go. */
    private int slot(long ha, long hb) {
        int mask = a.length - 1;
        long tagged = ha | USED;
        for (int i = (int) (ha ^ (ha >>> 29) ^ hb) & mask; ; i = (i + 1) & mask) {
            if (a[i] == 0 || a[i] == tagged && b[i] == hb) return i;
        }
    }

    private void grow() {
        long[] oldA = a;
        long[] oldB = b;
        int[] oldV = values;
        a = new long[oldA.length * 2];
        b = new long[oldA.length * 2];
        values = new int[oldA.length * 2];
        for (int j = 0; j < oldA.length; j++) {
            if (oldA[j] == 0) continue;
            int i = slot(oldA[j] & ~USED, oldB[j]);
            a[i] = oldA[j];
            b[i] = oldB[j];
            values[i] = oldV[j];
        }
    }
}
