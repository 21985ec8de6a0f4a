#pragma once

#include <QString>

// What the program asks of the operating system itself, each answer with its Windows branch.
namespace platform {

// The folder the lab keeps its files in (the scan data, the help page), ending in a separator:
// "C:\Kelvard\" on Windows, ~/Kelvard/ elsewhere.
QString labFolder();

// Whether the program runs as the superuser; Windows has none.
bool runningAsRoot();

}  // namespace platform
