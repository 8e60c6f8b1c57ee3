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
    private Scratch rangeBlock;  // made on first use

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

    /**
     * A new handle to the same tree, owned by the caller: cheap (the nodes are
     * shared), and usable on another thread while this tree is edited or
     * re-parsed.
     */
    public Tree copy() {
        long copy = Bridge.morv_tree_copy(handle.get());
        Reference.reachabilityFence(this);
        if (copy == 0) {
            throw new OutOfMemoryError("morv_tree_copy");
        }
        return new Tree(copy, language);
    }

    /**
     * The ranges whose syntactic structure differs between {@code oldTree},
     * edited since, and this tree, parsed from it; in document order.
     */
    public java.util.List<Range> changedRanges(Tree oldTree) {
        long self = handle.get();
        long old = oldTree.pointer();
        ensureRangeBlock();
        int count = Bridge.morv_tree_changed_ranges(old, self, rangeBlock.address,
                rangeBlock.buffer.capacity() / Bridge.RANGE_SIZE);
        if (count > rangeBlock.buffer.capacity() / Bridge.RANGE_SIZE) {
            rangeBlock = new Scratch(count * Bridge.RANGE_SIZE);
            count = Bridge.morv_tree_changed_ranges(old, self, rangeBlock.address, count);
        }
        Reference.reachabilityFence(oldTree);
        Reference.reachabilityFence(this);
        return ranges(count);
    }

    /** The ranges of the document that this tree was parsed from (the whole document unless set). */
    public java.util.List<Range> includedRanges() {
        long self = handle.get();
        ensureRangeBlock();
        int count = Bridge.morv_tree_included_ranges(self, rangeBlock.address,
                rangeBlock.buffer.capacity() / Bridge.RANGE_SIZE);
        if (count > rangeBlock.buffer.capacity() / Bridge.RANGE_SIZE) {
            rangeBlock = new Scratch(count * Bridge.RANGE_SIZE);
            count = Bridge.morv_tree_included_ranges(self, rangeBlock.address, count);
        }
        Reference.reachabilityFence(this);
        return ranges(count);
    }

    private void ensureRangeBlock() {
        if (rangeBlock == null) {
            rangeBlock = new Scratch(16 * Bridge.RANGE_SIZE);
        }
    }

    private java.util.List<Range> ranges(int count) {
        Range[] result = new Range[count];
        for (int i = 0; i < count; i++) {
            result[i] = Range.read(rangeBlock.buffer, i * Bridge.RANGE_SIZE);
        }
        return java.util.List.of(result);
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
        return readNode(scratch.buffer, Bridge.NODE_SIZE);
    }

    /** The node written at {@code offset} of {@code b}, or null for the null node. */
    Node readNode(java.nio.ByteBuffer b, int offset) {
        long id = b.getLong(offset + 16);
        if (id == 0) {
            return null;
        }
        return new Node(this, b.getInt(offset), b.getInt(offset + 4), b.getInt(offset + 8), b.getInt(offset + 12),
                id, b.getLong(offset + 24));
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
