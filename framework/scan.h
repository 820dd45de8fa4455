// scan.h — what the command line asks of the program.
#pragma once

struct ArgScan {
    bool version = false;        // the version line comes first
    bool program_usage = false;  // then the program usage, and nothing else
    const char* module = nullptr;  // value of the last -M/--module before the scan ended
    const char* help = nullptr;    // value of -h/--help; the scan ends there
};

// Exact, case-sensitive tokens anywhere in argv, argv[0] included. The value
// after -M is examined again as a token, so "-M -h" names "-h" and then asks
// for help. Pointers point into argv.
ArgScan scan_arguments(int argc, const char* const* argv);
