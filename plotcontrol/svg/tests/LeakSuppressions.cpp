// Font matching keeps fontconfig patterns in pango's process-wide caches, which the leak checker
// of the sanitizer build reports when the tests end; they are the libraries' own and bounded.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\nleak:libpangoft2-1.0.so\n";
}
