// Writes pixova-batch(1) at build time, from the same option table as --help, so the two
// never drift apart.
//   pixova-batch-make-man OUTPUT_FILE

#include <fstream>
#include <iostream>

#include "batch/batch.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: pixova-batch-make-man OUTPUT_FILE\n";
        return 2;
    }
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out << batchManPage();
    out.close();
    if (!out) {
        std::cerr << "pixova-batch-make-man: cannot write " << argv[1] << "\n";
        return 1;
    }
    return 0;
}
