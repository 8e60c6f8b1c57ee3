package morv.demo;

import morv.ts.Highlighter;
import morv.ts.InputEdit;
import morv.ts.Language;
import morv.ts.NodeRecords;
import morv.ts.Parser;
import morv.ts.Point;
import morv.ts.Query;
import morv.ts.SpanList;
import morv.ts.Tree;
import morv.ts.TreeExport;
import morv.ts.Utf16Text;

import java.io.FileDescriptor;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.Arrays;
import java.util.Locale;
import java.util.Map;
import java.util.Random;

/**
 * The demo image's application: parses a Java or JavaScript source file
 * through libmorv-ts.so (with the morv.ts library), highlights it with the
 * grammar's highlights.scm and prints it with ANSI colours, then a one-line
 * summary; then replays random edits through the editor's keystroke loop and
 * prints its latencies. The file's extension chooses the grammar; files of
 * other extensions are read as Java.
 *
 * Usage: Viewer [--hello] [file]. With --hello it only greets and ends,
 * without touching the native libraries: the start-up benchmark's workload.
 */
public final class Viewer {
    private static final String RESET = "\u001b[0m";

    // By capture name, then by the part before its first dot.
    private static final Map<String, String> COLOURS = Map.ofEntries(
            Map.entry("keyword", "\u001b[1;35m"),
            Map.entry("string", "\u001b[32m"),
            Map.entry("string.escape", "\u001b[1;32m"),
            Map.entry("character", "\u001b[32m"),
            Map.entry("comment", "\u001b[90m"),
            Map.entry("number", "\u001b[33m"),
            Map.entry("constant", "\u001b[33m"),
            Map.entry("boolean", "\u001b[33m"),
            Map.entry("type", "\u001b[36m"),
            Map.entry("constructor", "\u001b[1;36m"),
            Map.entry("function", "\u001b[34m"),
            Map.entry("attribute", "\u001b[93m"),
            Map.entry("label", "\u001b[95m"),
            Map.entry("variable.builtin", "\u001b[31m"),
            Map.entry("variable.parameter", "\u001b[3m"),
            Map.entry("property", "\u001b[37m"),
            Map.entry("operator", "\u001b[91m"));

    private Viewer() {}

    public static void main(String[] args) throws IOException {
        PrintStream out = new PrintStream(new FileOutputStream(FileDescriptor.out), false,
                StandardCharsets.UTF_8);
        if (args.length > 0 && args[0].equals("--hello")) {
            out.println("Hello from the morv demo image, Java " + Runtime.version());
            out.flush();
            return;
        }
        if (args.length != 1) {
            System.err.println("usage: morv [--hello] <source file>");
            System.exit(2);
        }
        String appDir = System.getProperty("morv.demo.appdir");
        if (appDir == null) {
            System.err.println("morv.demo.appdir is not set");
            System.exit(2);
        }
        int rc = view(Paths.get(args[0]), Paths.get(appDir), out);
        out.flush();
        if (rc != 0) {
            System.exit(rc);
        }
    }

    private static int view(Path file, Path appDir, PrintStream out) throws IOException {
        byte[] bytes;
        try {
            bytes = Files.readAllBytes(file);
        } catch (IOException e) {
            System.err.println("cannot read " + file + ": " + e.getMessage());
            return 1;
        }
        String text = new String(bytes, StandardCharsets.UTF_8);
        String grammar = grammarFor(file);
        byte[] query = Files.readAllBytes(appDir.resolve("queries").resolve(grammar).resolve("highlights.scm"));

        // Held until the end: the trees and the query read the grammar's tables.
        Language language = Language.load("tree-sitter-" + grammar, grammar);
        if (language.abiVersion() < 13 || language.abiVersion() > 15) {
            System.err.println("the " + grammar + " grammar's ABI version " + language.abiVersion()
                    + " is not supported");
            return 1;
        }
        try (Parser parser = new Parser(language)) {
            Utf16Text document = Utf16Text.of(text);
            long started = System.nanoTime();
            Tree parsed = parser.parse(document, null, null, 0);
            long parseNanos = System.nanoTime() - started;
            if (parsed == null) {
                System.err.println("the parse yielded no tree");
                return 1;
            }
            try (Query highlights = Query.compile(language, new String(query, StandardCharsets.UTF_8));
                    Highlighter highlighter = new Highlighter(highlights, 4096)) {
                Tree tree = parsed;
                long nodes = countNodes(tree);
                boolean errors = tree.root().hasError();
                SpanList spans = new SpanList();
                highlighter.highlight(tree, document, spans);
                print(text, paint(spans, text.length()), highlights, out);
                out.printf("%s (%s): %d bytes, %d nodes, %d captures highlighted, parsed in %.3f ms%s%n",
                        file, grammar, bytes.length, nodes, spans.size(), parseNanos / 1e6,
                        errors ? ", with syntax errors" : "");
                tree = replay(parser, highlighter, document, tree, spans, out);
                tree.close();
                return 0;
            }
        }
    }

    /** The grammar (and the directory of its queries) for a file, by its extension. */
    static String grammarFor(Path file) {
        String name = file.getFileName().toString();
        String extension = name.substring(name.lastIndexOf('.') + 1).toLowerCase(Locale.ROOT);
        switch (extension) {
            case "js":
            case "mjs":
            case "cjs":
            case "jsx":
                return "javascript";
            default:
                return "java";
        }
    }

    private static final int EDITS = 300;

    /**
     * The editor's keystroke loop, replayed: random one-character insertions
     * and deletions in the middle of the text, each reported to the tree,
     * re-parsed with the old tree, and its spans brought up to date from the
     * changed ranges. Prints the latency from keystroke to spans beside that
     * of the re-parse alone, and whether the spans then equal a full
     * highlight of the edited text.
     */
    private static Tree replay(Parser parser, Highlighter highlighter, Utf16Text document, Tree tree,
            SpanList spans, PrintStream out) {
        Random random = new Random(1);
        String typed = "abcxyz0(){};= \"";
        long[] keystroke = new long[EDITS];
        long[] reparse = new long[EDITS];
        int middle = document.length() / 4;
        for (int i = 0; i < EDITS && document.length() > 8; i++) {
            int at = middle + random.nextInt(Math.max(1, document.length() / 2));
            boolean insert = random.nextBoolean() || document.charAt(at) == '\n';
            Point point = pointOf(document, at);
            long start = System.nanoTime();
            InputEdit edit = insert
                    ? document.replace(at, at, String.valueOf(typed.charAt(random.nextInt(typed.length()))), point)
                    : document.replace(at, at + 1, "", point);
            tree.edit(edit);
            long parseStart = System.nanoTime();
            Tree next = parser.parse(document, tree, null, 0);
            reparse[i] = System.nanoTime() - parseStart;
            highlighter.update(tree, next, edit, document, spans);
            keystroke[i] = System.nanoTime() - start;
            tree.close();
            tree = next;
        }
        SpanList full = new SpanList();
        highlighter.highlight(tree, document, full);
        out.printf("keystroke loop, %d random one-character edits: keystroke to spans p50 %.3f ms, p99 %.3f ms;"
                + " re-parse p50 %.3f ms, p99 %.3f ms; spans %s a full re-highlight%n", EDITS,
                percentile(keystroke, 0.5) / 1e6, percentile(keystroke, 0.99) / 1e6,
                percentile(reparse, 0.5) / 1e6, percentile(reparse, 0.99) / 1e6,
                full.sameSpans(spans) ? "equal" : "DIFFER FROM");
        return tree;
    }

    private static double percentile(long[] values, double p) {
        long[] sorted = values.clone();
        Arrays.sort(sorted);
        return sorted[Math.min(sorted.length - 1, (int) (p * sorted.length))];
    }

    /** The row and UTF-16 byte column of a char offset (the editor keeps line starts; a scan will do here). */
    private static Point pointOf(CharSequence text, int at) {
        int row = 0;
        int lineStart = 0;
        for (int i = 0; i < at; i++) {
            if (text.charAt(i) == '\n') {
                row++;
                lineStart = i + 1;
            }
        }
        return new Point(row, 2 * (at - lineStart));
    }

    /**
     * Paints every UTF-16 unit with the span that covers it most narrowly;
     * between spans of the same extent the later pattern wins: the grammars'
     * query files start with the general patterns ("(identifier) @variable")
     * and refine them below.
     */
    private static int[] paint(SpanList spans, int length) {
        int[] style = new int[length];
        int[] extent = new int[length];
        int[] patternOf = new int[length];
        Arrays.fill(style, -1);
        int[] starts = spans.starts();
        int[] ends = spans.ends();
        int[] ids = spans.captureIds();
        int[] patterns = spans.patterns();
        for (int k = 0; k < spans.size(); k++) {
            int start = Math.min(starts[k] / 2, length);
            int end = Math.min(ends[k] / 2, length);
            int width = end - start;
            for (int i = start; i < end; i++) {
                if (style[i] < 0 || width < extent[i] || (width == extent[i] && patterns[k] >= patternOf[i])) {
                    style[i] = ids[k];
                    extent[i] = width;
                    patternOf[i] = patterns[k];
                }
            }
        }
        return style;
    }

    /** Counts the nodes through the bulk export: a handful of native calls for the whole tree. */
    private static long countNodes(Tree tree) {
        long count = 0;
        try (TreeExport export = new TreeExport()) {
            NodeRecords records = new NodeRecords(4096);
            export.start(tree.root());
            int n;
            while ((n = export.next(records)) > 0) {
                count += n;
            }
        }
        return count;
    }

    private static void print(String text, int[] style, Query highlights, PrintStream out) {
        boolean colour = System.getenv("NO_COLOR") == null;
        StringBuilder line = new StringBuilder();
        String current = "";
        for (int i = 0; i < text.length(); i++) {
            char c = text.charAt(i);
            // Colours end at every line end, so a pager or a cut line shows
            // no colour bleeding into the next line.
            String wanted = !colour || c == '\n' || style[i] < 0
                    ? "" : colourOf(highlights.captureName(style[i]));
            if (!wanted.equals(current)) {
                if (!current.isEmpty()) {
                    line.append(RESET);
                }
                line.append(wanted);
                current = wanted;
            }
            line.append(c);
        }
        if (!current.isEmpty()) {
            line.append(RESET);
        }
        out.print(line);
        if (!text.endsWith("\n")) {
            out.println();
        }
    }

    private static String colourOf(String capture) {
        String colour = COLOURS.get(capture);
        if (colour == null) {
            int dot = capture.indexOf('.');
            colour = COLOURS.get(dot < 0 ? capture : capture.substring(0, dot));
        }
        return colour == null ? "" : colour;
    }
}
