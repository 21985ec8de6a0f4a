#pragma once

namespace platform {

// Gives the main heap large (2 MB) memory pages where the system has them, before anything big
// is allocated. Drawing a dense scan in software OpenGL fills a few hundred megabytes of fresh
// heap, and with 4 kB pages the first frame spent more time in the kernel's page faults than in
// drawing (1.0 s of a 1.5 s frame for 2M triangles). The program keeps two heaps, and freed
// memory stays in them for the next thread that takes it. Elsewhere it does nothing.
void preferLargeHeapPages();

}  // namespace platform
