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
        return print(con, files, c, interrupted, null, null, rw, first, replayed, seconds);
    }

    /**
     * stopped: why the run stopped saving before its end (null when it did
     * not); startCause: why the start page could not be saved, when known.
     */
    static int print(PrintStream con, OutFiles files, Counters c, boolean interrupted, String stopped,
            String startCause, LinkRewrite rw, NodeURL first, int replayed, double seconds) {
        int failed = c.errors + (rw == null ? 0 : rw.pagesLeft);
        if (stopped != null) failed = Math.max(failed, 1);
        con.println();
        con.println(stopped != null ? "Stopped: " + stopped + ". Make room and run the same command again to go on."
                : interrupted ? "Interrupted; run the same command again to go on." : "Done.");
        con.println("  pages saved:        " + c.pages);
        con.println("  files saved:        " + c.files);
        con.println("  bytes transferred:  " + c.bytes());
        con.println("  not modified (304): " + c.notModified);
        con.println("  resumed:            " + c.resumed);
        con.println("  not found:          " + c.notFound);
        con.println("  skipped:            " + Counters.withKinds(c.skipped, c.skippedKinds));
        if (rw != null && rw.pagesLeft > 0) c.errorKinds.merge("page not rewritten", rw.pagesLeft, Integer::sum);
        con.println("  errors:             " + Counters.withKinds(failed, c.errorKinds));
        if (rw != null) {
            con.println("  links rewritten:    " + rw.linksRewritten + " in " + rw.pagesRewritten + " pages");
        }
        con.printf(Locale.ROOT, "  time:               %.1f s%n", seconds);
        boolean startSaved = first.isLoaded() && first.getLoadedFilename() != null;
        if (startSaved) con.println("Open the offline copy: " + new File(first.getLoadedFilename()).toPath().toUri());
        else con.println("The start page could not be saved" + (startCause == null ? "." : ": " + startCause));
        if (failed > 0 || !startSaved) con.println("See the log: " + files.file(OutFiles.LOG_NAME));
        files.log("# " + (interrupted ? "interrupted" : "done") + " in " + String.format(Locale.ROOT, "%.1f", seconds)
                + " s: " + c.pages + " pages, " + c.files + " files, " + c.notModified + " not modified, "
                + c.notFound + " not found, " + c.skipped + " skipped, " + failed + " errors; links of " + replayed
                + " unchanged pages taken from the last run\n");
        return failed > 0 || !startSaved ? 2 : 0;
    }
}
