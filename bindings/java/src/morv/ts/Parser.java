package morv.ts;

import com.sun.jna.Memory;
import com.sun.jna.Native;
import com.sun.jna.Pointer;

import java.lang.ref.Reference;
import java.nio.ByteBuffer;
import java.nio.ByteOrder;

/**
 * A parser: turns UTF-16 text into {@link Tree}s of its {@link Language}.
 *
 * <p>The caller owns the parser and closes it; a parser nobody closed is
 * deleted once it becomes unreachable. Closing it leaves the trees it made
 * alone. A parser is used by one thread at a time; its read and progress
 * functions run on that thread before {@link #parse} returns.
 */
public final class Parser implements AutoCloseable {
    private final NativeHandle handle;
    private final ReadAdapter reader = new ReadAdapter();
    private final ProgressAdapter progress = new ProgressAdapter();
    private Language language;

    public Parser() {
        long pointer = Bridge.morv_parser_create();
        if (pointer == 0) {
            throw new OutOfMemoryError("morv_parser_create");
        }
        handle = new NativeHandle(this, pointer, Bridge::morv_parser_delete, "parser");
    }

    /** A parser for {@code language}. */
    public Parser(Language language) {
        this();
        setLanguage(language);
    }

    /**
     * Sets the language of the following parses; null leaves the parser
     * without one. The parser holds the language from now on.
     *
     * @throws IllegalArgumentException when the language's ABI version is not supported
     * @throws IllegalStateException when the parser or the language is closed
     */
    public void setLanguage(Language language) {
        long parser = handle.get();
        long pointer = language == null ? 0 : language.pointerForNewUse();
        boolean accepted = Bridge.morv_parser_set_language(parser, pointer) != 0;
        Reference.reachabilityFence(this);
        if (!accepted) {
            this.language = null;
            throw new IllegalArgumentException(language + " has the unsupported ABI version "
                    + language.abiVersion());
        }
        this.language = language;
    }

    public Language language() {
        return language;
    }

    /** Parses {@code text} afresh. */
    public Tree parse(CharSequence text) {
        return parse(null, text);
    }

    /**
     * Parses {@code text}, reusing {@code oldTree} (may be null) after its
     * edits were reported with {@link Tree#edit}. Returns null when the parser
     * has no language.
     */
    public Tree parse(Tree oldTree, CharSequence text) {
        ByteBuffer utf16 = utf16(text);
        return parse(oldTree, (byteIndex, row, column) ->
                byteIndex >= utf16.limit() ? null : utf16.slice(byteIndex, utf16.limit() - byteIndex),
                null);
    }

    /**
     * Parses the text that {@code read} hands out, reusing {@code oldTree}
     * (null for a fresh parse; it is only read and stays the caller's). An
     * old tree of another language is not reused. {@code progress} may be
     * null.
     *
     * <p>Returns a new tree, owned by the caller, or null when the parser has
     * no language or {@code progress} stopped the parse; the parser then keeps
     * the stopped parse's state, which the next parse of the same text resumes
     * and {@link #reset} drops.
     *
     * @throws IllegalStateException when the parser or the old tree is closed
     * @throws RuntimeException or {@link Error} as thrown by {@code read} or
     *     {@code progress}; the parse is then dropped and the parser reset
     */
    public Tree parse(Tree oldTree, TextReader read, ProgressFunction progress) {
        long parser = handle.get();
        Language current = language;
        long old = reusable(oldTree, current);
        reader.start(read);
        this.progress.start(progress, reader);
        long tree;
        try {
            tree = Bridge.morv_parser_parse(parser, old, reader, 0,
                    progress != null ? this.progress : null, 0);
        } finally {
            this.progress.finish();
            Reference.reachabilityFence(oldTree);
        }
        Throwable failure = reader.finish();
        if (failure == null) {
            failure = this.progress.failure;
        }
        this.progress.failure = null;
        if (failure != null) {
            Bridge.morv_tree_delete(tree);
            Bridge.morv_parser_reset(parser);
            Reference.reachabilityFence(this);
            if (failure instanceof RuntimeException) {
                throw (RuntimeException) failure;
            }
            if (failure instanceof Error) {
                throw (Error) failure;
            }
            throw new IllegalStateException("the read function failed", failure);
        }
        Reference.reachabilityFence(this);
        return tree == 0 ? null : new Tree(tree, current);
    }

    /**
     * The old tree's handle for a parse in {@code current}, or 0 when there
     * is none or it is of another language: its nodes would be read with the
     * wrong grammar's tables.
     *
     * @throws IllegalStateException when the old tree is closed
     */
    private static long reusable(Tree oldTree, Language current) {
        if (oldTree == null) {
            return 0;
        }
        long old = oldTree.pointer();
        if (current == null || oldTree.language().pointer() != current.pointer()) {
            return 0;
        }
        return old;
    }

    /**
     * Parses {@code text} in place, with no call back into Java, reusing
     * {@code oldTree} (null for a fresh parse; only read, it stays the
     * caller's) after its edits were reported with {@link Tree#edit}; an old
     * tree of another language is not reused. The parse stops when
     * {@code cancel} (may be null) is set, from any thread, or after
     * {@code timeoutMicros} microseconds (0: no limit); it then returns null
     * and the parser starts the next parse afresh, since a caller stops a
     * parse because its text is out of date.
     *
     * <p>Returns a new tree owned by the caller, or null when stopped or when
     * the parser has no language. The text must not change until this
     * returns.
     *
     * @throws IllegalStateException when the parser or the old tree is closed
     * @throws IllegalArgumentException for a negative timeout
     */
    public Tree parse(Utf16Text text, Tree oldTree, CancelFlag cancel, long timeoutMicros) {
        if (timeoutMicros < 0) {
            throw new IllegalArgumentException("negative timeout " + timeoutMicros);
        }
        long parser = handle.get();
        Language current = language;
        long old = reusable(oldTree, current);
        java.nio.ByteBuffer held = text.buffer();
        long tree = Bridge.morv_parser_parse_utf16(parser, old, text.address(), text.byteLength(),
                cancel == null ? 0 : cancel.address(), timeoutMicros);
        Reference.reachabilityFence(held);
        Reference.reachabilityFence(cancel);
        Reference.reachabilityFence(oldTree);
        Reference.reachabilityFence(this);
        return tree == 0 ? null : new Tree(tree, current);
    }

    /** Parses a copy of {@code text}; see {@link #parse(Utf16Text, Tree, CancelFlag, long)}. */
    public Tree parse(String text, Tree oldTree, CancelFlag cancel, long timeoutMicros) {
        return parse(Utf16Text.of(text), oldTree, cancel, timeoutMicros);
    }

    /** Parses a copy of {@code text}; see {@link #parse(Utf16Text, Tree, CancelFlag, long)}. */
    public Tree parse(char[] text, Tree oldTree, CancelFlag cancel, long timeoutMicros) {
        return parse(Utf16Text.of(text), oldTree, cancel, timeoutMicros);
    }

    /**
     * Makes the following parses read only {@code ranges} of the document (an
     * embedded language), in document order and not overlapping (one may
     * start where the previous ends); an empty list reads the whole document
     * again. Nodes keep document offsets. Returns false, leaving the ranges
     * as they were, for ranges out of order or overlapping.
     */
    public boolean setIncludedRanges(java.util.List<Range> ranges) {
        long parser = handle.get();
        Scratch block = new Scratch(Math.max(1, ranges.size()) * Bridge.RANGE_SIZE);
        for (int i = 0; i < ranges.size(); i++) {
            ranges.get(i).write(block.buffer, i * Bridge.RANGE_SIZE);
        }
        boolean result = Bridge.morv_parser_set_included_ranges(parser, block.address, ranges.size()) != 0;
        Reference.reachabilityFence(block);
        Reference.reachabilityFence(this);
        return result;
    }

    /** Drops the state of a parse that a progress function stopped. */
    public void reset() {
        Bridge.morv_parser_reset(handle.get());
        Reference.reachabilityFence(this);
    }

    /** Deletes the parser; a second close does nothing, any other use then throws. */
    @Override
    public void close() {
        handle.close();
    }

    /** The text as UTF-16LE in a direct buffer, as {@link TextReader} hands it out. */
    public static ByteBuffer utf16(CharSequence text) {
        ByteBuffer buffer = ByteBuffer.allocateDirect(Math.max(2, text.length() * 2))
                .order(ByteOrder.LITTLE_ENDIAN);
        for (int i = 0; i < text.length(); i++) {
            buffer.putChar(text.charAt(i));
        }
        buffer.clear();
        return buffer.limit(text.length() * 2);
    }

    private static final class ReadAdapter implements Bridge.ReadFunction {
        private final Peek count = new Peek();
        private TextReader read;
        private ByteBuffer current;
        private Memory copy;
        private Throwable failure;

        void start(TextReader read) {
            this.read = read;
            failure = null;
        }

        Throwable finish() {
            Throwable result = failure;
            read = null;
            current = null;
            failure = null;
            return result;
        }

        boolean failed() {
            return failure != null;
        }

        @Override
        public long invoke(long context, int byteIndex, int row, int column, long bytesRead) {
            count.at(bytesRead).setInt(0, 0);
            if (failure != null) {
                return 0;
            }
            try {
                ByteBuffer text = read.read(byteIndex, row, column);
                if (text == null || !text.hasRemaining()) {
                    return 0;
                }
                // Kept reachable until the next call: the library reads it until then.
                current = text;
                long address;
                if (text.isDirect()) {
                    address = Pointer.nativeValue(Native.getDirectBufferPointer(text)) + text.position();
                } else {
                    if (copy == null || copy.size() < text.remaining()) {
                        copy = new Memory(Math.max(4096, text.remaining()));
                    }
                    copy.write(0, text.array(), text.arrayOffset() + text.position(), text.remaining());
                    address = Pointer.nativeValue(copy);
                }
                count.at(bytesRead).setInt(0, text.remaining());
                return address;
            } catch (Throwable t) {
                failure = t;
                return 0;
            }
        }
    }

    private static final class ProgressAdapter implements Bridge.ProgressFunction {
        private ProgressFunction progress;
        private ReadAdapter reader;
        Throwable failure;

        void start(ProgressFunction progress, ReadAdapter reader) {
            this.progress = progress;
            this.reader = reader;
            failure = null;
        }

        void finish() {
            progress = null;
            reader = null;
        }

        @Override
        public byte invoke(long context, int byteOffset) {
            if (failure != null || reader.failed()) {
                return 1;
            }
            try {
                return (byte) (progress.stop(byteOffset) ? 1 : 0);
            } catch (Throwable t) {
                failure = t;
                return 1;
            }
        }
    }
}
