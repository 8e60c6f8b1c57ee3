package morv.ts;

import com.sun.jna.Pointer;

import java.lang.ref.Reference;
import java.nio.charset.StandardCharsets;

/**
 * A node of a {@link Tree}: an immutable copy of the library's 32-byte node
 * value. A node holds its tree, so the tree stays alive while the node is
 * reachable; once the tree is closed, every method but {@link #tree},
 * {@link #equals} and {@link #hashCode} throws {@link IllegalStateException}.
 * Navigation returns null where there is no such node.
 *
 * <p>Byte offsets count bytes of the UTF-16 text, two per code unit.
 */
public final class Node {
    private final Tree owner;
    final int context0;
    final int context1;
    final int context2;
    final int context3;
    final long id;
    final long tree;

    Node(Tree owner, int context0, int context1, int context2, int context3, long id, long tree) {
        this.owner = owner;
        this.context0 = context0;
        this.context1 = context1;
        this.context2 = context2;
        this.context3 = context3;
        this.id = id;
        this.tree = tree;
    }

    public Tree tree() {
        return owner;
    }

    public int startByte() {
        int result = Bridge.morv_node_start_byte(owner.load(this));
        Reference.reachabilityFence(owner);
        return result;
    }

    public int endByte() {
        int result = Bridge.morv_node_end_byte(owner.load(this));
        Reference.reachabilityFence(owner);
        return result;
    }

    /** The grammar symbol; 65535 for an error node. */
    public int symbol() {
        int result = Bridge.morv_node_symbol(owner.load(this)) & 0xffff;
        Reference.reachabilityFence(owner);
        return result;
    }

    /** The symbol's name in the tree's language. */
    public String type() {
        return owner.language().symbolName(symbol());
    }

    public boolean isNamed() {
        boolean result = Bridge.morv_node_is_named(owner.load(this)) != 0;
        Reference.reachabilityFence(owner);
        return result;
    }

    public boolean isMissing() {
        boolean result = Bridge.morv_node_is_missing(owner.load(this)) != 0;
        Reference.reachabilityFence(owner);
        return result;
    }

    public boolean isError() {
        boolean result = Bridge.morv_node_is_error(owner.load(this)) != 0;
        Reference.reachabilityFence(owner);
        return result;
    }

    public boolean hasError() {
        boolean result = Bridge.morv_node_has_error(owner.load(this)) != 0;
        Reference.reachabilityFence(owner);
        return result;
    }

    public int childCount() {
        int result = Bridge.morv_node_child_count(owner.load(this));
        Reference.reachabilityFence(owner);
        return result;
    }

    public int namedChildCount() {
        int result = Bridge.morv_node_named_child_count(owner.load(this));
        Reference.reachabilityFence(owner);
        return result;
    }

    /** The child at {@code index}, anonymous ones counted; null when out of range. */
    public Node child(int index) {
        long in = owner.load(this);
        Bridge.morv_node_child(in, index, in + Bridge.NODE_SIZE);
        return result();
    }

    public Node namedChild(int index) {
        long in = owner.load(this);
        Bridge.morv_node_named_child(in, index, in + Bridge.NODE_SIZE);
        return result();
    }

    public Node parent() {
        long in = owner.load(this);
        Bridge.morv_node_parent(in, in + Bridge.NODE_SIZE);
        return result();
    }

    public Node nextSibling() {
        long in = owner.load(this);
        Bridge.morv_node_next_sibling(in, in + Bridge.NODE_SIZE);
        return result();
    }

    public Node prevSibling() {
        long in = owner.load(this);
        Bridge.morv_node_prev_sibling(in, in + Bridge.NODE_SIZE);
        return result();
    }

    /** The smallest node within this one that spans the byte range. */
    public Node descendantForByteRange(int startByte, int endByte) {
        long in = owner.load(this);
        Bridge.morv_node_descendant_for_byte_range(in, startByte, endByte, in + Bridge.NODE_SIZE);
        return result();
    }

    /** The position of the node's first byte. */
    public Point startPoint() {
        long in = owner.load(this);
        Bridge.morv_node_start_point(in, in + Bridge.NODE_SIZE);
        return point();
    }

    /** The position just past the node's last byte. */
    public Point endPoint() {
        long in = owner.load(this);
        Bridge.morv_node_end_point(in, in + Bridge.NODE_SIZE);
        return point();
    }

    private Point point() {
        java.nio.ByteBuffer b = owner.scratch.buffer;
        Point p = new Point(b.getInt(Bridge.NODE_SIZE), b.getInt(Bridge.NODE_SIZE + 4));
        Reference.reachabilityFence(owner);
        return p;
    }

    /** The child this node holds under the field {@code fieldId} (see {@link Language#fieldId}), or null. */
    public Node childByFieldId(int fieldId) {
        long in = owner.load(this);
        Bridge.morv_node_child_by_field_id(in, fieldId, in + Bridge.NODE_SIZE);
        return result();
    }

    /** The child this node holds under the field {@code name}, or null (also for an unknown field). */
    public Node childByFieldName(String name) {
        int id = owner.language().fieldId(name);
        return id == 0 ? null : childByFieldId(id);
    }

    /** The field name under which this node holds its child {@code index} (anonymous ones counted), or null. */
    public String fieldNameForChild(int index) {
        long name = Bridge.morv_node_field_name_for_child(owner.load(this), index);
        Reference.reachabilityFence(owner);
        return name == 0 ? null : Language.fieldName(name);
    }

    /** The number of nodes of the subtree, this one included. */
    public int descendantCount() {
        int result = Bridge.morv_node_descendant_count(owner.load(this));
        Reference.reachabilityFence(owner);
        return result;
    }

    /** The smallest named node within this one that spans the byte range. */
    public Node namedDescendantForByteRange(int startByte, int endByte) {
        long in = owner.load(this);
        Bridge.morv_node_named_descendant_for_byte_range(in, startByte, endByte, in + Bridge.NODE_SIZE);
        return result();
    }

    /** The first child that ends after {@code offset}, or null. */
    public Node firstChildForByte(int offset) {
        long in = owner.load(this);
        Bridge.morv_node_first_child_for_byte(in, offset, in + Bridge.NODE_SIZE);
        return result();
    }

    /** The first named child that ends after {@code offset}, or null. */
    public Node firstNamedChildForByte(int offset) {
        long in = owner.load(this);
        Bridge.morv_node_first_named_child_for_byte(in, offset, in + Bridge.NODE_SIZE);
        return result();
    }

    /** The symbol as the grammar defines it, before aliases (see {@link #symbol}). */
    public int grammarSymbol() {
        int result = Bridge.morv_node_grammar_symbol(owner.load(this)) & 0xffff;
        Reference.reachabilityFence(owner);
        return result;
    }

    /** The parse state in which the node was built; 0 for an error. */
    public int parseState() {
        int result = Bridge.morv_node_parse_state(owner.load(this)) & 0xffff;
        Reference.reachabilityFence(owner);
        return result;
    }

    /** Whether the node is an extra, such as a comment. */
    public boolean isExtra() {
        boolean result = Bridge.morv_node_is_extra(owner.load(this)) != 0;
        Reference.reachabilityFence(owner);
        return result;
    }

    /** The subtree as an S-expression. */
    public String toSexp() {
        long text = Bridge.morv_node_string(owner.load(this));
        try {
            return text == 0 ? null : new Pointer(text).getString(0, StandardCharsets.UTF_8.name());
        } finally {
            Bridge.morv_free(text);
            Reference.reachabilityFence(owner);
        }
    }

    /** The node's text within {@code document}, the text the tree was parsed from. */
    public String text(CharSequence document) {
        int end = Math.min(endByte() / 2, document.length());
        return document.subSequence(Math.min(startByte() / 2, end), end).toString();
    }

    private Node result() {
        Node node = owner.readNode();
        Reference.reachabilityFence(owner);
        return node;
    }

    /** Nodes are equal when they are the same node of the same tree. */
    @Override
    public boolean equals(Object other) {
        return other instanceof Node && ((Node) other).id == id && ((Node) other).tree == tree
                && ((Node) other).owner == owner;
    }

    @Override
    public int hashCode() {
        return Long.hashCode(id) * 31 + Long.hashCode(tree);
    }

    @Override
    public String toString() {
        if (!owner.isOpen()) {
            return "Node[closed tree]";
        }
        return "Node[" + type() + " " + startByte() + ".." + endByte() + "]";
    }
}
