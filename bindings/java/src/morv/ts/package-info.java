/**
 * The Java side of morv-ts: parsing UTF-16 text into syntax trees, walking
 * their nodes and running queries, through JNA's direct mapping.
 *
 * <p>Ownership: {@link morv.ts.Parser}, {@link morv.ts.Tree},
 * {@link morv.ts.Query} and {@link morv.ts.QueryCursor} each own one native
 * object; the caller closes them (a second close does nothing, any other use
 * of a closed one throws {@link java.lang.IllegalStateException}), and a
 * cleaner deletes those nobody closed once they are unreachable.
 * {@link morv.ts.Language} owns no native memory but keeps its grammar's
 * library loaded. Lifetimes follow reachability: a node holds its tree, a
 * tree, parser or query its language, a language its library, a cursor's run
 * its query and tree.
 *
 * <p>Threads: one handle, and the nodes of one tree, are used by one thread at
 * a time; callbacks run on the thread that parses.
 */
package morv.ts;
