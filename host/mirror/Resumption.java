import java.net.URLConnection;
import java.util.regex.Matcher;
import java.util.regex.Pattern;

/**
 * Whether a 206 answer may be appended to the part on disk. The server is not
 * believed: its Content-Range must start exactly where the part ends, for a
 * request that asked for a range, and agree with its own total and length.
 */
final class Resumption {
    enum Verdict { APPEND, WHOLE, BAD }

    private static final Pattern CONTENT_RANGE = Pattern.compile("\\s*bytes\\s+(\\d+)-(\\d+)/(\\d+|\\*)\\s*");

    private Resumption() {}

    /** The answer's ETag when it is strong (a weak one cannot validate a range); else null. */
    static String strongEtag(URLConnection conn) {
        String e = conn.getHeaderField("ETag");
        if (e == null) return null;
        e = e.trim();
        return e.startsWith("\"") && e.endsWith("\"") && e.length() >= 2 ? e : null;
    }

    /**
     * APPEND when the answer is the rest of the part (have bytes on disk),
     * WHOLE when it carries the whole body from its first byte, BAD for
     * anything else, with why in reason[0].
     */
    static Verdict check(URLConnection conn, boolean askedRange, long have, String validator, String[] reason) {
        String header = conn.getHeaderField("Content-Range");
        Matcher m = header == null ? null : CONTENT_RANGE.matcher(header);
        if (m == null || !m.matches()) {
            reason[0] = "206 with Content-Range " + (header == null ? "missing" : "'" + header + "'");
            return Verdict.BAD;
        }
        long first;
        long last;
        long total;
        try {
            first = Long.parseLong(m.group(1));
            last = Long.parseLong(m.group(2));
            total = m.group(3).equals("*") ? -1 : Long.parseLong(m.group(3));
        } catch (NumberFormatException e) {
            reason[0] = "206 with Content-Range '" + header + "'";
            return Verdict.BAD;
        }
        long length = conn.getContentLengthLong();
        boolean sane = first <= last && (total < 0 || last < total) && (length < 0 || length == last - first + 1);
        String etag = strongEtag(conn);
        boolean sameBody = validator == null || etag == null || validator.equals(etag);
        if (sane && sameBody && askedRange && first == have) return Verdict.APPEND;
        if (sane && first == 0 && total >= 0 && last == total - 1) return Verdict.WHOLE;
        reason[0] = "206 for bytes " + first + "-" + last + "/" + (total < 0 ? "*" : total)
                + (askedRange ? " where the part has " + have + " bytes" : " to a request without a range")
                + (sameBody ? "" : ", ETag " + etag + " instead of " + validator);
        return Verdict.BAD;
    }
}
