import java.io.File;
import java.nio.file.Files;

/**
 * Child-JVM scenarios of failed transfers: each prints a header, lets the
 * native print its diagnostic, then prints what the host saw.
 */
public class TransferFailures {
    static String placeholderName(String scenario) {
        return "<" + scenario + ">";
    }

    /** Replaces the scratch paths printed by the child with stable placeholders. */
    static String normalise(String out) {
        return out.replaceAll("(Error (?:creating|writing) file:)\\S*?/x7-([a-z]+)\\d+/sub/page.htm", "$1<$2>");
    }

    public static void main(String[] args) throws Exception {
        for (String scenario : args) {
            System.out.println("== " + scenario);
            TransferFixture f = new TransferFixture("x7-" + scenario);
            ScriptedConnection c = new ScriptedConnection(f.url, TransferFixture.bytes(5000));
            switch (scenario) {
                case "create":
                    f.local.mkdirs();  // the loaded file name names a directory
                    break;
                case "input":
                    c.failOnOpen = true;
                    break;
                case "read":
                    c.failReadAfter = 200;
                    break;
                case "write":
                    break;
                default:
                    throw new IllegalArgumentException(scenario);
            }
            f.run(c);
            String log = f.crawler.getLog().replace("\n", "\\n");
            System.out.println("states=" + f.node.stateCalls());
            System.out.println("log=" + log);
            boolean stamped = f.local.isFile() && f.local.lastModified() == TransferFixture.SERVER_TIME;
            System.out.println("nfiles=" + f.crawler.nfiles + " readLength=" + f.node.readLength
                    + " marker=" + f.marker().exists() + " stamped=" + stamped
                    + " parentMade=" + f.local.getParentFile().isDirectory());
            if ("write".equals(scenario) && f.local.length() != 1024) {
                System.out.println("file holds " + f.local.length() + " bytes, not 1024");
            }
            if (f.marker().exists() && f.marker().lastModified() != TransferFixture.SERVER_TIME) {
                System.out.println("marker time " + f.marker().lastModified());
            }
            Files.walk(f.dir.toPath()).count();
        }
    }
}
