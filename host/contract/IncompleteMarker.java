import java.io.File;
import java.io.IOException;

/**
 * The incomplete marker: an empty file beside a local copy whose transfer
 * ended early, named by the copy's name with SUFFIX appended. The library's
 * transfer makes it and its triage removes it; the host puts it back where a
 * triage removed it before the rest of the part arrived.
 */
public final class IncompleteMarker {
    public static final String SUFFIX = ".INCOMPLETE";

    private IncompleteMarker() {}

    /** The marker of the local copy saved under loadedFilename. */
    public static File of(String loadedFilename) {
        return new File(loadedFilename + SUFFIX);
    }

    public static File of(File local) {
        return of(local.getPath());
    }

    /** Whether the copy is marked as a part. */
    public static boolean on(File local) {
        return of(local).exists();
    }

    /** Marks the copy as a part; false when the marker could not be made. */
    public static boolean make(File local) {
        File m = of(local);
        try {
            return m.createNewFile() || m.isFile();
        } catch (IOException | SecurityException e) {
            return false;
        }
    }

    /** Takes the mark off: the copy is settled, whole or gone. */
    public static void remove(File local) {
        of(local).delete();
    }
}
