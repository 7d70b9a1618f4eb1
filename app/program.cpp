// The command line, then the shell or the capture.
#include "app/program.h"

#include <cstdio>
#include <string>

#include "app/capture.h"
#include "app/options.h"
#include "app/shell.h"

int runProgram(int argc, char** argv) {
    Options options;
    std::string error;
    switch (parseOptions(argc, argv, options, error)) {
        case ParseResult::BadUsage:
            std::fprintf(stderr, "veldrin: %s\n\n%s", error.c_str(), usageText());
            return 2;
        case ParseResult::Exit:
            if (options.showVersion) std::printf("veldrin %s\n", VELDRIN_VERSION);
            else std::fputs(usageText(), stdout);
            return 0;
        case ParseResult::Run:
            break;
    }
    return options.capturing() ? runCapture(options) : runShell(options);
}
