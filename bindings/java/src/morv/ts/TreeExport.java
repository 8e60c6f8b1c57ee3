package morv.ts;

import java.lang.ref.Reference;

/**
 * The structure of a subtree in bulk: {@link #start} picks the nodes (a
 * subtree, optionally cut to a byte range and a depth), and each
 * {@link #next} writes the following ones, in document order and each before
 * its children, as flat records into a {@link NodeRecords} block; a run
 * smaller than the subtree goes on where the last call stopped. This is how
 * to get the structure of a large file in a few native calls.
 *
 * <p>The caller owns the export and closes it; one nobody closed is deleted
 * once unreachable. A run holds its node's tree; an edit of the tree during a
 * run makes the offsets of the records that follow unreliable. One thread at
 * a time.
 */
public final class TreeExport implements AutoCloseable {
    /** {@code maxDepth} for no limit. */
    public static final int NO_DEPTH_LIMIT = -1;

    private final NativeHandle handle;
    private Tree tree;

    public TreeExport() {
        long pointer = Bridge.morv_tree_export_create();
        if (pointer == 0) {
            throw new OutOfMemoryError("morv_tree_export_create");
        }
        handle = new NativeHandle(this, pointer, Bridge::morv_tree_export_delete, "tree export");
    }

    /** Starts a run over the whole subtree of {@code node}. */
    public void start(Node node) {
        start(node, 0, 0, NO_DEPTH_LIMIT);
    }

    /**
     * Starts a run over {@code node}'s subtree, abandoning the earlier one:
     * only nodes at most {@code maxDepth} levels below {@code node}
     * ({@link #NO_DEPTH_LIMIT}: all), and only nodes that start before
     * {@code endByte} (0: no upper limit) and end at or after
     * {@code startByte}; the parent of every exported node is exported too.
     *
     * @throws IllegalArgumentException when {@code startByte} lies after a non-zero {@code endByte}
     */
    public void start(Node node, int startByte, int endByte, int maxDepth) {
        long run = handle.get();
        tree = null;
        boolean started = Bridge.morv_tree_export_start(run, node.tree().load(node), startByte, endByte,
                maxDepth) != 0;
        Reference.reachabilityFence(node);
        Reference.reachabilityFence(this);
        if (!started) {
            throw new IllegalArgumentException("no export of [" + startByte + ", " + endByte + ")");
        }
        tree = node.tree();
    }

    /** Writes the run's next records into {@code into} and returns their number; 0 when the run is over. */
    public int next(NodeRecords into) {
        long run = handle.get();
        if (tree == null) {
            into.filled(0);
            return 0;
        }
        tree.pointer();
        int count = Bridge.morv_tree_export_next(run, into.address(), into.capacity());
        Reference.reachabilityFence(into);
        Reference.reachabilityFence(tree);
        Reference.reachabilityFence(this);
        into.filled(count);
        if (count == 0) {
            tree = null;
        }
        return count;
    }

    /** Deletes the export; a second close does nothing, any other use then throws. */
    @Override
    public void close() {
        handle.close();
        tree = null;
    }
}
