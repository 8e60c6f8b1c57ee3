package morv.ts;

/** A query source that does not compile, or a malformed text predicate in it. */
public final class QueryException extends IllegalArgumentException {
    private static final long serialVersionUID = 1L;

    /** The library's error codes; {@link #PREDICATE} is a malformed text predicate. */
    public enum Kind { NONE, SYNTAX, NODE_TYPE, FIELD, CAPTURE, STRUCTURE, LANGUAGE, PREDICATE }

    private final Kind kind;
    private final int offset;

    QueryException(Kind kind, int offset, String message) {
        super(message);
        this.kind = kind;
        this.offset = offset;
    }

    public Kind kind() {
        return kind;
    }

    /** The byte offset in the UTF-8 source where the library found the error. */
    public int offset() {
        return offset;
    }
}
