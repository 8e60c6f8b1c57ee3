// The bridge where the editor calls it: each piece of work done from Java
// through morv-ts.jar and, in the same process and round, done in C through
// the bridge by libmorv-jvm-bench.so (one JNA call per round). Warm-up rounds
// first, then measured rounds, Java and C alternating; medians and the ratio
// Java / C are printed for each row.
//
//   java -Dmorv.ts.library=<libmorv-ts.so> -cp morv-ts.jar:jna.jar:jvm-bench.jar JvmBench \
//       <libmorv-jvm-bench.so> <grammar dir> <grammars package dir> <file.java> <file.js>

import com.sun.jna.Native;
import com.sun.jna.NativeLibrary;
import com.sun.jna.Pointer;

import morv.ts.Language;
import morv.ts.Node;
import morv.ts.Parser;
import morv.ts.Query;
import morv.ts.QueryCursor;
import morv.ts.TextReader;
import morv.ts.Tree;

import java.nio.ByteBuffer;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.Arrays;
import java.util.function.LongSupplier;

public final class JvmBench {
  static final int WARMUP = 2;
  static final int ROUNDS = 7;
  static final int EDITS = 40;

  /** libmorv-jvm-bench.so: the same work in C through the bridge. */
  static final class Helper {
    static native Pointer bench_parser(Pointer language);
    static native void bench_parser_delete(Pointer parser);
    static native void bench_tree_delete(Pointer tree);
    static native Pointer bench_parse(Pointer parser, Pointer old, int[] edit, Pointer utf16, int size,
        int chunk, long[] stats);
    static native void bench_walk(Pointer tree, long[] sum);
    static native Pointer bench_query(Pointer language, byte[] source, int length);
    static native void bench_query_delete(Pointer query);
    static native void bench_captures(Pointer tree, Pointer query, long[] sum);
  }

  /** Hands out a document from one direct buffer, {@code chunk} bytes per call. */
  static final class Reader implements TextReader {
    final ByteBuffer utf16;
    final int chunk;
    long reads;
    long bytes;

    Reader(ByteBuffer utf16, int chunk) {
      this.utf16 = utf16;
      this.chunk = chunk;
    }

    @Override
    public ByteBuffer read(int byteIndex, int row, int column) {
      reads++;
      int size = utf16.limit();
      if (byteIndex >= size) {
        return null;
      }
      int n = Math.min(chunk, size - byteIndex);
      bytes += n;
      return utf16.slice(byteIndex, n);
    }
  }

  static long median(long[] values) {
    long[] sorted = values.clone();
    Arrays.sort(sorted);
    return sorted[sorted.length / 2];
  }

  /** Runs both sides WARMUP times, then ROUNDS times alternating, and prints the medians. */
  static void row(String name, LongSupplier java, LongSupplier c) {
    for (int i = 0; i < WARMUP; i++) {
      java.getAsLong();
      c.getAsLong();
    }
    long[] j = new long[ROUNDS];
    long[] n = new long[ROUNDS];
    for (int i = 0; i < ROUNDS; i++) {
      j[i] = java.getAsLong();
      n[i] = c.getAsLong();
    }
    print(name, median(j), median(n));
  }

  static void print(String name, long javaNanos, long cNanos) {
    System.out.printf("  %-44s %11.3f ms %11.3f ms %8.2f%n", name, javaNanos / 1e6, cNanos / 1e6,
        (double) javaNanos / cNanos);
  }

  static long timed(Runnable work) {
    long start = System.nanoTime();
    work.run();
    return System.nanoTime() - start;
  }

  static void walk(Node node, long[] sum) {
    sum[0]++;
    sum[1] += node.startByte() + node.endByte() + node.symbol();
    int children = node.childCount();
    for (int i = 0; i < children; i++) {
      walk(node.child(i), sum);
    }
  }

  static void bench(String grammarDir, String packages, String languageName, Path file) throws Exception {
    String text = new String(Files.readAllBytes(file), StandardCharsets.UTF_8);
    ByteBuffer utf16 = Parser.utf16(text);
    int size = utf16.limit();
    Pointer nativeText = Native.getDirectBufferPointer(utf16);
    Language language = Language.load(Paths.get(grammarDir, "libtree-sitter-" + languageName + ".so").toString(),
        languageName);
    Pointer languagePointer = language.library().getFunction("tree_sitter_" + languageName)
        .invokePointer(new Object[0]);
    String highlights = new String(Files.readAllBytes(
        Paths.get(packages, "tree-sitter-" + languageName, "queries", "highlights.scm")), StandardCharsets.UTF_8);

    Parser parser = new Parser(language);
    Pointer cParser = Helper.bench_parser(languagePointer);
    Tree tree = parser.parse(null, new Reader(utf16, size), null);
    if (tree == null || tree.root().hasError()) {
      throw new IllegalStateException(file + " does not parse without errors");
    }
    System.out.printf("%s: %s, %d bytes of text (%d bytes UTF-16), has_error false%n", languageName, file,
        Files.size(file), size);
    System.out.printf("  %-44s %14s %14s %8s%n", "", "Java", "C", "Java/C");

    for (int chunk : new int[] {size, 4096}) {
      row("parse, " + (chunk == size ? "whole text in one read" : "4 KiB per read"),
          () -> timed(() -> parser.parse(null, new Reader(utf16, chunk), null).close()),
          () -> timed(() -> Helper.bench_tree_delete(Helper.bench_parse(cParser, null, null, nativeText, size,
              chunk, null))));
    }

    Pointer cTree = Helper.bench_parse(cParser, null, null, nativeText, size, size, null);
    long[] javaSum = new long[2];
    long[] cSum = new long[2];
    Node root = tree.root();
    row("full node walk, one call per node and field", () -> timed(() -> {
      javaSum[0] = 0;
      javaSum[1] = 0;
      walk(root, javaSum);
    }), () -> timed(() -> Helper.bench_walk(cTree, cSum)));
    check(Arrays.equals(javaSum, cSum), "walk: Java and C visit the same nodes", javaSum, cSum);
    System.out.printf("  %-44s %d nodes%n", "", javaSum[0]);

    byte[] source = highlights.getBytes(StandardCharsets.UTF_8);
    Pointer cQuery = Helper.bench_query(languagePointer, source, source.length);
    try (Query query = Query.compile(language, highlights); QueryCursor cursor = new QueryCursor()) {
      row("highlights.scm captures, one call per capture", () -> timed(() -> {
        javaSum[0] = 0;
        javaSum[1] = 0;
        cursor.exec(query, root);
        while (cursor.nextCapture()) {
          javaSum[0]++;
          javaSum[1] += cursor.startByte() + cursor.endByte() + cursor.captureId();
        }
      }), () -> timed(() -> Helper.bench_captures(cTree, cQuery, cSum)));
      check(Arrays.equals(javaSum, cSum), "captures: Java and C read the same captures", javaSum, cSum);
      System.out.printf("  %-44s %d captures%n", "", javaSum[0]);
      // Java only: the bridge applies no predicates, so the reference is the run above.
      long[] withText = {0, 0};
      long[] plain = new long[ROUNDS];
      long[] filtered = new long[ROUNDS];
      for (int i = -WARMUP; i < ROUNDS; i++) {
        long a = timed(() -> {
          cursor.exec(query, root);
          while (cursor.nextCapture()) {
            cursor.captureId();
          }
        });
        long b = timed(() -> {
          withText[0] = 0;
          cursor.exec(query, root, text);
          while (cursor.nextCapture()) {
            withText[0]++;
          }
          withText[1] = cursor.skippedCaptures();
        });
        if (i >= 0) {
          plain[i] = a;
          filtered[i] = b;
        }
      }
      System.out.printf("  %-44s %11.3f ms %11.3f ms %8.2f  (with / without text predicates, Java;"
          + " %d pass, %d left out)%n", "captures with the text predicates applied", median(filtered) / 1e6,
          median(plain) / 1e6, (double) median(filtered) / median(plain), withText[0], withText[1]);
    }
    Helper.bench_query_delete(cQuery);
    Helper.bench_tree_delete(cTree);

    edits(parser, cParser, text, utf16);
    tree.close();
    parser.close();
    Helper.bench_parser_delete(cParser);
    System.out.println();
  }

  /**
   * One-character edits in the middle of the file: a space inserted at the
   * start of a line, then removed again, each followed by the re-parse with
   * the edited old tree, on both sides; plus what the parser did for it.
   */
  static void edits(Parser parser, Pointer cParser, String text, ByteBuffer original) {
    int at = text.indexOf('\n', text.length() / 2) + 1;
    int row = 0;
    for (int i = 0; i < at; i++) {
      row += text.charAt(i) == '\n' ? 1 : 0;
    }
    String inserted = text.substring(0, at) + " " + text.substring(at);
    ByteBuffer[] texts = {original, Parser.utf16(inserted)};
    Pointer[] nativeTexts = {Native.getDirectBufferPointer(texts[0]), Native.getDirectBufferPointer(texts[1])};
    int start = 2 * at;
    // Even steps insert (text 0 -> 1), odd steps delete (1 -> 0).
    int[][] edit = {
        {start, start, start + 2, row, 0, row, 0, row, 2},
        {start, start + 2, start, row, 0, row, 2, row, 0},
    };
    int size0 = texts[0].limit();
    Tree[] javaTree = {parser.parse(null, new Reader(texts[0], size0), null)};
    Pointer[] cTree = {Helper.bench_parse(cParser, null, null, nativeTexts[0], size0, size0, null)};
    long[] javaNanos = new long[EDITS];
    long[] cNanos = new long[EDITS];
    long[] stats = new long[3];
    long[] javaReads = new long[2];
    for (int i = 0; i < EDITS + 2 * WARMUP; i++) {
      int step = i % 2;
      ByteBuffer next = texts[1 - step];
      int[] e = edit[step];
      Tree old = javaTree[0];
      Reader reader = new Reader(next, next.limit());
      long javaTime = timed(() -> {
        old.edit(e[0], e[1], e[2], e[3], e[4], e[5], e[6], e[7], e[8]);
        javaTree[0] = parser.parse(old, reader, null);
      });
      old.close();
      Pointer oldC = cTree[0];
      long cTime = timed(() -> cTree[0] = Helper.bench_parse(cParser, oldC, e, nativeTexts[1 - step], next.limit(),
          next.limit(), stats));
      Helper.bench_tree_delete(oldC);
      if (i >= 2 * WARMUP) {
        javaNanos[i - 2 * WARMUP] = javaTime;
        cNanos[i - 2 * WARMUP] = cTime;
        javaReads[0] = reader.reads;
        javaReads[1] = reader.bytes;
      }
    }
    print("re-parse after a one-character edit (median)", median(javaNanos), median(cNanos));
    long[] fresh = new long[3];
    Helper.bench_tree_delete(Helper.bench_parse(cParser, null, null, nativeTexts[0], size0, size0, fresh));
    System.out.printf("  %-44s edit: %d reads (Java %d), %d bytes read, ~%d parser operations%n", "work done",
        stats[0], javaReads[0], stats[1], stats[2] * 100);
    System.out.printf("  %-44s fresh: %d reads, %d bytes read, ~%d parser operations%n", "", fresh[0], fresh[1],
        fresh[2] * 100);
    check(javaTree[0].root().toSexp().length() > 0 && !javaTree[0].root().hasError(),
        "the edited tree has no error", null, null);
    javaTree[0].close();
    Helper.bench_tree_delete(cTree[0]);
  }

  static void check(boolean ok, String what, long[] a, long[] b) {
    if (!ok) {
      throw new IllegalStateException(what + ": " + Arrays.toString(a) + " vs " + Arrays.toString(b));
    }
  }

  public static void main(String[] args) throws Exception {
    Native.register(Helper.class, NativeLibrary.getInstance(args[0]));
    System.out.printf("JVM benchmark: %s, %d warm-up and %d measured rounds, medians; Java / C < 1 means Java is faster%n%n",
        Runtime.version(), WARMUP, ROUNDS);
    bench(args[1], args[2], "java", Paths.get(args[3]));
    bench(args[1], args[2], "javascript", Paths.get(args[4]));
  }

}
