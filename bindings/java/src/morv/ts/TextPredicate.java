package morv.ts;

import java.util.List;
import java.util.Set;
import java.util.regex.Matcher;
import java.util.regex.Pattern;
import java.util.regex.PatternSyntaxException;

/**
 * A text predicate of the query language, compiled once per query. With a
 * quantified capture, the plain forms need every node of the capture to pass
 * (so a capture without nodes passes) and the {@code any-} forms one node (so
 * a capture without nodes fails). A capture compared with a capture pairs
 * their nodes in order; nodes without a partner are not compared.
 * {@code #any-of?} and {@code #not-any-of?} apply to every node.
 */
final class TextPredicate {
    enum Kind { EQ_STRING, EQ_CAPTURE, MATCH, ANY_OF }

    final Kind kind;
    final int capture;
    final int otherCapture;
    final String string;
    final Pattern regex;           // null for a regular expression that does not compile
    final Set<String> values;
    final boolean positive;
    final boolean all;

    private TextPredicate(Kind kind, int capture, int otherCapture, String string, Pattern regex,
            Set<String> values, boolean positive, boolean all) {
        this.kind = kind;
        this.capture = capture;
        this.otherCapture = otherCapture;
        this.string = string;
        this.regex = regex;
        this.values = values;
        this.positive = positive;
        this.all = all;
    }

    /**
     * The text predicate for {@code p}, or null for an operator that filters
     * nothing ({@code #set!}, {@code #is?}, {@code #is-not?}, unknown ones).
     *
     * @throws QueryException when a text predicate has the wrong arguments
     */
    static TextPredicate of(Predicate p, int pattern) {
        String op = p.operator();
        List<Predicate.Argument> args = p.arguments();
        boolean any = op.startsWith("any-") && !op.equals("any-of?");
        String base = any ? op.substring(4) : op;
        boolean positive = !base.startsWith("not-");
        if (!positive) {
            base = base.substring(4);
        }
        switch (base) {
            case "eq?": {
                check(args.size() == 2 && args.get(0).isCapture(), op, pattern,
                        "a capture and a capture or string");
                Predicate.Argument other = args.get(1);
                return other.isCapture()
                        ? new TextPredicate(Kind.EQ_CAPTURE, args.get(0).captureId(), other.captureId(),
                                null, null, null, positive, !any)
                        : new TextPredicate(Kind.EQ_STRING, args.get(0).captureId(), -1, other.string(),
                                null, null, positive, !any);
            }
            case "match?": {
                check(args.size() == 2 && args.get(0).isCapture() && !args.get(1).isCapture(), op,
                        pattern, "a capture and a regular expression");
                Pattern regex;
                try {
                    regex = Pattern.compile(args.get(1).string());
                } catch (PatternSyntaxException e) {
                    regex = null;
                }
                return new TextPredicate(Kind.MATCH, args.get(0).captureId(), -1, null, regex, null,
                        positive, !any);
            }
            case "any-of?": {
                if (any) {
                    return null;
                }
                check(args.size() >= 1 && args.get(0).isCapture()
                        && args.stream().skip(1).noneMatch(Predicate.Argument::isCapture), op, pattern,
                        "a capture and strings");
                Set<String> values = Set.copyOf(args.stream().skip(1)
                        .map(Predicate.Argument::string).collect(java.util.stream.Collectors.toSet()));
                return new TextPredicate(Kind.ANY_OF, args.get(0).captureId(), -1, null, null, values,
                        positive, true);
            }
            default:
                return null;
        }
    }

    private static void check(boolean valid, String op, int pattern, String wanted) {
        if (!valid) {
            throw new QueryException(QueryException.Kind.PREDICATE, 0,
                    "#" + op + " in pattern " + pattern + " needs " + wanted);
        }
    }

    /** Whether the match whose captures {@code match} describes passes. */
    boolean test(MatchText match) {
        if (kind == Kind.EQ_CAPTURE) {
            int n = match.count();
            int i = 0;
            int j = 0;
            while (true) {
                while (i < n && match.captureId(i) != capture) {
                    i++;
                }
                while (j < n && match.captureId(j) != otherCapture) {
                    j++;
                }
                if (i >= n || j >= n) {
                    return all;
                }
                boolean passes = match.sameText(i, j) == positive;
                if (passes != all) {
                    return passes;
                }
                i++;
                j++;
            }
        }
        int n = match.count();
        for (int i = 0; i < n; i++) {
            if (match.captureId(i) != capture) {
                continue;
            }
            boolean passes = testNode(match, i);
            if (passes != all) {
                return passes;
            }
        }
        return all;
    }

    private boolean testNode(MatchText match, int i) {
        switch (kind) {
            case EQ_STRING:
                return match.textEquals(i, string) == positive;
            case MATCH:
                if (regex == null) {
                    return false;
                }
                return match.find(i, regex) == positive;
            case ANY_OF:
                return values.contains(match.text(i)) == positive;
            default:
                throw new AssertionError(kind);
        }
    }

    /** The captures of one match and the document they point into. */
    interface MatchText {
        int count();

        int captureId(int i);

        String text(int i);

        boolean textEquals(int i, String s);

        boolean sameText(int i, int j);

        boolean find(int i, Pattern regex);
    }

    /** Runs a search in a region, anchoring {@code ^} and {@code $} at its ends. */
    static boolean find(Matcher matcher, int from, int to) {
        try {
            return matcher.region(from, to).find();
        } catch (StackOverflowError e) {
            // java.util.regex recurses per repetition; a node text too long
            // for it must not take the caller down.
            return false;
        }
    }
}
