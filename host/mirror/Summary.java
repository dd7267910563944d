import com.tolvak.fenwix.NodeURL;

import java.io.File;
import java.io.PrintStream;
import java.util.Locale;

/** What a run says when it ends: on the console and as the last line of its log. */
final class Summary {
    private Summary() {}

    /** Prints the summary; the exit code of the run. */
    static int print(PrintStream con, OutFiles files, Counters c, boolean interrupted, LinkRewrite rw,
            NodeURL first, int replayed, double seconds) {
        int failed = c.errors + (rw == null ? 0 : rw.pagesLeft);
        con.println();
        con.println(interrupted ? "Interrupted; run the same command again to go on." : "Done.");
        con.println("  pages saved:        " + c.pages);
        con.println("  files saved:        " + c.files);
        con.println("  bytes transferred:  " + c.bytes());
        con.println("  not modified (304): " + c.notModified);
        con.println("  resumed:            " + c.resumed);
        con.println("  not found:          " + c.notFound);
        con.println("  errors:             " + failed);
        if (rw != null) {
            con.println("  links rewritten:    " + rw.linksRewritten + " in " + rw.pagesRewritten + " pages");
        }
        con.printf(Locale.ROOT, "  time:               %.1f s%n", seconds);
        boolean startSaved = first.isLoaded() && first.getLoadedFilename() != null;
        if (startSaved) con.println("Open the offline copy: " + new File(first.getLoadedFilename()).toPath().toUri());
        else con.println("The start page could not be saved.");
        if (failed > 0 || !startSaved) con.println("See the log: " + files.file(OutFiles.LOG_NAME));
        files.log("# " + (interrupted ? "interrupted" : "done") + " in " + String.format(Locale.ROOT, "%.1f", seconds)
                + " s: " + c.pages + " pages, " + c.files + " files, " + c.notModified + " not modified, "
                + c.notFound + " not found, " + failed + " errors; links of " + replayed
                + " unchanged pages taken from the last run\n");
        return failed > 0 || !startSaved ? 2 : 0;
    }
}
