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
        int from = 0;
        for (int at = text.indexOf("://"); at >= 0; at = text.indexOf("://", Math.max(at + 1, from))) {
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
            if (test.test(text.substring(start, end))) return true;
            from = end;
        }
        return false;
    }

    private static boolean isAsciiIgnoringCase(String text, int at, String lower) {
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
}
