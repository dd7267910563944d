import static org.junit.jupiter.api.Assertions.assertEquals;

import java.text.SimpleDateFormat;
import java.util.Date;
import java.util.Locale;
import java.util.Random;
import java.util.TimeZone;

import org.junit.jupiter.api.Test;

/** The fixed-form reader gives the instant the platform's general parser gives, and declines every other text. */
class HttpDatesTest {
    @Test
    @SuppressWarnings("deprecation")
    void readsTheFixedFormAsTheGeneralParserDoes() {
        SimpleDateFormat f = new SimpleDateFormat("EEE, dd MMM yyyy HH:mm:ss 'GMT'", Locale.US);
        f.setTimeZone(TimeZone.getTimeZone("GMT"));
        Random r = new Random(7);
        long[] edges = {0, 951_782_400_000L, 4_107_542_399_000L, 1_709_164_800_000L, 253_402_300_799_000L};
        for (int i = 0; i < 20_000; i++) {
            // whole seconds from 1970 to 2200, the leap days and year ends among them
            long t = i < edges.length ? edges[i] : (r.nextLong() & Long.MAX_VALUE) % 7_258_118_400L * 1000;
            String text = f.format(new Date(t));
            assertEquals(t, HttpDates.fixed(text), text);
            assertEquals(Date.parse(text), HttpDates.fixed(text), text);
        }
    }

    @Test
    void declinesOtherTexts() {
        String[] others = {"", "Sun, 06 Nov 1994 08:49:37 UTC", "Sunday, 06-Nov-94 08:49:37 GMT",
            "Sun Nov  6 08:49:37 1994", "Sun, 6 Nov 1994 08:49:37 GMT", "Sun, 30 Feb 1994 08:49:37 GMT",
            "Sun, 29 Feb 1900 08:49:37 GMT", "Sun, 06 Nox 1994 08:49:37 GMT", "Sun, 06 Nov 1994 24:00:00 GMT",
            "Sun, 06 Nov 1994 08:60:37 GMT", "Sun, 06 Nov 1994 0-:49:37 GMT", "Sun, 06 anF 1994 08:49:37 GMT",
            "Sun, 06 Nov 1969 08:49:37 GMT"};
        for (String o : others) assertEquals(-1, HttpDates.fixed(o), o);
        assertEquals(784_111_777_000L, HttpDates.fixed("Sun, 06 Nov 1994 08:49:37 GMT"));
    }
}
