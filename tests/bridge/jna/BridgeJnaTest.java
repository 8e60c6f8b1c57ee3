// Calls morv-ts from a real JVM through JNA, the way the editor does: loads
// the bridge and the Java grammar by path, parses a Java source delivered by
// a read callback, walks nodes, runs the grammar's highlights.scm query and
// re-parses after an edit.
//
//   java -cp jna.jar:<classes> BridgeJnaTest <morv-ts library> <grammar library> <highlights.scm>

import com.sun.jna.Callback;
import com.sun.jna.Library;
import com.sun.jna.Memory;
import com.sun.jna.Native;
import com.sun.jna.NativeLibrary;
import com.sun.jna.Pointer;
import com.sun.jna.ptr.IntByReference;

import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.List;

public final class BridgeJnaTest {
  // Booleans are one byte in the bridge; JNA's boolean would read an int.
  public interface MorvTs extends Library {
    Pointer morv_parser_create();
    void morv_parser_delete(Pointer parser);
    byte morv_parser_set_language(Pointer parser, Pointer language);
    void morv_parser_reset(Pointer parser);
    Pointer morv_parser_parse(Pointer parser, Pointer oldTree, ReadFunction read, Pointer readContext,
                              ProgressFunction progress, Pointer progressContext);
    void morv_tree_delete(Pointer tree);
    void morv_tree_root(Pointer tree, Pointer nodeOut);
    void morv_tree_edit(Pointer tree, int startByte, int oldEndByte, int newEndByte, int startRow,
                        int startColumn, int oldEndRow, int oldEndColumn, int newEndRow, int newEndColumn);
    int morv_language_abi_version(Pointer language);
    Pointer morv_language_symbol_name(Pointer language, int symbol);
    void morv_free(Pointer pointer);
    void morv_node_child(Pointer node, int index, Pointer nodeOut);
    int morv_node_child_count(Pointer node);
    void morv_node_named_child(Pointer node, int index, Pointer nodeOut);
    int morv_node_named_child_count(Pointer node);
    void morv_node_parent(Pointer node, Pointer nodeOut);
    void morv_node_descendant_for_byte_range(Pointer node, int start, int end, Pointer nodeOut);
    int morv_node_start_byte(Pointer node);
    int morv_node_end_byte(Pointer node);
    short morv_node_symbol(Pointer node);
    byte morv_node_has_error(Pointer node);
    Pointer morv_node_string(Pointer node);
    Pointer morv_query_new(Pointer language, byte[] source, int length, IntByReference errorOffset,
                           IntByReference errorType);
    void morv_query_delete(Pointer query);
    int morv_query_pattern_count(Pointer query);
    int morv_query_capture_count(Pointer query);
    Pointer morv_query_capture_name(Pointer query, int id, IntByReference length);
    Pointer morv_cursor_create();
    void morv_cursor_delete(Pointer cursor);
    byte morv_cursor_set_byte_range(Pointer cursor, int start, int end);
    void morv_cursor_exec(Pointer cursor, Pointer query, Pointer node);
    byte morv_cursor_next_capture(Pointer cursor, Pointer match, IntByReference captureIndex);
  }

  public interface ReadFunction extends Callback {
    Pointer invoke(Pointer context, int byteIndex, int row, int column, Pointer bytesRead);
  }

  public interface ProgressFunction extends Callback {
    byte invoke(Pointer context, int byteOffset);
  }

  // A document as UTF-16LE in native memory, handed out in chunks.
  static final class Text implements ReadFunction {
    final String text;
    final Memory memory;
    final int size;
    final int chunk;
    int reads;

    Text(String text, int chunk) {
      this.text = text;
      byte[] bytes = text.getBytes(StandardCharsets.UTF_16LE);
      this.size = bytes.length;
      this.memory = new Memory(Math.max(2, bytes.length));
      this.memory.write(0, bytes, 0, bytes.length);
      this.chunk = chunk;
    }

    @Override
    public Pointer invoke(Pointer context, int byteIndex, int row, int column, Pointer bytesRead) {
      reads++;
      int available = Math.max(0, size - byteIndex);
      bytesRead.setInt(0, Math.min(available, chunk));
      return available == 0 ? memory : memory.share(byteIndex);
    }
  }

  static final class StopAfter implements ProgressFunction {
    final int limit;
    int calls;

    StopAfter(int limit) {
      this.limit = limit;
    }

    @Override
    public byte invoke(Pointer context, int byteOffset) {
      calls++;
      return (byte) (limit > 0 && calls >= limit ? 1 : 0);
    }
  }

  static int passed;
  static int failed;

  static void check(boolean condition, String what) {
    if (condition) {
      passed++;
    } else {
      failed++;
      System.out.println("FAILED: " + what);
    }
  }

  static MorvTs ts;
  static Pointer java;

  static String symbolName(Pointer node) {
    Pointer name = ts.morv_language_symbol_name(java, ts.morv_node_symbol(node) & 0xffff);
    return name == null ? null : name.getString(0, "UTF-8");
  }

  static String sexp(Pointer node) {
    Pointer text = ts.morv_node_string(node);
    String result = text.getString(0, "UTF-8");
    ts.morv_free(text);
    return result;
  }

  static Pointer parse(Pointer parser, Pointer oldTree, Text text, ProgressFunction progress) {
    return ts.morv_parser_parse(parser, oldTree, text, Pointer.NULL, progress, Pointer.NULL);
  }

  public static void main(String[] args) throws Exception {
    ts = Native.load(args[0], MorvTs.class);
    java = NativeLibrary.getInstance(args[1]).getFunction("tree_sitter_java").invokePointer(new Object[0]);
    byte[] highlights = Files.readAllBytes(Paths.get(args[2]));

    check(ts.morv_language_abi_version(java) == 14, "the Java grammar has ABI 14");
    Pointer parser = ts.morv_parser_create();
    check(ts.morv_parser_set_language(parser, java) == 1, "the parser accepts the Java grammar");

    String source = "// Grüße\npublic class Hello {\n  public static void main(String[] args) {\n"
        + "    System.out.println(\"Grüße, 世界 😀\");\n    int answer = 42;\n  }\n}\n";
    StopAfter never = new StopAfter(0);
    Text text = new Text(source, 64);
    Pointer tree = parse(parser, Pointer.NULL, text, never);
    check(tree != null, "the source parses");
    check(text.reads > 1, "the read callback was called chunk by chunk");

    Memory root = new Memory(32);
    ts.morv_tree_root(tree, root);
    check("program".equals(symbolName(root)), "the root is a program");
    check(ts.morv_node_has_error(root) == 0, "the source has no error");
    check(ts.morv_node_end_byte(root) == 2 * source.length(), "end byte counts UTF-16 bytes");
    check(sexp(root).startsWith("(program (line_comment) (class_declaration"), "node string: " + sexp(root));

    Memory node = new Memory(32);
    int at = 2 * source.indexOf("42");
    ts.morv_node_descendant_for_byte_range(root, at, at + 4, node);
    check("decimal_integer_literal".equals(symbolName(node)), "descendant at 42: " + symbolName(node));
    check(ts.morv_node_start_byte(node) == at, "start byte of 42");
    Memory parent = new Memory(32);
    ts.morv_node_parent(root, parent);
    check(parent.getPointer(16) == null, "the root has the null node as parent");

    IntByReference errorOffset = new IntByReference(-1);
    IntByReference errorType = new IntByReference(-1);
    Pointer query = ts.morv_query_new(java, highlights, highlights.length, errorOffset, errorType);
    check(query != null && errorType.getValue() == 0, "highlights.scm compiles (error type "
        + errorType.getValue() + " at " + errorOffset.getValue() + ")");
    check(ts.morv_query_pattern_count(query) > 10, "highlights.scm has its patterns");

    Pointer cursor = ts.morv_cursor_create();
    ts.morv_cursor_exec(cursor, query, root);
    Memory match = new Memory(16);
    IntByReference index = new IntByReference();
    List<String> captures = new ArrayList<>();
    int last = -1;
    boolean ordered = true;
    while (ts.morv_cursor_next_capture(cursor, match, index) != 0) {
      Pointer capture = match.getPointer(8).share(40L * index.getValue());
      int start = ts.morv_node_start_byte(capture);
      int end = ts.morv_node_end_byte(capture);
      ordered &= start >= last;
      last = start;
      IntByReference length = new IntByReference();
      Pointer name = ts.morv_query_capture_name(query, capture.getInt(32), length);
      String captured = source.substring(start / 2, end / 2);
      captures.add(new String(name.getByteArray(0, length.getValue()), StandardCharsets.UTF_8) + "=" + captured);
    }
    check(ordered, "captures come in document order");
    check(captures.contains("type=Hello"), "class name highlighted as a type: " + captures);
    check(captures.contains("function.method=println"), "method call highlighted");
    check(captures.contains("string=\"Grüße, 世界 😀\""), "string literal highlighted");
    check(captures.contains("comment=// Grüße"), "comment highlighted");
    check(ts.morv_cursor_next_capture(cursor, match, index) == 0, "no capture after the last");

    int body = 2 * source.indexOf("    int answer");
    check(ts.morv_cursor_set_byte_range(cursor, body, 0) == 1, "byte range with open end");
    check(ts.morv_cursor_set_byte_range(cursor, 10, 5) == 0, "byte range with start after end");
    ts.morv_cursor_exec(cursor, query, root);
    int limited = 0;
    boolean inside = true;
    while (ts.morv_cursor_next_capture(cursor, match, index) != 0) {
      Pointer capture = match.getPointer(8).share(40L * index.getValue());
      inside &= ts.morv_node_end_byte(capture) > body;
      limited++;
    }
    check(limited > 0 && limited < captures.size() && inside, "the byte range limits the captures");

    // Incremental re-parse: 42 becomes 4242.
    String edited = source.replace("42;", "4242;");
    int row = 4;
    int column = 2 * ("    int answer = 42".length());
    ts.morv_tree_edit(tree, at + 4, at + 4, at + 8, row, column, row, column, row, column + 4);
    Text editedText = new Text(edited, 4096);
    Pointer incremental = parse(parser, tree, editedText, never);
    Pointer fresh = parse(parser, Pointer.NULL, new Text(edited, 4096), never);
    Memory a = new Memory(32);
    Memory b = new Memory(32);
    ts.morv_tree_root(incremental, a);
    ts.morv_tree_root(fresh, b);
    check(sexp(a).equals(sexp(b)), "incremental and fresh parse agree");
    check(ts.morv_node_end_byte(a) == 2 * edited.length(), "incremental tree spans the edited text");

    StringBuilder big = new StringBuilder("class Big {\n");
    for (int i = 0; i < 2000; i++) {
      big.append("  int f").append(i).append("() { return ").append(i).append(" + 1; }\n");
    }
    big.append("}\n");
    StopAfter stop = new StopAfter(1);
    check(parse(parser, Pointer.NULL, new Text(big.toString(), 4096), stop) == null,
        "a progress function returning true stops the parse");
    check(stop.calls == 1, "the progress function was called once");
    ts.morv_parser_reset(parser);
    Pointer bigTree = parse(parser, Pointer.NULL, new Text(big.toString(), 4096), never);
    check(bigTree != null, "after reset the next parse completes");

    ts.morv_tree_delete(bigTree);
    ts.morv_tree_delete(fresh);
    ts.morv_tree_delete(incremental);
    ts.morv_tree_delete(tree);
    ts.morv_cursor_delete(cursor);
    ts.morv_query_delete(query);
    ts.morv_parser_delete(parser);
    ts.morv_tree_delete(Pointer.NULL);

    System.out.println(passed + " passed, " + failed + " failed");
    System.exit(failed == 0 ? 0 : 1);
  }
}
