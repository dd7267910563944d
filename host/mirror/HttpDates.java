import java.net.URLConnection;

/**
 * The times of an answer's date headers. Servers send the one fixed form
 * "Sun, 06 Nov 1994 08:49:37 GMT", read here by position; any other text is
 * left to URLConnection.getHeaderFieldDate, whose general parser costs far
 * more a request in a run too short for the compiler to get to it.
 */
final class HttpDates {
    private static final String MONTHS = "JanFebMarAprMayJunJulAugSepOctNovDec";

    private HttpDates() {}

    /** The time of header name in milliseconds, or 0 when it is absent or no date. */
    static long of(URLConnection conn, String name) {
        String v = conn.getHeaderField(name);
        if (v == null) return 0;
        long t = fixed(v);
        return t >= 0 ? t : conn.getHeaderFieldDate(name, 0);
    }

    /** The time of a date in the fixed form, or -1 for any other text. */
    static long fixed(String v) {
        if (v.length() != 29 || v.charAt(3) != ',' || v.charAt(4) != ' ' || v.charAt(7) != ' ' || v.charAt(11) != ' '
                || v.charAt(16) != ' ' || v.charAt(19) != ':' || v.charAt(22) != ':' || !v.endsWith(" GMT")) {
            return -1;
        }
        int month = MONTHS.indexOf(v.substring(8, 11));
        int day = digits(v, 5, 2);
        int year = digits(v, 12, 4);
        int hour = digits(v, 17, 2);
        int minute = digits(v, 20, 2);
        int second = digits(v, 23, 2);
        if (month < 0 || month % 3 != 0 || day < 1 || year < 1970 || hour < 0 || hour > 23 || minute < 0 || minute > 59
                || second < 0 || second > 59) {
            return -1;
        }
        month = month / 3 + 1;
        if (day > daysIn(year, month)) return -1;
        return ((daysSinceEpoch(year, month, day) * 24 + hour) * 60 + minute) * 60_000L + second * 1000L;
    }

    private static int digits(String v, int at, int n) {
        int x = 0;
        for (int i = at; i < at + n; i++) {
            char c = v.charAt(i);
            if (c < '0' || c > '9') return -1;
            x = x * 10 + (c - '0');
        }
        return x;
    }

    private static int daysIn(int year, int month) {
        if (month == 2) return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0) ? 29 : 28;
        return month == 4 || month == 6 || month == 9 || month == 11 ? 30 : 31;
    }

    /** Days from 1970-01-01 to a date of the proleptic Gregorian calendar. */
    private static long daysSinceEpoch(int year, int month, int day) {
        long y = month <= 2 ? year - 1 : year;
        long era = Math.floorDiv(y, 400);
        long yearOfEra = y - era * 400;
        long dayOfYear = (153L * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
        long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
        return era * 146_097 + dayOfEra - 719_468;
    }
}
