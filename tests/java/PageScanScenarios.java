import java.io.File;
import java.net.URL;

/** Child JVM scenarios of the page scan whose diagnostics go to standard output. */
public class PageScanScenarios {
    public static void main(String[] args) throws Exception {
        File dir = new File(args[0]);
        ScanFixture.Crawler crawler = new ScanFixture.Crawler(dir);
        URL before = new URL("http://before.test/");
        crawler.baseURL = before;

        // a saved file that is gone
        ScanFixture.Page gone = new ScanFixture.Page(new URL("http://gone.test/a/p.htm"), new File(dir, "gone/p.htm"));
        crawler.lURL = gone;
        crawler.pHTML(gone);
        System.out.println("node calls=" + gone.calls);
        System.out.println("crawler calls=" + crawler.calls);
        System.out.println("log=" + ScanFixture.escaped(crawler.getLog()));
        System.out.println("baseURL kept=" + (crawler.baseURL == before));

        // a saved name that is a folder cannot be opened either
        File folder = new File(dir, "folder.htm");
        folder.mkdirs();
        ScanFixture.Page dirPage = new ScanFixture.Page(new URL("http://gone.test/folder.htm"), folder);
        crawler.pHTML(dirPage);
        System.out.println("log=" + ScanFixture.escaped(crawler.getLog()).replace(dir.getPath(), "DIR"));
    }
}
