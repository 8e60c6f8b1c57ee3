package morv.demo;

import com.sun.jna.Memory;
import com.sun.jna.NativeLibrary;
import com.sun.jna.Pointer;

import java.io.FileDescriptor;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.ArrayDeque;
import java.util.Deque;
import java.util.Map;

/**
 * The demo image's application: parses a Java source file through
 * libmorv-ts.so, highlights it with the grammar's highlights.scm and prints
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

        MorvTs ts = MorvTs.INSTANCE;
        Pointer language = NativeLibrary.getInstance("tree-sitter-java")
                .getFunction("tree_sitter_java").invokePointer(new Object[0]);

        Pointer parser = ts.morv_parser_create();
        Pointer tree = null;
        try {
            if (ts.morv_parser_set_language(parser, language) == 0) {
                System.err.println("the Java grammar's ABI version "
                        + ts.morv_language_abi_version(language) + " is not supported");
                return 1;
            }
            TextSource source = new TextSource(text);
            long started = System.nanoTime();
            tree = ts.morv_parser_parse(parser, null, source, null, (context, offset) -> 0, null);
            long parseNanos = System.nanoTime() - started;
            if (tree == null) {
                System.err.println("the parse yielded no tree");
                return 1;
            }
            Memory root = new Memory(MorvTs.NODE_SIZE);
            ts.morv_tree_root(tree, root);
            long nodes = countNodes(ts, root);

            Highlights.Result painted;
            try (Highlights highlights = new Highlights(language, query)) {
                painted = highlights.run(root, text);
                print(text, painted.style, highlights, out);
            }
            out.printf("%s: %d bytes, %d nodes, %d captures (%d highlighted), parsed in %.3f ms%s%n",
                    file, bytes.length, nodes, painted.captures, painted.applied,
                    parseNanos / 1e6,
                    ts.morv_node_has_error(root) != 0 ? ", with syntax errors" : "");
            return 0;
        } finally {
            ts.morv_tree_delete(tree);
            ts.morv_parser_delete(parser);
        }
    }

    private static long countNodes(MorvTs ts, Memory root) {
        long count = 0;
        Deque<Memory> pending = new ArrayDeque<>();
        pending.push(root);
        while (!pending.isEmpty()) {
            Memory node = pending.pop();
            count++;
            int children = ts.morv_node_child_count(node);
            for (int i = 0; i < children; i++) {
                Memory child = new Memory(MorvTs.NODE_SIZE);
                ts.morv_node_child(node, i, child);
                pending.push(child);
            }
        }
        return count;
    }

    private static void print(String text, int[] style, Highlights highlights, PrintStream out) {
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

    /** The document as UTF-16LE bytes, handed to the parser in one piece. */
    private static final class TextSource implements MorvTs.ReadFunction {
        private final Memory utf16;
        private final int size;

        TextSource(String text) {
            byte[] bytes = text.getBytes(StandardCharsets.UTF_16LE);
            size = bytes.length;
            utf16 = new Memory(Math.max(2, size));
            utf16.write(0, bytes, 0, size);
        }

        @Override
        public Pointer invoke(Pointer context, int byteIndex, int row, int column, Pointer bytesRead) {
            int offset = Integer.compareUnsigned(byteIndex, size) < 0 ? byteIndex : size;
            bytesRead.setInt(0, size - offset);
            return utf16.share(offset);
        }
    }
}
