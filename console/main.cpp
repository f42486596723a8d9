#include "console/run/entry.h"

int main(int argc, char** argv) {
    return dornick::RunEntry(argc, argv);
}
