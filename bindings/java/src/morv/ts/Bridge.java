package morv.ts;

import com.sun.jna.Callback;
import com.sun.jna.Native;
import com.sun.jna.NativeLibrary;

/**
 * The exports of the morv-ts library, bound by JNA's direct mapping, which
 * costs a fraction of an interface-mapped call. Handles, languages and node
 * addresses travel as {@code long}, so that no call allocates a JNA pointer
 * object; booleans are one byte wide in the library and are declared as
 * {@code byte} (a Java boolean would read a 32-bit register).
 *
 * <p>The library is loaded once per class loader, by the name or path in the
 * system property {@code morv.ts.library} (default {@code morv-ts}, found
 * along {@code jna.library.path}), and stays loaded as long as this class:
 * {@link #LIBRARY} holds it.
 */
final class Bridge {
    static final int NODE_SIZE = 32;
    static final int CAPTURE_SIZE = 40;
    static final int MATCH_SIZE = 16;
    static final int STEP_SIZE = 8;

    static final NativeLibrary LIBRARY =
            NativeLibrary.getInstance(System.getProperty("morv.ts.library", "morv-ts"));

    static {
        Native.register(Bridge.class, LIBRARY);
    }

    private Bridge() {}

    /** The bridge's read function; the result is the address of the text. */
    interface ReadFunction extends Callback {
        long invoke(long context, int byteIndex, int row, int column, long bytesRead);
    }

    /** The bridge's progress function; a non-zero result stops the parse. */
    interface ProgressFunction extends Callback {
        byte invoke(long context, int byteOffset);
    }

    static native long morv_parser_create();
    static native void morv_parser_delete(long parser);
    static native byte morv_parser_set_language(long parser, long language);
    static native void morv_parser_reset(long parser);
    static native long morv_parser_parse(long parser, long oldTree, ReadFunction read,
            long readContext, ProgressFunction progress, long progressContext);

    static native void morv_tree_delete(long tree);
    static native void morv_tree_root(long tree, long nodeOut);
    static native void morv_tree_edit(long tree, int startByte, int oldEndByte, int newEndByte,
            int startRow, int startColumn, int oldEndRow, int oldEndColumn, int newEndRow,
            int newEndColumn);

    static native int morv_language_abi_version(long language);
    static native long morv_language_symbol_name(long language, int symbol);
    static native void morv_free(long pointer);

    static native void morv_node_child(long node, int index, long nodeOut);
    static native int morv_node_child_count(long node);
    static native void morv_node_named_child(long node, int index, long nodeOut);
    static native int morv_node_named_child_count(long node);
    static native void morv_node_parent(long node, long nodeOut);
    static native void morv_node_next_sibling(long node, long nodeOut);
    static native void morv_node_prev_sibling(long node, long nodeOut);
    static native void morv_node_descendant_for_byte_range(long node, int startByte, int endByte,
            long nodeOut);
    static native int morv_node_start_byte(long node);
    static native int morv_node_end_byte(long node);
    static native short morv_node_symbol(long node);
    static native byte morv_node_is_named(long node);
    static native byte morv_node_is_missing(long node);
    static native byte morv_node_is_error(long node);
    static native byte morv_node_has_error(long node);
    static native long morv_node_string(long node);

    static native long morv_query_new(long language, byte[] source, int length, int[] errorOffset,
            int[] errorType);
    static native void morv_query_delete(long query);
    static native int morv_query_pattern_count(long query);
    static native int morv_query_capture_count(long query);
    static native int morv_query_string_count(long query);
    static native long morv_query_capture_name(long query, int id, int[] length);
    static native long morv_query_string_value(long query, int id, int[] length);
    static native long morv_query_predicates(long query, int patternIndex, int[] stepCount);

    static native long morv_cursor_create();
    static native void morv_cursor_delete(long cursor);
    static native byte morv_cursor_set_byte_range(long cursor, int startByte, int endByte);
    static native void morv_cursor_exec(long cursor, long query, long node);
    static native byte morv_cursor_next_capture(long cursor, long match, long captureIndex);
}
