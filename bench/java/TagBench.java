import java.io.ByteArrayInputStream;
import java.io.File;
import java.io.IOException;
import java.io.InputStreamReader;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.util.ArrayList;
import java.util.List;
import java.util.stream.Collectors;
import java.util.stream.Stream;

/**
 * The tag reader against its floor on the same pages, held in memory: the
 * library builds each page's tree (new x7Element(""), findChild over a
 * PageReader on the page's bytes, as the mirror reads a page); the floor
 * reads every character of the same reader and appends it to a StringBuffer.
 */
final class TagBench {
    private TagBench() {}

    static List<byte[]> htmlPages(File dir) throws IOException {
        List<File> files;
        try (Stream<java.nio.file.Path> s = Files.walk(dir.toPath())) {
            files = s.map(java.nio.file.Path::toFile)
                    .filter(f -> f.isFile() && f.getName().endsWith(".html"))
                    .sorted()
                    .collect(Collectors.toList());
        }
        List<byte[]> pages = new ArrayList<>();
        for (File f : files) pages.add(Files.readAllBytes(f.toPath()));
        return pages;
    }

    static long total(List<byte[]> pages) {
        long n = 0;
        for (byte[] p : pages) n += p.length;
        return n;
    }

    /** The reader the mirror's tag reader takes its characters from, for the library and the floor alike. */
    static InputStreamReader reader(byte[] page) {
        return new PageReader(new InputStreamReader(new ByteArrayInputStream(page), StandardCharsets.UTF_8));
    }

    /** Builds every page's tree; the number of elements, so that nothing is optimised away. */
    static long library(List<byte[]> pages) {
        long elements = 0;
        for (byte[] p : pages) {
            x7Element root = new x7Element("");
            root.findChild(reader(p));
            elements += root.children.size() + root.data.length();
        }
        return elements;
    }

    static long floor(List<byte[]> pages) {
        long chars = 0;
        for (byte[] p : pages) {
            StringBuffer b = new StringBuffer();
            chars += BenchFloor.readAll(reader(p), b) + b.length();
        }
        return chars;
    }

    /** Trees that give their pages back: the library did the whole work. */
    static void check(List<byte[]> pages) {
        for (byte[] p : pages) {
            x7Element root = new x7Element("");
            root.findChild(reader(p));
            String page = new String(p, StandardCharsets.UTF_8);
            if (!root.toString().equals(page)) throw new IllegalStateException("tree does not give its page back");
            StringBuffer b = new StringBuffer();
            BenchFloor.readAll(reader(p), b);
            if (!b.toString().equals(page)) throw new IllegalStateException("floor read another text");
        }
    }

    /** The deepest element of the pages' trees (the root is at 0). */
    static int deepest(List<byte[]> pages) {
        int max = 0;
        for (byte[] p : pages) {
            x7Element root = new x7Element("");
            root.findChild(reader(p));
            List<x7Element> level = List.of(root);
            for (int d = 0; !level.isEmpty(); d++) {
                max = Math.max(max, d);
                List<x7Element> next = new ArrayList<>();
                for (x7Element e : level) next.addAll(e.children);
                level = next;
            }
        }
        return max;
    }

    static long sink;

    /**
     * Alternates library and floor runs after warm-up; returns {library wall,
     * floor wall, library CPU, floor CPU} in seconds. CPU is the measuring
     * thread's own time, which other load on the machine does not inflate.
     */
    static Stats[] measure(List<byte[]> pages, int warmup, int runs) {
        Stats lib = new Stats("tag reader");
        Stats flo = new Stats("floor");
        Stats libCpu = new Stats("tag reader CPU");
        Stats floCpu = new Stats("floor CPU");
        for (int i = 0; i < warmup; i++) {
            sink += library(pages);
            sink += floor(pages);
        }
        for (int i = 0; i < runs; i++) {
            // alternate which goes first, so that neither always meets a warmer machine
            for (int k = 0; k < 2; k++) {
                boolean libraryNow = (i + k) % 2 == 0;
                System.gc();
                long c0 = Cpu.now();
                long t0 = System.nanoTime();
                sink += libraryNow ? library(pages) : floor(pages);
                double wall = Stats.since(t0);
                double cpu = Cpu.since(c0);
                (libraryNow ? lib : flo).add(wall);
                (libraryNow ? libCpu : floCpu).add(cpu);
            }
        }
        return new Stats[] {lib, flo, libCpu, floCpu};
    }
}
