package morv.ts;

import java.lang.ref.Reference;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.Collections;
import java.util.List;

/**
 * A compiled query of the library's query language, with its capture names
 * and the predicates of each pattern read out once. The caller owns it and
 * closes it; a query nobody closed is deleted once it becomes unreachable. A
 * query holds its {@link Language}. It may serve several cursors, one thread
 * at a time.
 */
public final class Query implements AutoCloseable {
    private final NativeHandle handle;
    private final Language language;
    private final String[] captureNames;
    private final List<List<Predicate>> predicates;
    final TextPredicate[][] textPredicates;

    private Query(long pointer, Language language) {
        this.handle = new NativeHandle(this, pointer, Bridge::morv_query_delete, "query");
        this.language = language;
        Peek peek = new Peek();
        int[] length = new int[1];
        captureNames = new String[Bridge.morv_query_capture_count(pointer)];
        for (int id = 0; id < captureNames.length; id++) {
            captureNames[id] = utf8(peek, Bridge.morv_query_capture_name(pointer, id, length), length[0]);
        }
        String[] strings = new String[Bridge.morv_query_string_count(pointer)];
        for (int id = 0; id < strings.length; id++) {
            strings[id] = utf8(peek, Bridge.morv_query_string_value(pointer, id, length), length[0]);
        }
        int patterns = Bridge.morv_query_pattern_count(pointer);
        predicates = new ArrayList<>(patterns);
        textPredicates = new TextPredicate[patterns][];
        for (int p = 0; p < patterns; p++) {
            List<Predicate> list = readPredicates(pointer, p, strings, peek);
            predicates.add(list);
            List<TextPredicate> text = new ArrayList<>();
            for (Predicate predicate : list) {
                TextPredicate compiled = TextPredicate.of(predicate, p);
                if (compiled != null) {
                    text.add(compiled);
                }
            }
            textPredicates[p] = text.toArray(new TextPredicate[0]);
        }
    }

    /**
     * Compiles {@code source} for {@code language}.
     *
     * @throws QueryException when the source does not compile or a text
     *     predicate has the wrong arguments
     * @throws IllegalStateException when the language is closed
     */
    public static Query compile(Language language, String source) {
        byte[] bytes = source.getBytes(StandardCharsets.UTF_8);
        int[] errorOffset = new int[1];
        int[] errorType = new int[1];
        long pointer = Bridge.morv_query_new(language.pointerForNewUse(), bytes, bytes.length,
                errorOffset, errorType);
        if (pointer == 0) {
            QueryException.Kind[] kinds = QueryException.Kind.values();
            QueryException.Kind kind = errorType[0] > 0 && errorType[0] < QueryException.Kind.PREDICATE.ordinal()
                    ? kinds[errorType[0]] : QueryException.Kind.SYNTAX;
            throw new QueryException(kind, errorOffset[0], "the query does not compile: " + kind
                    + " error at byte " + errorOffset[0]);
        }
        try {
            return new Query(pointer, language);
        } catch (RuntimeException e) {
            Bridge.morv_query_delete(pointer);
            throw e;
        }
    }

    private static List<Predicate> readPredicates(long query, int pattern, String[] strings, Peek peek) {
        int[] count = new int[1];
        long steps = Bridge.morv_query_predicates(query, pattern, count);
        List<Predicate> result = new ArrayList<>();
        List<Predicate.Argument> args = new ArrayList<>();
        for (int i = 0; i < count[0]; i++) {
            int type = peek.at(steps + (long) i * Bridge.STEP_SIZE).getInt(0);
            int value = peek.getInt(4);
            if (type == 0) {
                if (!args.isEmpty() && !args.get(0).isCapture()) {
                    String operator = args.get(0).string();
                    if (operator.startsWith("#")) {
                        operator = operator.substring(1);
                    }
                    result.add(new Predicate(operator, List.copyOf(args.subList(1, args.size()))));
                }
                args.clear();
            } else if (type == 1) {
                args.add(new Predicate.Argument(value, null));
            } else {
                args.add(new Predicate.Argument(-1, strings[value]));
            }
        }
        return Collections.unmodifiableList(result);
    }

    private static String utf8(Peek peek, long address, int length) {
        return address == 0 ? "" : new String(peek.at(address).getByteArray(0, length), StandardCharsets.UTF_8);
    }

    public Language language() {
        return language;
    }

    public int patternCount() {
        return predicates.size();
    }

    public int captureCount() {
        return captureNames.length;
    }

    public String captureName(int id) {
        return captureNames[id];
    }

    /** The capture id of {@code name}, or -1. */
    public int captureId(String name) {
        for (int id = 0; id < captureNames.length; id++) {
            if (captureNames[id].equals(name)) {
                return id;
            }
        }
        return -1;
    }

    /** Every predicate of the pattern as written, directives such as {@code #set!} included. */
    public List<Predicate> predicates(int pattern) {
        return predicates.get(pattern);
    }

    public boolean isOpen() {
        return handle.isOpen();
    }

    /** Deletes the query; a second close does nothing, any other use then throws. */
    @Override
    public void close() {
        handle.close();
    }

    long pointer() {
        long p = handle.get();
        Reference.reachabilityFence(this);
        return p;
    }
}
