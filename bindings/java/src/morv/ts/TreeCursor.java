package morv.ts;

import java.lang.ref.Reference;

/**
 * Walks a tree from a root node: one native call per move, the cheapest way
 * to visit nodes one at a time (the bulk way is {@link TreeExport}). The
 * cursor never moves above its root. The {@code current...} accessors read
 * the node under the cursor without making a {@link Node}.
 *
 * <p>The caller owns the cursor and closes it; a cursor nobody closed is
 * deleted once it becomes unreachable. It holds the tree of its root, so the
 * tree stays alive while the cursor is reachable; closing that tree makes
 * every use throw {@link IllegalStateException}. After an edit of the tree,
 * {@link #reset} the cursor before trusting its offsets. One thread at a time.
 */
public final class TreeCursor implements AutoCloseable {
    private final NativeHandle handle;
    // The current node, written by the library: 0..31.
    private final Scratch node = new Scratch(Bridge.NODE_SIZE);
    private Tree tree;

    /** A cursor whose root is {@code root}. */
    public TreeCursor(Node root) {
        this(Bridge.morv_tree_cursor_create(root.tree().load(root)), root.tree());
        Reference.reachabilityFence(root);
    }

    private TreeCursor(long pointer, Tree tree) {
        if (pointer == 0) {
            throw new OutOfMemoryError("morv_tree_cursor_create");
        }
        this.handle = new NativeHandle(this, pointer, Bridge::morv_tree_cursor_delete, "tree cursor");
        this.tree = tree;
    }

    /** Moves the cursor to {@code root} and makes it the new root; it may belong to another tree. */
    public void reset(Node root) {
        long cursor = handle.get();
        Bridge.morv_tree_cursor_reset(cursor, root.tree().load(root));
        Reference.reachabilityFence(root);
        Reference.reachabilityFence(this);
        tree = root.tree();
    }

    /** A new cursor at the same node with the same root and path, owned by the caller. */
    public TreeCursor copy() {
        long copy = Bridge.morv_tree_cursor_copy(live());
        Reference.reachabilityFence(this);
        return new TreeCursor(copy, tree);
    }

    /** The node under the cursor. */
    public Node currentNode() {
        load();
        return tree.readNode(node.buffer, 0);
    }

    public int currentStartByte() {
        int result = Bridge.morv_node_start_byte(load());
        Reference.reachabilityFence(tree);
        return result;
    }

    public int currentEndByte() {
        int result = Bridge.morv_node_end_byte(load());
        Reference.reachabilityFence(tree);
        return result;
    }

    public int currentSymbol() {
        int result = Bridge.morv_node_symbol(load()) & 0xffff;
        Reference.reachabilityFence(tree);
        return result;
    }

    /** The field under which the parent holds the current node; 0 for none and at the root. */
    public int currentFieldId() {
        int result = Bridge.morv_tree_cursor_current_field_id(live()) & 0xffff;
        Reference.reachabilityFence(this);
        return result;
    }

    /** The name of {@link #currentFieldId}, or null. */
    public String currentFieldName() {
        return tree.language().fieldName(currentFieldId());
    }

    /** How many levels the current node lies below the root. */
    public int currentDepth() {
        int result = Bridge.morv_tree_cursor_current_depth(live());
        Reference.reachabilityFence(this);
        return result;
    }

    public boolean gotoFirstChild() {
        boolean moved = Bridge.morv_tree_cursor_goto_first_child(live()) != 0;
        Reference.reachabilityFence(this);
        return moved;
    }

    /** Costs a scan of the children. */
    public boolean gotoLastChild() {
        boolean moved = Bridge.morv_tree_cursor_goto_last_child(live()) != 0;
        Reference.reachabilityFence(this);
        return moved;
    }

    public boolean gotoNextSibling() {
        boolean moved = Bridge.morv_tree_cursor_goto_next_sibling(live()) != 0;
        Reference.reachabilityFence(this);
        return moved;
    }

    /** Costs a scan of the siblings. */
    public boolean gotoPreviousSibling() {
        boolean moved = Bridge.morv_tree_cursor_goto_previous_sibling(live()) != 0;
        Reference.reachabilityFence(this);
        return moved;
    }

    public boolean gotoParent() {
        boolean moved = Bridge.morv_tree_cursor_goto_parent(live()) != 0;
        Reference.reachabilityFence(this);
        return moved;
    }

    /**
     * Moves to the first child that ends after {@code offset} and returns its
     * index (anonymous children counted), or -1 without moving.
     */
    public long gotoFirstChildForByte(int offset) {
        long index = Bridge.morv_tree_cursor_goto_first_child_for_byte(live(), offset);
        Reference.reachabilityFence(this);
        return index;
    }

    /** Deletes the cursor; a second close does nothing, any other use then throws. */
    @Override
    public void close() {
        handle.close();
    }

    private long live() {
        long cursor = handle.get();
        tree.pointer();
        return cursor;
    }

    private long load() {
        Bridge.morv_tree_cursor_current_node(live(), node.address);
        Reference.reachabilityFence(this);
        return node.address;
    }
}
