import com.tolvak.fenwix.NodeURL;

import java.io.File;
import java.net.URL;

/**
 * One run of the crawler for one URL into a mirror root, as a program run
 * would do it, in a child JVM so that the natives' diagnostics can be read:
 * each request of the node prints its outcome after whatever the natives
 * printed. Arguments: root, URL.
 */
public class TransferFaultScenarios {
    public static void main(String[] args) throws Exception {
        File root = new File(args[0]);
        UrlLoad crawler = new UrlLoad(root);
        NodeURL node = crawler.addStart(new URL(args[1]));
        File local = crawler.localFileFor(node.getURL());
        File marker = new File(local.getPath() + ".INCOMPLETE");
        for (int attempt = 1; attempt <= 4; attempt++) {
            int logFrom = crawler.getLog().length();
            int callsFrom = node.stateCalls().size();
            UrlLoad.Step step = crawler.request(node);
            System.out.println("attempt " + attempt + ": code=" + node.getResponseCode() + " step=" + step
                    + " states=" + node.stateCalls().subList(callsFrom, node.stateCalls().size())
                    + " log=" + crawler.getLog().substring(logFrom).replace("\n", "\\n").replace(local.getPath(), "LOCAL")
                    + " marker=" + marker.exists());
            if (step != UrlLoad.Step.AGAIN) break;
        }
        System.out.println("length=" + local.length());
    }
}
