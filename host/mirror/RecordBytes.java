import java.io.IOException;
import java.util.Arrays;

/**
 * The bytes of the link records: unsigned varints (small numbers, the common
 * case, take one byte), and strings as their UTF-16 units, each a varint, so
 * that any unit comes back as it was (a lone surrogate or a NUL too), after
 * the count of units they share with the string before them.
 */
final class RecordBytes {
    private RecordBytes() {}

    static int zigzag(int v) {
        return (v << 1) ^ (v >> 31);
    }

    static int unzigzag(int v) {
        return (v >>> 1) ^ -(v & 1);
    }

    /** A growing buffer to write into. */
    static final class Out {
        byte[] buf = new byte[256];
        int len;

        void reset() {
            len = 0;
        }

        private void room(int n) {
            if (len + n > buf.length) buf = Arrays.copyOf(buf, Math.max(buf.length * 2, len + n));
        }

        void u8(int b) {
            room(1);
            buf[len++] = (byte) b;
        }

        void varint(int v) {
            varlong(v & 0xFFFF_FFFFL);
        }

        void varlong(long v) {
            room(10);
            while ((v & ~0x7FL) != 0) {
                buf[len++] = (byte) ((v & 0x7F) | 0x80);
                v >>>= 7;
            }
            buf[len++] = (byte) v;
        }

        void int32(int v) {
            for (int s = 24; s >= 0; s -= 8) u8(v >>> s);
        }

        void bytes(byte[] b) {
            room(b.length);
            System.arraycopy(b, 0, buf, len, b.length);
            len += b.length;
        }

        void string(String s, String prev) {
            int k = 0;
            int m = Math.min(s.length(), prev.length());
            while (k < m && s.charAt(k) == prev.charAt(k)) k++;
            varint(k);
            varint(s.length() - k);
            for (int i = k; i < s.length(); i++) varint(s.charAt(i));
        }
    }

    /** Reads what Out wrote; anything out of place, or past the end, is an IOException. */
    static final class In {
        private final byte[] buf;
        private int pos;

        In(byte[] buf) {
            this.buf = buf;
        }

        static IOException damaged() {
            return new IOException("damaged link records");
        }

        boolean atEnd() {
            return pos == buf.length;
        }

        int u8() throws IOException {
            if (pos >= buf.length) throw damaged();
            return buf[pos++] & 0xFF;
        }

        long varlong() throws IOException {
            long v = 0;
            for (int shift = 0; shift < 64; shift += 7) {
                int b = u8();
                v |= (long) (b & 0x7F) << shift;
                if (b < 0x80) return v;
            }
            throw damaged();
        }

        int varint() throws IOException {
            long v = varlong();
            if (v >>> 32 != 0) throw damaged();
            return (int) v;
        }

        /** A number below n: an id into a table of n. */
        int below(int n) throws IOException {
            int v = varint();
            if (v < 0 || v >= n) throw damaged();
            return v;
        }

        /** A count of items of a byte or more each: never more than the bytes left. */
        int count() throws IOException {
            return below(buf.length - pos + 1);
        }

        int int32() throws IOException {
            int v = 0;
            for (int i = 0; i < 4; i++) v = v << 8 | u8();
            return v;
        }

        byte[] bytes(int n) throws IOException {
            if (n > buf.length - pos) throw damaged();
            byte[] b = Arrays.copyOfRange(buf, pos, pos + n);
            pos += n;
            return b;
        }

        String string(String prev) throws IOException {
            int k = varint();
            if (k < 0 || k > prev.length()) throw damaged();
            int n = count();
            char[] c = new char[k + n];
            prev.getChars(0, k, c, 0);
            for (int i = k; i < c.length; i++) c[i] = (char) below(0x10000);
            return new String(c);
        }
    }
}
