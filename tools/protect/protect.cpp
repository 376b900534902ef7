// Prints the protected form that this machine's program keeps saved logins and passwords in, so
// that a script can write them into the registry with `reg add`. Run it in the same Wine prefix
// (or on the same machine) as the program: the form depends on the system volume.
#include "env/protector.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: authclient-protect TEXT\n");
        return 2;
    }
    env::c_protector protector;
    protector.read_volume_key();
    std::printf("%s\n", protector.protect(argv[1]).c_str());
    return 0;
}
