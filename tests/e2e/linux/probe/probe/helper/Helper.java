package probe.helper;

// Lives in a jar of its own, so that loading it proves the second class path
// entry was honoured.
public final class Helper {
    private Helper() {}

    public static String where() {
        return Helper.class.getProtectionDomain().getCodeSource().getLocation().getPath();
    }
}
