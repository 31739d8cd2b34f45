// For the sanitizer builds of the tools that draw text with cairo: fontconfig, FreeType, cairo and pixman
// make caches once and keep them for the life of the process, by design, and the leak checker would
// report them at every exit, also when a tool runs during the build, where no suppression file is given
// (.ci/lsan.supp names the same libraries for the test runs). Only the leak checker calls this.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n"
           "leak:libfreetype.so\n"
           "leak:libcairo.so\n"
           "leak:libpixman-1.so\n";
}
