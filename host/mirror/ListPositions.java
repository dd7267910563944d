import java.util.Arrays;

/**
 * The positions of a list by the hash of a text each (a URL's key, a local
 * file's path), added in list order: where a search for a text has to look,
 * instead of at the whole list. Eight bytes a position; the caller checks each
 * candidate, so a hash that another text shares only costs a look.
 */
final class ListPositions {
    private int[] hashes = new int[64];
    /** The position before with the same bucket, -1 for none. */
    private int[] before = new int[64];
    /** The last position of each bucket, -1 for none. */
    private int[] last = empty(128);
    private int size;

    private static int[] empty(int n) {
        int[] a = new int[n];
        Arrays.fill(a, -1);
        return a;
    }

    /** Positions added so far: the next one added is this. */
    int size() {
        return size;
    }

    /** Adds the next position under text. */
    void add(String text) {
        if (size == hashes.length) {
            hashes = Arrays.copyOf(hashes, size * 2);
            before = Arrays.copyOf(before, size * 2);
        }
        if (size >= last.length / 2) rebucket(last.length * 2);
        int h = text.hashCode();
        int b = bucket(h);
        hashes[size] = h;
        before[size] = last[b];
        last[b] = size++;
    }

    /** The positions from on that may have been added under text, lowest first. */
    int[] candidates(String text, int from) {
        int h = text.hashCode();
        int[] found = new int[4];
        int n = 0;
        for (int p = last[bucket(h)]; p >= from; p = before[p]) {
            if (hashes[p] != h) continue;
            if (n == found.length) found = Arrays.copyOf(found, n * 2);
            found[n++] = p;
        }
        int[] up = new int[n];
        for (int i = 0; i < n; i++) up[i] = found[n - 1 - i];
        return up;
    }

    private int bucket(int h) {
        return (h ^ (h >>> 16)) & (last.length - 1);
    }

    private void rebucket(int buckets) {
        last = empty(buckets);
        // in list order, so that every chain runs from the last position down
        for (int p = 0; p < size; p++) {
            int b = bucket(hashes[p]);
            before[p] = last[b];
            last[b] = p;
        }
    }
}
