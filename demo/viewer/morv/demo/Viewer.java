package morv.demo;

import morv.ts.Language;
import morv.ts.Node;
import morv.ts.Parser;
import morv.ts.Query;
import morv.ts.QueryCursor;
import morv.ts.Tree;

import java.io.FileDescriptor;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.ArrayDeque;
import java.util.Arrays;
import java.util.Deque;
import java.util.Map;

/**
 * The demo image's application: parses a Java source file through
 * libmorv-ts.so (with the morv.ts library), highlights it with the grammar's highlights.scm and prints
 * it with ANSI colours, then a one-line summary.
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
        byte[] query = Files.readAllBytes(appDir.resolve("queries").resolve("highlights.scm"));

        // Held until the end: the trees and the query read the grammar's tables.
        Language java = Language.load("tree-sitter-java", "java");
        if (java.abiVersion() < 13 || java.abiVersion() > 15) {
            System.err.println("the Java grammar's ABI version " + java.abiVersion() + " is not supported");
            return 1;
        }
        try (Parser parser = new Parser(java)) {
            long started = System.nanoTime();
            Tree parsed = parser.parse(text);
            long parseNanos = System.nanoTime() - started;
            if (parsed == null) {
                System.err.println("the parse yielded no tree");
                return 1;
            }
            try (Tree tree = parsed;
                    Query highlights = Query.compile(java, new String(query, StandardCharsets.UTF_8));
                    QueryCursor cursor = new QueryCursor()) {
                Node root = tree.root();
                long nodes = countNodes(root);
                long[] highlighted = new long[1];
                int[] style = paint(highlights, cursor, root, text, highlighted);
                print(text, style, highlights, out);
                out.printf("%s: %d bytes, %d nodes, %d captures (%d highlighted), parsed in %.3f ms%s%n",
                        file, bytes.length, nodes, highlighted[0] + cursor.skippedCaptures(), highlighted[0],
                        parseNanos / 1e6, root.hasError() ? ", with syntax errors" : "");
                return 0;
            }
        }
    }

    /**
     * Runs the query with its text predicates and paints every UTF-16 unit
     * with the capture that covers it most narrowly; between captures of the
     * same extent the later pattern wins: the grammars' query files start with
     * the general patterns ("(identifier) @variable") and refine them below.
     * Counts the captures it painted with into painted[0].
     */
    private static int[] paint(Query query, QueryCursor cursor, Node root, String text, long[] painted) {
        int[] style = new int[text.length()];
        int[] extent = new int[text.length()];
        int[] patternOf = new int[text.length()];
        Arrays.fill(style, -1);
        cursor.exec(query, root, text);
        while (cursor.nextCapture()) {
            painted[0]++;
            int id = cursor.captureId();
            int pattern = cursor.patternIndex();
            int start = cursor.startByte() / 2;
            int end = Math.min(cursor.endByte() / 2, text.length());
            int width = end - start;
            for (int i = start; i < end; i++) {
                if (style[i] < 0 || width < extent[i] || (width == extent[i] && pattern >= patternOf[i])) {
                    style[i] = id;
                    extent[i] = width;
                    patternOf[i] = pattern;
                }
            }
        }
        return style;
    }

    private static long countNodes(Node root) {
        long count = 0;
        Deque<Node> pending = new ArrayDeque<>();
        pending.push(root);
        while (!pending.isEmpty()) {
            Node node = pending.pop();
            count++;
            int children = node.childCount();
            for (int i = 0; i < children; i++) {
                pending.push(node.child(i));
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
