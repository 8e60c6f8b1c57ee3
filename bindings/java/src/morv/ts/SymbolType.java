package morv.ts;

/** What kind of grammar symbol a symbol id stands for. */
public enum SymbolType {
    /** Named and visible: a node type such as {@code identifier}. */
    REGULAR,
    /** Visible only: a token written literally in the grammar, such as {@code "("}. */
    ANONYMOUS,
    /** A supertype; never a node of a tree. */
    SUPERTYPE,
    /** A helper rule; never a node of a tree. */
    AUXILIARY
}
