import java.util.regex.Pattern;

/**
 * A pattern of --include and --exclude on a URL's path. Without a '/' it is
 * matched against the file name alone, with one against the whole path from
 * its first '/'. '*' is any run of characters but '/', '**' any run at all,
 * '?' one character but '/'; a pattern ending in '/' takes the folder and all
 * below it.
 */
final class PathPattern {
    private final String text;
    private final boolean nameOnly;
    private final Pattern regex;

    PathPattern(String text) {
        this.text = text;
        nameOnly = text.indexOf('/') < 0;
        String p = nameOnly || text.startsWith("/") || text.startsWith("*") ? text : "/" + text;
        if (p.endsWith("/")) p += "**";
        StringBuilder r = new StringBuilder();
        for (int i = 0; i < p.length(); i++) {
            char c = p.charAt(i);
            if (c == '*' && i + 1 < p.length() && p.charAt(i + 1) == '*') {
                r.append(".*");
                i++;
            } else if (c == '*') {
                r.append("[^/]*");
            } else if (c == '?') {
                r.append("[^/]");
            } else {
                r.append(Pattern.quote(String.valueOf(c)));
            }
        }
        regex = Pattern.compile(r.toString(), Pattern.DOTALL);
    }

    /** Whether the URL path (no query) matches. */
    boolean matches(String path) {
        String subject = nameOnly ? path.substring(path.lastIndexOf('/') + 1) : path;
        return regex.matcher(subject).matches();
    }

    @Override
    public String toString() {
        return text;
    }
}
