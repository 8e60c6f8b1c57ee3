package morv.demo;

import com.sun.jna.Callback;
import com.sun.jna.Library;
import com.sun.jna.Native;
import com.sun.jna.Pointer;
import com.sun.jna.ptr.IntByReference;

/**
 * The exports of libmorv-ts.so that the viewer uses. Handles and languages
 * are plain pointers; a node is a 32-byte buffer passed by address. The
 * library's booleans are one byte wide, so they are declared as byte: JNA's
 * boolean would read four bytes of a one-byte return register.
 */
public interface MorvTs extends Library {
    int NODE_SIZE = 32;
    int MATCH_SIZE = 16;
    int CAPTURE_SIZE = 40;
    int STEP_SIZE = 8;

    MorvTs INSTANCE = Native.load("morv-ts", MorvTs.class);

    /** Hands out the UTF-16 text from byteIndex on, its length in bytes through bytesRead. */
    interface ReadFunction extends Callback {
        Pointer invoke(Pointer context, int byteIndex, int row, int column, Pointer bytesRead);
    }

    /** Returns 1 to stop the parse. */
    interface ProgressFunction extends Callback {
        byte invoke(Pointer context, int byteOffset);
    }

    Pointer morv_parser_create();
    void morv_parser_delete(Pointer parser);
    byte morv_parser_set_language(Pointer parser, Pointer language);
    Pointer morv_parser_parse(Pointer parser, Pointer oldTree, ReadFunction read,
            Pointer readContext, ProgressFunction progress, Pointer progressContext);

    void morv_tree_delete(Pointer tree);
    void morv_tree_root(Pointer tree, Pointer nodeOut);

    int morv_language_abi_version(Pointer language);

    int morv_node_child_count(Pointer node);
    void morv_node_child(Pointer node, int index, Pointer nodeOut);
    int morv_node_start_byte(Pointer node);
    int morv_node_end_byte(Pointer node);
    byte morv_node_has_error(Pointer node);

    Pointer morv_query_new(Pointer language, Pointer source, int length,
            IntByReference errorOffset, IntByReference errorType);
    void morv_query_delete(Pointer query);
    int morv_query_pattern_count(Pointer query);
    int morv_query_capture_count(Pointer query);
    int morv_query_string_count(Pointer query);
    Pointer morv_query_capture_name(Pointer query, int id, IntByReference length);
    Pointer morv_query_string_value(Pointer query, int id, IntByReference length);
    Pointer morv_query_predicates(Pointer query, int patternIndex, IntByReference stepCount);

    Pointer morv_cursor_create();
    void morv_cursor_delete(Pointer cursor);
    void morv_cursor_exec(Pointer cursor, Pointer query, Pointer node);
    byte morv_cursor_next_capture(Pointer cursor, Pointer match, IntByReference captureIndex);
}
