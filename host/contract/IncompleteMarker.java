import java.io.File;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;

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

    /**
     * Marks the copy as a part and keeps beside it the strong ETag of the
     * body its bytes came from, which validates the resumption; null for none.
     * The marker keeps its time.
     */
    public static boolean make(File local, String validator) {
        if (!make(local)) return false;
        File m = of(local);
        long time = m.lastModified();
        try {
            Files.write(m.toPath(), validator == null ? new byte[0] : validator.getBytes(StandardCharsets.UTF_8));
        } catch (IOException | RuntimeException e) {
            // the date validates the resumption instead
        }
        if (time > 0) m.setLastModified(time);
        return true;
    }

    /** The ETag kept with the part, or null. */
    public static String validator(File local) {
        File m = of(local);
        try {
            if (!m.isFile() || m.length() == 0 || m.length() > 1024) return null;
            String v = new String(Files.readAllBytes(m.toPath()), StandardCharsets.UTF_8).trim();
            return v.isEmpty() ? null : v;
        } catch (IOException | RuntimeException e) {
            return null;
        }
    }

    /** Takes the mark off: the copy is settled, whole or gone. */
    public static void remove(File local) {
        of(local).delete();
    }
}
