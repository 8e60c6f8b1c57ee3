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

    static final int SPAN_SIZE = 16;
    static final int RANGE_SIZE = 24;
    static final int RECORD_SIZE = 32;

    static native long morv_parser_parse_utf16(long parser, long oldTree, long text, int byteLength,
            long cancelFlag, long timeoutMicros);
    static native byte morv_parser_set_included_ranges(long parser, long ranges, int count);
    static native long morv_tree_copy(long tree);
    static native int morv_tree_changed_ranges(long oldTree, long newTree, long ranges, int capacity);
    static native int morv_tree_included_ranges(long tree, long ranges, int capacity);

    static native void morv_node_start_point(long node, long pointOut);
    static native void morv_node_end_point(long node, long pointOut);
    static native void morv_node_child_by_field_id(long node, int fieldId, long nodeOut);
    static native long morv_node_field_name_for_child(long node, int index);
    static native int morv_node_descendant_count(long node);
    static native void morv_node_named_descendant_for_byte_range(long node, int startByte, int endByte,
            long nodeOut);
    static native void morv_node_first_child_for_byte(long node, int offset, long nodeOut);
    static native void morv_node_first_named_child_for_byte(long node, int offset, long nodeOut);
    static native byte morv_node_eq(long node, long other);
    static native short morv_node_grammar_symbol(long node);
    static native short morv_node_parse_state(long node);
    static native byte morv_node_is_extra(long node);

    static native int morv_language_field_count(long language);
    static native long morv_language_field_name(long language, int fieldId);
    static native short morv_language_field_id(long language, byte[] name, int length);
    static native int morv_language_symbol_count(long language);
    static native short morv_language_symbol_for_name(long language, byte[] name, int length, byte named);
    static native int morv_language_symbol_type(long language, int symbol);

    static native void morv_cursor_set_match_limit(long cursor, int limit);
    static native byte morv_cursor_did_exceed_match_limit(long cursor);
    static native void morv_cursor_exec_text(long cursor, long query, long node, long text, int byteLength);
    static native int morv_cursor_next_captures(long cursor, long spans, int capacity);
    static native int morv_cursor_next_match_captures(long cursor, long spans, int capacity);

    static native long morv_tree_cursor_create(long node);
    static native void morv_tree_cursor_delete(long cursor);
    static native byte morv_tree_cursor_reset(long cursor, long node);
    static native long morv_tree_cursor_copy(long cursor);
    static native void morv_tree_cursor_current_node(long cursor, long nodeOut);
    static native short morv_tree_cursor_current_field_id(long cursor);
    static native int morv_tree_cursor_current_depth(long cursor);
    static native byte morv_tree_cursor_goto_first_child(long cursor);
    static native byte morv_tree_cursor_goto_last_child(long cursor);
    static native byte morv_tree_cursor_goto_next_sibling(long cursor);
    static native byte morv_tree_cursor_goto_previous_sibling(long cursor);
    static native byte morv_tree_cursor_goto_parent(long cursor);
    static native long morv_tree_cursor_goto_first_child_for_byte(long cursor, int offset);

    static native long morv_tree_export_create();
    static native void morv_tree_export_delete(long run);
    static native byte morv_tree_export_start(long run, long node, int startByte, int endByte, int maxDepth);
    static native int morv_tree_export_next(long run, long records, int capacity);
}
