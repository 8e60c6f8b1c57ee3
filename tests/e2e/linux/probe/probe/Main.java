package probe;

import java.io.FileOutputStream;
import java.io.FileDescriptor;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;

import probe.helper.Helper;

// Reports what the launcher handed to the JVM, one "key=value" line each, in
// UTF-8 whatever the locale, so the test can compare the bytes it passed.
public final class Main {
    private static final String[] PROPERTIES = {
        "varno.app-path", "probe.flag", "probe.blank", "java.class.path",
        "jdk.module.path", "java.library.path", "java.home",
    };

    public static void main(String[] args) {
        PrintStream out = new PrintStream(new FileOutputStream(FileDescriptor.out), true,
                StandardCharsets.UTF_8);
        out.println("main=" + Main.class.getName());
        String module = Main.class.getModule().getName();
        out.println("module=" + (module == null ? "(unnamed)" : module));
        out.println("helper=" + Helper.where());
        out.println("argc=" + args.length);
        for (String arg : args) {
            out.println("arg=" + arg);
        }
        for (String name : PROPERTIES) {
            String value = System.getProperty(name);
            if (value != null) {
                out.println("prop." + name + "=" + value);
            }
        }
        out.flush();
        if (System.getProperty("probe.throw") != null) {
            throw new IllegalStateException("probe was asked to fail");
        }
        String exit = System.getProperty("probe.exit");
        if (exit != null) {
            System.exit(Integer.parseInt(exit));
        }
    }
}
