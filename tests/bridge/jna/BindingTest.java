// The bridge from a real JVM through the project's Java library (morv.ts),
// the way the editor calls it: parsing through the read callback, nodes,
// queries with their text predicates, incremental re-parsing, and the
// lifetimes the library promises (grammar, tree and query stay alive while
// used; closed handles throw; nothing is freed twice).
//
//   java -Dmorv.ts.library=<bridge> -cp morv-ts.jar:jna.jar:<this jar> BindingTest \
//       <Java grammar library> <JSON grammar library> <Java highlights.scm>
//
// Prints one line per failed check and "N passed, N failed"; the exit code is
// 0 only when every check passed.

import morv.ts.Language;
import morv.ts.Node;
import morv.ts.Parser;
import morv.ts.Query;
import morv.ts.QueryCursor;
import morv.ts.QueryException;
import morv.ts.TextReader;
import morv.ts.Tree;

import java.lang.ref.WeakReference;
import java.nio.ByteBuffer;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.StandardCopyOption;
import java.util.ArrayList;
import java.util.List;

public final class BindingTest extends Checks {
  static Language java;
  static Language json;
  static String highlights;

  static final String SOURCE = "// Grüße\npublic class Hello {\n  public static void main(String[] args) {\n"
      + "    System.out.println(\"Grüße, 世界 😀\");\n    int answer = 42;\n  }\n}\n";

  /** Hands the text out in chunks of at most {@code chunk} bytes, counting the calls. */
  static final class Chunks implements TextReader {
    final ByteBuffer utf16;
    final int chunk;
    final boolean heap;
    int reads;

    Chunks(String text, int chunk, boolean heap) {
      this.utf16 = heap ? ByteBuffer.wrap(text.getBytes(StandardCharsets.UTF_16LE)) : Parser.utf16(text);
      this.chunk = chunk;
      this.heap = heap;
    }

    @Override
    public ByteBuffer read(int byteIndex, int row, int column) {
      reads++;
      int size = utf16.limit();
      if (byteIndex >= size) {
        return null;
      }
      return utf16.duplicate().position(byteIndex).limit(Math.min(size, byteIndex + chunk));
    }
  }

  static String bigJava(int methods) {
    StringBuilder big = new StringBuilder("class Big {\n");
    for (int i = 0; i < methods; i++) {
      big.append("  int f").append(i).append("() { return ").append(i).append(" + 1; }\n");
    }
    return big.append("}\n").toString();
  }

  static void gc() throws InterruptedException {
    for (int i = 0; i < 10; i++) {
      System.gc();
      Thread.sleep(30);
    }
  }

  static long countNodes(Node node) {
    long count = 1;
    int children = node.childCount();
    for (int i = 0; i < children; i++) {
      count += countNodes(node.child(i));
    }
    return count;
  }

  static List<String> captures(Query query, Node node, String text, boolean predicates) {
    List<String> result = new ArrayList<>();
    try (QueryCursor cursor = new QueryCursor()) {
      cursor.exec(query, node, predicates ? text : null);
      while (cursor.nextCapture()) {
        result.add(query.captureName(cursor.captureId()) + "="
            + text.substring(cursor.startByte() / 2, cursor.endByte() / 2));
      }
    }
    return result;
  }

  static void mainPaths() throws Exception {
    check(java.abiVersion() == 14, "the Java grammar has ABI 14");
    try (Parser parser = new Parser(java)) {
      Chunks text = new Chunks(SOURCE, 64, false);
      Tree tree = parser.parse(null, text, null);
      check(tree != null, "the source parses");
      check(text.reads > 1, "the read callback was called chunk by chunk");
      Node root = tree.root();
      check("program".equals(root.type()), "the root is a program: " + root.type());
      check(!root.hasError(), "the source has no error");
      check(root.endByte() == 2 * SOURCE.length(), "end byte counts UTF-16 bytes");
      check(root.toSexp().startsWith("(program (line_comment) (class_declaration"), "sexp: " + root.toSexp());
      check(root.parent() == null, "the root has no parent");
      Node empty = parser.parse("").root();
      check(empty.endByte() == 0 && empty.childCount() == 0 && !empty.hasError(),
          "the empty document parses into an empty program: " + empty.toSexp());
      Tree fromHeap = parser.parse(null, new Chunks(SOURCE, 64, true), null);
      check(fromHeap.root().toSexp().equals(root.toSexp()), "a heap buffer parses like a direct one");

      int at = 2 * SOURCE.indexOf("42");
      Node number = root.descendantForByteRange(at, at + 4);
      check("decimal_integer_literal".equals(number.type()), "descendant at 42: " + number);
      check(number.startByte() == at && "42".equals(number.text(SOURCE)), "start byte and text of 42");
      check(number.parent().equals(root.descendantForByteRange(at, at + 4).parent()), "node equality");
      Node first = root.child(0);
      check(first.nextSibling().prevSibling().equals(first), "siblings lead back");
      check(root.child(root.childCount()) == null, "a child out of range is null");
      check(root.namedChildCount() == 2 && "class_declaration".equals(root.namedChild(1).type()),
          "named children");

      try (Query query = Query.compile(java, highlights)) {
        check(query.patternCount() > 10, "highlights.scm has its patterns");
        List<String> all = new ArrayList<>();
        int last = -1;
        boolean ordered = true;
        try (QueryCursor cursor = new QueryCursor()) {
          cursor.exec(query, root, SOURCE);
          while (cursor.nextCapture()) {
            ordered &= cursor.startByte() >= last;
            last = cursor.startByte();
            all.add(query.captureName(cursor.captureId()) + "=" + cursor.node().text(SOURCE));
          }
          check(!cursor.nextCapture(), "no capture after the last");
          check(ordered, "captures come in document order");
          check(all.contains("type=Hello"), "class name highlighted as a type: " + all);
          check(all.contains("function.method=println"), "method call highlighted");
          check(all.contains("string=\"Grüße, 世界 😀\""), "string literal highlighted");
          check(all.contains("comment=// Grüße"), "comment highlighted");

          int body = 2 * SOURCE.indexOf("    int answer");
          check(cursor.setByteRange(body, 0), "byte range with open end");
          check(!cursor.setByteRange(10, 5), "byte range with start after end");
          cursor.exec(query, root, SOURCE);
          int limited = 0;
          boolean inside = true;
          while (cursor.nextCapture()) {
            inside &= cursor.endByte() > body;
            limited++;
          }
          check(limited > 0 && limited < all.size() && inside, "the byte range limits the captures");
        }
        // The grammar's own text predicates: an upper-case identifier is a constant, another is not.
        String constants = "class K { int MAX_VALUE = 1; int low = MAX_VALUE; }";
        Tree k = parser.parse(constants);
        List<String> applied = captures(query, k.root(), constants, true);
        List<String> raw = captures(query, k.root(), constants, false);
        check(applied.contains("constant=MAX_VALUE") && !applied.contains("constant=low"),
            "#match? applied to highlights.scm: " + applied);
        check(raw.contains("constant=low"), "without the text no predicate filters: " + raw);
        k.close();
      }

      // Incremental re-parse: 42 becomes 4242.
      String edited = SOURCE.replace("42;", "4242;");
      int row = 4;
      int column = 2 * "    int answer = 42".length();
      tree.edit(at + 4, at + 4, at + 8, row, column, row, column, row, column + 4);
      Tree incremental = parser.parse(tree, edited);
      Tree fresh = parser.parse(edited);
      check(incremental.root().toSexp().equals(fresh.root().toSexp()), "incremental and fresh parse agree");
      check(incremental.root().endByte() == 2 * edited.length(), "incremental tree spans the edited text");

      // An old tree of another language is not reused.
      try (Parser jsonParser = new Parser(json)) {
        String doc = "{\"a\": [1, 2, {\"b\": null}]}";
        Tree mixed = jsonParser.parse(tree, doc);
        check(mixed.root().toSexp().equals(jsonParser.parse(doc).root().toSexp()),
            "an old tree of another language gives a fresh parse: " + mixed.root().toSexp());
      }

      String big = bigJava(2000);
      int[] calls = {0};
      check(parser.parse(null, new Chunks(big, 4096, false), offset -> ++calls[0] >= 1) == null,
          "a progress function returning true stops the parse");
      check(calls[0] == 1, "the progress function was called once");
      parser.reset();
      Tree bigTree = parser.parse(null, new Chunks(big, 4096, false), offset -> false);
      check(bigTree != null && !bigTree.root().hasError(), "after reset the next parse completes");
    }
  }

  /** Loads a grammar from a copy that nothing else uses, and keeps only a tree and a query of it. */
  static Object[] treeAndQueryOfCopy(Path copy) {
    Language language = Language.load(copy.toString(), "java");
    Tree tree;
    try (Parser parser = new Parser(language)) {
      tree = parser.parse(SOURCE);
    }
    Query query = Query.compile(language, "(method_invocation name: (identifier) @call)");
    return new Object[] {tree, query, new WeakReference<>(language.library())};
  }

  static boolean mapped(Path library) throws Exception {
    return Files.readAllLines(Paths.get("/proc/self/maps")).stream()
        .anyMatch(line -> line.endsWith(library.toString()));
  }

  static void grammarStaysLoaded(Path grammar) throws Exception {
    Path dir = Files.createTempDirectory("morv-binding-test");
    Path copy = dir.resolve("libtree-sitter-java-copy.so");
    Files.copy(grammar, copy, StandardCopyOption.REPLACE_EXISTING);
    try {
      Object[] kept = treeAndQueryOfCopy(copy);
      Tree tree = (Tree) kept[0];
      Query query = (Query) kept[1];
      gc();
      check(mapped(copy), "the grammar library stays mapped while a tree and a query of it live");
      check(((WeakReference<?>) kept[2]).get() != null, "the grammar's library object was not collected");
      // Walking reads the grammar's tables: symbol names, child layouts, the query's steps.
      check(countNodes(tree.root()) > 40, "the tree walks after the caller dropped the language");
      check("program".equals(tree.root().type()), "symbol names come from the live grammar");
      check(captures(query, tree.root(), SOURCE, true).equals(List.of("call=println")),
          "the query runs after the caller dropped the language");
      tree.close();
      query.close();
    } finally {
      Files.deleteIfExists(copy);
      Files.deleteIfExists(dir);
    }
  }

  static Node rootOfDroppedTree() {
    try (Parser parser = new Parser(java)) {
      return parser.parse(bigJava(50)).root();
    }
  }

  static void nodeKeepsTree() throws Exception {
    Node root = rootOfDroppedTree();
    String before = root.toSexp();
    gc();
    // Churn the allocator so that a tree freed under the node would be overwritten.
    try (Parser parser = new Parser(java)) {
      for (int i = 0; i < 20; i++) {
        parser.parse(bigJava(50 + i)).close();
      }
    }
    check(root.tree().isOpen() && root.toSexp().equals(before) && countNodes(root) > 500,
        "a node keeps its tree alive");
  }

  static void closedHandles() throws Exception {
    Parser parser = new Parser(java);
    Tree tree = parser.parse(SOURCE);
    Node root = tree.root();
    Query query = Query.compile(java, "(identifier) @id");
    QueryCursor cursor = new QueryCursor();

    Tree runTree = parser.parse(SOURCE);
    QueryCursor treeRun = new QueryCursor();
    treeRun.exec(query, runTree.root());
    Query runQuery = Query.compile(java, "(identifier) @id");
    QueryCursor queryRun = new QueryCursor();
    queryRun.exec(runQuery, tree.root());
    check(treeRun.nextCapture() && queryRun.nextCapture(), "the runs start");
    runTree.close();
    runQuery.close();

    Tree other = parser.parse(SOURCE);
    Node otherRoot = other.root();
    other.close();
    QueryCursor closedCursor = new QueryCursor();
    closedCursor.close();
    Parser closedParser = new Parser(java);
    closedParser.close();
    Query closedQuery = Query.compile(java, "(identifier) @id");
    closedQuery.close();
    Language closedLanguage = Language.load(java.library().getFile().getPath(), "java");
    closedLanguage.close();

    Object[][] cases = {
        {"parse with a closed parser", (Body) () -> closedParser.parse(SOURCE)},
        {"set the language of a closed parser", (Body) () -> closedParser.setLanguage(java)},
        {"reset a closed parser", (Body) closedParser::reset},
        {"root of a closed tree", (Body) other::root},
        {"edit a closed tree", (Body) () -> other.edit(0, 0, 2, 0, 0, 0, 0, 0, 2)},
        {"child count of a node of a closed tree", (Body) otherRoot::childCount},
        {"child of a node of a closed tree", (Body) () -> otherRoot.child(0)},
        {"start byte of a node of a closed tree", (Body) otherRoot::startByte},
        {"S-expression of a node of a closed tree", (Body) otherRoot::toSexp},
        {"a closed tree as the old tree", (Body) () -> parser.parse(other, SOURCE)},
        {"run a closed query", (Body) () -> cursor.exec(closedQuery, root)},
        {"run over a node of a closed tree", (Body) () -> cursor.exec(query, otherRoot)},
        {"next capture of a closed cursor", (Body) closedCursor::nextCapture},
        {"exec on a closed cursor", (Body) () -> closedCursor.exec(query, root)},
        {"byte range of a closed cursor", (Body) () -> closedCursor.setByteRange(0, 0)},
        {"next capture of a run whose tree was closed", (Body) treeRun::nextCapture},
        {"capture of a run whose tree was closed", (Body) treeRun::startByte},
        {"next capture of a run whose query was closed", (Body) queryRun::nextCapture},
        {"a closed language on a parser", (Body) () -> new Parser(closedLanguage)},
        {"a closed language for a query", (Body) () -> Query.compile(closedLanguage, "(identifier) @id")},
    };
    for (Object[] c : cases) {
      check(throwsIt(IllegalStateException.class, (Body) c[1]), c[0] + " throws IllegalStateException");
    }

    // What already uses a closed language goes on.
    try (Parser usesIt = new Parser(Language.load(java.library().getFile().getPath(), "java"))) {
      usesIt.language().close();
      check(usesIt.parse(SOURCE).root().toSexp().equals(root.toSexp()),
          "a parser whose language was closed afterwards still parses");
    }

    // Every handle closed twice: the second close does nothing (a double free would abort).
    AutoCloseable[] handles = {parser, tree, query, cursor, treeRun, queryRun, closedCursor, closedParser,
        closedQuery, closedLanguage, runTree, runQuery, other};
    for (AutoCloseable h : handles) {
      h.close();
      h.close();
    }
    // Handles nobody closed are deleted by the collector.
    for (int i = 0; i < 200; i++) {
      Parser dropped = new Parser(java);
      dropped.parse(SOURCE).root();
      new QueryCursor().exec(Query.compile(java, "(identifier) @id"), dropped.parse(SOURCE).root());
    }
    // A handle deleted twice, or used after the collector deleted it, aborts the JVM here.
    gc();
  }

  static void throwingCallbacks() throws Exception {
    String big = bigJava(3000);
    String expected;
    try (Parser parser = new Parser(java)) {
      expected = parser.parse(big).root().toSexp();
      Chunks chunks = new Chunks(big, 4096, false);
      RuntimeException boom = new IllegalArgumentException("boom");
      TextReader failing = (byteIndex, row, column) -> {
        if (byteIndex > 20000) {
          throw boom;
        }
        return chunks.read(byteIndex, row, column);
      };
      Object[][] cases = {
          {"without a progress function", null},
          {"with a progress function", (morv.ts.ProgressFunction) offset -> false},
      };
      for (Object[] c : cases) {
        Throwable caught = null;
        try {
          parser.parse(null, failing, (morv.ts.ProgressFunction) c[1]);
        } catch (Throwable t) {
          caught = t;
        }
        check(caught == boom, "a read function's exception reaches the caller " + c[0] + ": " + caught);
        Tree after = parser.parse(big);
        check(after != null && after.root().toSexp().equals(expected),
            "the parser parses afresh after a failed read " + c[0]);
      }
      Error stop = new AssertionError("progress");
      Throwable caught = null;
      try {
        parser.parse(null, new Chunks(big, 4096, false), offset -> {
          throw stop;
        });
      } catch (Throwable t) {
        caught = t;
      }
      check(caught == stop, "a progress function's exception reaches the caller: " + caught);
      check(parser.parse(big).root().toSexp().equals(expected), "the parser parses afresh after it");
    }
  }

  // Quantified captures and every predicate form, over blocks whose calls differ.
  static final String CALLS = "class F {\n  void m1() { a(); a(); }\n  void m2() { a(); b(); }\n"
      + "  void m3() { b(); b(); }\n  void m4() { x1(); y2(); }\n  void m5() { }\n}\n";
  // One match per method, @arg holding the names of all the calls in its body.
  static final String ARGS = "(method_declaration name: (identifier) @m body: (block \"{\" . "
      + "((expression_statement (method_invocation name: (identifier) @arg)) . "
      + "(expression_statement (method_invocation name: (identifier) @arg))*)? . \"}\") ";
  // One match per method with exactly two calls, @x and @y their names.
  static final String PAIR = "(block \"{\" . (expression_statement (method_invocation name: (identifier) @x)) . "
      + "(expression_statement (method_invocation name: (identifier) @y)) . \"}\" ";

  static void predicates() throws Exception {
    // Each case: the query, then the captures of the matches that pass, a match's
    // captures joined by commas, the matches by spaces, in document order.
    String[][] cases = {
        {ARGS + ")", "a,a a,b b,b x1,y2"},
        {ARGS + "(#eq? @arg \"a\"))", "a,a"},
        {ARGS + "(#any-eq? @arg \"a\"))", "a,a a,b"},
        {ARGS + "(#not-eq? @arg \"a\"))", "b,b x1,y2"},
        {ARGS + "(#any-not-eq? @arg \"a\"))", "a,b b,b x1,y2"},
        {ARGS + "(#match? @arg \"^[a-z]$\"))", "a,a a,b b,b"},
        {ARGS + "(#not-match? @arg \"1\"))", "a,a a,b b,b"},
        {ARGS + "(#any-match? @arg \"[0-9]\"))", "x1,y2"},
        {ARGS + "(#any-not-match? @arg \"1\"))", "a,a a,b b,b x1,y2"},
        {ARGS + "(#match? @arg \"^x\"))", ""},
        {ARGS + "(#any-match? @arg \"^y\"))", "x1,y2"},
        {ARGS + "(#any-of? @arg \"a\" \"x1\"))", "a,a"},
        {ARGS + "(#any-of? @arg \"a\" \"b\"))", "a,a a,b b,b"},
        {ARGS + "(#not-any-of? @arg \"a\" \"y2\"))", "b,b"},
        {ARGS + "(#eq? @arg \"b\") (#any-eq? @arg \"b\"))", "b,b"},
        {ARGS + "(#match? @arg \"(\"))", ""},
        {ARGS + "(#not-match? @arg \"(\"))", ""},
        {ARGS + "(#set! priority \"1\") (#is? local) (#is-not? local) (#no-such-predicate? @arg))",
            "a,a a,b b,b x1,y2"},
        {PAIR + "(#eq? @x @y))", "a,a b,b"},
        {PAIR + "(#not-eq? @x @y))", "a,b x1,y2"},
        {PAIR + "(#any-eq? @x @y))", "a,a b,b"},
        {PAIR + "(#any-not-eq? @y @x))", "a,b x1,y2"},
        {PAIR + "(#eq? @x \"x1\") (#not-eq? @y @x))", "x1,y2"},
    };
    try (Parser parser = new Parser(java); Tree tree = parser.parse(CALLS)) {
      for (String[] c : cases) {
        try (Query query = Query.compile(java, c[0])) {
          List<String> matches = new ArrayList<>();
          List<Integer> ids = new ArrayList<>();
          try (QueryCursor cursor = new QueryCursor()) {
            cursor.exec(query, tree.root(), CALLS);
            while (cursor.nextCapture()) {
              if (query.captureName(cursor.captureId()).equals("m")) {
                continue;
              }
              int at = ids.indexOf(cursor.matchId());
              if (at < 0) {
                ids.add(cursor.matchId());
                matches.add(cursor.node().text(CALLS));
              } else {
                matches.set(at, matches.get(at) + "," + cursor.node().text(CALLS));
              }
            }
          }
          check(String.join(" ", matches).equals(c[1]), c[0] + ": expected [" + c[1] + "], got " + matches);
        }
      }
      try (Query query = Query.compile(java, ARGS + "(#set! priority \"1\") (#eq? @arg \"a\"))")) {
        check(query.predicates(0).size() == 2 && query.predicates(0).get(0).operator().equals("set!")
            && query.predicates(0).get(1).arguments().get(0).captureId() == query.captureId("arg"),
            "the predicates as written: " + query.predicates(0));
      }
    }
    // A regular expression that recurses per character, over a node text of a megabyte.
    String longText = "class L { String s = \"" + "ab".repeat(500_000) + "\"; }";
    try (Parser parser = new Parser(java); Tree tree = parser.parse(longText);
        Query query = Query.compile(java, "((string_literal) @s (#match? @s \"^.(a|b)*.$\"))")) {
      List<String> found = new ArrayList<>();
      Throwable thrown = null;
      try {
        found = captures(query, tree.root(), longText, true);
      } catch (Throwable t) {
        thrown = t;
      }
      check(thrown == null && found.size() <= 1, "a predicate over a megabyte of node text ends the run: " + thrown);
    }

    Object[][] bad = {
        {"(identifier) @id (#eq? @id)", QueryException.Kind.PREDICATE},
        {"((identifier) @id (#match? @id @id))", QueryException.Kind.PREDICATE},
        {"((identifier) @id (#eq? @id \"a\")", QueryException.Kind.SYNTAX},
        {"(no_such_node) @x", QueryException.Kind.NODE_TYPE},
    };
    for (Object[] c : bad) {
      QueryException.Kind kind = null;
      try {
        Query.compile(java, (String) c[0]).close();
      } catch (QueryException e) {
        kind = e.kind();
      }
      check(kind == c[1], c[0] + " is refused as " + c[1] + ", got " + kind);
    }
  }

  public static void main(String[] args) throws Exception {
    Path javaGrammar = Paths.get(args[0]);
    highlights = new String(Files.readAllBytes(Paths.get(args[2])), StandardCharsets.UTF_8);
    // Runs first, before anything else has touched the grammar.
    test("a grammar stays loaded under live trees", () -> grammarStaysLoaded(javaGrammar));
    java = Language.load(javaGrammar.toString(), "java");
    json = Language.load(args[1], "json");
    test("main paths", BindingTest::mainPaths);
    test("a node keeps its tree", BindingTest::nodeKeepsTree);
    test("closed handles", BindingTest::closedHandles);
    test("throwing callbacks", BindingTest::throwingCallbacks);
    test("predicates", BindingTest::predicates);
    finish();
  }
}
