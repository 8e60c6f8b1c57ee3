// The hot path and the structure from a real JVM through the project's Java
// library: captures in bulk with the text predicates applied (against a
// reference evaluation written here with java.util.regex), changed ranges,
// tree copies on two threads, cancellation, the keystroke loop that keeps
// spans current, the tree cursor against the node functions, the bulk export
// against the cursor, fields, and included ranges.
//
//   java -Dmorv.ts.library=<bridge> -cp morv-ts.jar:jna.jar:<this jar> HotPathTest \
//       <grammar dir> <grammars package dir> <source dir>
//
// Prints one line per failed check and "N passed, N failed"; the exit code is
// 0 only when every check passed.

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
import morv.ts.SymbolType;
import morv.ts.Tree;
import morv.ts.TreeCursor;
import morv.ts.TreeExport;
import morv.ts.Utf16Text;

import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.HashSet;
import java.util.List;
import java.util.Map;
import java.util.Random;
import java.util.Set;
import java.util.concurrent.atomic.AtomicReference;
import java.util.function.IntPredicate;
import java.util.regex.Pattern;

public final class HotPathTest extends Checks {
  static Path grammarDir;
  static Path packages;
  static Path sources;
  static final Map<String, Language> LANGUAGES = new HashMap<>();

  static Language language(String name) {
    return LANGUAGES.computeIfAbsent(name, n -> Language.load(
        grammarDir.resolve("libtree-sitter-" + n + ".so").toString(), n));
  }

  static String read(Path path) throws Exception {
    return new String(Files.readAllBytes(path), StandardCharsets.UTF_8);
  }

  static String highlights(String grammar) throws Exception {
    return read(packages.resolve("tree-sitter-" + grammar).resolve("queries").resolve("highlights.scm"));
  }

  /** A Java class of {@code methods} methods, for parses long enough to stop. */
  static String bigJava(int methods) {
    StringBuilder b = new StringBuilder("class Big {\n");
    for (int i = 0; i < methods; i++) {
      b.append("  int m").append(i).append("(int x) { return x * ").append(i).append(" + \"s\".length(); }\n");
    }
    return b.append("}\n").toString();
  }

  // ---- captures in bulk against a reference evaluation of the predicates ----

  /** One capture as handed out: start, end, capture id, pattern, match id. */
  record Span(int start, int end, int capture, int pattern, int match) {}

  /** The nodes of one match, as the last capture of the match showed them. */
  record Match(int pattern, int[] captureIds, int[] starts, int[] ends) {}

  static List<Span> bulk(QueryCursor cursor, SpanBuffer buffer) {
    List<Span> spans = new ArrayList<>();
    while (cursor.nextSpans(buffer) > 0) {
      for (int i = 0; i < buffer.size(); i++) {
        spans.add(new Span(buffer.startByte(i), buffer.endByte(i), buffer.captureId(i), buffer.patternIndex(i),
            buffer.matchId(i)));
      }
    }
    return spans;
  }

  /** The predicates as the library documentation defines them, on the text of the match's nodes. */
  static boolean passes(Query query, Match m, String text) {
    for (Predicate p : query.predicates(m.pattern())) {
      String op = p.operator();
      List<Predicate.Argument> args = p.arguments();
      boolean any;
      boolean negated;
      String base;
      if (op.equals("any-of?") || op.equals("not-any-of?")) {
        // every node must (not) be one of the strings
        any = false;
        negated = op.startsWith("not-");
        base = "of?";
      } else {
        any = op.startsWith("any-");
        base = any ? op.substring(4) : op;
        negated = base.startsWith("not-");
        base = negated ? base.substring(4) : base;
        if (!base.equals("eq?") && !base.equals("match?")) {
          continue;  // directives and unknown predicates never filter
        }
      }
      List<String> nodes = texts(m, args.get(0).captureId(), text);
      boolean result;
      if (base.equals("eq?") && args.get(1).isCapture()) {
        List<String> others = texts(m, args.get(1).captureId(), text);
        result = quantify(Math.min(nodes.size(), others.size()), any, negated,
            i -> nodes.get(i).equals(others.get(i)), !any && nodes.size() == others.size());
      } else {
        String kind = base;
        Pattern regex = kind.equals("match?") ? Pattern.compile(args.get(1).string()) : null;
        Set<String> set = new HashSet<>();
        for (Predicate.Argument a : args.subList(1, args.size())) {
          set.add(a.string());
        }
        result = quantify(nodes.size(), any, negated, i -> {
          String node = nodes.get(i);
          return kind.equals("eq?") ? node.equals(args.get(1).string())
              : kind.equals("match?") ? regex.matcher(node).find() : set.contains(node);
        }, !any);
      }
      if (!result) {
        return false;
      }
    }
    return true;
  }

  /**
   * Whether {@code hit}, or its negation, holds for some ({@code any}) or
   * for every index below {@code n}; {@code undecided} when no index decides.
   */
  static boolean quantify(int n, boolean any, boolean negated, IntPredicate hit, boolean undecided) {
    for (int i = 0; i < n; i++) {
      boolean ok = hit.test(i) != negated;
      if (any && ok) {
        return true;
      }
      if (!any && !ok) {
        return false;
      }
    }
    return undecided;
  }

  static List<String> texts(Match m, int captureId, String text) {
    List<String> result = new ArrayList<>();
    for (int i = 0; i < m.captureIds().length; i++) {
      if (m.captureIds()[i] == captureId) {
        result.add(text.substring(m.starts()[i] / 2, m.ends()[i] / 2));
      }
    }
    return result;
  }

  /** Quantified captures with predicates, beside the grammars' own patterns. */
  static final Map<String, String> QUANTIFIED = Map.of(
      "json", "(array (string)+ @q.strings (#any-eq? @q.strings \"\\\"string\\\"\"))\n"
          + "(array (string)+ @q.all (#match? @q.all \"^\\\"[a-z_]+\\\"$\"))\n"
          + "(object (pair key: (string) @q.k) (#not-any-of? @q.k \"\\\"type\\\"\" \"\\\"named\\\"\"))\n",
      "javascript", "(arguments (_)+ @q.args (#not-match? @q.args \"^\\\\$\\\\.\"))\n"
          + "(arguments (_)+ @q.some (#any-match? @q.some \"^'\"))\n"
          + "(arguments (_) @q.a . (_) @q.b (#any-not-eq? @q.a @q.b))\n",
      "python", "(block (expression_statement)+ @q.stmts (#any-match? @q.stmts \"print|append\"))\n"
          + "((comment)+ @q.comments (#match? @q.comments \"^# [A-Z]\"))\n",
      "java", "(argument_list (identifier)+ @q.ids (#match? @q.ids \"^[a-z]\"))\n"
          + "(argument_list (_)+ @q.some (#any-eq? @q.some \"text\"))\n"
          + "(binary_expression left: (_) @q.l right: (_) @q.r (#not-eq? @q.l @q.r))\n");

  /** One real file per grammar: grammar name and path. */
  static String[][] realFiles() {
    return new String[][] {
        {"json", packages.resolve("tree-sitter-javascript/src/node-types.json").toString()},
        {"javascript", packages.resolve("tree-sitter-javascript/grammar.js").toString()},
        {"python", sources.resolve("bench/launcher-linux/startup.py").toString()},
        {"java", sources.resolve("tests/bridge/jna/BindingTest.java").toString()},
    };
  }

  static void spansEqualTheReference() throws Exception {
    String[][] cases = realFiles();
    for (String[] c : cases) {
      String text = read(Paths.get(c[1]));
      Language language = language(c[0]);
      Utf16Text utf16 = Utf16Text.of(text);
      try (Parser parser = new Parser(language); Tree tree = parser.parse(utf16, null, null, 0);
          Query query = Query.compile(language, highlights(c[0]) + QUANTIFIED.get(c[0]));
          QueryCursor cursor = new QueryCursor()) {
        check(!tree.root().hasError(), c[1] + " parses without errors");
        // One capture at a time, every capture, with the nodes of its match.
        List<Span> all = new ArrayList<>();
        Map<Integer, Match> matches = new HashMap<>();
        cursor.exec(query, tree.root());
        while (cursor.nextCapture()) {
          all.add(new Span(cursor.startByte(), cursor.endByte(), cursor.captureId(), cursor.patternIndex(),
              cursor.matchId()));
          int n = cursor.captureCount();
          int[] ids = new int[n];
          int[] starts = new int[n];
          int[] ends = new int[n];
          for (int i = 0; i < n; i++) {
            Node node = cursor.node(i);
            ids[i] = cursor.captureId(i);
            starts[i] = node.startByte();
            ends[i] = node.endByte();
          }
          matches.put(cursor.matchId(), new Match(cursor.patternIndex(), ids, starts, ends));
        }
        List<Span> expected = new ArrayList<>();
        Set<Integer> quantifiedKept = new HashSet<>();
        Set<Integer> quantifiedLeftOut = new HashSet<>();
        for (Span s : all) {
          boolean pass = passes(query, matches.get(s.match()), text);
          if (pass) {
            expected.add(s);
          }
          if (query.captureName(s.capture()).startsWith("q.")) {
            (pass ? quantifiedKept : quantifiedLeftOut).add(s.capture());
          }
        }
        // Without text: exactly the single captures, through a buffer smaller than the run.
        SpanBuffer small = new SpanBuffer(7);
        cursor.exec(query, tree.root());
        check(bulk(cursor, small).equals(all), c[0] + ": spans without text equal nextCapture's captures");
        cursor.execText(query, tree.root(), utf16);
        List<Span> got = bulk(cursor, small);
        check(got.equals(expected), c[0] + ": spans with text equal the reference evaluation ("
            + got.size() + " vs " + expected.size() + " of " + all.size() + ")" + firstDifference(got, expected));
        check(expected.size() < all.size(), c[0] + ": the predicates leave captures out");
        check(!quantifiedKept.isEmpty() && !quantifiedLeftOut.isEmpty(),
            c[0] + ": quantified captures both kept and left out: " + quantifiedKept + " / " + quantifiedLeftOut);
      }
    }
  }

  static String firstDifference(List<Span> got, List<Span> expected) {
    for (int i = 0; i < Math.max(got.size(), expected.size()); i++) {
      Span a = i < got.size() ? got.get(i) : null;
      Span b = i < expected.size() ? expected.get(i) : null;
      if (a == null || !a.equals(b)) {
        return "; first difference at " + i + ": " + a + " vs " + b;
      }
    }
    return "";
  }

  static void bulkRunRules() throws Exception {
    Language java = language("java");
    Utf16Text text = Utf16Text.of("class A { int a = b; }");
    try (Parser parser = new Parser(java); Tree tree = parser.parse(text, null, null, 0);
        Query query = Query.compile(java, "(identifier) @id"); QueryCursor cursor = new QueryCursor()) {
      SpanBuffer buffer = new SpanBuffer(4);
      cursor.execText(query, tree.root(), text);
      check(cursor.nextSpans(buffer) == 3 && buffer.startByte(2) == 2 * text.toString().indexOf('b'),
          "a bulk run hands out every identifier");
      cursor.execText(query, tree.root(), text);
      text.replace(0, 0, " ", new Point(0, 0));
      check(throwsIt(IllegalStateException.class, () -> cursor.nextSpans(buffer)),
          "a bulk run refuses to go on over changed text");
      cursor.exec(query, tree.root());
      cursor.nextCapture();
      check(throwsIt(IllegalStateException.class, () -> cursor.nextSpans(buffer)),
          "nextSpans refuses a run that nextCapture started reading");
      cursor.execText(query, tree.root(), Utf16Text.of(text.subSequence(1, text.length())));
      check(throwsIt(IllegalStateException.class, cursor::nextCapture), "nextCapture refuses a bulk run");
      check(throwsIt(IndexOutOfBoundsException.class, () -> buffer.startByte(buffer.size())),
          "a span beyond the fill is refused");
    }
  }

  // ---- the native text ----

  static void textReplace() {
    Object[][] cases = {
        // start, end, inserted, start point, expected old end point, expected new end point
        {3, 3, "x", new Point(0, 6), new Point(0, 6), new Point(0, 8)},
        {0, 2, "", new Point(0, 0), new Point(0, 4), new Point(0, 0)},
        {4, 9, "\n\nab", new Point(0, 8), new Point(1, 4), new Point(2, 4)},
        {10, 11, "y".repeat(5000), new Point(1, 6), new Point(1, 8), new Point(1, 10006)},
    };
    String model = "abcdefg\nhijklmn\nop";
    Utf16Text text = Utf16Text.of(model);
    for (int i = 0; i < cases.length; i++) {
      Object[] c = cases[i];
      int start = (Integer) c[0];
      int end = (Integer) c[1];
      String with = (String) c[2];
      long version = text.version();
      InputEdit edit = text.replace(start, end, with, (Point) c[3]);
      model = model.substring(0, start) + with + model.substring(end);
      check(text.toString().equals(model) && text.byteLength() == 2 * model.length() && text.version() != version,
          "replace " + i + " gives the model's text");
      check(edit.startByte() == 2 * start && edit.oldEndByte() == 2 * end
          && edit.newEndByte() == 2 * (start + with.length()) && edit.oldEnd().equals(c[4])
          && edit.newEnd().equals(c[5]), "replace " + i + " reports the edit: " + edit);
    }
    check(throwsIt(IndexOutOfBoundsException.class, () -> Utf16Text.of("ab").replace(1, 3, "", new Point(0, 0))),
        "a replace beyond the text is refused");
    check(Utf16Text.of("héllo\uD83D\uDE00".toCharArray()).toString().equals("héllo\uD83D\uDE00"),
        "a text from chars keeps every UTF-16 unit");
  }

  // ---- changed ranges ----

  record Shape(int symbol, int start, int end) {}

  static Set<Shape> shapes(Tree tree) {
    Set<Shape> result = new HashSet<>();
    try (TreeExport export = new TreeExport()) {
      NodeRecords records = new NodeRecords(4096);
      export.start(tree.root());
      while (export.next(records) > 0) {
        for (int i = 0; i < records.size(); i++) {
          result.add(new Shape(records.symbol(i), records.startByte(i), records.endByte(i)));
        }
      }
    }
    return result;
  }

  static void changedRanges() throws Exception {
    Language java = language("java");
    String source = read(sources.resolve("tests/bridge/jna/BindingTest.java"));
    int middle = source.indexOf("static String bigJava");
    String[][] edits = {
        // inserted at middle, chars removed there
        {"x", "0"},
        {"{", "0"},
        {"", "1"},
        {"/*", "0"},
        {"int q = 1; ", "0"},
        {"\"", "0"},
        {"", "0"},
    };
    try (Parser parser = new Parser(java)) {
      for (String[] e : edits) {
        Utf16Text text = Utf16Text.of(source);
        Tree old = parser.parse(text, null, null, 0);
        int row = (int) source.substring(0, middle).chars().filter(ch -> ch == '\n').count();
        int column = 2 * (middle - source.lastIndexOf('\n', middle - 1) - 1);
        InputEdit edit = text.replace(middle, middle + Integer.parseInt(e[1]), e[0], new Point(row, column));
        old.edit(edit);
        Tree fresh = parser.parse(text, old, null, 0);
        List<Range> ranges = fresh.changedRanges(old);
        Set<Shape> before = shapes(old);
        Set<Shape> after = shapes(fresh);
        boolean covered = true;
        Set<Shape> differing = new HashSet<>(after);
        differing.removeAll(before);
        for (Shape s : differing) {
          boolean hit = false;
          for (Range r : ranges) {
            hit |= s.start() < r.endByte() && s.end() > r.startByte()
                || (s.start() == s.end() && s.start() >= r.startByte() && s.start() <= r.endByte());
          }
          covered &= hit;
        }
        boolean ordered = true;
        for (int i = 0; i < ranges.size(); i++) {
          Range r = ranges.get(i);
          ordered &= r.startByte() <= r.endByte() && r.endByte() <= text.byteLength()
              && (i == 0 || ranges.get(i - 1).endByte() <= r.startByte());
        }
        String what = "changed ranges for inserting '" + e[0] + "', removing " + e[1] + ": " + ranges;
        check(covered, what + " cover every node the old tree does not have (" + differing.size() + ")");
        check(ordered, what + " are in order and within the text");
        check(differing.isEmpty() == ranges.isEmpty(), what + " are empty exactly when the structure is unchanged");
        old.close();
        fresh.close();
      }
    }
  }

  // ---- copies, cancellation, timeout ----

  static void copyOnAnotherThread() throws Exception {
    Language java = language("java");
    String source = bigJava(2000);
    try (Parser parser = new Parser(java)) {
      Utf16Text text = Utf16Text.of(source);
      Tree tree = parser.parse(text, null, null, 0);
      String expected = tree.root().toSexp();
      Tree copy = tree.copy();
      AtomicReference<String> seen = new AtomicReference<>();
      Thread reader = new Thread(() -> {
        String last = null;
        for (int i = 0; i < 5; i++) {
          last = copy.root().toSexp();
          if (!last.equals(expected)) {
            break;
          }
        }
        seen.set(last);
      });
      reader.start();
      // Meanwhile the original is edited and re-parsed, again and again.
      int at = source.indexOf("m1000");
      for (int i = 0; i < 20; i++) {
        InputEdit edit = i % 2 == 0 ? text.replace(at, at, "z", new Point(1001, 2 * 6))
            : text.replace(at, at + 1, "", new Point(1001, 2 * 6));
        tree.edit(edit);
        Tree next = parser.parse(text, tree, null, 0);
        tree.close();
        tree = next;
      }
      reader.join();
      check(expected.equals(seen.get()), "a copy read on another thread keeps the tree it was made from");
      check(copy.root().toSexp().equals(expected) && !tree.root().hasError(), "the copy and the original both live");
      copy.close();
      tree.close();
    }
  }

  static void cancellation() throws Exception {
    Language java = language("java");
    Utf16Text big = Utf16Text.of(bigJava(60_000));
    Utf16Text other = Utf16Text.of("class Other { void f() { g(1); } }");
    try (Parser parser = new Parser(java); Parser reference = new Parser(java)) {
      CancelFlag flag = new CancelFlag();
      Thread setter = new Thread(() -> {
        try {
          Thread.sleep(20);
        } catch (InterruptedException e) {
          Thread.currentThread().interrupt();
        }
        flag.set();
      });
      setter.start();
      Tree stopped = parser.parse(big, null, flag, 0);
      setter.join();
      check(stopped == null && flag.isSet(), "a flag set from another thread stops a running parse");
      Tree fresh = parser.parse(other, null, flag, 0);
      check(fresh == null, "a set flag stops the next parse at once");
      flag.clear();
      fresh = parser.parse(other, null, flag, 0);
      try (Tree expected = reference.parse(other, null, null, 0)) {
        check(fresh != null && fresh.root().toSexp().equals(expected.root().toSexp()),
            "after a stopped parse, the next parse of another text equals a fresh parse");
      }
      fresh.close();
      check(parser.parse(big, null, null, 1) == null, "a timeout of one microsecond stops a long parse");
      try (Tree after = parser.parse(other, null, null, 1_000_000_000L);
          Tree expected = reference.parse(other, null, null, 0)) {
        check(after != null && after.root().toSexp().equals(expected.root().toSexp()),
            "after a timeout, the next parse equals a fresh parse");
      }
      check(throwsIt(IllegalArgumentException.class, () -> parser.parse(other, null, null, -1)),
          "a negative timeout is refused");
      try (Tree fromString = parser.parse("class Other { void f() { g(1); } }", null, null, 0);
          Tree fromChars = parser.parse("class Other { void f() { g(1); } }".toCharArray(), null, null, 0);
          Tree expected = reference.parse(other, null, null, 0)) {
        check(fromString.root().toSexp().equals(expected.root().toSexp())
            && fromChars.root().toSexp().equals(expected.root().toSexp()), "strings and chars parse as the text");
      }
    }
  }

  static void matchLimit() throws Exception {
    Language js = language("javascript");
    // Every pair of numbers in a long flat list starts a match in progress.
    String list = "[" + "1, ".repeat(60) + "1];";
    try (Parser parser = new Parser(js); Tree tree = parser.parse(list, null, null, 0);
        Query query = Query.compile(js, "(array (number) @a (number) @b)")) {
      SpanBuffer buffer = new SpanBuffer(256);
      try (QueryCursor limited = new QueryCursor(); QueryCursor free = new QueryCursor()) {
        limited.setMatchLimit(8);
        limited.exec(query, tree.root());
        SpanList a = new SpanList();
        a.addRun(limited, buffer);
        free.exec(query, tree.root());
        SpanList b = new SpanList();
        b.addRun(free, buffer);
        check(limited.didExceedMatchLimit() && !free.didExceedMatchLimit(),
            "a pathological query reports its match limit, without a limit it does not");
        check(a.size() < b.size(), "the limited run hands out fewer captures: " + a.size() + " vs " + b.size());
      }
    }
  }

  /** The spans of one run of captures, in the order the library hands them out. */
  static SpanList captureRun(QueryCursor cursor, Query query, Tree tree, Utf16Text text) {
    cursor.execText(query, tree.root(), text);
    SpanList spans = new SpanList();
    spans.addRun(cursor, new SpanBuffer(512));
    return spans;
  }

  static void highlighterReadsByMatch() throws Exception {
    // Read match by match and sorted, the spans are those of a run of captures, in its order.
    String[][] cases = realFiles();
    for (String[] c : cases) {
      Language language = language(c[0]);
      Utf16Text text = Utf16Text.of(read(Paths.get(c[1])));
      try (Parser parser = new Parser(language); Tree tree = parser.parse(text, null, null, 0);
          Query query = Query.compile(language, highlights(c[0]));
          QueryCursor cursor = new QueryCursor(); Highlighter highlighter = new Highlighter(query, 7)) {
        SpanList expected = captureRun(cursor, query, tree, text);
        SpanList got = new SpanList();
        highlighter.highlight(tree, text, got);
        check(expected.size() > 100 && got.sameSpans(expected), c[0] + ": the highlighter's spans are the captures'"
            + " in their order (" + got.size() + " and " + expected.size() + ")");
      }
    }

    // Error recovery puts the words between the name and the function into
    // the declarator: its match holds the name until the value shows whether
    // it is a function, and the captures of every word in between wait
    // behind it in a run of captures; past the limit, that run drops matches.
    Language js = language("javascript");
    StringBuilder source = new StringBuilder("var f = ");
    for (int i = 0; i < 200; i++) {
      source.append('x').append(i).append(" y ");
    }
    Utf16Text text = Utf16Text.of(source.append("function () {};\n").toString());
    int limit = 32;
    try (Parser parser = new Parser(js); Query query = Query.compile(js, highlights("javascript"));
        Highlighter free = new Highlighter(query, 512); Highlighter limited = new Highlighter(query, 64, limit);
        QueryCursor plain = new QueryCursor()) {
      Tree tree = parser.parse(text, null, null, 0);
      SpanList expected = new SpanList();
      free.highlight(tree, text, expected);
      plain.setMatchLimit(limit);
      SpanList lossy = captureRun(plain, query, tree, text);
      check(plain.didExceedMatchLimit() && lossy.size() < expected.size(),
          "a run of captures under the limit drops spans: " + lossy.size() + " of " + expected.size());
      SpanList got = new SpanList();
      limited.highlight(tree, text, got);
      check(got.sameSpans(expected) && !limited.didExceedMatchLimit(),
          "the highlighter under the same limit loses nothing: " + got.size() + " of " + expected.size());

      // The keystroke loop under the limit, against a full highlight.
      Random random = new Random(11);
      SpanList held = got;
      SpanList full = new SpanList();
      int mismatches = 0;
      for (int i = 0; i < 40; i++) {
        int at = 8 + random.nextInt(text.length() - 30);
        InputEdit edit = i % 2 == 0
            ? text.replace(at, at, String.valueOf("a(){};\" ".charAt(random.nextInt(7))), new Point(0, 2 * at))
            : text.replace(at, at + 1, "", new Point(0, 2 * at));
        tree.edit(edit);
        Tree next = parser.parse(text, tree, null, 0);
        limited.update(tree, next, edit, text, held);
        tree.close();
        tree = next;
        free.highlight(tree, text, full);
        if (!held.sameSpans(full) || limited.didExceedMatchLimit()) {
          mismatches++;
          limited.highlight(tree, text, held);
        }
      }
      check(mismatches == 0, "after each of 40 edits the spans kept under the limit equal a full highlight ("
          + mismatches + " differ)");
      tree.close();
    }

    // A pattern that forks on every pair of a long list keeps that many
    // matches in progress whichever way it is read: the highlighter says so.
    String list = "const flat = [" + "1, ".repeat(60) + "1];\n";
    try (Parser parser = new Parser(js); Tree tree = parser.parse(list, null, null, 0);
        Query query = Query.compile(js, "(array (number) @a (number) @b)");
        Highlighter limited = new Highlighter(query, 512, 8)) {
      limited.highlight(tree, Utf16Text.of(list), new SpanList());
      check(limited.didExceedMatchLimit(), "a highlight that dropped matches says so");
    }
  }

  static void missingTokens() throws Exception {
    // Edits after which error recovery inserts a missing token, an empty
    // node, at an end of the range that the update re-queries.
    String[][] cases = {
        {"if (typeof oldVal === \"object\") { node = oldVal } else { node = {} }\n", "typ", "("},
        {"f(a, b);\ng(c);\n", "f(a, b", ""},
        {"var x = [1, 2];\nvar y = 3;\n", "[1, 2", ")"},
    };
    Language js = language("javascript");
    try (Parser parser = new Parser(js); Query query = Query.compile(js, highlights("javascript"));
        Highlighter highlighter = new Highlighter(query, 64)) {
      for (String[] c : cases) {
        Utf16Text text = Utf16Text.of(c[0]);
        Tree tree = parser.parse(text, null, null, 0);
        SpanList held = new SpanList();
        highlighter.highlight(tree, text, held);
        int at = c[0].indexOf(c[1]) + c[1].length();
        InputEdit edit = c[2].isEmpty() ? text.replace(at, at + 1, "", new Point(0, 2 * at))
            : text.replace(at, at, c[2], new Point(0, 2 * at));
        tree.edit(edit);
        Tree next = parser.parse(text, tree, null, 0);
        highlighter.update(tree, next, edit, text, held);
        SpanList full = new SpanList();
        highlighter.highlight(next, text, full);
        check(held.sameSpans(full), "after the edit of '" + c[0].trim() + "' at " + at + " the held spans equal a"
            + " full highlight (" + held.size() + " and " + full.size() + ")");
        tree.close();
        next.close();
      }
    }
  }

  static void replaceKeepsTheOrderOfARun() {
    // A kept span and a fresh one that start together: the order of a run of
    // captures puts the lower pattern first, whichever list it came from.
    SpanList held = new SpanList();
    held.add(4, 6, 1, 23);
    held.add(10, 12, 1, 23);
    held.add(30, 32, 2, 5);
    SpanList fresh = new SpanList();
    fresh.add(10, 40, 3, 20);
    fresh.add(14, 16, 1, 23);
    fresh.add(10, 12, 9, 23);
    held.replace(12, 36, fresh);
    SpanList expected = new SpanList();
    expected.add(4, 6, 1, 23);
    expected.add(10, 40, 3, 20);
    expected.add(10, 12, 1, 23);
    expected.add(14, 16, 1, 23);
    check(held.sameSpans(expected), "replace orders spans that start together by pattern");
    SpanList unsorted = new SpanList();
    int[][] rows = {{8, 9, 0, 3}, {2, 4, 0, 7}, {2, 3, 1, 7}, {2, 9, 2, 1}, {8, 8, 0, 2}};
    for (int[] r : rows) {
      unsorted.add(r[0], r[1], r[2], r[3]);
    }
    unsorted.sortFrom(0);
    SpanList sorted = new SpanList();
    int[][] expectedRows = {{2, 9, 2, 1}, {2, 4, 0, 7}, {2, 3, 1, 7}, {8, 8, 0, 2}, {8, 9, 0, 3}};
    for (int[] r : expectedRows) {
      sorted.add(r[0], r[1], r[2], r[3]);
    }
    check(unsorted.sameSpans(sorted), "sortFrom orders by start, then pattern, keeping ties in their order");
  }

  // ---- the keystroke loop: spans kept current ----

  static void keystrokes() throws Exception {
    String[][] cases = {
        {"java", sources.resolve("tests/bridge/jna/BindingTest.java").toString()},
        {"javascript", packages.resolve("tree-sitter-javascript/grammar.js").toString()},
    };
    for (String[] c : cases) {
      Language language = language(c[0]);
      String source = read(Paths.get(c[1]));
      Utf16Text text = Utf16Text.of(source);
      Random random = new Random(7);
      String alphabet = "a{}();\"'/* \n=1.";
      try (Parser parser = new Parser(language); Query query = Query.compile(language, highlights(c[0]));
          Highlighter highlighter = new Highlighter(query, 512)) {
        Tree tree = parser.parse(text, null, null, 0);
        SpanList held = new SpanList();
        highlighter.highlight(tree, text, held);
        SpanList full = new SpanList();
        int mismatches = 0;
        for (int i = 0; i < 150; i++) {
          int at = text.length() / 4 + random.nextInt(text.length() / 2);
          String model = text.toString();
          int row = 0;
          for (int k = 0; k < at; k++) {
            row += model.charAt(k) == '\n' ? 1 : 0;
          }
          Point point = new Point(row, 2 * (at - model.lastIndexOf('\n', at - 1) - 1));
          InputEdit edit = random.nextBoolean() || at + 1 >= text.length()
              ? text.replace(at, at, String.valueOf(alphabet.charAt(random.nextInt(alphabet.length()))), point)
              : text.replace(at, at + 1, "", point);
          tree.edit(edit);
          Tree next = parser.parse(text, tree, null, 0);
          highlighter.update(tree, next, edit, text, held);
          tree.close();
          tree = next;
          highlighter.highlight(tree, text, full);
          if (!held.sameSpans(full)) {
            mismatches++;
            int k = 0;
            while (k < Math.min(held.size(), full.size()) && held.starts()[k] == full.starts()[k]
                && held.ends()[k] == full.ends()[k] && held.captureIds()[k] == full.captureIds()[k]) {
              k++;
            }
            System.out.println("edit " + edit + " range " + highlighter.lastStart() + ".." + highlighter.lastEnd() + " sizes " + held.size() + "/"
                + full.size() + " first difference at " + k + ": "
                + (k < held.size() ? held.starts()[k] + ".." + held.ends()[k] + " " + query.captureName(held.captureIds()[k]) : "-")
                + " vs " + (k < full.size() ? full.starts()[k] + ".." + full.ends()[k] + " " + query.captureName(full.captureIds()[k]) : "-"));
            highlighter.highlight(tree, text, held);
          }
        }
        check(mismatches == 0, c[0] + ": after each of 150 random edits the held spans equal a full highlight ("
            + mismatches + " differ)");
        tree.close();
      }
    }
  }

  // ---- tree cursor, fields, symbols ----

  record Visit(int symbol, int start, int end, Point startPoint, String field, int depth) {}

  static void walkNodes(Node node, String field, int depth, List<Visit> out, List<Node> nodes) {
    out.add(new Visit(node.symbol(), node.startByte(), node.endByte(), node.startPoint(), field, depth));
    nodes.add(node);
    for (int i = 0; i < node.childCount(); i++) {
      walkNodes(node.child(i), node.fieldNameForChild(i), depth + 1, out, nodes);
    }
  }

  static List<Visit> walkCursor(TreeCursor cursor, List<Node> nodes) {
    List<Visit> out = new ArrayList<>();
    while (true) {
      Node node = cursor.currentNode();
      nodes.add(node);
      out.add(new Visit(cursor.currentSymbol(), cursor.currentStartByte(), cursor.currentEndByte(),
          node.startPoint(), cursor.currentFieldName(), cursor.currentDepth()));
      if (cursor.gotoFirstChild()) {
        continue;
      }
      while (!cursor.gotoNextSibling()) {
        if (!cursor.gotoParent()) {
          return out;
        }
      }
    }
  }

  static void cursorAgainstNodes() throws Exception {
    String[][] cases = {
        {"java", sources.resolve("tests/bridge/jna/BindingTest.java").toString()},
        {"python", sources.resolve("bench/launcher-linux/startup.py").toString()},
    };
    for (String[] c : cases) {
      Language language = language(c[0]);
      try (Parser parser = new Parser(language); Tree tree = parser.parse(read(Paths.get(c[1])), null, null, 0);
          TreeCursor cursor = new TreeCursor(tree.root())) {
        List<Visit> expected = new ArrayList<>();
        List<Node> expectedNodes = new ArrayList<>();
        walkNodes(tree.root(), null, 0, expected, expectedNodes);
        List<Node> nodes = new ArrayList<>();
        List<Visit> got = walkCursor(cursor, nodes);
        check(got.equals(expected) && nodes.equals(expectedNodes),
            c[0] + ": the cursor visits the nodes, fields and depths of the node functions ("
                + got.size() + " vs " + expected.size() + ")");
        check(tree.root().descendantCount() == expected.size(), c[0] + ": the descendant count counts them");
        long withFields = expected.stream().filter(v -> v.field() != null).count();
        check(withFields > 10, c[0] + ": the file has fields (" + withFields + ")");
        // Back and forth over the root's children.
        cursor.reset(tree.root());
        Node root = tree.root();
        boolean same = cursor.gotoLastChild() && cursor.currentNode().equals(root.child(root.childCount() - 1));
        for (int i = root.childCount() - 2; i >= 0; i--) {
          same &= cursor.gotoPreviousSibling() && cursor.currentNode().equals(root.child(i));
        }
        same &= !cursor.gotoPreviousSibling() && cursor.gotoParent() && !cursor.gotoParent();
        check(same, c[0] + ": last child and previous siblings agree with the node functions");
        int middle = root.endByte() / 2;
        cursor.reset(root);
        long index = cursor.gotoFirstChildForByte(middle);
        check(index >= 0 && cursor.currentNode().equals(root.firstChildForByte(middle))
            && cursor.currentNode().equals(root.child((int) index)), c[0] + ": first child for a byte");
        try (TreeCursor copy = cursor.copy()) {
          check(copy.currentNode().equals(cursor.currentNode()) && copy.gotoParent()
              && !cursor.currentNode().equals(copy.currentNode()), c[0] + ": a copy moves on its own");
        }
      }
    }
    // Fields and symbols of the Java grammar.
    Language java = language("java");
    boolean fieldsRoundTrip = java.fieldCount() > 20;
    for (int id = 1; id <= java.fieldCount(); id++) {
      fieldsRoundTrip &= java.fieldId(java.fieldName(id)) == id;
    }
    check(fieldsRoundTrip && java.fieldName(0) == null && java.fieldName(java.fieldCount() + 1) == null
        && java.fieldId("no_such_field") == 0, "every field of the Java grammar maps both ways");
    try (Parser parser = new Parser(java);
        Tree tree = parser.parse("class A { int f(int x) { return x; } }", null, null, 0)) {
      Node method = tree.root().child(0).childByFieldName("body").namedChild(0);
      check(method.type().equals("method_declaration")
          && method.childByFieldName("name").text("class A { int f(int x) { return x; } }").equals("f")
          && method.childByFieldName("no_such_field") == null
          && method.childByFieldId(java.fieldId("parameters")).type().equals("formal_parameters"),
          "children by field");
      int identifier = java.symbolForName("identifier", true);
      check(identifier != 0 && java.symbolName(identifier).equals("identifier")
          && java.symbolType(identifier) == SymbolType.REGULAR
          && java.symbolType(java.symbolForName("{", false)) == SymbolType.ANONYMOUS
          && java.symbolForName("no_such_node", true) == 0 && java.symbolType(java.symbolCount()) == null,
          "symbols by name and their kinds");
      int at = "class A { int f(int x) { return x; } }".indexOf("x;");
      Node x = tree.root().namedDescendantForByteRange(2 * at, 2 * at + 2);
      check(x.type().equals("identifier") && x.startPoint().equals(new Point(0, 2 * at))
          && x.endPoint().equals(new Point(0, 2 * at + 2)) && !x.isExtra() && x.parseState() >= 0,
          "named descendant and points");
    }
  }

  // ---- the bulk export against the cursor ----

  record Rec(int start, int end, int startRow, int endRow, int depth, int children, int symbol, int field,
      int flags) {}

  static List<Rec> exported(TreeExport export, NodeRecords records) {
    List<Rec> out = new ArrayList<>();
    while (export.next(records) > 0) {
      for (int i = 0; i < records.size(); i++) {
        out.add(new Rec(records.startByte(i), records.endByte(i), records.startRow(i), records.endRow(i),
            records.depth(i), records.childCount(i), records.symbol(i), records.fieldId(i),
            records.flags(i) & ~NodeRecords.HAS_CHANGES));
      }
    }
    return out;
  }

  static List<Rec> cursorRecords(Node root) {
    List<Rec> out = new ArrayList<>();
    try (TreeCursor cursor = new TreeCursor(root)) {
      while (true) {
        Node n = cursor.currentNode();
        int flags = (n.isNamed() ? NodeRecords.NAMED : 0) | (n.isMissing() ? NodeRecords.MISSING : 0)
            | (n.isError() ? NodeRecords.ERROR : 0) | (n.hasError() ? NodeRecords.HAS_ERROR : 0)
            | (n.isExtra() ? NodeRecords.EXTRA : 0);
        out.add(new Rec(n.startByte(), n.endByte(), n.startPoint().row(), n.endPoint().row(),
            cursor.currentDepth(), n.childCount(), n.symbol(), cursor.currentFieldId(), flags));
        if (cursor.gotoFirstChild()) {
          continue;
        }
        boolean done = false;
        while (!cursor.gotoNextSibling()) {
          if (!cursor.gotoParent()) {
            done = true;
            break;
          }
        }
        if (done) {
          return out;
        }
      }
    }
  }

  static void exportAgainstCursor() throws Exception {
    Language java = language("java");
    // With a syntax error, so that the error flags are exercised too.
    String source = read(sources.resolve("tests/bridge/jna/BindingTest.java")) + "\nclass Broken { int x = ; }\n";
    try (Parser parser = new Parser(java); Tree tree = parser.parse(source, null, null, 0);
        TreeExport export = new TreeExport()) {
      List<Rec> all = cursorRecords(tree.root());
      int from = source.length();   // bytes: the middle of the text
      int to = from + 400;
      Object[][] cases = {
          // start, end, depth, what
          {0, 0, TreeExport.NO_DEPTH_LIMIT, "the whole tree"},
          {from, to, TreeExport.NO_DEPTH_LIMIT, "a byte range"},
          {0, 0, 3, "down to depth 3"},
          {from, to, 4, "a byte range down to depth 4"},
          {2 * source.length(), 0, TreeExport.NO_DEPTH_LIMIT, "from the end"},
      };
      for (Object[] c : cases) {
        int start = (Integer) c[0];
        int end = (Integer) c[1];
        int depth = (Integer) c[2];
        List<Rec> expected = new ArrayList<>();
        for (Rec r : all) {
          if ((end == 0 || r.start() < end) && r.end() >= start && (depth < 0 || r.depth() <= depth)) {
            expected.add(r);
          }
        }
        for (int capacity : new int[] {expected.size() - 1, expected.size(), 1000}) {
          if (capacity <= 0) {
            continue;
          }
          export.start(tree.root(), start, end, depth);
          List<Rec> got = exported(export, new NodeRecords(capacity));
          check(got.equals(expected), c[3] + ", " + capacity + " records per call: the export equals the cursor ("
              + got.size() + " vs " + expected.size() + ")");
        }
      }
      check(all.stream().anyMatch(r -> (r.flags() & NodeRecords.ERROR) != 0)
          && all.stream().anyMatch(r -> (r.flags() & NodeRecords.EXTRA) != 0), "the file has errors and extras");
      Node method = tree.root().namedDescendantForByteRange(from, from);
      export.start(method);
      List<Rec> sub = exported(export, new NodeRecords(64));
      check(sub.size() == method.descendantCount() && sub.get(0).depth() == 0 && sub.get(0).field() == 0,
          "a subtree's export starts at depth 0 without a field");
      check(throwsIt(IllegalArgumentException.class, () -> export.start(tree.root(), 10, 4, 1)),
          "a start after the end is refused");
    }
  }

  // ---- included ranges ----

  static void includedRanges() throws Exception {
    String page = read(sources.resolve("tests/bridge/fixtures/page.html"));
    Language html = language("html");
    Language js = language("javascript");
    List<Range> scripts = new ArrayList<>();
    try (Parser parser = new Parser(html); Tree tree = parser.parse(page, null, null, 0);
        TreeExport export = new TreeExport()) {
      NodeRecords records = new NodeRecords(256);
      int rawText = html.symbolForName("raw_text", true);
      int scriptElement = html.symbolForName("script_element", true);
      export.start(tree.root());
      boolean inScript = false;
      int scriptDepth = 0;
      while (export.next(records) > 0) {
        for (int i = 0; i < records.size(); i++) {
          if (records.symbol(i) == scriptElement) {
            inScript = true;
            scriptDepth = records.depth(i);
          } else if (records.depth(i) <= scriptDepth) {
            inScript = false;
          }
          if (inScript && records.symbol(i) == rawText) {
            Node node = tree.root().descendantForByteRange(records.startByte(i), records.endByte(i));
            scripts.add(new Range(node.startPoint(), node.endPoint(), records.startByte(i), records.endByte(i)));
          }
        }
      }
    }
    check(scripts.size() >= 2, "the page has scripts: " + scripts.size());
    try (Parser parser = new Parser(js); Parser alone = new Parser(js);
        Query query = Query.compile(js, highlights("javascript")); QueryCursor cursor = new QueryCursor()) {
      Utf16Text document = Utf16Text.of(page);
      SpanBuffer buffer = new SpanBuffer(64);
      for (Range script : scripts) {
        check(parser.setIncludedRanges(List.of(script)), "one script's range is accepted");
        String extracted = page.substring(script.startByte() / 2, script.endByte() / 2);
        Utf16Text extractedText = Utf16Text.of(extracted);
        try (Tree embedded = parser.parse(document, null, null, 0);
            Tree reference = alone.parse(extractedText, null, null, 0)) {
          check(embedded.includedRanges().equals(List.of(script)), "the tree reports its range");
          check(embedded.root().toSexp().equals(reference.root().toSexp()) && !reference.root().hasError(),
              "the script parsed in place has the structure of the extracted text");
          SpanList inPlace = new SpanList();
          cursor.setByteRange(0, 0);
          cursor.execText(query, embedded.root(), document);
          inPlace.addRun(cursor, buffer);
          SpanList shifted = new SpanList();
          SpanList raw = new SpanList();
          cursor.execText(query, reference.root(), extractedText);
          raw.addRun(cursor, buffer);
          for (int i = 0; i < raw.size(); i++) {
            shifted.add(raw.starts()[i] + script.startByte(), raw.ends()[i] + script.startByte(), raw.captureIds()[i],
                raw.patterns()[i]);
          }
          check(raw.size() > 5 && inPlace.sameSpans(shifted),
              "its spans are those of the extracted text, at document offsets");
        }
      }
      // All scripts at once: the ranges come back, out of order they are refused.
      check(parser.setIncludedRanges(scripts), "the ranges of all scripts are accepted");
      try (Tree embedded = parser.parse(document, null, null, 0)) {
        check(embedded.includedRanges().equals(scripts) && !embedded.root().hasError(),
            "a tree of every script reports their ranges");
      }
      List<Range> reversed = new ArrayList<>(scripts);
      java.util.Collections.reverse(reversed);
      check(!parser.setIncludedRanges(reversed), "ranges out of order are refused");
      try (Tree embedded = parser.parse(document, null, null, 0)) {
        check(embedded.includedRanges().equals(scripts), "a refused set leaves the earlier ranges");
      }
      check(parser.setIncludedRanges(List.of()), "no ranges: the whole document again");
      try (Tree whole = parser.parse(document, null, null, 0)) {
        check(whole.includedRanges().size() == 1 && whole.includedRanges().get(0).startByte() == 0,
            "the whole document is one range");
      }
    }
  }

  public static void main(String[] args) throws Exception {
    grammarDir = Paths.get(args[0]);
    packages = Paths.get(args[1]);
    sources = Paths.get(args[2]);
    test("native text", HotPathTest::textReplace);
    test("spans equal the reference", HotPathTest::spansEqualTheReference);
    test("bulk run rules", HotPathTest::bulkRunRules);
    test("changed ranges", HotPathTest::changedRanges);
    test("copy on another thread", HotPathTest::copyOnAnotherThread);
    test("cancellation", HotPathTest::cancellation);
    test("match limit", HotPathTest::matchLimit);
    test("highlighter reads by match", HotPathTest::highlighterReadsByMatch);
    test("keystrokes", HotPathTest::keystrokes);
    test("missing tokens", HotPathTest::missingTokens);
    test("span order", HotPathTest::replaceKeepsTheOrderOfARun);
    test("cursor against nodes", HotPathTest::cursorAgainstNodes);
    test("export against cursor", HotPathTest::exportAgainstCursor);
    test("included ranges", HotPathTest::includedRanges);
    finish();
  }
}
