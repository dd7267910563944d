import java.util.Locale;

/** Reads names and attributes out of the text of one tag, as a browser would. */
final class TagText {
    private TagText() {}

    static String name(String tag) {
        if (tag.length() < 2 || tag.charAt(0) != '<') return "";
        int end = tag.length();
        if (tag.charAt(end - 1) == '>') end--;
        return tag.substring(1, nameEnd(tag, 1, end));
    }

    /**
     * Where a tag's name that starts at from ends, before end: its first blank,
     * '/' or '>' after a leading '/' (an end tag's name keeps its '/').
     */
    static int nameEnd(String text, int from, int end) {
        int i = from;
        if (i < end && text.charAt(i) == '/') i++;
        while (i < end) {
            char c = text.charAt(i);
            if (Character.isWhitespace(c) || c == '/' || c == '>') break;
            i++;
        }
        return i;
    }

    /** Position of one attribute: name start, value start and end (-1 when it has no value). */
    private static final class Span {
        int valueStart = -1, valueEnd = -1, nameEnd;
    }

    private static Span find(String tag, String wanted) {
        int end = tag.length();
        if (end > 0 && tag.charAt(end - 1) == '>') end--;
        int i = 1;
        // skip the tag name, which ends where name() ends it
        if (i < end && tag.charAt(i) == '/') i++;
        while (i < end && !Character.isWhitespace(tag.charAt(i)) && tag.charAt(i) != '/') i++;
        while (i < end) {
            while (i < end && (Character.isWhitespace(tag.charAt(i)) || tag.charAt(i) == '/')) i++;
            int nameStart = i;
            while (i < end && !Character.isWhitespace(tag.charAt(i)) && tag.charAt(i) != '=' && tag.charAt(i) != '/') i++;
            if (i == nameStart) {
                i++;
                continue;
            }
            String name = tag.substring(nameStart, i);
            Span s = new Span();
            s.nameEnd = i;
            int j = i;
            while (j < end && Character.isWhitespace(tag.charAt(j))) j++;
            if (j < end && tag.charAt(j) == '=') {
                j++;
                while (j < end && Character.isWhitespace(tag.charAt(j))) j++;
                s.valueStart = j;
                if (j < end && (tag.charAt(j) == '"' || tag.charAt(j) == '\'')) {
                    int close = tag.indexOf(tag.charAt(j), j + 1);
                    j = close < 0 || close >= end ? end : close + 1;
                } else {
                    while (j < end && !Character.isWhitespace(tag.charAt(j))) j++;
                }
                s.valueEnd = j;
                i = j;
            }
            if (name.toLowerCase(Locale.ROOT).equals(wanted.toLowerCase(Locale.ROOT))) return s;
        }
        return null;
    }

    static String attribute(String tag, String name) {
        Span s = find(tag, name);
        if (s == null) return null;
        if (s.valueStart < 0) return "";
        return tag.substring(s.valueStart, s.valueEnd);
    }

    static String replaceAttribute(String tag, String name, String value) {
        Span s = find(tag, name);
        if (s == null) return null;
        String quoted = quote(value);
        if (s.valueStart < 0) return tag.substring(0, s.nameEnd) + "=" + quoted + tag.substring(s.nameEnd);
        return tag.substring(0, s.valueStart) + quoted + tag.substring(s.valueEnd);
    }

    private static String quote(String v) {
        if (v.indexOf('"') < 0) return '"' + v + '"';
        if (v.indexOf('\'') < 0) return "'" + v + "'";
        return '"' + v.replace("\"", "&quot;") + '"';
    }
}
