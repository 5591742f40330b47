#pragma once
// Transparent huge pages for a program's large blocks.

// Runs the program again (same arguments, same environment plus one glibc setting) with
// glibc's malloc putting large blocks in transparent huge pages, unless that was done
// already or the user chose otherwise. Call first thing in main. An editor or a batch run
// touches image-sized buffers once or twice each, and on a virtual machine the first touch
// of every 4 KiB page can cost more than the work done in it: a 12-megapixel copy faults
// 12,000 times, a huge-page one 24 times. Returns only when no restart took place.
void restartWithHugePages(char** argv);
