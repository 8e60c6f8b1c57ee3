package morv.demo;

import com.sun.jna.Memory;
import com.sun.jna.Pointer;
import com.sun.jna.ptr.IntByReference;

import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.regex.Pattern;

/**
 * A grammar's highlights.scm compiled through the bridge, with the text
 * predicates (#eq?, #match?, #any-of? and their negations) that the query
 * cursor leaves to its caller. Not thread-safe; close() releases the query.
 */
final class Highlights implements AutoCloseable {
    private static final MorvTs TS = MorvTs.INSTANCE;

    /** One text predicate: an operator and its arguments, captures as ids. */
    private static final class Predicate {
        final String operator;
        final int[] captureIds;       // -1 where the argument is a string
        final String[] strings;
        final Pattern regex;

        Predicate(String operator, int[] captureIds, String[] strings) {
            this.operator = operator;
            this.captureIds = captureIds;
            this.strings = strings;
            boolean isMatch = operator.equals("match?") || operator.equals("not-match?");
            this.regex = isMatch && strings.length == 2 && strings[1] != null
                    ? Pattern.compile(strings[1]) : null;
        }
    }

    private final Pointer query;
    private final String[] captureNames;
    private final List<List<Predicate>> predicates = new ArrayList<>();

    Highlights(Pointer language, byte[] source) {
        Memory text = new Memory(Math.max(1, source.length));
        text.write(0, source, 0, source.length);
        IntByReference errorOffset = new IntByReference();
        IntByReference errorType = new IntByReference();
        query = TS.morv_query_new(language, text, source.length, errorOffset, errorType);
        if (query == null) {
            throw new IllegalArgumentException("highlights query does not compile: error type "
                    + errorType.getValue() + " at byte " + errorOffset.getValue());
        }
        IntByReference length = new IntByReference();
        captureNames = new String[TS.morv_query_capture_count(query)];
        for (int id = 0; id < captureNames.length; id++) {
            captureNames[id] = utf8(TS.morv_query_capture_name(query, id, length), length);
        }
        String[] strings = new String[TS.morv_query_string_count(query)];
        for (int id = 0; id < strings.length; id++) {
            strings[id] = utf8(TS.morv_query_string_value(query, id, length), length);
        }
        int patterns = TS.morv_query_pattern_count(query);
        for (int p = 0; p < patterns; p++) {
            predicates.add(readPredicates(p, strings));
        }
    }

    private List<Predicate> readPredicates(int pattern, String[] strings) {
        IntByReference count = new IntByReference();
        Pointer steps = TS.morv_query_predicates(query, pattern, count);
        List<Predicate> result = new ArrayList<>();
        List<Integer> ids = new ArrayList<>();
        List<String> texts = new ArrayList<>();
        for (int i = 0; i < count.getValue(); i++) {
            int type = steps.getInt((long) i * MorvTs.STEP_SIZE);
            int value = steps.getInt((long) i * MorvTs.STEP_SIZE + 4);
            if (type == 0) {
                if (!texts.isEmpty() && texts.get(0) != null) {
                    String operator = texts.get(0).replaceFirst("^#", "");
                    int[] captureIds = ids.subList(1, ids.size()).stream()
                            .mapToInt(Integer::intValue).toArray();
                    String[] args = texts.subList(1, texts.size()).toArray(new String[0]);
                    result.add(new Predicate(operator, captureIds, args));
                }
                ids.clear();
                texts.clear();
            } else if (type == 1) {
                ids.add(value);
                texts.add(null);
            } else {
                ids.add(-1);
                texts.add(strings[value]);
            }
        }
        return result;
    }

    String captureName(int id) {
        return captureNames[id];
    }

    /** Counts of one highlighting run. */
    static final class Result {
        final int[] style;     // capture id per UTF-16 unit of the text, -1 for none
        int captures;          // captures the cursor reported
        int applied;           // of them, those whose predicates held

        Result(int length) {
            style = new int[length];
            Arrays.fill(style, -1);
        }
    }

    /**
     * Runs the query over the node and paints every UTF-16 unit with the
     * capture that covers it most narrowly; between captures of the same
     * extent the later pattern wins: the grammars' query files start with
     * the general patterns ("(identifier) @variable") and refine them below.
     */
    Result run(Pointer root, String text) {
        Result result = new Result(text.length());
        int[] extent = new int[text.length()];
        int[] patternOf = new int[text.length()];
        Pointer cursor = TS.morv_cursor_create();
        try {
            TS.morv_cursor_exec(cursor, query, root);
            Memory match = new Memory(MorvTs.MATCH_SIZE);
            IntByReference captureIndex = new IntByReference();
            while (TS.morv_cursor_next_capture(cursor, match, captureIndex) != 0) {
                result.captures++;
                int pattern = match.getShort(4) & 0xffff;
                int count = match.getShort(6) & 0xffff;
                Pointer captures = match.getPointer(8);
                if (!holds(predicates.get(pattern), captures, count, text)) {
                    continue;
                }
                result.applied++;
                Pointer capture = captures.share((long) captureIndex.getValue() * MorvTs.CAPTURE_SIZE);
                int id = capture.getInt(MorvTs.NODE_SIZE);
                int start = TS.morv_node_start_byte(capture) / 2;
                int end = Math.min(TS.morv_node_end_byte(capture) / 2, text.length());
                int width = end - start;
                for (int i = start; i < end; i++) {
                    if (result.style[i] < 0 || width < extent[i]
                            || (width == extent[i] && pattern >= patternOf[i])) {
                        result.style[i] = id;
                        extent[i] = width;
                        patternOf[i] = pattern;
                    }
                }
            }
        } finally {
            TS.morv_cursor_delete(cursor);
        }
        return result;
    }

    private static boolean holds(List<Predicate> list, Pointer captures, int count, String text) {
        for (Predicate p : list) {
            if (!holds(p, captures, count, text)) {
                return false;
            }
        }
        return true;
    }

    private static boolean holds(Predicate p, Pointer captures, int count, String text) {
        if (p.captureIds.length == 0 || p.captureIds[0] < 0) {
            return true;
        }
        String subject = captureText(captures, count, p.captureIds[0], text);
        if (subject == null) {
            return true;
        }
        switch (p.operator) {
            case "eq?":
            case "not-eq?": {
                String other = p.captureIds.length > 1 && p.captureIds[1] >= 0
                        ? captureText(captures, count, p.captureIds[1], text)
                        : (p.strings.length > 1 ? p.strings[1] : null);
                return (subject.equals(other)) == p.operator.equals("eq?");
            }
            case "match?":
            case "not-match?":
                return p.regex == null
                        || p.regex.matcher(subject).find() == p.operator.equals("match?");
            case "any-of?":
            case "not-any-of?": {
                boolean found = Arrays.asList(p.strings).subList(1, p.strings.length)
                        .contains(subject);
                return found == p.operator.equals("any-of?");
            }
            default:
                // Directives such as #set! carry no condition.
                return true;
        }
    }

    private static String captureText(Pointer captures, int count, int captureId, String text) {
        for (int i = 0; i < count; i++) {
            Pointer capture = captures.share((long) i * MorvTs.CAPTURE_SIZE);
            if (capture.getInt(MorvTs.NODE_SIZE) == captureId) {
                int start = TS.morv_node_start_byte(capture) / 2;
                int end = Math.min(TS.morv_node_end_byte(capture) / 2, text.length());
                return text.substring(start, end);
            }
        }
        return null;
    }

    private static String utf8(Pointer p, IntByReference length) {
        return new String(p.getByteArray(0, length.getValue()), StandardCharsets.UTF_8);
    }

    @Override
    public void close() {
        TS.morv_query_delete(query);
    }
}
