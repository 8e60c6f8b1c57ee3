package morv.ts;

import java.lang.ref.Reference;

/**
 * A syntax tree. The caller owns it and closes it; a tree nobody closed is
 * deleted once neither it nor any of its {@link Node}s is reachable. A tree
 * holds its {@link Language}, so the grammar stays loaded while the tree
 * lives. After {@link #close}, every use of the tree and of its nodes throws
 * {@link IllegalStateException}.
 *
 * <p>A tree and its nodes are used by one thread at a time.
 */
public final class Tree implements AutoCloseable {
    private final NativeHandle handle;
    private final Language language;
    // Nodes go in and out of the library through this block: 0..31 in, 32..63 out.
    final Scratch scratch = new Scratch(2 * Bridge.NODE_SIZE);

    Tree(long pointer, Language language) {
        this.handle = new NativeHandle(this, pointer, Bridge::morv_tree_delete, "tree");
        this.language = language;
    }

    public Language language() {
        return language;
    }

    /** The root node; it keeps this tree reachable. */
    public Node root() {
        long tree = handle.get();
        Bridge.morv_tree_root(tree, scratch.address + Bridge.NODE_SIZE);
        Reference.reachabilityFence(this);
        return readNode();
    }

    /**
     * Reports one change of the text so that the next parse with this tree as
     * the old tree reuses what did not change. Byte offsets count UTF-16 bytes,
     * columns bytes within their row.
     */
    public void edit(int startByte, int oldEndByte, int newEndByte, int startRow, int startColumn,
            int oldEndRow, int oldEndColumn, int newEndRow, int newEndColumn) {
        Bridge.morv_tree_edit(handle.get(), startByte, oldEndByte, newEndByte, startRow, startColumn,
                oldEndRow, oldEndColumn, newEndRow, newEndColumn);
        Reference.reachabilityFence(this);
    }

    public void edit(InputEdit edit) {
        edit(edit.startByte(), edit.oldEndByte(), edit.newEndByte(),
                edit.start().row(), edit.start().column(), edit.oldEnd().row(), edit.oldEnd().column(),
                edit.newEnd().row(), edit.newEnd().column());
    }

    public boolean isOpen() {
        return handle.isOpen();
    }

    /** Deletes the tree; a second close does nothing. */
    @Override
    public void close() {
        handle.close();
    }

    /** The tree's handle; throws once it is closed. */
    long pointer() {
        return handle.get();
    }

    /** Writes {@code node} to the input half of the scratch block and returns its address. */
    long load(Node node) {
        handle.get();
        java.nio.ByteBuffer b = scratch.buffer;
        b.putInt(0, node.context0);
        b.putInt(4, node.context1);
        b.putInt(8, node.context2);
        b.putInt(12, node.context3);
        b.putLong(16, node.id);
        b.putLong(24, node.tree);
        return scratch.address;
    }

    /** The node in the output half of the scratch block, or null for the null node. */
    Node readNode() {
        java.nio.ByteBuffer b = scratch.buffer;
        long id = b.getLong(Bridge.NODE_SIZE + 16);
        if (id == 0) {
            return null;
        }
        return new Node(this, b.getInt(Bridge.NODE_SIZE), b.getInt(Bridge.NODE_SIZE + 4),
                b.getInt(Bridge.NODE_SIZE + 8), b.getInt(Bridge.NODE_SIZE + 12), id,
                b.getLong(Bridge.NODE_SIZE + 24));
    }

    /** The node at {@code address} in the library's memory, or null for the null node. */
    Node readNode(Peek peek, long address) {
        long id = peek.at(address).getLong(16);
        if (id == 0) {
            return null;
        }
        return new Node(this, peek.getInt(0), peek.getInt(4), peek.getInt(8), peek.getInt(12), id,
                peek.getLong(24));
    }

    @Override
    public String toString() {
        return "Tree[" + language.name() + (isOpen() ? "" : ", closed") + "]";
    }
}
