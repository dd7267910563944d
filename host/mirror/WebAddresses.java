import java.nio.charset.StandardCharsets;

/** Web addresses ("http://", "https://") as they stand in the text of a page. */
final class WebAddresses {
    private WebAddresses() {}

    /**
     * Whether test holds for any web address in text: "http://" or "https://"
     * (letters in any case) and what follows up to a blank, a quote or an angle
     * bracket, taken from left to right. Every saved page of an update is
     * searched, so this looks for "://" rather than running a pattern at every
     * character.
     */
    static boolean any(String text, java.util.function.Predicate<String> test) {
        return any((CharSequence) text, test);
    }

    /** As any(text), over a document's bytes read as ISO-8859-1: no copy of them as text. */
    static boolean any(byte[] bytes, java.util.function.Predicate<String> test) {
        return any(new Latin1(bytes), test);
    }

    private static boolean any(CharSequence text, java.util.function.Predicate<String> test) {
        int from = 0;
        for (int at = indexOfScheme(text, 0); at >= 0; at = indexOfScheme(text, Math.max(at + 1, from))) {
            int start;
            if (at >= from + 5 && isAsciiIgnoringCase(text, at - 5, "https")) {
                start = at - 5;
            } else if (at >= from + 4 && isAsciiIgnoringCase(text, at - 4, "http")) {
                start = at - 4;
            } else {
                continue;
            }
            int end = at + 3;
            while (end < text.length() && !endsAddress(text.charAt(end))) end++;
            if (end == at + 3) continue;
            if (test.test(text.subSequence(start, end).toString())) return true;
            from = end;
        }
        return false;
    }

    /** Where "://" stands from index from on, or -1. */
    private static int indexOfScheme(CharSequence text, int from) {
        if (text instanceof String) return ((String) text).indexOf("://", from);
        for (int i = from, last = text.length() - 3; i <= last; i++) {
            if (text.charAt(i) == ':' && text.charAt(i + 1) == '/' && text.charAt(i + 2) == '/') return i;
        }
        return -1;
    }

    private static boolean isAsciiIgnoringCase(CharSequence text, int at, String lower) {
        for (int i = 0; i < lower.length(); i++) {
            char c = text.charAt(at + i);
            if (c >= 'A' && c <= 'Z') c = (char) (c + ('a' - 'A'));
            if (c != lower.charAt(i)) return false;
        }
        return true;
    }

    private static boolean endsAddress(char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == 0x0B || c == '\f' || c == '\r' || c == '"' || c == '\''
                || c == '<' || c == '>';
    }

    /** Bytes seen as the characters ISO-8859-1 gives them, one each. */
    private static final class Latin1 implements CharSequence {
        private final byte[] b;
        private final int offset;
        private final int length;

        Latin1(byte[] b) {
            this(b, 0, b.length);
        }

        private Latin1(byte[] b, int offset, int length) {
            this.b = b;
            this.offset = offset;
            this.length = length;
        }

        @Override
        public int length() {
            return length;
        }

        @Override
        public char charAt(int i) {
            return (char) (b[offset + i] & 0xff);
        }

        @Override
        public CharSequence subSequence(int start, int end) {
            return new Latin1(b, offset + start, end - start);
        }

        @Override
        public String toString() {
            return new String(b, offset, length, StandardCharsets.ISO_8859_1);
        }
    }
}
