import java.io.File;
import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.StandardCopyOption;
import java.util.ArrayList;
import java.util.List;

/**
 * A URL's file and another URL's folder may want one name ("/b" and
 * "/b/c.html"). The folder wins: the file lives inside it under FILE_NAME,
 * a name the naming rule keeps for itself, so that no page is lost and no
 * run is blocked, whichever of the two comes first.
 */
final class FolderClash {
    static final String FILE_NAME = "x7fenwix-file";

    private FolderClash() {}

    /** Where a URL's file is: its own name, or inside the folder of that name. */
    static File place(File local) {
        return local.isDirectory() ? new File(local, FILE_NAME) : local;
    }

    /**
     * Makes room for local's folders below root: a file saved where one of
     * them must be moves into it, with its marker. The files moved, as they
     * were named before.
     */
    static List<File> clearParents(File root, File local) throws IOException {
        List<File> chain = new ArrayList<>();
        for (File p = local.getParentFile(); p != null && !p.equals(root); p = p.getParentFile()) chain.add(0, p);
        List<File> moved = new ArrayList<>();
        for (File folder : chain) {
            if (!folder.isFile()) continue;
            File tmp = new File(folder.getPath() + ".x7fenwix-moving");
            Files.move(folder.toPath(), tmp.toPath(), StandardCopyOption.REPLACE_EXISTING);
            if (!folder.mkdir()) throw new IOException("cannot make the folder " + folder);
            File inside = new File(folder, FILE_NAME);
            Files.move(tmp.toPath(), inside.toPath());
            File marker = IncompleteMarker.of(folder);
            if (marker.isFile()) Files.move(marker.toPath(), IncompleteMarker.of(inside).toPath());
            moved.add(folder);
        }
        return moved;
    }
}
