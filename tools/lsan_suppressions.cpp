// Linked into every program of a sanitizer build. LeakSanitizer asks for this at start-up: the
// offscreen platform of Qt's GUI module keeps its screen objects until the process ends, which is
// Qt's choice, not a leak of ours; the PDF module's text extraction keeps its page text the
// same way. Only allocations made inside Qt's own code match: a leak of
// ours shows our function right above the allocation.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libQt5Core.so\n"
         "leak:libQt5Gui.so\n"
         "leak:libqoffscreen.so\n"
         "leak:libQt5Pdf.so\n";
}
