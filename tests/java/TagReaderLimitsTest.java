import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.File;
import java.util.regex.Matcher;
import java.util.regex.Pattern;

import org.junit.jupiter.api.Test;

/** Pages beyond the thread's stack and the JVM's local reference table, read in a child JVM. */
class TagReaderLimitsTest {

    @Test
    void millionNestedAnchorsEndWithTheCloseDiagnosticAndNoScan() throws Exception {
        File dir = Jvm.tempDir("nested");
        String out = Jvm.run("TagReaderLimits", "nested", dir.getPath(), "1000000").ok().out;
        Matcher m = Pattern.compile("depth=(\\d+)\n").matcher(out);
        assertTrue(m.find(), out);
        int depth = Integer.parseInt(m.group(1));
        // html, body, then anchors until the stack gave out
        assertTrue(depth > 100 && depth < 1_000_002, "depth " + depth);
        System.out.println("nested anchors: depth reached " + depth);
        assertEquals(String.join("\n",
                "direct: StackOverflowError",
                "depth=" + depth,
                "IOException occured in InputStreamReader.close().",
                "calls=[] baseURL=null nodes=0",
                "then: nodes=[http://nested.test/q.htm]",
                ""), out);
    }

    @Test
    void tenMegabytesOfTextAndOfOneTag() throws Exception {
        File dir = Jvm.tempDir("bigtext");
        String out = Jvm.run("TagReaderLimits", "bigtext", dir.getPath(), "10").ok().out;
        assertEquals("text=true tag=true children=1\n", out);
    }
}
