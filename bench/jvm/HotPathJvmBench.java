// The editor's hot path and structure features from a JVM through
// morv-ts.jar, each beside its reference in the same run: the same work in C
// through the bridge (libmorv-jvm-bench.so, one JNA call per round),
// tree-sitter's own query cursor with the predicates in C, the one-call-per-
// capture path of the Java library, and the interface-mapped path with the
// predicates in Java that the viewer used before. Warm-up rounds, then
// measured rounds alternating; medians, every ratio and its goal printed.
//
// Known fault: on the JavaScript input, the keystroke loop's byte-ranged
// capture runs (morv_cursor_exec_text + morv_cursor_next_captures) end the
// process with a null read in the library's query cursor
// (ts_query_cursor__first_in_progress_capture); the same loop on the Java
// input and on smaller JavaScript files runs through. It therefore runs last.
//
//   java -Dmorv.ts.library=<libmorv-ts.so> -cp morv-ts.jar:jna.jar:jvm-bench.jar HotPathJvmBench \
//       <libmorv-jvm-bench.so> <grammar dir> <grammars package dir> <file.java> <file.js>

import com.sun.jna.Library;
import com.sun.jna.Memory;
import com.sun.jna.Native;
import com.sun.jna.NativeLibrary;
import com.sun.jna.Pointer;

import morv.ts.CancelFlag;
import morv.ts.Highlighter;
import morv.ts.InputEdit;
import morv.ts.Language;
import morv.ts.Node;
import morv.ts.NodeRecords;
import morv.ts.Parser;
import morv.ts.Point;
import morv.ts.Predicate;
import morv.ts.Query;
import morv.ts.QueryCursor;
import morv.ts.Range;
import morv.ts.SpanBuffer;
import morv.ts.SpanList;
import morv.ts.Tree;
import morv.ts.TreeExport;
import morv.ts.Utf16Text;

import java.lang.management.ManagementFactory;
import java.nio.ByteBuffer;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Random;
import java.util.function.LongSupplier;
import java.util.regex.Pattern;

public final class HotPathJvmBench {
  static final int WARMUP = 2;
  static final int ROUNDS = 7;
  static final int EDITS = 1000;

  /** libmorv-jvm-bench.so. */
  static final class Helper {
    static native Pointer bench_parser(Pointer language);
    static native void bench_parser_delete(Pointer parser);
    static native void bench_tree_delete(Pointer tree);
    static native Pointer bench_parse_utf16(Pointer parser, Pointer text, int bytes);
    static native Pointer bench_query(Pointer language, byte[] source, int length);
    static native void bench_query_delete(Pointer query);
    static native void bench_spans(Pointer tree, Pointer query, Pointer text, int bytes, long[] sum);
    static native Pointer bench_direct_new(Pointer language, byte[] source, int length, Pointer text, int bytes);
    static native void bench_direct_spans(Pointer direct, long[] sum);
    static native void bench_direct_delete(Pointer direct);
    static native int bench_cursor_records(Pointer tree, Pointer out, int capacity);
    static native long bench_heap_in_use();
  }

  /** The bridge through JNA's interface mapping, the way the viewer called it before. */
  public interface Mapped extends Library {
    void morv_tree_root(Pointer tree, Pointer nodeOut);
    Pointer morv_cursor_create();
    void morv_cursor_delete(Pointer cursor);
    void morv_cursor_exec(Pointer cursor, Pointer query, Pointer node);
    byte morv_cursor_next_capture(Pointer cursor, Pointer match, Pointer captureIndex);
    int morv_node_start_byte(Pointer node);
    int morv_node_end_byte(Pointer node);
  }

  static long median(long[] values) {
    long[] sorted = values.clone();
    Arrays.sort(sorted);
    return sorted[sorted.length / 2];
  }

  static long percentile(long[] values, double p) {
    long[] sorted = values.clone();
    Arrays.sort(sorted);
    return sorted[Math.min(sorted.length - 1, (int) (p * sorted.length))];
  }

  static long timed(Runnable work) {
    long start = System.nanoTime();
    work.run();
    return System.nanoTime() - start;
  }

  /** Medians of each side over the measured rounds, the sides alternating within a round. */
  static long[] rounds(LongSupplier... sides) {
    long[][] times = new long[sides.length][ROUNDS];
    for (int i = -WARMUP; i < ROUNDS; i++) {
      for (int s = 0; s < sides.length; s++) {
        long t = sides[s].getAsLong();
        if (i >= 0) {
          times[s][i] = t;
        }
      }
    }
    long[] result = new long[sides.length];
    for (int s = 0; s < sides.length; s++) {
      result[s] = median(times[s]);
    }
    return result;
  }

  static void line(String what, double value, String unit) {
    System.out.printf("  %-62s %12.3f %s%n", what, value, unit);
  }

  static void ratio(String what, double ratio, String goal, boolean met) {
    System.out.printf("  %-62s %12.3f   %s%s%n", what, ratio, goal, goal.isEmpty() ? "" : met ? "  met" : "  MISSED");
  }

  static void check(boolean ok, String what) {
    if (!ok) {
      throw new IllegalStateException("check failed: " + what);
    }
  }

  static ThreadMXBeanAccess allocations = new ThreadMXBeanAccess();

  /** The JVM's per-thread allocated-bytes counter. */
  static final class ThreadMXBeanAccess {
    final com.sun.management.ThreadMXBean bean =
        (com.sun.management.ThreadMXBean) ManagementFactory.getThreadMXBean();

    long now() {
      return bean.getThreadAllocatedBytes(Thread.currentThread().getId());
    }
  }

  static void bench(String helperDir, String grammarDir, String packages, String name, Path file) throws Exception {
    String source = new String(Files.readAllBytes(file), StandardCharsets.UTF_8);
    Language language = Language.load(Paths.get(grammarDir, "libtree-sitter-" + name + ".so").toString(), name);
    Pointer languagePointer = language.library().getFunction("tree_sitter_" + name).invokePointer(new Object[0]);
    String highlights = new String(Files.readAllBytes(
        Paths.get(packages, "tree-sitter-" + name, "queries", "highlights.scm")), StandardCharsets.UTF_8);
    byte[] querySource = highlights.getBytes(StandardCharsets.UTF_8);
    Utf16Text text = Utf16Text.of(source);
    // The C side reads its own copy of the same UTF-16 text.
    ByteBuffer cText = Parser.utf16(source);
    Pointer cTextPointer = Native.getDirectBufferPointer(cText);
    int bytes = text.byteLength();

    Parser parser = new Parser(language);
    Pointer cParser = Helper.bench_parser(languagePointer);
    long heapBefore = Helper.bench_heap_in_use();
    Tree tree = parser.parse(text, null, null, 0);
    long heapAfter = Helper.bench_heap_in_use();
    check(tree != null && !tree.root().hasError(), file + " parses without errors");
    System.out.printf("%s: %s, %d bytes of text (%d bytes UTF-16), parses without errors%n", name, file,
        Files.size(file), bytes);

    // (2) parse from Java against the same parse from C.
    long[] parse = rounds(
        () -> timed(() -> parser.parse(text, null, null, 0).close()),
        () -> timed(() -> Helper.bench_tree_delete(Helper.bench_parse_utf16(cParser, cTextPointer, bytes))));
    line("parse_utf16 from Java (median)", parse[0] / 1e6, "ms");
    line("parse_utf16 from C (median)", parse[1] / 1e6, "ms");
    ratio("parse throughput Java / C", (double) parse[1] / parse[0], "goal >= 0.97", parse[1] >= 0.97 * parse[0]);

    // (1) whole-file highlight spans.
    Query query = Query.compile(language, highlights);
    Pointer cQuery = Helper.bench_query(languagePointer, querySource, querySource.length);
    Pointer cTree = Helper.bench_parse_utf16(cParser, cTextPointer, bytes);
    Pointer direct = Helper.bench_direct_new(languagePointer, querySource, querySource.length, cTextPointer, bytes);
    QueryCursor cursor = new QueryCursor();
    SpanBuffer buffer = new SpanBuffer(4096);
    long[] javaSum = new long[2];
    long[] cSum = new long[2];
    long[] directSum = new long[2];
    Node root = tree.root();
    Runnable javaSpans = () -> {
      long n = 0;
      long sum = 0;
      cursor.execText(query, root, text);
      int got;
      while ((got = cursor.nextSpans(buffer)) > 0) {
        for (int i = 0; i < got; i++) {
          sum += buffer.startByte(i) + buffer.endByte(i) + buffer.captureId(i);
        }
        n += got;
      }
      javaSum[0] = n;
      javaSum[1] = sum;
    };
    long[] single = new long[2];
    Runnable javaSingle = () -> {
      long n = 0;
      long sum = 0;
      cursor.exec(query, root, text);
      while (cursor.nextCapture()) {
        n++;
        sum += cursor.startByte() + cursor.endByte() + cursor.captureId();
      }
      single[0] = n;
      single[1] = sum;
    };
    Mapped mapped = Native.load(System.getProperty("morv.ts.library"), Mapped.class);
    long[] old = new long[2];
    Runnable oldPath = oldPath(mapped, cTree, cQuery, query, source, old);
    long[] spans = rounds(
        () -> timed(javaSpans),
        () -> timed(() -> Helper.bench_spans(cTree, cQuery, cTextPointer, bytes, cSum)),
        () -> timed(() -> Helper.bench_direct_spans(direct, directSum)),
        () -> timed(javaSingle),
        () -> timed(oldPath));
    check(Arrays.equals(javaSum, cSum), "Java and C hand out the same spans");
    check(Arrays.equals(javaSum, directSum), "the bridge and tree-sitter's cursor with the predicates agree: "
        + Arrays.toString(javaSum) + " vs " + Arrays.toString(directSum));
    check(Arrays.equals(javaSum, single), "the one-call-per-capture path agrees");
    check(Arrays.equals(javaSum, old), "the interface-mapped path agrees: " + Arrays.toString(old));
    line("whole-file spans, Java exec_text + next_captures (median)", spans[0] / 1e6, "ms, " + javaSum[0] + " spans");
    line("whole-file spans, C through the bridge", spans[1] / 1e6, "ms");
    line("whole-file spans, C, tree-sitter's cursor + predicates in C", spans[2] / 1e6, "ms");
    line("whole-file spans, Java one call per capture", spans[3] / 1e6, "ms");
    line("whole-file spans, Java interface mapping + predicates in Java", spans[4] / 1e6, "ms");
    ratio("spans throughput Java bulk / C bridge", (double) spans[1] / spans[0], "goal >= 0.9",
        spans[1] >= 0.9 * spans[0]);
    ratio("spans throughput Java bulk / tree-sitter cursor + predicates in C", (double) spans[2] / spans[0],
        "goal >= 1", spans[2] >= spans[0]);
    ratio("spans throughput Java bulk / Java one call per capture", (double) spans[3] / spans[0], "", true);
    ratio("spans throughput Java bulk / interface mapping path", (double) spans[4] / spans[0], "", true);

    // (6) allocation of a steady-state whole-file highlight.
    SpanList held = new SpanList();
    Highlighter highlighter = new Highlighter(query, 4096);
    highlighter.highlight(tree, text, held);
    long before = allocations.now();
    javaSpans.run();
    long spansAlloc = allocations.now() - before;
    before = allocations.now();
    highlighter.highlight(tree, text, held);
    long heldAlloc = allocations.now() - before;
    line("Java heap allocated by a whole-file run, per span", (double) spansAlloc / javaSum[0],
        "bytes (" + spansAlloc + " bytes in all)");
    line("Java heap allocated by a whole-file highlight into held spans, per span", (double) heldAlloc / held.size(),
        "bytes (" + heldAlloc + " bytes in all)");
    line("native heap of the parsed tree", (heapAfter - heapBefore) / 1e6, "MB, beside "
        + String.format("%.3f MB of UTF-8 text, %.3f MB of UTF-16", Files.size(file) / 1e6, bytes / 1e6));

    long fullHighlight = rounds(() -> timed(() -> highlighter.highlight(tree, text, held)))[0];
    cancellation(parser, language, text, parse[0]);

    // (5) a pathological query stops at its match limit.
    try (Parser p = new Parser(language); QueryCursor limited = new QueryCursor()) {
      String flat = name.equals("java") ? "class F { int[] a = {" + "1, ".repeat(20000) + "1}; }"
          : "[" + "1, ".repeat(20000) + "1];";
      String pattern = name.equals("java") ? "(array_initializer (decimal_integer_literal) @a (decimal_integer_literal) @b)"
          : "(array (number) @a (number) @b)";
      try (Tree t = p.parse(flat, null, null, 0); Query q = Query.compile(language, pattern)) {
        limited.setMatchLimit(64);
        SpanList out = new SpanList();
        long time = timed(() -> {
          limited.exec(q, t.root());
          out.addRun(limited, buffer);
        });
        check(limited.didExceedMatchLimit(), "the pathological query exceeds its match limit");
        line("pathological query (every pair of 20,001 numbers), limit 64", time / 1e6,
            "ms, stopped at the limit and reported it; " + out.size() + " captures");
      }
    }

    structure(parser, tree, cTree, parse[0]);
    // Last: on the JavaScript input a byte-ranged run of this loop stops the
    // process inside the library's query cursor (see the notes of this benchmark).
    keystrokes(parser, text, tree, highlighter, held, fullHighlight);

    Helper.bench_direct_delete(direct);
    Helper.bench_tree_delete(cTree);
    Helper.bench_query_delete(cQuery);
    Helper.bench_parser_delete(cParser);
    highlighter.close();
    cursor.close();
    query.close();
    tree.close();
    parser.close();
    System.out.println();
  }

  /** Captures through interface-mapped calls, one per capture, with the text predicates in Java. */
  static Runnable oldPath(Mapped mapped, Pointer cTree, Pointer cQuery, Query query, String text, long[] out) {
    Memory rootNode = new Memory(32);
    Memory match = new Memory(16);
    Memory index = new Memory(4);
    Pointer cursor = mapped.morv_cursor_create();
    List<List<Predicate>> predicates = new ArrayList<>();
    Pattern[][] regexes = new Pattern[query.patternCount()][];
    for (int p = 0; p < query.patternCount(); p++) {
      predicates.add(query.predicates(p));
      regexes[p] = new Pattern[query.predicates(p).size()];
      for (int k = 0; k < regexes[p].length; k++) {
        Predicate pr = query.predicates(p).get(k);
        if (pr.operator().endsWith("match?")) {
          regexes[p][k] = Pattern.compile(pr.arguments().get(1).string());
        }
      }
    }
    return () -> {
      mapped.morv_tree_root(cTree, rootNode);
      mapped.morv_cursor_exec(cursor, cQuery, rootNode);
      long n = 0;
      long sum = 0;
      while (mapped.morv_cursor_next_capture(cursor, match, index) != 0) {
        int pattern = match.getShort(4) & 0xffff;
        int count = match.getShort(6) & 0xffff;
        Pointer captures = match.getPointer(8);
        boolean pass = true;
        List<Predicate> list = predicates.get(pattern);
        for (int k = 0; k < list.size() && pass; k++) {
          Predicate pr = list.get(k);
          String op = pr.operator();
          if (!op.endsWith("eq?") && !op.endsWith("match?")) {
            continue;
          }
          boolean negate = op.contains("not-");
          for (int c = 0; c < count && pass; c++) {
            Pointer capture = captures.share(40L * c);
            if (capture.getInt(32) != pr.arguments().get(0).captureId()) {
              continue;
            }
            String nodeText = text.substring(mapped.morv_node_start_byte(capture) / 2,
                mapped.morv_node_end_byte(capture) / 2);
            boolean hit = regexes[pattern][k] != null ? regexes[pattern][k].matcher(nodeText).find()
                : nodeText.equals(pr.arguments().get(1).string());
            pass = hit != negate;
          }
        }
        if (!pass) {
          continue;
        }
        Pointer capture = captures.share(40L * index.getInt(0));
        n++;
        sum += mapped.morv_node_start_byte(capture) + mapped.morv_node_end_byte(capture) + capture.getInt(32);
      }
      out[0] = n;
      out[1] = sum;
    };
  }

  /** Line starts of a text, kept by the editor; positions of edits come from it. */
  static final class Lines {
    int[] starts;
    int count;

    Lines(CharSequence text) {
      starts = new int[1024];
      starts[count++] = 0;
      for (int i = 0; i < text.length(); i++) {
        if (text.charAt(i) == '\n') {
          if (count == starts.length) {
            starts = Arrays.copyOf(starts, 2 * count);
          }
          starts[count++] = i + 1;
        }
      }
    }

    Point point(int at) {
      int row = Arrays.binarySearch(starts, 0, count, at);
      row = row >= 0 ? row : -row - 2;
      return new Point(row, 2 * (at - starts[row]));
    }

    /** Moves the lines after {@code row} by {@code delta} chars (edits that add or remove no newline). */
    void shift(int row, int delta) {
      for (int r = row + 1; r < count; r++) {
        starts[r] += delta;
      }
    }
  }

  /** (3) One-character edits in the middle of the file, each followed by re-parse and re-highlight. */
  static void keystrokes(Parser parser, Utf16Text text, Tree first, Highlighter highlighter, SpanList held,
      long fullHighlight) {
    Random random = new Random(42);
    Lines lines = new Lines(text);
    String alphabet = "abcxyz0(){}[];=+ \"'/*.";
    long[] total = new long[EDITS];
    long[] reparse = new long[EDITS];
    long spansSeen = 0;
    SpanList full = new SpanList();
    Tree tree = first.copy();
    long allocated = 0;
    int checks = 0;
    int lossy = 0;
    boolean lossySince = false;
    StringBuilder wrong = new StringBuilder();
    int wrongCount = 0;
    for (int i = 0; i < EDITS; i++) {
      int at = text.length() / 3 + random.nextInt(text.length() / 3);
      boolean insert = random.nextBoolean();
      if (!insert && text.charAt(at) == '\n') {
        insert = true;  // the line index moves by chars only
      }
      Point point = lines.point(at);
      String with = insert ? String.valueOf(alphabet.charAt(random.nextInt(alphabet.length()))) : "";
      long before = allocations.now();
      long start = System.nanoTime();
      InputEdit edit = text.replace(at, insert ? at : at + 1, with, point);
      tree.edit(edit);
      long parseStart = System.nanoTime();
      Tree next = parser.parse(text, tree, null, 0);
      long parseEnd = System.nanoTime();
      highlighter.update(tree, next, edit, text, held);
      long end = System.nanoTime();
      lossySince |= highlighter.didExceedMatchLimit();
      allocated += allocations.now() - before;
      total[i] = end - start;
      reparse[i] = parseEnd - parseStart;
      spansSeen += held.size();
      tree.close();
      tree = next;
      lines.shift(point.row(), insert ? 1 : -1);
      if ((i + 1) % 50 == 0) {
        highlighter.highlight(tree, text, full);
        // Spans that the match limit dropped make a difference that is not
        // the keystroke loop's fault: told apart, and the held spans start over.
        if (lossySince || highlighter.didExceedMatchLimit()) {
          lossy++;
          held.clear();
          highlighter.highlight(tree, text, held);
          lossySince = false;
        } else if (!held.sameSpans(full)) {
          // Told at the end, after the figures; the held spans start over.
          wrong.append(wrongCount++ == 0 ? "" : ", ").append(i + 1);
          held.clear();
          highlighter.highlight(tree, text, held);
        }
        checks++;
      }
    }
    tree.close();
    long p50 = percentile(total, 0.5);
    long p99 = percentile(total, 0.99);
    long r50 = percentile(reparse, 0.5);
    long r99 = percentile(reparse, 0.99);
    System.out.printf("  keystroke loop: %d random one-character edits in the middle third; held spans equal a full"
        + " re-highlight at %d of %d checks%s%n", EDITS, checks - lossy - wrongCount, checks - lossy,
        lossy == 0 ? "" : " that the match limit left alone (" + lossy + " of " + checks + " checks not judged: a run"
            + " dropped matches)");
    line("keystroke to spans p50", p50 / 1e6, "ms");
    line("keystroke to spans p99", p99 / 1e6, "ms");
    line("bare re-parse p50", r50 / 1e6, "ms");
    line("bare re-parse p99", r99 / 1e6, "ms");
    line("full re-highlight (median)", fullHighlight / 1e6, "ms");
    ratio("keystroke p99 / bare re-parse p99", (double) p99 / r99, "goal <= 1.5", p99 <= 1.5 * r99);
    ratio("keystroke p99 / full re-highlight", (double) p99 / fullHighlight, "goal <= 0.02",
        p99 * 50 <= fullHighlight);
    line("Java heap allocated per edit (edit records, ranges, nodes)", (double) allocated / EDITS, "bytes");
    line("Java heap allocated per held span and edit", (double) allocated / spansSeen, "bytes");
    check(wrong.length() == 0, "the held spans equal a full re-highlight after edits " + wrong);
  }

  /** (4) A flag set from another thread at a random moment of a full parse. */
  static void cancellation(Parser parser, Language language, Utf16Text text, long fullParse) throws Exception {
    Random random = new Random(3);
    long[] latency = new long[100];
    CancelFlag flag = new CancelFlag();
    long[] setAt = new long[1];
    for (int i = 0; i < latency.length; i++) {
      flag.clear();
      long delay = (long) (random.nextDouble() * 0.8 * fullParse);
      Thread setter = new Thread(() -> {
        long until = System.nanoTime() + delay;
        while (System.nanoTime() < until) {
          Thread.onSpinWait();
        }
        setAt[0] = System.nanoTime();
        flag.set();
      });
      setter.start();
      Tree tree = parser.parse(text, null, flag, 0);
      long returned = System.nanoTime();
      setter.join();
      if (tree != null) {
        tree.close();  // finished before the flag: not a stop
        i--;
        continue;
      }
      latency[i] = returned - setAt[0];
    }
    long p99 = percentile(latency, 0.99);
    line("cancellation latency p50 (100 tries)", percentile(latency, 0.5) / 1e6, "ms");
    line("cancellation latency p99", p99 / 1e6, "ms");
    ratio("cancellation p99 / full parse", (double) p99 / fullParse, "goal <= 0.01", p99 * 100 <= fullParse);
    String other = "class Other { int f() { return 1; } }";
    try (Parser fresh = new Parser(language); Tree a = parser.parse(other, null, null, 0);
        Tree b = fresh.parse(other, null, null, 0)) {
      check(a.root().toSexp().equals(b.root().toSexp()), "after a stop, the next parse equals a fresh parse");
    }
  }

  /** The structure in bulk and fold ranges, beside a C walk, a node-by-node walk and a parse. */
  static void structure(Parser parser, Tree tree, Pointer cTree, long fullParse) {
    NodeRecords records = new NodeRecords(16384);
    TreeExport export = new TreeExport();
    long[] bulk = new long[2];
    Runnable exportAll = () -> {
      long n = 0;
      long sum = 0;
      export.start(tree.root());
      int got;
      while ((got = export.next(records)) > 0) {
        for (int i = 0; i < got; i++) {
          sum += records.startByte(i) + records.endByte(i) + records.symbol(i) + records.depth(i);
        }
        n += got;
      }
      bulk[0] = n;
      bulk[1] = sum;
    };
    int nodes = tree.root().descendantCount();
    Memory cRecords = new Memory(32L * nodes);
    long[] walk = new long[2];
    long[] times = rounds(
        () -> timed(exportAll),
        () -> timed(() -> Helper.bench_cursor_records(cTree, cRecords, nodes)),
        () -> timed(() -> {
          walk[0] = 0;
          walk[1] = 0;
          walkNodes(tree.root(), 0, walk);
        }));
    long cSum = 0;
    for (int i = 0; i < nodes; i++) {
      long at = 32L * i;
      cSum += cRecords.getInt(at) + cRecords.getInt(at + 4) + (cRecords.getShort(at + 24) & 0xffff)
          + cRecords.getInt(at + 16);
    }
    check(bulk[0] == nodes && bulk[1] == cSum && Arrays.equals(walk, bulk), "the export, the C walk and the node"
        + " walk see the same nodes: " + Arrays.toString(bulk) + " " + cSum + " " + Arrays.toString(walk));
    System.out.printf("  structure: %d nodes%n", nodes);
    line("every node's record, Java bulk export (median)", times[0] / 1e6, "ms");
    line("every node's record, C walk with the tree cursor", times[1] / 1e6, "ms");
    line("every node, Java one call per node and property", times[2] / 1e6, "ms");
    ratio("nodes/s bulk export / one-call-per-node walk", (double) times[2] / times[0], "goal >= 10",
        times[2] >= 10 * times[0]);
    ratio("nodes/s bulk export / C cursor walk", (double) times[1] / times[0], "goal >= 0.8",
        times[1] >= 0.8 * times[0]);

    int[] folds = new int[1];
    long foldTime = rounds(() -> timed(() -> {
      int n = 0;
      export.start(tree.root());
      int got;
      while ((got = export.next(records)) > 0) {
        for (int i = 0; i < got; i++) {
          if (records.isNamed(i) && records.endRow(i) > records.startRow(i)) {
            n++;
          }
        }
      }
      folds[0] = n;
    }))[0];
    line("fold ranges (multi-line named nodes) of the whole file", foldTime / 1e6, "ms, " + folds[0] + " ranges");
    line("beside a full parse", fullParse / 1e6, "ms");
    ratio("fold ranges / full parse", (double) foldTime / fullParse, "", true);
    export.close();
  }

  static void walkNodes(Node node, int depth, long[] sum) {
    sum[0]++;
    sum[1] += node.startByte() + node.endByte() + node.symbol() + depth;
    int children = node.childCount();
    for (int i = 0; i < children; i++) {
      walkNodes(node.child(i), depth + 1, sum);
    }
  }

  /** (13.3) Many scripts in a generated HTML page; one edit inside one of them. */
  static void embedded(String grammarDir, String packages, Path jsFile) throws Exception {
    Language html = Language.load(Paths.get(grammarDir, "libtree-sitter-html.so").toString(), "html");
    Language js = Language.load(Paths.get(grammarDir, "libtree-sitter-javascript.so").toString(), "javascript");
    String source = new String(Files.readAllBytes(jsFile), StandardCharsets.UTF_8);
    // Statements of the JavaScript input, about 2 KB per script; a line with
    // "</script" or "<!--" would end or change the element and is left out.
    StringBuilder page = new StringBuilder("<!DOCTYPE html>\n<html>\n<head><title>Generated</title></head>\n<body>\n");
    StringBuilder script = new StringBuilder();
    int sections = 0;
    try (Parser p = new Parser(js); Tree t = p.parse(source, null, null, 0)) {
      Node root = t.root();
      for (int i = 0; i < root.childCount(); i++) {
        Node statement = root.child(i);
        String piece = statement.text(source);
        String lower = piece.toLowerCase();
        if (lower.contains("</script") || lower.contains("<!--")) {
          continue;
        }
        script.append(piece).append('\n');
        if (script.length() > 2048) {
          page.append("<section id=\"s").append(sections).append("\">\n  <h2>Part ").append(sections)
              .append("</h2>\n  <script>\n").append(script).append("\n  </script>\n</section>\n");
          sections++;
          script.setLength(0);
        }
      }
    }
    page.append("</body>\n</html>\n");
    Utf16Text document = Utf16Text.of(page);
    List<Range> scripts = new ArrayList<>();
    try (Parser p = new Parser(html); Tree t = p.parse(document, null, null, 0); TreeExport export = new TreeExport()) {
      NodeRecords records = new NodeRecords(8192);
      int raw = html.symbolForName("raw_text", true);
      int element = html.symbolForName("script_element", true);
      export.start(t.root());
      int scriptDepth = -1;
      while (export.next(records) > 0) {
        for (int i = 0; i < records.size(); i++) {
          if (records.symbol(i) == element) {
            scriptDepth = records.depth(i);
          } else if (records.depth(i) <= scriptDepth) {
            scriptDepth = -1;
          }
          if (scriptDepth >= 0 && records.symbol(i) == raw) {
            Node n = t.root().descendantForByteRange(records.startByte(i), records.endByte(i));
            scripts.add(new Range(n.startPoint(), n.endPoint(), records.startByte(i), records.endByte(i)));
          }
        }
      }
    }
    System.out.printf("embedded: generated HTML of %d bytes (UTF-16) with %d scripts from %s%n",
        document.byteLength(), scripts.size(), jsFile);
    check(document.byteLength() >= 5_000_000 && scripts.size() == sections, "the page is large and every script found");
    String highlights = new String(Files.readAllBytes(
        Paths.get(packages, "tree-sitter-javascript", "queries", "highlights.scm")), StandardCharsets.UTF_8);
    try (Parser parser = new Parser(js); Query query = Query.compile(js, highlights);
        Highlighter highlighter = new Highlighter(query, 4096)) {
      check(parser.setIncludedRanges(scripts), "the scripts' ranges are accepted");
      Tree tree = parser.parse(document, null, null, 0);
      check(!tree.root().hasError(), "the scripts parse without errors");
      SpanList held = new SpanList();
      highlighter.highlight(tree, document, held);
      long fromScratch = rounds(() -> timed(() -> parser.parse(document, null, null, 0).close()))[0];
      // One character typed inside the middle script, at the start of one of its lines, and removed again.
      Range target = scripts.get(scripts.size() / 2);
      int at = target.startByte() / 2 + 1;
      while (document.charAt(at - 1) != '\n') {
        at++;
      }
      long[] edits = new long[2 * ROUNDS + 2 * WARMUP];
      for (int i = 0; i < edits.length; i++) {
        boolean insert = i % 2 == 0;
        Point p0 = new Point(rowOf(document, at), 0);
        int a = at;
        Tree old = tree;
        long start = System.nanoTime();
        InputEdit edit = insert ? document.replace(a, a, " ", p0) : document.replace(a, a + 1, "", p0);
        old.edit(edit);
        // The included ranges follow the text: the edited script grows or shrinks.
        List<Range> moved = new ArrayList<>();
        int delta = edit.newEndByte() - edit.oldEndByte();
        for (Range r : scripts) {
          if (r.endByte() < edit.startByte()) {
            moved.add(r);
          } else if (r.startByte() > edit.startByte()) {
            moved.add(new Range(r.startPoint(), r.endPoint(), r.startByte() + delta, r.endByte() + delta));
          } else {
            // The edit adds or removes no line, and the script ends on a later row.
            moved.add(new Range(r.startPoint(), r.endPoint(), r.startByte(), r.endByte() + delta));
          }
        }
        scripts = moved;
        parser.setIncludedRanges(scripts);
        tree = parser.parse(document, old, null, 0);
        highlighter.update(old, tree, edit, document, held);
        edits[i] = System.nanoTime() - start;
        old.close();
      }
      long[] measured = Arrays.copyOfRange(edits, 2 * WARMUP, edits.length);
      long editTime = median(measured);
      line("re-parse all scripts from scratch (median)", fromScratch / 1e6, "ms");
      line("one-char edit in one script: re-parse with ranges + spans (median)", editTime / 1e6, "ms");
      ratio("edit / from scratch", (double) editTime / fromScratch, "goal <= 0.05", editTime * 20 <= fromScratch);
      // The edited script's spans are those of its text parsed alone, shifted to document offsets.
      Range edited = scripts.get(scripts.size() / 2);
      String alone = document.subSequence(edited.startByte() / 2, edited.endByte() / 2);
      try (Parser p = new Parser(js); Tree t = p.parse(alone, null, null, 0)) {
        SpanList expected = new SpanList();
        highlighter.highlight(t, Utf16Text.of(alone), expected);
        SpanList inDocument = new SpanList();
        highlighter.run(tree, document, edited.startByte(), edited.endByte(), inDocument);
        SpanList shifted = new SpanList();
        for (int i = 0; i < expected.size(); i++) {
          shifted.add(expected.starts()[i] + edited.startByte(), expected.ends()[i] + edited.startByte(),
              expected.captureIds()[i], expected.patterns()[i]);
        }
        check(shifted.sameSpans(inDocument) && expected.size() > 10,
            "the edited script's spans equal its text parsed alone, shifted");
        SpanList full = new SpanList();
        highlighter.highlight(tree, document, full);
        check(full.sameSpans(held), "the held spans of the page equal a full highlight after the edits");
      }
      tree.close();
    }
  }

  static int rowOf(CharSequence text, int at) {
    int row = 0;
    for (int i = 0; i < at; i++) {
      if (text.charAt(i) == '\n') {
        row++;
      }
    }
    return row;
  }

  public static void main(String[] args) throws Exception {
    Native.register(Helper.class, NativeLibrary.getInstance(args[0]));
    System.out.printf("JVM hot-path benchmark: %s, %d warm-up and %d measured rounds, medians; throughput ratios"
        + " > 1 mean the Java library is faster%n%n", Runtime.version(), WARMUP, ROUNDS);
    // -Dbench.only=java|javascript|embedded runs one part.
    String only = System.getProperty("bench.only", "");
    if (only.isEmpty() || only.equals("java")) {
      bench(args[0], args[1], args[2], "java", Paths.get(args[3]));
    }
    if (only.isEmpty() || only.equals("embedded")) {
      embedded(args[1], args[2], Paths.get(args[4]));
    }
    if (only.isEmpty() || only.equals("javascript")) {
      bench(args[0], args[1], args[2], "javascript", Paths.get(args[4]));
    }
  }
}
