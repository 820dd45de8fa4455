// emulated.cpp — a host program that stands for one camera program of a cross
// build: it runs that program under the user-mode emulator, handing on
// argv[0] as it was given, so the camera program sees the name it was started
// by (usage screens print it) even through `exec -a NAME`. A script could
// not: the kernel replaces argv[0] of a script with the script's path.
//
// Inside the simulated camera, CAMSIM_PRELOAD names the device shim: it is
// handed to the camera program alone (the emulator itself runs unshimmed).
//
// Built for the PC with a generated header that defines EMULATED_PROGRAM (the
// camera program's path) and EMULATOR_ARGV (the emulator's command line).
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

int main(int argc, char** argv)
{
    static const char* const kEmulator[] = {EMULATOR_ARGV};
    std::vector<char*> args;
    for (const char* word : kEmulator)
        args.push_back(const_cast<char*>(word));
    std::string preload;
    if (const char* shim = getenv("CAMSIM_PRELOAD")) {
        preload = std::string("LD_PRELOAD=") + shim;
        args.push_back(const_cast<char*>("-E"));
        args.push_back(const_cast<char*>(preload.c_str()));
    }
    args.push_back(const_cast<char*>("-0"));
    args.push_back(argc > 0 && argv[0] != nullptr ? argv[0] : const_cast<char*>(EMULATED_PROGRAM));
    args.push_back(const_cast<char*>(EMULATED_PROGRAM));
    for (int k = 1; k < argc; ++k)
        args.push_back(argv[k]);
    args.push_back(nullptr);
    execvp(args[0], args.data());
    fprintf(stderr, "%s: cannot run %s: %s\n", EMULATED_PROGRAM, args[0], strerror(errno));
    return 127;
}
