package morv.ts;

import com.sun.jna.NativeLibrary;
import com.sun.jna.Pointer;

import java.nio.charset.StandardCharsets;

/**
 * A grammar: the library's language tables, which live inside the grammar's
 * shared library. A {@code Language} holds that library's {@link NativeLibrary}
 * object strongly, and every parser, tree and query made with it holds the
 * {@code Language}; so the grammar library cannot be unloaded while anything
 * that reads its tables is reachable (JNA unloads a library once its
 * {@code NativeLibrary} object has been collected).
 *
 * <p>A language owns no native memory. {@link #close} only forbids new uses
 * (setting it on a parser, compiling a query); parsers, trees and queries that
 * already use it keep working and keep the library loaded.
 */
public final class Language implements AutoCloseable {
    private final NativeLibrary library;
    private final long pointer;
    private final String name;
    private volatile boolean closed;
    private volatile String[] fieldNames;  // by id, read once

    private Language(NativeLibrary library, long pointer, String name) {
        this.library = library;
        this.pointer = pointer;
        this.name = name;
    }

    /**
     * Loads the grammar {@code name} from {@code library} (a path, or a name
     * that JNA looks up along {@code jna.library.path}), which exports
     * {@code tree_sitter_<name>}.
     *
     * @throws UnsatisfiedLinkError when the library or the function is missing
     * @throws IllegalArgumentException when the function returns no language
     */
    public static Language load(String library, String name) {
        NativeLibrary lib = NativeLibrary.getInstance(library);
        Pointer language = lib.getFunction("tree_sitter_" + name).invokePointer(new Object[0]);
        if (language == null) {
            throw new IllegalArgumentException("tree_sitter_" + name + " returned no language");
        }
        return new Language(lib, Pointer.nativeValue(language), name);
    }

    /** The name given to {@link #load}. */
    public String name() {
        return name;
    }

    /** The library that holds the language's tables; it stays loaded while this object is reachable. */
    public NativeLibrary library() {
        return library;
    }

    /** The ABI version the grammar was generated for; the bridge accepts 13 to 15. */
    public int abiVersion() {
        return Bridge.morv_language_abi_version(pointer);
    }

    /**
     * The name of a grammar symbol ({@code "ERROR"} for 65535), or null beyond
     * the language's symbols and aliases.
     */
    public String symbolName(int symbol) {
        long text = Bridge.morv_language_symbol_name(pointer, symbol & 0xffff);
        return text == 0 ? null : new Pointer(text).getString(0, StandardCharsets.UTF_8.name());
    }

    /** The number of field names; field ids run from 1 to this number. */
    public int fieldCount() {
        return Bridge.morv_language_field_count(pointer);
    }

    /** The name of the field {@code fieldId}, or null for 0 and ids beyond {@link #fieldCount}. */
    public String fieldName(int fieldId) {
        if (fieldId <= 0 || fieldId > fieldCount()) {
            return null;
        }
        String[] names = fieldNames;
        if (names == null) {
            names = new String[fieldCount() + 1];
            for (int id = 1; id < names.length; id++) {
                long text = Bridge.morv_language_field_name(pointer, id);
                names[id] = text == 0 ? null : new Pointer(text).getString(0, StandardCharsets.UTF_8.name());
            }
            fieldNames = names;
        }
        return names[fieldId];
    }

    /** The field name at {@code address} in the language's tables. */
    static String fieldName(long address) {
        return new Pointer(address).getString(0, StandardCharsets.UTF_8.name());
    }

    /** The id of the field {@code name}, or 0 when the language has no such field. */
    public int fieldId(String name) {
        byte[] bytes = name.getBytes(StandardCharsets.UTF_8);
        return Bridge.morv_language_field_id(pointer, bytes, bytes.length) & 0xffff;
    }

    /** The number of symbols, aliases included; ids below it belong to the language, besides 65535. */
    public int symbolCount() {
        return Bridge.morv_language_symbol_count(pointer);
    }

    /**
     * The symbol that nodes of type {@code name} carry, among the named types
     * when {@code named} is true and among the anonymous ones otherwise;
     * 0 when there is no such node type.
     */
    public int symbolForName(String name, boolean named) {
        byte[] bytes = name.getBytes(StandardCharsets.UTF_8);
        return Bridge.morv_language_symbol_for_name(pointer, bytes, bytes.length, (byte) (named ? 1 : 0)) & 0xffff;
    }

    /** The kind of {@code symbol}, or null for an id the language does not have. */
    public SymbolType symbolType(int symbol) {
        int type = Bridge.morv_language_symbol_type(pointer, symbol & 0xffff);
        return type < 0 || type >= SymbolType.values().length ? null : SymbolType.values()[type];
    }

    /** Forbids new uses; see the class comment. A second close does nothing. */
    @Override
    public void close() {
        closed = true;
    }

    public boolean isClosed() {
        return closed;
    }

    /** The language pointer for a new use; throws once closed. */
    long pointerForNewUse() {
        if (closed) {
            throw new IllegalStateException("the language " + name + " is closed");
        }
        return pointer;
    }

    /** The language pointer for an object that already holds this language. */
    long pointer() {
        return pointer;
    }

    @Override
    public String toString() {
        return "Language[" + name + "]";
    }
}
