import com.tolvak.fenwix.NodeURL;

import java.io.File;
import java.io.RandomAccessFile;
import java.net.URL;
import java.text.SimpleDateFormat;
import java.util.Date;
import java.util.Locale;
import java.util.TimeZone;

/**
 * Child-JVM scenarios of request headers and triage: each prints a header,
 * lets the native print its diagnostic, then prints what the host saw.
 */
public class RequestScenarios {
    public static void main(String[] args) throws Exception {
        for (String scenario : args) {
            System.out.println("== " + scenario);
            File dir = Jvm.tempDir("x7-" + scenario);
            UrlLoad crawler = new UrlLoad(dir);
            crawler.fo = crawler.fmtGMT();
            NodeURL node = new NodeURL(0, -1, new URL("http://example.test/big.bin"), null);
            File local = new File(dir, "big.bin");
            node.setLoadedFilename(local.getPath());
            switch (scenario) {
                case "locale": {
                    System.out.println("default=" + Locale.getDefault() + " " + TimeZone.getDefault().getID());
                    System.out.println("platform day=" + new SimpleDateFormat("EEE").format(new Date(0)));
                    System.out.println("fmtGMT=" + crawler.fo.format(new Date(0)));
                    RecordingConnection c = new RecordingConnection(node.getURL());
                    crawler.setRequestProperties(c, node, local);
                    System.out.println("headers=" + c.headers);
                    break;
                }
                case "range": {
                    crawler.range = "bytes=1024-";
                    RecordingConnection c = new RecordingConnection(node.getURL());
                    crawler.setRequestProperties(c, node, local);
                    System.out.println("headers=" + c.headers);
                    System.out.println("range='" + crawler.range + "'");
                    break;
                }
                case "resume":
                case "resume-big": {
                    long length = "resume".equals(scenario) ? 1024 : 3_000_000_000L;
                    try (RandomAccessFile f = new RandomAccessFile(local, "rw")) {
                        f.setLength(length);  // sparse: no disk space is used
                    }
                    new File(local.getPath() + ".INCOMPLETE").createNewFile();
                    node.setResponseCode(304);
                    crawler.urlIndex = 7;
                    int result = crawler.chiap(node, null, local);
                    System.out.println("result=" + result + " range=" + crawler.range + " urlIndex=" + crawler.urlIndex);
                    local.delete();
                    break;
                }
                default:
                    throw new IllegalArgumentException(scenario);
            }
        }
    }
}
